// The dialog framework on a real dialog: message tables, data exchange,
// subclassing and colour reflection, pre-translation in the modal loop, the
// owner during a nested run and the wait-cursor count.
//
// Every dialog is driven from inside: its script posts messages from
// OnInitDialog, and a final posted message runs the checks and ends it. A
// watchdog timer ends any dialog that is still open after ten seconds.
#include "framework/app.h"
#include "framework/controls.h"
#include "framework/dialog.h"
#include "framework/gdi.h"
#include "framework/thread.h"
#include "framework/wnd.h"

#include "tests/framework/test_dialog.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

// The process's application object; its name is the test executable's.
fw::CWinApp g_testApp;

constexpr UINT kFinish = WM_APP + 100;
constexpr UINT_PTR kWatchdogTimer = 999;
constexpr INT_PTR kTimedOut = 555;

// A dialog that runs a script: onInit posts messages, onFinish checks the
// state once they have been handled; then the dialog ends with IDOK.
class ScriptedDialog : public fw::CDialog {
public:
    explicit ScriptedDialog(fw::CWnd* parent = nullptr) : CDialog(IDD_FW_TEST, parent) {}

    std::function<void(ScriptedDialog&)> onInit;
    std::function<void(ScriptedDialog&)> onFinish;
    BOOL initAnswer = TRUE;
    bool autoFinish = true; // false: the script posts kFinish itself

    BOOL OnInitDialog() override {
        CDialog::OnInitDialog();
        ::SetTimer(m_hWnd, kWatchdogTimer, 10000, nullptr);
        if (onInit)
            onInit(*this);
        if (autoFinish)
            PostMessage(kFinish);
        return initAnswer;
    }

    LRESULT OnFinish(WPARAM, LPARAM) {
        if (onFinish)
            onFinish(*this);
        if (!IsEnded())
            EndDialog(IDOK);
        return 0;
    }
    LRESULT OnTimer(WPARAM id, LPARAM) {
        if (id == kWatchdogTimer)
            EndDialog(kTimedOut);
        return 0;
    }

    FW_DECLARE_MESSAGE_MAP()
};

FW_BEGIN_MESSAGE_MAP(ScriptedDialog, fw::CDialog)
    fw::OnMessage(kFinish, &ScriptedDialog::OnFinish),
        fw::OnMessage(WM_TIMER, &ScriptedDialog::OnTimer),
FW_END_MESSAGE_MAP()

// ---- message tables ------------------------------------------------------

constexpr UINT kBaseOnly = WM_APP + 1;
constexpr UINT kDerivedOnly = WM_APP + 2;
constexpr UINT kIntercepted = WM_APP + 3;
constexpr UINT kThrows = WM_APP + 4;

class BaseDialog : public ScriptedDialog {
public:
    int goBase = 0;
    int baseOnly = 0;
    LRESULT OnGoBase(WPARAM, LPARAM) {
        ++goBase;
        return 0;
    }
    LRESULT OnBaseOnly(WPARAM wp, LPARAM) {
        ++baseOnly;
        return static_cast<LRESULT>(wp) + 1000;
    }
    FW_DECLARE_MESSAGE_MAP()
};

FW_BEGIN_MESSAGE_MAP(BaseDialog, ScriptedDialog)
    fw::OnCommand(IDC_TEST_GO, &BaseDialog::OnGoBase),
        fw::OnMessage(kBaseOnly, &BaseDialog::OnBaseOnly),
FW_END_MESSAGE_MAP()

class DerivedDialog : public BaseDialog {
public:
    int goDerived = 0;
    int derivedOnly = 0;
    int creates = 0;
    HWND createdWindow = nullptr;

    LRESULT OnGoDerived(WPARAM, LPARAM) {
        ++goDerived;
        return 0;
    }
    LRESULT OnDerivedOnly(WPARAM, LPARAM) {
        ++derivedOnly;
        return 2;
    }
    LRESULT OnCreate(WPARAM, LPARAM) {
        ++creates;
        createdWindow = m_hWnd;
        return Default();
    }
    LRESULT OnInterceptedInTable(WPARAM, LPARAM) { return 7; }
    LRESULT OnThrows(WPARAM, LPARAM) { throw std::runtime_error("handler failure"); }

    LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override {
        if (msg == kIntercepted)
            return 42;
        return BaseDialog::WindowProc(msg, wp, lp);
    }
    FW_DECLARE_MESSAGE_MAP()
};

FW_BEGIN_MESSAGE_MAP(DerivedDialog, BaseDialog)
    fw::OnCommand(IDC_TEST_GO, &DerivedDialog::OnGoDerived),
        fw::OnMessage(kDerivedOnly, &DerivedDialog::OnDerivedOnly),
        fw::OnMessage(WM_CREATE, &DerivedDialog::OnCreate),
        fw::OnMessage(kIntercepted, &DerivedDialog::OnInterceptedInTable),
        fw::OnMessage(kThrows, &DerivedDialog::OnThrows),
FW_END_MESSAGE_MAP()

TEST(MessageTable, CommandsAndMessagesReachTheMostDerivedHandlerAndChainToTheBase) {
    DerivedDialog dlg;
    LRESULT baseAnswer = 0, derivedAnswer = 0, intercepted = 0;
    dlg.onInit = [](ScriptedDialog& d) {
        d.PostMessage(WM_COMMAND, MAKEWPARAM(IDC_TEST_GO, BN_CLICKED),
                      reinterpret_cast<LPARAM>(d.GetDlgItem(IDC_TEST_GO)));
        d.PostMessage(kThrows); // swallowed; the dialog goes on
    };
    dlg.onFinish = [&](ScriptedDialog& d) {
        baseAnswer = d.SendMessage(kBaseOnly, 5);
        derivedAnswer = d.SendMessage(kDerivedOnly);
        intercepted = d.SendMessage(kIntercepted);
    };
    EXPECT_EQ(dlg.DoModal(), IDOK);

    EXPECT_EQ(dlg.goDerived, 1);
    EXPECT_EQ(dlg.goBase, 0);
    EXPECT_EQ(dlg.baseOnly, 1);
    EXPECT_EQ(baseAnswer, 1005);
    EXPECT_EQ(dlg.derivedOnly, 1);
    EXPECT_EQ(derivedAnswer, 2);
    EXPECT_EQ(intercepted, 42); // the window procedure runs before the table
    // The window was subclassed before WM_CREATE, and released at the end.
    EXPECT_EQ(dlg.creates, 1);
    EXPECT_NE(dlg.createdWindow, nullptr);
    EXPECT_EQ(dlg.GetSafeHwnd(), nullptr);
    EXPECT_FALSE(::IsWindow(dlg.createdWindow));
}

TEST(MessageTable, CommandRowsMatchClicksMenusAndAcceleratorsButNoOtherNotification) {
    // Plain command rows match button clicks, menus and accelerators (lParam 0
    // with code 1), but not other notifications of the same control.
    const fw::MessageMap* map = &DerivedDialog::kMessageMap;
    HWND control = reinterpret_cast<HWND>(1);
    EXPECT_NE(fw::FindMessageEntry(map, WM_COMMAND, MAKEWPARAM(IDC_TEST_GO, 1), 0), nullptr);
    EXPECT_EQ(fw::FindMessageEntry(map, WM_COMMAND, MAKEWPARAM(IDC_TEST_GO, BN_SETFOCUS),
                                   reinterpret_cast<LPARAM>(control)),
              nullptr);
    // IDOK and IDCANCEL come from the base dialog's table.
    const fw::MessageEntry* ok = fw::FindMessageEntry(map, WM_COMMAND, IDOK, 0);
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(ok, fw::FindMessageEntry(&fw::CDialog::kMessageMap, WM_COMMAND, IDOK, 0));
    EXPECT_EQ(fw::FindMessageEntry(map, WM_PAINT, 0, 0), nullptr);
}

TEST(Dialog, InitialisationAnswerDecidesTheFocus) {
    for (BOOL answer : {TRUE, FALSE}) {
        ScriptedDialog dlg;
        dlg.initAnswer = answer;
        int focusId = -1;
        dlg.onInit = [](ScriptedDialog& d) { ::SetFocus(d.GetDlgItem(IDC_TEST_CHECK)); };
        dlg.onFinish = [&](ScriptedDialog& d) {
            HWND focus = ::GetFocus();
            focusId = ::GetParent(focus) == d.GetSafeHwnd() ? ::GetDlgCtrlID(focus) : 0;
        };
        EXPECT_EQ(dlg.DoModal(), IDOK);
        // TRUE: the dialog manager puts the focus on the first tab stop (the
        // edit); FALSE keeps the focus the initialisation chose.
        EXPECT_EQ(focusId, answer ? IDC_TEST_EDIT : IDC_TEST_CHECK);
    }
}

TEST(Dialog, OkCancelAndTheCloseBoxEndTheRun) {
    {
        ScriptedDialog dlg;
        dlg.onInit = [](ScriptedDialog& d) { d.PostMessage(WM_COMMAND, IDOK, 0); };
        dlg.onFinish = [](ScriptedDialog& d) { d.EndDialog(-7); }; // not reached
        EXPECT_EQ(dlg.DoModal(), IDOK);
    }
    {
        // The dialog manager answers WM_CLOSE by posting IDCANCEL.
        ScriptedDialog dlg;
        dlg.autoFinish = false;
        dlg.onInit = [](ScriptedDialog& d) { d.PostMessage(WM_CLOSE); };
        EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    }
    {
        // Ended during initialisation: the loop never runs.
        ScriptedDialog dlg;
        dlg.onInit = [](ScriptedDialog& d) { d.EndDialog(31); };
        EXPECT_EQ(dlg.DoModal(), 31);
    }
}

TEST(Dialog, QuitMessageEndsTheRunAndIsPostedAgain) {
    ScriptedDialog dlg;
    dlg.autoFinish = false;
    dlg.onInit = [](ScriptedDialog&) { ::PostQuitMessage(5); };
    EXPECT_EQ(dlg.DoModal(), -1);
    MSG msg;
    ASSERT_TRUE(::PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 5u);
}

TEST(Dialog, NestedRunDisablesItsOwnerUntilItEnds) {
    ScriptedDialog outer;
    bool ownerEnabledInside = true;
    bool ownerEnabledAfter = false;
    HWND innerOwner = nullptr;
    INT_PTR innerResult = 0;
    outer.onFinish = [&](ScriptedDialog& o) {
        ScriptedDialog inner(&o);
        inner.onFinish = [&](ScriptedDialog& i) {
            ownerEnabledInside = ::IsWindowEnabled(o) != FALSE;
            innerOwner = ::GetWindow(i, GW_OWNER);
            i.EndDialog(9);
        };
        innerResult = inner.DoModal();
        ownerEnabledAfter = ::IsWindowEnabled(o) != FALSE;
    };
    EXPECT_EQ(outer.DoModal(), IDOK);
    EXPECT_EQ(innerResult, 9);
    EXPECT_FALSE(ownerEnabledInside);
    EXPECT_TRUE(ownerEnabledAfter);
    EXPECT_NE(innerOwner, nullptr);
}

TEST(Dialog, MissingTemplateFails) {
    fw::CDialog dlg(12345);
    EXPECT_EQ(dlg.DoModal(), -1);
    EXPECT_EQ(dlg.GetSafeHwnd(), nullptr);
}

// ---- data exchange -------------------------------------------------------

class DataDialog : public ScriptedDialog {
public:
    std::string m_strText;
    std::string m_strCombo;
    int m_nCheck = 0;
    bool bindMissing = false;
    int exchanges = 0;

    void DoDataExchange(fw::CDataExchange& dx) override {
        ++exchanges;
        fw::DDX_Text(dx, IDC_TEST_EDIT, m_strText);
        fw::DDX_Text(dx, IDC_TEST_COMBO, m_strCombo);
        fw::DDX_Check(dx, IDC_TEST_CHECK, m_nCheck);
        if (bindMissing) {
            std::string unused;
            fw::DDX_Text(dx, 4321, unused);
        }
    }
};

TEST(DataExchange, MembersGoIntoTheControlsAndComeBack) {
    DataDialog dlg;
    dlg.m_strText = "first text";
    dlg.m_strCombo = "example.com";
    dlg.m_nCheck = 1;
    std::string shownText, shownCombo;
    LRESULT shownCheck = -1;
    bool saved = false;
    dlg.onFinish = [&](ScriptedDialog& d) {
        shownText = fw::CWnd(d.GetDlgItem(IDC_TEST_EDIT)).GetWindowText();
        shownCombo = fw::CWnd(d.GetDlgItem(IDC_TEST_COMBO)).GetWindowText();
        shownCheck = ::SendDlgItemMessageA(d, IDC_TEST_CHECK, BM_GETCHECK, 0, 0);
        ::SetDlgItemTextA(d, IDC_TEST_EDIT, "typed by the user");
        ::SetDlgItemTextA(d, IDC_TEST_COMBO, "  10.0.0.1 ");
        ::SendDlgItemMessageA(d, IDC_TEST_CHECK, BM_SETCHECK, BST_UNCHECKED, 0);
        saved = d.UpdateData(true);
    };
    EXPECT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(shownText, "first text");
    EXPECT_EQ(shownCombo, "example.com");
    EXPECT_EQ(shownCheck, BST_CHECKED);
    EXPECT_TRUE(saved);
    EXPECT_EQ(dlg.m_strText, "typed by the user");
    EXPECT_EQ(dlg.m_strCombo, "  10.0.0.1 "); // exchanged as it is, not trimmed
    EXPECT_EQ(dlg.m_nCheck, 0);
}

TEST(DataExchange, CheckValuesOutsideTheRangeShowAsClearedAndAreMendedInTheMember) {
    EXPECT_EQ(fw::NormalizeCheckValue(-1), 0);
    EXPECT_EQ(fw::NormalizeCheckValue(3), 0);
    EXPECT_EQ(fw::NormalizeCheckValue(7), 0);
    EXPECT_EQ(fw::NormalizeCheckValue(0), 0);
    EXPECT_EQ(fw::NormalizeCheckValue(1), 1);
    EXPECT_EQ(fw::NormalizeCheckValue(2), 2);
    for (int stored : {7, -1, 3, -2147483647 - 1}) {
        DataDialog dlg;
        dlg.m_nCheck = stored;
        LRESULT shown = -1;
        int memberAfterInit = -1;
        int readBack = -1;
        dlg.onFinish = [&](ScriptedDialog& d) {
            shown = ::SendDlgItemMessageA(d, IDC_TEST_CHECK, BM_GETCHECK, 0, 0);
            memberAfterInit = static_cast<DataDialog&>(d).m_nCheck;
            ::SendDlgItemMessageA(d, IDC_TEST_CHECK, BM_SETCHECK, BST_CHECKED, 0);
            d.UpdateData(true);
            readBack = static_cast<DataDialog&>(d).m_nCheck;
        };
        EXPECT_EQ(dlg.DoModal(), IDOK);
        EXPECT_EQ(shown, BST_UNCHECKED) << stored;
        EXPECT_EQ(memberAfterInit, 0) << stored;
        EXPECT_EQ(readBack, 1) << stored;
    }
}

TEST(DataExchange, OkSavesTheControlsAndAMissingControlKeepsTheDialogOpen) {
    {
        DataDialog dlg;
        dlg.onInit = [](ScriptedDialog& d) {
            ::SetDlgItemTextA(d, IDC_TEST_EDIT, "saved by OK");
            d.PostMessage(WM_COMMAND, IDOK, 0);
        };
        EXPECT_EQ(dlg.DoModal(), IDOK);
        EXPECT_EQ(dlg.m_strText, "saved by OK");
    }
    {
        DataDialog dlg;
        dlg.bindMissing = true;
        bool endedByOk = true;
        dlg.onInit = [](ScriptedDialog& d) { d.PostMessage(WM_COMMAND, IDOK, 0); };
        dlg.onFinish = [&](ScriptedDialog& d) {
            endedByOk = d.IsEnded();
            d.EndDialog(8);
        };
        EXPECT_EQ(dlg.DoModal(), 8);
        EXPECT_FALSE(endedByOk);
        EXPECT_FALSE(dlg.UpdateData(true)); // no window any more
    }
}

// ---- subclassing and reflection ------------------------------------------

constexpr UINT kAskLabel = WM_APP + 20;

// A label that counts its paints and answers a message of its own.
class CountingLabel : public fw::CStatic {
public:
    int paints = 0;
    LRESULT OnPaint(WPARAM, LPARAM) {
        ++paints;
        return Default();
    }
    LRESULT OnAsk(WPARAM wp, LPARAM) { return static_cast<LRESULT>(wp) * 2; }
    FW_DECLARE_MESSAGE_MAP()
};

FW_BEGIN_MESSAGE_MAP(CountingLabel, fw::CStatic)
    fw::OnMessage(WM_PAINT, &CountingLabel::OnPaint),
        fw::OnMessage(kAskLabel, &CountingLabel::OnAsk),
FW_END_MESSAGE_MAP()

// An edit that answers the colour message its parent reflects to it.
class ColouredEdit : public fw::CEdit {
public:
    fw::CBrush brush;
    int colourRequests = 0;
    ColouredEdit() { brush.CreateSolidBrush(RGB(255, 255, 255)); }
    LRESULT OnColour(WPARAM wp, LPARAM) {
        ++colourRequests;
        ::SetTextColor(reinterpret_cast<HDC>(wp), RGB(0, 0, 0));
        return reinterpret_cast<LRESULT>(brush.GetSafeHandle());
    }
    FW_DECLARE_MESSAGE_MAP()
};

FW_BEGIN_MESSAGE_MAP(ColouredEdit, fw::CEdit)
    fw::OnMessage(fw::ReflectedMessage(WM_CTLCOLOREDIT), &ColouredEdit::OnColour),
FW_END_MESSAGE_MAP()

class BoundDialog : public ScriptedDialog {
public:
    CountingLabel m_label;
    ColouredEdit m_edit;
    fw::CComboBox m_combo;
    int exchanges = 0;
    void DoDataExchange(fw::CDataExchange& dx) override {
        ++exchanges;
        fw::DDX_Control(dx, IDC_TEST_LABEL, m_label);
        fw::DDX_Control(dx, IDC_TEST_EDIT, m_edit);
        fw::DDX_Control(dx, IDC_TEST_COMBO, m_combo);
    }
};

TEST(Subclassing, BoundControlsRunTheirOwnHandlersUntilTheWindowGoes) {
    BoundDialog dlg;
    int paintsAfterRedraw = 0;
    LRESULT answer = 0;
    LRESULT editBrush = 0, checkBrush = 0;
    bool boundAgainKept = false;
    bool fromHandle = false;
    std::string labelText;
    dlg.onFinish = [&](ScriptedDialog& d) {
        BoundDialog& b = static_cast<BoundDialog&>(d);
        fromHandle = fw::CWnd::FromHandlePermanent(b.GetDlgItem(IDC_TEST_LABEL)) == &b.m_label;
        ::RedrawWindow(b.m_label, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
        paintsAfterRedraw = b.m_label.paints;
        answer = ::SendMessageA(b.GetDlgItem(IDC_TEST_LABEL), kAskLabel, 21, 0);
        labelText = b.m_label.GetWindowText(); // text messages pass through
        HDC dc = ::GetDC(b);
        editBrush = b.SendMessage(WM_CTLCOLOREDIT, reinterpret_cast<WPARAM>(dc),
                                  reinterpret_cast<LPARAM>(b.m_edit.GetSafeHwnd()));
        checkBrush = b.SendMessage(WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                                   reinterpret_cast<LPARAM>(b.GetDlgItem(IDC_TEST_CHECK)));
        ::ReleaseDC(b, dc);
        // A second exchange leaves the bindings as they are.
        HWND before = b.m_label.GetSafeHwnd();
        b.UpdateData(true);
        boundAgainKept = b.m_label.GetSafeHwnd() == before && b.exchanges == 2;
        b.m_combo.AddString("one");
    };
    EXPECT_EQ(dlg.DoModal(), IDOK);
    EXPECT_TRUE(fromHandle);
    EXPECT_GE(paintsAfterRedraw, 1);
    EXPECT_EQ(answer, 42);
    EXPECT_EQ(labelText, "Label");
    EXPECT_EQ(editBrush, reinterpret_cast<LRESULT>(dlg.m_edit.brush.GetSafeHandle()));
    EXPECT_GE(dlg.m_edit.colourRequests, 1);
    EXPECT_NE(checkBrush, editBrush); // an unbound control gets the default colours
    EXPECT_TRUE(boundAgainKept);
    // The controls went with the dialog and the wrappers were released.
    EXPECT_EQ(dlg.m_label.GetSafeHwnd(), nullptr);
    EXPECT_EQ(dlg.m_edit.GetSafeHwnd(), nullptr);
}

TEST(Subclassing, AWrapperDestroyedFirstLeavesTheControlWorking) {
    ScriptedDialog dlg;
    bool releasedOnDestruction = false;
    LRESULT answerAfter = -1;
    dlg.onFinish = [&](ScriptedDialog& d) {
        HWND label = d.GetDlgItem(IDC_TEST_LABEL);
        {
            CountingLabel wrapper;
            ASSERT_TRUE(wrapper.SubclassWindow(label));
            CountingLabel second;
            EXPECT_FALSE(second.SubclassWindow(label)); // one wrapper per window
        }
        releasedOnDestruction = fw::CWnd::FromHandlePermanent(label) == nullptr;
        answerAfter = ::SendMessageA(label, kAskLabel, 21, 0);
        ::RedrawWindow(label, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    };
    EXPECT_EQ(dlg.DoModal(), IDOK);
    EXPECT_TRUE(releasedOnDestruction);
    EXPECT_EQ(answerAfter, 0);
}

// A hidden top-level window of the framework's own class, as the tray icon uses.
class HiddenWindow : public fw::CWnd {
public:
    std::vector<UINT>* log;
    explicit HiddenWindow(std::vector<UINT>* l) : log(l) {}

protected:
    LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override {
        if (msg == WM_CREATE || msg == WM_DESTROY || msg == WM_APP + 30)
            log->push_back(msg);
        if (msg == WM_APP + 30)
            return 99;
        return CWnd::WindowProc(msg, wp, lp);
    }
};

TEST(Window, CreatedWindowSeesItsMessagesAndIsDestroyedWithItsObject) {
    std::vector<UINT> log;
    HWND hwnd = nullptr;
    {
        HiddenWindow wnd(&log);
        ASSERT_TRUE(wnd.CreateEx(0, nullptr, "hidden", WS_POPUP, 0, 0, 10, 10, nullptr));
        hwnd = wnd.GetSafeHwnd();
        EXPECT_FALSE(::IsWindowVisible(hwnd));
        EXPECT_EQ(::SendMessageA(hwnd, WM_APP + 30, 0, 0), 99);
        EXPECT_EQ(wnd.GetWindowText(), "hidden");
    }
    EXPECT_FALSE(::IsWindow(hwnd));
    // WM_CREATE arrived; WM_DESTROY did not reach the half-destroyed object.
    EXPECT_EQ(log, (std::vector<UINT>{WM_CREATE, WM_APP + 30}));
}

// ---- pre-translation -----------------------------------------------------

class EscapeFilterDialog : public ScriptedDialog {
public:
    bool filterEscape = true;
    int escapesFiltered = 0;
    int goCommands = 0;
    int cancels = 0;
    bool PreTranslateMessage(MSG* msg) override {
        if (filterEscape && (msg->message == WM_KEYDOWN || msg->message == WM_KEYUP) &&
            msg->wParam == VK_ESCAPE) {
            ++escapesFiltered;
            return true;
        }
        return ScriptedDialog::PreTranslateMessage(msg);
    }
    void OnCancel() override {
        ++cancels;
        ScriptedDialog::OnCancel();
    }
    LRESULT OnGo(WPARAM, LPARAM) {
        ++goCommands;
        return 0;
    }
    FW_DECLARE_MESSAGE_MAP()
};

FW_BEGIN_MESSAGE_MAP(EscapeFilterDialog, ScriptedDialog)
    fw::OnCommand(IDC_TEST_GO, &EscapeFilterDialog::OnGo),
FW_END_MESSAGE_MAP()

void PostKey(HWND target, WPARAM key) {
    ::PostMessageA(target, WM_KEYDOWN, key, 1);
    ::PostMessageA(target, WM_KEYUP, key, static_cast<LPARAM>(0xC0000001u));
}

TEST(PreTranslate, QueuedEscapeIsFilteredWhileReturnStillPressesTheDefaultButton) {
    EscapeFilterDialog dlg;
    dlg.onInit = [](ScriptedDialog& d) {
        HWND edit = d.GetDlgItem(IDC_TEST_EDIT);
        PostKey(edit, VK_ESCAPE);
        PostKey(edit, VK_RETURN);
        PostKey(d.GetDlgItem(IDC_TEST_CHECK), VK_ESCAPE);
    };
    EXPECT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(dlg.escapesFiltered, 4);
    EXPECT_EQ(dlg.cancels, 0);
    EXPECT_EQ(dlg.goCommands, 1);
}

TEST(PreTranslate, WithoutTheFilterEscapeCancels) {
    EscapeFilterDialog dlg;
    dlg.filterEscape = false;
    dlg.onInit = [](ScriptedDialog& d) { PostKey(d.GetDlgItem(IDC_TEST_EDIT), VK_ESCAPE); };
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    EXPECT_EQ(dlg.cancels, 1);
}

// ---- the wait cursor -----------------------------------------------------

TEST(WaitCursor, CountFromTwoThreadsBalancesAndNeverGoesBelowZero) {
    ASSERT_EQ(fw::GetWaitCursorCount(), 0);
    std::atomic<bool> sawZeroWhileHeld{false};
    auto work = [&] {
        for (int i = 0; i < 20000; ++i) {
            fw::BeginWaitCursor();
            if (fw::GetWaitCursorCount() <= 0)
                sawZeroWhileHeld = true;
            fw::EndWaitCursor();
        }
    };
    fw::BeginWaitCursor(); // held across both threads
    std::thread a(work), b(work);
    a.join();
    b.join();
    EXPECT_FALSE(sawZeroWhileHeld);
    EXPECT_EQ(fw::GetWaitCursorCount(), 1);
    fw::EndWaitCursor();
    EXPECT_EQ(fw::GetWaitCursorCount(), 0);
    fw::EndWaitCursor();
    EXPECT_EQ(fw::GetWaitCursorCount(), 0);
}

class CursorDialog : public ScriptedDialog {
public:
    int nudges = 0;
    std::vector<HCURSOR> cursorsSeen;

protected:
    LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override {
        if (msg == fw::WaitCursorMessage()) {
            ++nudges;
            // What the cursor becomes over the dialog's client area now.
            SendMessage(WM_SETCURSOR, reinterpret_cast<WPARAM>(m_hWnd),
                        MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
            cursorsSeen.push_back(::GetCursor());
            if (nudges == 2)
                PostMessage(kFinish);
        }
        return ScriptedDialog::WindowProc(msg, wp, lp);
    }
};

TEST(WaitCursor, WorkersRaisingTheCountNudgeTheMainWindowWhichShowsTheHourglass) {
    ASSERT_EQ(fw::GetWaitCursorCount(), 0);
    CursorDialog dlg;
    dlg.autoFinish = false; // ends after the second nudge
    g_testApp.SetMainWnd(&dlg);
    HWND registered = nullptr;
    HWND dialogWindow = nullptr;
    static HANDLE running = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    dlg.onInit = [&](ScriptedDialog& d) {
        registered = fw::GetWaitCursorWindow();
        dialogWindow = d;
        ::SetEvent(running);
    };
    // One worker raises the count twice (one nudge), then another lowers it
    // twice (one nudge).
    std::thread lowering;
    std::thread raising([&] {
        if (::WaitForSingleObject(running, 5000) != WAIT_OBJECT_0)
            return;
        fw::BeginWaitCursor();
        fw::BeginWaitCursor();
        ::Sleep(100);
        lowering = std::thread([] {
            fw::EndWaitCursor();
            fw::EndWaitCursor();
        });
    });
    INT_PTR result = dlg.DoModal();
    raising.join();
    if (lowering.joinable())
        lowering.join();
    g_testApp.SetMainWnd(nullptr);
    ::CloseHandle(running);
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(registered, dialogWindow);
    EXPECT_EQ(fw::GetWaitCursorWindow(), nullptr);
    EXPECT_EQ(fw::GetWaitCursorCount(), 0);
    EXPECT_EQ(dlg.nudges, 2);
    ASSERT_EQ(dlg.cursorsSeen.size(), 2u);
    EXPECT_EQ(dlg.cursorsSeen[0], ::LoadCursorA(nullptr, MAKEINTRESOURCEA(32514))); // IDC_WAIT
    EXPECT_EQ(dlg.cursorsSeen[1], ::LoadCursorA(nullptr, MAKEINTRESOURCEA(32512))); // IDC_ARROW
}

// ---- message boxes -------------------------------------------------------

std::string g_boxCaption;
std::string g_boxText;
HHOOK g_boxHook = nullptr;

LRESULT CALLBACK CloseMessageBox(int code, WPARAM wp, LPARAM lp) {
    HWND box = reinterpret_cast<HWND>(wp);
    char name[64] = {};
    if (code == HCBT_ACTIVATE && box != nullptr && g_boxCaption.empty() &&
        ::GetClassNameA(box, name, sizeof(name)) > 0 && std::string(name) == "#32770") {
        g_boxCaption = fw::CWnd(box).GetWindowText();
        // The message text is the static control with a text (the icon's has none).
        for (HWND child = ::FindWindowExA(box, nullptr, "Static", nullptr); child != nullptr;
             child = ::FindWindowExA(box, child, "Static", nullptr)) {
            std::string text = fw::CWnd(child).GetWindowText();
            if (!text.empty())
                g_boxText = text;
        }
        ::PostMessageA(box, WM_COMMAND, IDOK, 0);
    }
    return ::CallNextHookEx(g_boxHook, code, wp, lp);
}

TEST(MessageBox, CaptionIsTheApplicationName) {
    g_testApp.InitApplication(::GetModuleHandleA(nullptr));
    g_boxHook = ::SetWindowsHookExA(WH_CBT, CloseMessageBox, nullptr, ::GetCurrentThreadId());
    int pressed =
        fw::MessageBox("Windows sockets initialization failed.", MB_OK | MB_ICONEXCLAMATION);
    ::UnhookWindowsHookEx(g_boxHook);
    EXPECT_EQ(pressed, IDOK);
    EXPECT_EQ(g_boxCaption, "Framework Test Application");
    EXPECT_EQ(g_boxText, "Windows sockets initialization failed.");
}

// ---- the application object ---------------------------------------------

class StartUpApp : public fw::CWinApp {
public:
    bool answer = false;
    bool ran = false;
    std::string nameAtStart;
    bool InitInstance() override {
        nameAtStart = GetAppName();
        if (answer)
            ::PostQuitMessage(3);
        return answer;
    }
    int Run() override {
        ran = true;
        return CWinApp::Run();
    }
};

TEST(Application, StartUpDecidesWhetherTheMessageLoopRuns) {
    {
        StartUpApp app;
        EXPECT_EQ(fw::GetApp(), &app);
        EXPECT_EQ(fw::AppMain(::GetModuleHandleA(nullptr)), 0);
        EXPECT_FALSE(app.ran);
        // String 57344 names the application when the executable has it.
        EXPECT_EQ(app.nameAtStart, "Framework Test Application");
    }
    EXPECT_EQ(fw::GetApp(), &g_testApp); // the program's object is back
    {
        StartUpApp app;
        app.answer = true;
        EXPECT_EQ(fw::AppMain(::GetModuleHandleA(nullptr)), 3); // the WM_QUIT code
        EXPECT_TRUE(app.ran);
    }
    // (Without string 57344 the name is the executable's: see the store tests.)
    EXPECT_EQ(fw::LoadString(57344), "Framework Test Application");
    EXPECT_EQ(fw::LoadString(57345), "");
}

} // namespace
