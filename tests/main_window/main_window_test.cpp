// The main window under Wine: the real dialog from the program's resources,
// driven from inside its own modal loop (see Script), with the network
// replaced by a gated double so that every lookup is deterministic, the tray
// icon's shell calls recorded, and the settings in the test prefix's registry.
#include "app/lookup_dlg.h"

#include "app/settings.h"
#include "servers/configure_dlg.h"
#include "engine/busy.h"
#include "engine/driver.h"
#include "engine/lookup_worker.h"
#include "framework/app.h"
#include "framework/thread.h"
#include "res/resource.h"
#include "tests/main_window/main_window_support.h"
#include "ui/branding.h"
#include "ui/software_url.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <atomic>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;
using mwtest::ChildRect;
using mwtest::ComboEntries;
using mwtest::ComboField;
using mwtest::GatedNetwork;
using mwtest::ItemText;
using mwtest::PostKey;
using mwtest::Script;

namespace {

// The application object of the test process: its name (the executable's)
// keys the settings, as the program's does.
fw::CWinApp g_app;

int g_cleanups = 0;
void CountCleanup() {
    ++g_cleanups;
}

void Click(HWND dialog, int id) {
    ::SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(dialog, id)));
}

// A lookup of text, as typing it and pressing the button does.
void LookUp(HWND dialog, const std::string& text) {
    ::SetDlgItemTextA(dialog, IDC_QUERY, text.c_str());
    Click(dialog, IDC_LOOKUP);
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

bool ResultQueued(HWND dialog) {
    MSG msg;
    return ::PeekMessageA(&msg, dialog, WM_LOOKUP_DONE, WM_LOOKUP_DONE, PM_NOREMOVE) != FALSE;
}

struct Place {
    int id;
    int x, y, width, height;
};

// The layout table for a client area of w x h.
std::vector<Place> ExpectedPlaces(int w, int h) {
    return {
        {IDC_RESULT, 14, 158, w - 28, h - 208},
        {IDC_INPUT_GROUP, 14, 64, w - 28, 85},
        {IDC_LOOKUP, 290, 85, 70, 25},
        {IDC_CONVERT_TO_IP, 30, 115, 250, 25},
        {IDOK, w - 84, h - 38, 70, 24},
        {IDC_TRAY, w - 162, h - 38, 70, 24},
        {IDC_MORE_SOFTWARE, 14, h - 38, 120, 24},
        {IDC_CONFIGURE, 142, h - 38, 70, 24},
    };
}

// The sizes asked of the query combo box since the last check (its window
// height includes the drop-down list, which the window rectangle does not
// show).
std::vector<SIZE> g_comboSizesAsked;
HHOOK g_sizeHook = nullptr;

LRESULT CALLBACK RecordComboSize(int code, WPARAM wp, LPARAM lp) {
    const CWPSTRUCT* call = reinterpret_cast<const CWPSTRUCT*>(lp);
    if (code == HC_ACTION && call->message == WM_WINDOWPOSCHANGING &&
        ::GetDlgCtrlID(call->hwnd) == IDC_QUERY) {
        const WINDOWPOS* pos = reinterpret_cast<const WINDOWPOS*>(call->lParam);
        if (!(pos->flags & SWP_NOSIZE))
            g_comboSizesAsked.push_back({pos->cx, pos->cy});
    }
    return ::CallNextHookEx(g_sizeHook, code, wp, lp);
}

void ExpectLayout(HWND dialog, const char* when) {
    RECT client;
    ::GetClientRect(dialog, &client);
    for (const Place& p : ExpectedPlaces(client.right, client.bottom)) {
        RECT r = ChildRect(dialog, p.id);
        EXPECT_EQ(r.left, p.x) << when << ", control " << p.id;
        EXPECT_EQ(r.top, p.y) << when << ", control " << p.id;
        EXPECT_EQ(r.right - r.left, p.width) << when << ", control " << p.id;
        EXPECT_EQ(r.bottom - r.top, p.height) << when << ", control " << p.id;
    }
    // The combo box: its field at 30, 85, 250 wide; it was given 250 pixels
    // of height for field and list, and is visible again after its move.
    RECT combo = ChildRect(dialog, IDC_QUERY);
    EXPECT_EQ(combo.left, 30) << when;
    EXPECT_EQ(combo.top, 85) << when;
    EXPECT_EQ(combo.right - combo.left, 250) << when;
    EXPECT_TRUE(std::any_of(g_comboSizesAsked.begin(), g_comboSizesAsked.end(), [](SIZE size) {
        return size.cx == 250 && size.cy == 250;
    })) << when;
    g_comboSizesAsked.clear();
    EXPECT_TRUE(::IsWindowVisible(::GetDlgItem(dialog, IDC_QUERY))) << when;
}

class MainWindowTest : public testing::Test {
protected:
    void SetUp() override {
        g_app.InitApplication(::GetModuleHandleA(nullptr));
        InitSettingsStore();
        mwtest::DeleteRegistryTree(HKEY_CURRENT_USER, mwtest::AppKeyPath());
        ClearActiveQuery();
        ClearLookupResult();
        SetBusyHooks(&fw::BeginWaitCursor, &fw::EndWaitCursor);
        g_cleanups = 0;
        g_comboSizesAsked.clear();
        g_sizeHook =
            ::SetWindowsHookExA(WH_CALLWNDPROC, &RecordComboSize, nullptr, ::GetCurrentThreadId());
    }
    void TearDown() override {
        ::UnhookWindowsHookEx(g_sizeHook);
        m_net.ReleaseAll();
        EXPECT_TRUE(m_net.WaitForWorkersToEnd(10s));
        ClearActiveQuery();
        mwtest::DeleteRegistryTree(HKEY_CURRENT_USER, mwtest::AppKeyPath());
    }

    // A fresh tray icon object (one per run, as the program has one per
    // process) whose shell calls are recorded and answered with
    // m_shellAccepts.
    CSystemTray& NewTray() {
        m_trays.push_back(std::make_unique<CSystemTray>());
        CSystemTray& tray = *m_trays.back();
        tray.SetNotifyIconFunction([this](DWORD message, TrayIconRecord& record) {
            m_trayCalls.push_back(message);
            m_lastRecord = record;
            return m_shellAccepts;
        });
        return tray;
    }
    CSystemTray& LastTray() { return *m_trays.back(); }

    std::unique_ptr<CLookupDlg> MakeDialog() {
        auto dialog = std::make_unique<CLookupDlg>(NewTray());
        dialog->SetNetwork(&m_net);
        dialog->SetSocketsCleanup(&CountCleanup);
        return dialog;
    }

    std::vector<DWORD> m_trayCalls;
    TrayIconRecord m_lastRecord{};
    bool m_shellAccepts = true;
    std::vector<std::unique_ptr<CSystemTray>> m_trays;
    GatedNetwork m_net;
};

// ---- initialisation ----------------------------------------------------------

TEST_F(MainWindowTest, InitialisationBuildsTheWindowFromDialog102) {
    g_app.WriteProfileInt("IP List", "Count", 3);
    g_app.WriteProfileString("IP List", "1", "newest.example");
    g_app.WriteProfileString("IP List", "3", "192.0.2.200");
    auto dlg = MakeDialog();
    std::string product, coBrand, heading;
    GetProductName(product);
    GetCoBrandName(coBrand);
    GetHeadingText(heading);

    // The template: frame, size, font and every control in tab order.
    mwtest::DialogTemplate dialogTemplate;
    ASSERT_TRUE(mwtest::ReadDialogTemplate(IDD_LOOKUP_DIALOG, dialogTemplate));
    const DWORD frame = WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME |
                        WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
    EXPECT_EQ(dialogTemplate.style & frame, frame);
    EXPECT_EQ(dialogTemplate.style & (WS_CHILD | DS_MODALFRAME), 0u);
    EXPECT_EQ(dialogTemplate.exStyle, static_cast<DWORD>(WS_EX_APPWINDOW));
    EXPECT_EQ(dialogTemplate.cx, 262);
    EXPECT_EQ(dialogTemplate.cy, 258);
    EXPECT_EQ(dialogTemplate.caption, "Ostrabel v1.0");
    EXPECT_EQ(dialogTemplate.face, "MS Sans Serif");
    EXPECT_EQ(dialogTemplate.pointSize, 8);
    struct Expected {
        DWORD id;
        const char* className;
        const char* text;
        DWORD style; // besides WS_CHILD | WS_VISIBLE
    };
    const DWORD pushButton = BS_PUSHBUTTON | WS_TABSTOP;
    const Expected expectedItems[] = {
        {IDC_INPUT_GROUP, "Button", "Please type in an IP address or domain name && click 'lookup'",
         BS_GROUPBOX},
        {IDC_QUERY, "ComboBox", "", CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_VSCROLL | WS_TABSTOP},
        {IDC_LOOKUP, "Button", "&Lookup", BS_DEFPUSHBUTTON | WS_TABSTOP},
        {IDC_CONVERT_TO_IP, "Button",
         "Do IP address lookup even if a domain or host name is specified.",
         BS_AUTOCHECKBOX | BS_MULTILINE | BS_TOP | WS_TABSTOP},
        {IDC_RESULT, "Edit", "",
         ES_LEFT | ES_MULTILINE | ES_READONLY | ES_WANTRETURN | WS_VSCROLL | WS_HSCROLL |
             WS_BORDER | WS_TABSTOP},
        {IDC_CONFIGURE, "Button", "&Configure...", pushButton},
        {IDC_TRAY, "Button", "&Tray", pushButton},
        {IDOK, "Button", "Close", pushButton},
        {IDC_MORE_SOFTWARE, "Button", "&More Software...", pushButton},
        {IDC_HEADING, "Static", "OSTRABEL: Find the owner of an IP or domain", SS_LEFT | WS_GROUP},
    };
    ASSERT_EQ(dialogTemplate.items.size(), std::size(expectedItems));
    for (std::size_t i = 0; i < std::size(expectedItems); ++i) {
        const mwtest::TemplateItem& item = dialogTemplate.items[i];
        const Expected& e = expectedItems[i];
        EXPECT_EQ(item.id, e.id) << "position " << i;
        EXPECT_STRCASEEQ(item.className.c_str(), e.className) << e.id;
        EXPECT_EQ(item.text, e.text) << e.id;
        EXPECT_EQ(item.style, e.style | WS_CHILD | WS_VISIBLE) << std::hex << e.id;
    }
    const mwtest::TemplateItem& headingItem = dialogTemplate.items.back();
    EXPECT_EQ(headingItem.x, 9);
    EXPECT_EQ(headingItem.y, 8);
    EXPECT_EQ(headingItem.cx, 241);
    EXPECT_EQ(headingItem.cy, 17);

    Script script;
    script.Do([&] {
        HWND hwnd = dlg->GetSafeHwnd();
        // The window: sizing border, boxes, system menu and a taskbar button.
        LONG style = ::GetWindowLongA(hwnd, GWL_STYLE);
        for (LONG bit :
             {WS_CAPTION, WS_SYSMENU, WS_THICKFRAME, WS_MINIMIZEBOX, WS_MAXIMIZEBOX, WS_VISIBLE})
            EXPECT_EQ(style & bit, bit) << std::hex << bit;
        EXPECT_NE(::GetWindowLongA(hwnd, GWL_EXSTYLE) & WS_EX_APPWINDOW, 0);
        EXPECT_EQ(mwtest::WindowText(hwnd), product + " [" + coBrand + "]");
        EXPECT_NE(product, "");

        // The controls exist in the template's (tab) order.
        HWND child = ::GetWindow(hwnd, GW_CHILD);
        for (const mwtest::TemplateItem& item : dialogTemplate.items) {
            ASSERT_NE(child, nullptr) << "missing control " << item.id;
            EXPECT_EQ(static_cast<DWORD>(::GetDlgCtrlID(child)), item.id);
            child = ::GetWindow(child, GW_HWNDNEXT);
        }
        EXPECT_EQ(child, nullptr) << "a control too many";
        EXPECT_EQ(ItemText(hwnd, IDC_LOOKUP), "&Lookup");
        EXPECT_EQ(ItemText(hwnd, IDOK), "Close");
        EXPECT_EQ(LOWORD(::SendMessageA(hwnd, DM_GETDEFID, 0, 0)), IDC_LOOKUP);
        // Fields empty, option from the registry's default (set), focus in
        // the query field, history loaded without the missing entry.
        EXPECT_EQ(ItemText(hwnd, IDC_QUERY), "");
        EXPECT_EQ(ItemText(hwnd, IDC_RESULT), "");
        EXPECT_EQ(::IsDlgButtonChecked(hwnd, IDC_CONVERT_TO_IP), BST_CHECKED);
        EXPECT_EQ(::GetFocus(), ComboField(hwnd));
        EXPECT_EQ(ComboEntries(::GetDlgItem(hwnd, IDC_QUERY)),
                  (std::vector<std::string>{"newest.example", "192.0.2.200"}));

        // The heading keeps its template rectangle and paints the
        // deciphered heading.
        RECT heading_du{9, 8, 9 + 241, 8 + 17};
        ::MapDialogRect(hwnd, &heading_du);
        RECT headingRect = ChildRect(hwnd, IDC_HEADING);
        EXPECT_TRUE(::EqualRect(&heading_du, &headingRect));
        auto* label = dynamic_cast<CHeadingLabel*>(
            fw::CWnd::FromHandlePermanent(::GetDlgItem(hwnd, IDC_HEADING)));
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(label->GetText(), heading);
        EXPECT_NE(heading, "");

        // The result box: Courier 14/500, ANSI, roman; 8-pixel margins.
        HFONT font =
            reinterpret_cast<HFONT>(::SendDlgItemMessageA(hwnd, IDC_RESULT, WM_GETFONT, 0, 0));
        LOGFONTA lf{};
        ASSERT_NE(::GetObjectA(font, sizeof lf, &lf), 0);
        EXPECT_STREQ(lf.lfFaceName, "Courier");
        EXPECT_EQ(lf.lfHeight, 14);
        EXPECT_EQ(lf.lfWeight, 500);
        EXPECT_EQ(lf.lfCharSet, ANSI_CHARSET);
        EXPECT_EQ(lf.lfPitchAndFamily, FF_ROMAN | DEFAULT_PITCH);
        LRESULT margins = ::SendDlgItemMessageA(hwnd, IDC_RESULT, EM_GETMARGINS, 0, 0);
        EXPECT_EQ(LOWORD(margins), 8);
        EXPECT_EQ(HIWORD(margins), 8);

        // Icons: the application icon, big and small, also while dragged.
        HICON icon = ::LoadIconA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAINFRAME));
        EXPECT_EQ(reinterpret_cast<HICON>(::SendMessageA(hwnd, WM_GETICON, ICON_BIG, 0)), icon);
        EXPECT_EQ(reinterpret_cast<HICON>(::SendMessageA(hwnd, WM_GETICON, ICON_SMALL, 0)), icon);
        EXPECT_EQ(reinterpret_cast<HICON>(::SendMessageA(hwnd, WM_QUERYDRAGICON, 0, 0)), icon);

        // The system menu ends with a separator and the About item.
        HMENU menu = ::GetSystemMenu(hwnd, FALSE);
        int count = ::GetMenuItemCount(menu);
        ASSERT_GE(count, 2);
        EXPECT_NE(::GetMenuState(menu, count - 2, MF_BYPOSITION) & MF_SEPARATOR, 0u);
        EXPECT_EQ(::GetMenuItemID(menu, count - 1), static_cast<UINT>(IDM_ABOUTBOX));
        char item[64] = {};
        ::GetMenuStringA(menu, count - 1, item, sizeof item, MF_BYPOSITION);
        EXPECT_STREQ(item, "&About ostrabel...");

        // The tray icon was created with the dialog's values and hidden at once.
        EXPECT_EQ(m_trayCalls, (std::vector<DWORD>{NIM_ADD, NIM_DELETE}));
        EXPECT_EQ(m_lastRecord.uCallbackMessage, 1034u);
        EXPECT_EQ(m_lastRecord.uID, 140u);
        EXPECT_EQ(std::string(m_lastRecord.szTip), product);
        EXPECT_EQ(m_lastRecord.hWnd, LastTray().GetSafeHwnd());
        EXPECT_NE(m_lastRecord.hIcon, nullptr);
        EXPECT_TRUE(LastTray().IsHidden());
        EXPECT_EQ(LastTray().GetDefaultMenuItem(), 0u);
        EXPECT_TRUE(LastTray().IsDefaultMenuItemByPosition());
        EXPECT_TRUE(dlg->HasTrayIcon());
        dlg->PostMessage(WM_COMMAND, IDOK, 0);
    });
    EXPECT_EQ(script.Run(*dlg), IDOK);
    EXPECT_TRUE(script.Finished());
}

// ---- the lookup road --------------------------------------------------------

TEST_F(MainWindowTest, QueryWithBlanksAndReturnShowsTheWorkersTextAndTopsTheHistory) {
    g_app.WriteProfileInt("IP List", "Count", 1);
    g_app.WriteProfileString("IP List", "1", "older.example");
    auto dlg = MakeDialog();
    std::string expected;
    {
        GatedNetwork fresh;
        RunWhoisLookup("192.0.2.7", expected, 1, fresh);
    }
    ASSERT_TRUE(Contains(expected, GatedNetwork::AnswerFor(0, "192.0.2.7")));
    m_net.Hold();
    HWND hwnd = nullptr;
    std::atomic<bool> pingDone{false};
    std::atomic<bool> pingAnswered{false};
    std::atomic<DWORD> pingMs{0};
    std::thread pinger;

    Script script;
    script
        .Do([&] {
            hwnd = dlg->GetSafeHwnd();
            ::SetDlgItemTextA(hwnd, IDC_RESULT, "previous result");
            ::SetDlgItemTextA(hwnd, IDC_QUERY, "  192.0.2.7 \t ");
            ::SetFocus(ComboField(hwnd));
            PostKey(ComboField(hwnd), VK_RETURN);
        })
        .Until([&] { return m_net.WaitForArrivals(1, 0ms); })
        // The lookup's steps replace the previous result as they are taken.
        .Until([&] {
            return ItemText(hwnd, IDC_RESULT) ==
                   "Looking up 192.0.2.7\r\nasking whois.arin.net ...\r\n";
        })
        .Do([&] {
            EXPECT_EQ(ItemText(hwnd, IDC_LOOKUP), "Abort");
            EXPECT_EQ(ActiveQuery(), "192.0.2.7");
            EXPECT_EQ(m_net.Queries(), std::vector<std::string>{"192.0.2.7"});
            // The trimmed query tops the history and shows in the field.
            EXPECT_EQ(ComboEntries(::GetDlgItem(hwnd, IDC_QUERY)),
                      (std::vector<std::string>{"192.0.2.7", "older.example"}));
            EXPECT_EQ(ItemText(hwnd, IDC_QUERY), "192.0.2.7");
            // The wait cursor shows over the window while the lookup runs.
            EXPECT_GT(fw::GetWaitCursorCount(), 0);
            ::SendMessageA(hwnd, WM_SETCURSOR, reinterpret_cast<WPARAM>(hwnd),
                           MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
            EXPECT_EQ(::GetCursor(), ::LoadCursorA(nullptr, MAKEINTRESOURCEA(32514)));
            // Another thread gets an answer from the window meanwhile.
            pinger = std::thread([&, target = hwnd] {
                DWORD start = ::GetTickCount();
                DWORD_PTR answer = 0;
                pingAnswered =
                    ::SendMessageTimeoutA(target, WM_NULL, 0, 0, SMTO_NORMAL, 2000, &answer) != 0;
                pingMs = ::GetTickCount() - start;
                pingDone = true;
            });
        })
        .Until([&] { return pingDone.load(); })
        .Do([&] {
            pinger.join();
            EXPECT_TRUE(pingAnswered.load());
            EXPECT_LT(pingMs.load(), 1000u);
            m_net.ReleaseAll();
        })
        .Until([&] { return ItemText(hwnd, IDC_LOOKUP) == "&Lookup"; })
        .Do([&] {
            EXPECT_EQ(ItemText(hwnd, IDC_RESULT), expected);
            EXPECT_FALSE(IsLookupRunning());
        })
        .Until([&] { return fw::GetWaitCursorCount() == 0; })
        .Do([&] { dlg->PostMessage(WM_COMMAND, IDOK, 0); });
    EXPECT_EQ(script.Run(*dlg), IDOK);
    EXPECT_TRUE(script.Finished());
    if (pinger.joinable())
        pinger.join();
}

TEST_F(MainWindowTest, BlankQueryChangesNothing) {
    g_app.WriteProfileInt("IP List", "Count", 2);
    g_app.WriteProfileString("IP List", "1", "first.example");
    g_app.WriteProfileString("IP List", "2", "second.example");
    auto dlg = MakeDialog();
    HWND hwnd = nullptr;
    const std::vector<std::string> history{"first.example", "second.example"};
    Script script;
    script
        .Do([&] {
            hwnd = dlg->GetSafeHwnd();
            ::SetDlgItemTextA(hwnd, IDC_RESULT, "previous result");
            LookUp(hwnd, "");
            LookUp(hwnd, " \t  \r\n ");
            ::SetFocus(ComboField(hwnd));
            PostKey(ComboField(hwnd), VK_RETURN);
        })
        .Pause(200)
        .Do([&] {
            EXPECT_EQ(ItemText(hwnd, IDC_LOOKUP), "&Lookup");
            EXPECT_FALSE(IsLookupRunning());
            EXPECT_EQ(ComboEntries(::GetDlgItem(hwnd, IDC_QUERY)), history);
            EXPECT_EQ(ItemText(hwnd, IDC_RESULT), "previous result");
            EXPECT_TRUE(m_net.Queries().empty());
            EXPECT_EQ(fw::GetWaitCursorCount(), 0);
            dlg->PostMessage(WM_COMMAND, IDOK, 0);
        });
    EXPECT_EQ(script.Run(*dlg), IDOK);
    EXPECT_TRUE(script.Finished());
}

// The default mode says "Aborted." at once; the classic one keeps what the
// box showed. Neither shows the late answer.
TEST_F(MainWindowTest, ReturnWhileALookupRunsAbortsAndTheLateAnswerIsNeverShown) {
    for (const bool classic : {false, true}) {
        SCOPED_TRACE(classic ? "classic" : "default");
        g_app.WriteProfileInt("Settings", "Classic Lookup", classic ? 1 : 0);
        GatedNetwork net;
        auto dlg = MakeDialog();
        dlg->SetNetwork(&net);
        net.Hold();
        HWND hwnd = nullptr;
        const std::string shown = classic ? "previous result" : "Aborted.";
        Script script;
        script
            .Do([&] {
                hwnd = dlg->GetSafeHwnd();
                ::SetDlgItemTextA(hwnd, IDC_RESULT, "previous result");
                ::SetDlgItemTextA(hwnd, IDC_QUERY, "192.0.2.8");
                ::SetFocus(ComboField(hwnd));
                PostKey(ComboField(hwnd), VK_RETURN);
            })
            .Until([&] { return net.WaitForArrivals(1, 0ms); })
            .Do([&] {
                EXPECT_EQ(ItemText(hwnd, IDC_LOOKUP), "Abort");
                PostKey(ComboField(hwnd), VK_RETURN);
            })
            .Until([&] { return ItemText(hwnd, IDC_LOOKUP) == "&Lookup"; })
            .Do([&] {
                EXPECT_FALSE(IsLookupRunning());
                EXPECT_EQ(ItemText(hwnd, IDC_RESULT), shown);
                net.ReleaseAll();
            })
            .Until([&] { return net.WaitForWorkersToEnd(0ms); })
            .Pause(200)
            .Do([&] {
                EXPECT_EQ(net.Finished(), 1u);
                EXPECT_EQ(ItemText(hwnd, IDC_RESULT), shown);
                EXPECT_EQ(ItemText(hwnd, IDC_LOOKUP), "&Lookup");
                EXPECT_EQ(LookupResult(), ""); // the worker delivered nothing
                EXPECT_EQ(net.Queries().size(), 1u);
                dlg->PostMessage(WM_COMMAND, IDOK, 0);
            });
        EXPECT_EQ(script.Run(*dlg), IDOK);
        EXPECT_TRUE(script.Finished());
    }
}

// Abort and at once a new lookup of the same text: both workers' queries are
// the active one; whichever ends first is shown, the other is dropped.
class AbortAndRestartTest : public MainWindowTest,
                            public testing::WithParamInterface<std::size_t> {};

TEST_P(AbortAndRestartTest, ShowsExactlyOneAnswer) {
    const std::size_t first = GetParam();
    const std::size_t second = 1 - first;
    const std::string query = "192.0.2.9";
    auto dlg = MakeDialog();
    m_net.Hold();
    HWND hwnd = nullptr;
    Script script;
    script
        .Do([&] {
            hwnd = dlg->GetSafeHwnd();
            ::SetDlgItemTextA(hwnd, IDC_RESULT, "previous result");
            LookUp(hwnd, query);
        })
        .Until([&] { return m_net.WaitForArrivals(1, 0ms); })
        .Do([&] {
            Click(hwnd, IDC_LOOKUP); // Abort
            EXPECT_EQ(ItemText(hwnd, IDC_LOOKUP), "&Lookup");
            EXPECT_FALSE(IsLookupRunning());
            Click(hwnd, IDC_LOOKUP); // the same text again
            EXPECT_EQ(ItemText(hwnd, IDC_LOOKUP), "Abort");
        })
        .Until([&] { return m_net.WaitForArrivals(2, 0ms); })
        .Do([&] { m_net.ReleaseTicket(first); })
        .Until([&] { return ItemText(hwnd, IDC_LOOKUP) == "&Lookup"; })
        .Do([&] {
            EXPECT_TRUE(
                Contains(ItemText(hwnd, IDC_RESULT), GatedNetwork::AnswerFor(first, query)));
            m_net.ReleaseTicket(second);
        })
        .Until([&] { return m_net.WaitForWorkersToEnd(0ms); })
        .Pause(200)
        .Do([&] {
            std::string shown = ItemText(hwnd, IDC_RESULT);
            EXPECT_TRUE(Contains(shown, GatedNetwork::AnswerFor(first, query)));
            EXPECT_FALSE(Contains(shown, GatedNetwork::AnswerFor(second, query)));
            EXPECT_EQ(ItemText(hwnd, IDC_LOOKUP), "&Lookup");
            EXPECT_FALSE(IsLookupRunning());
            EXPECT_EQ(ComboEntries(::GetDlgItem(hwnd, IDC_QUERY)), std::vector<std::string>{query});
            dlg->PostMessage(WM_COMMAND, IDOK, 0);
        });
    EXPECT_EQ(script.Run(*dlg), IDOK);
    EXPECT_TRUE(script.Finished());
}

INSTANTIATE_TEST_SUITE_P(EitherWorkerFirst, AbortAndRestartTest, testing::Values(0u, 1u));

// A worker can deliver just before the user aborts: its message is already
// queued when Abort is handled. That result must not be shown either, nor may
// it end a lookup started after the Abort.
TEST_F(MainWindowTest, AResultQueuedBeforeAbortIsDroppedAndDoesNotEndTheNextLookup) {
    auto dlg = MakeDialog();
    m_net.Hold();
    HWND hwnd = nullptr;
    Script script;
    script
        .Do([&] {
            hwnd = dlg->GetSafeHwnd();
            ::SetDlgItemTextA(hwnd, IDC_RESULT, "previous result");
            LookUp(hwnd, "192.0.2.10");
        })
        .Until([&] { return m_net.WaitForArrivals(1, 0ms); })
        .Do([&] {
            // The worker delivers while this step holds the window thread.
            m_net.ReleaseTicket(0);
            DWORD start = ::GetTickCount();
            while (!ResultQueued(hwnd) && ::GetTickCount() - start < 5000)
                ::Sleep(5);
            ASSERT_TRUE(ResultQueued(hwnd));
            Click(hwnd, IDC_LOOKUP); // Abort, with the result queued
            EXPECT_EQ(ItemText(hwnd, IDC_LOOKUP), "&Lookup");
            LookUp(hwnd, "192.0.2.11"); // and a new lookup at once
            EXPECT_EQ(ItemText(hwnd, IDC_LOOKUP), "Abort");
        })
        // The new lookup's steps show, nothing of the dropped result.
        .Until(
            [&] { return ItemText(hwnd, IDC_RESULT).rfind("Looking up 192.0.2.11\r\n", 0) == 0; })
        .Pause(200)
        .Do([&] {
            EXPECT_FALSE(Contains(ItemText(hwnd, IDC_RESULT), "answer-"));
            EXPECT_EQ(ItemText(hwnd, IDC_LOOKUP), "Abort");
            EXPECT_EQ(ActiveQuery(), "192.0.2.11");
        })
        .Until([&] { return m_net.WaitForArrivals(2, 0ms); })
        .Do([&] { m_net.ReleaseAll(); })
        .Until([&] { return ItemText(hwnd, IDC_LOOKUP) == "&Lookup"; })
        .Do([&] {
            EXPECT_TRUE(
                Contains(ItemText(hwnd, IDC_RESULT), GatedNetwork::AnswerFor(1, "192.0.2.11")));
            dlg->PostMessage(WM_COMMAND, IDOK, 0);
        });
    EXPECT_EQ(script.Run(*dlg), IDOK);
    EXPECT_TRUE(script.Finished());
}

TEST_F(MainWindowTest, ConvertToIpOptionGoesToTheWorker) {
    m_net.Resolves("host.example.test", "192.0.2.44");
    auto dlg = MakeDialog();
    HWND hwnd = nullptr;
    Script script;
    script
        .Do([&] {
            hwnd = dlg->GetSafeHwnd();
            ::CheckDlgButton(hwnd, IDC_CONVERT_TO_IP, BST_CHECKED);
            LookUp(hwnd, "host.example.test");
        })
        .Until([&] { return ItemText(hwnd, IDC_LOOKUP) == "&Lookup"; })
        .Do([&] {
            EXPECT_EQ(m_net.Resolved(), std::vector<std::string>{"host.example.test"});
            EXPECT_EQ(m_net.Queries(), std::vector<std::string>{"192.0.2.44"});
            EXPECT_TRUE(Contains(ItemText(hwnd, IDC_RESULT), "answer-0 for 192.0.2.44"));
            ::CheckDlgButton(hwnd, IDC_CONVERT_TO_IP, BST_UNCHECKED);
            LookUp(hwnd, "host.example.test");
        })
        .Until([&] { return ItemText(hwnd, IDC_LOOKUP) == "&Lookup"; })
        .Do([&] {
            // Not resolved: the domain path, where ".test" has no server and
            // IANA's answer names none.
            EXPECT_EQ(m_net.Resolved().size(), 1u);
            EXPECT_EQ(m_net.Queries(), (std::vector<std::string>{"192.0.2.44", "test"}));
            EXPECT_EQ(ItemText(hwnd, IDC_RESULT),
                      "I do not know the whois server for this domain extension");
            dlg->PostMessage(WM_COMMAND, IDOK, 0);
        });
    EXPECT_EQ(script.Run(*dlg), IDOK);
    EXPECT_TRUE(script.Finished());
    DWORD classic = 0;
    EXPECT_FALSE(mwtest::ReadRegistryInt("Settings", "Classic Lookup", classic)); // never written
}

TEST_F(MainWindowTest, ClassicLookupSettingGoesToTheWorker) {
    g_app.WriteProfileInt("Settings", "Classic Lookup", 1);
    auto dlg = MakeDialog();
    HWND hwnd = nullptr;
    Script script;
    script
        .Do([&] {
            hwnd = dlg->GetSafeHwnd();
            ::CheckDlgButton(hwnd, IDC_CONVERT_TO_IP, BST_CHECKED);
            LookUp(hwnd, "host.example.test");
        })
        .Until([&] { return ItemText(hwnd, IDC_LOOKUP) == "&Lookup"; })
        .Do([&] {
            // Not resolved: the classic text at once, no registry, no IANA.
            EXPECT_TRUE(m_net.Queries().empty());
            EXPECT_EQ(ItemText(hwnd, IDC_RESULT), "Unable to resolve host");
            dlg->PostMessage(WM_COMMAND, IDOK, 0);
        });
    EXPECT_EQ(script.Run(*dlg), IDOK);
    EXPECT_TRUE(script.Finished());
    DWORD classic = 0;
    EXPECT_TRUE(mwtest::ReadRegistryInt("Settings", "Classic Lookup", classic));
    EXPECT_EQ(classic, 1u);
}

// Message 1026 is DM_REPOSITION to the dialog manager, which pulls a window
// that is partly off the screen back onto it. The dialog must consume it: the
// dialog manager, which hands every message it gets to the dialog procedure
// first, must never see it, and the window stays where the user put it.
std::vector<UINT> g_dialogManagerSaw;
INT_PTR CALLBACK RecordingDialogProc(HWND, UINT msg, WPARAM, LPARAM) {
    g_dialogManagerSaw.push_back(msg);
    return FALSE;
}

TEST_F(MainWindowTest, ADeliveredResultIsConsumedAndDoesNotMoveAPartlyOffScreenWindow) {
    auto dlg = MakeDialog();
    HWND hwnd = nullptr;
    RECT before{};
    LONG_PTR originalDialogProc = 0;
    g_dialogManagerSaw.clear();
    auto saw = [](UINT msg) {
        return std::count(g_dialogManagerSaw.begin(), g_dialogManagerSaw.end(), msg);
    };
    Script script;
    script
        .Do([&] {
            hwnd = dlg->GetSafeHwnd();
            originalDialogProc = ::SetWindowLongPtrA(
                hwnd, DWLP_DLGPROC, reinterpret_cast<LONG_PTR>(&RecordingDialogProc));
            ::SetWindowPos(hwnd, nullptr, -150, -40, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
            ::GetWindowRect(hwnd, &before);
            ASSERT_EQ(before.left, -150);
            // The recorder sees what the dialog passes on.
            ::SendMessageA(hwnd, WM_NULL, 0, 0);
            EXPECT_EQ(saw(WM_NULL), 1);
            LookUp(hwnd, "192.0.2.12");
        })
        .Until([&] { return ItemText(hwnd, IDC_LOOKUP) == "&Lookup"; })
        .Do([&] { ::PostMessageA(hwnd, WM_LOOKUP_DONE, 0, 0); }) // a stray one too
        .Pause(100)
        .Do([&] {
            EXPECT_TRUE(Contains(ItemText(hwnd, IDC_RESULT), "answer-0 for 192.0.2.12"));
            EXPECT_EQ(saw(WM_LOOKUP_DONE), 0);
            RECT after{};
            ::GetWindowRect(hwnd, &after);
            EXPECT_TRUE(::EqualRect(&before, &after))
                << after.left << "," << after.top << " instead of " << before.left << ","
                << before.top;
            ::SetWindowLongPtrA(hwnd, DWLP_DLGPROC, originalDialogProc);
            dlg->PostMessage(WM_COMMAND, IDOK, 0);
        });
    EXPECT_EQ(script.Run(*dlg), IDOK);
    EXPECT_TRUE(script.Finished());
}

TEST_F(MainWindowTest, AUtf8AnswerShowsAsCharactersAndAnyOtherAsCodePageBytes) {
    const struct {
        std::string answer;
        std::wstring shown; // empty: read back as the bytes of the result
    } rows[] = {
        // Cyrillic and Japanese too, which no single-byte code page holds; the
        // owner summary above the record shows them alike.
        {"person: J\xC3\xBCrgen M\xC3\xBCller\ndescr:  "
         "\xD0\x9C\xD0\xBE\xD1\x81\xD0\xBA\xD0\xB2\xD0\xB0 "
         "\xE6\x9D\xB1\xE4\xBA\xAC\n",
         L"Owner:         \u041c\u043e\u0441\u043a\u0432\u0430 \u6771\u4eac\r\n"
         L"Source:        WHOIS whois.arin.net\r\n\r\n"
         L"192.0.2.7\r\n\r\nperson: J\u00fcrgen M\u00fcller\r\n"
         L"descr:  \u041c\u043e\u0441\u043a\u0432\u0430 \u6771\u4eac"},
        // Not UTF-8: read as Windows-1252 (0x80 is the euro sign) under the
        // manifest's UTF-8 code page, as bytes of the code page before it.
        {"person: J\xFCrgen M\xFCller \x80\n",
         ::GetACP() == CP_UTF8 ? L"192.0.2.7\r\n\r\nperson: J\u00fcrgen M\u00fcller \u20ac" : L""},
    };
    for (const auto& row : rows) {
        m_net.AnswerAlways(row.answer);
        auto dlg = MakeDialog();
        HWND hwnd = nullptr;
        Script script;
        script.Do([&] { LookUp(hwnd = dlg->GetSafeHwnd(), "192.0.2.7"); })
            .Until([&] { return ItemText(hwnd, IDC_LOOKUP) == "&Lookup"; })
            .Do([&] {
                HWND box = ::GetDlgItem(hwnd, IDC_RESULT);
                std::wstring wide(static_cast<std::size_t>(::GetWindowTextLengthW(box)) + 1, L'\0');
                wide.resize(static_cast<std::size_t>(
                    ::GetWindowTextW(box, wide.data(), static_cast<int>(wide.size()))));
                if (row.shown.empty())
                    EXPECT_EQ(ItemText(hwnd, IDC_RESULT), LookupResult());
                else
                    EXPECT_EQ(wide, row.shown);
                dlg->PostMessage(WM_COMMAND, IDOK, 0);
            });
        EXPECT_EQ(script.Run(*dlg), IDOK);
    }
}

// ---- any script ----------------------------------------------------------------

// Characters as the keyboard delivers them, after translation: posted to the
// field and taken by the dialog's own message loop.
void TypeCharacters(HWND field, const std::wstring& text) {
    for (wchar_t c : text)
        ::PostMessageW(field, WM_CHAR, c, 1);
}

// The program's manifest is in the executable's resources, and Wine honours
// its code page: the 8-bit calls are UTF-8.
TEST_F(MainWindowTest, TheManifestAsksForStylesDpiAwarenessAndUtf8) {
    HRSRC found = ::FindResourceA(nullptr, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    ASSERT_NE(found, nullptr);
    const char* bytes = static_cast<const char*>(::LockResource(::LoadResource(nullptr, found)));
    ASSERT_NE(bytes, nullptr);
    const std::string manifest(bytes, ::SizeofResource(nullptr, found));
    for (const char* part :
         {"Microsoft.Windows.Common-Controls", "PerMonitorV2", "<dpiAware", "true/pm",
          "<activeCodePage", ">UTF-8<", "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",
          "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}", "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",
          "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"})
        EXPECT_TRUE(Contains(manifest, part)) << part;
    EXPECT_EQ(::GetACP(), static_cast<UINT>(CP_UTF8));
}

// Names typed in Cyrillic and Japanese reach the network in their ASCII form
// and come back from the history intact after a restart.
TEST_F(MainWindowTest, NamesTypedInAnyScriptGoOutInAsciiAndSurviveARestart) {
    const struct {
        std::wstring typed;
        std::string utf8, ascii;
    } rows[] = {
        {L"\u043f\u0440\u0438\u043c\u0435\u0440.\u0440\u0444",
         "\xD0\xBF\xD1\x80\xD0\xB8\xD0\xBC\xD0\xB5\xD1\x80.\xD1\x80\xD1\x84",
         "xn--e1afmkfd.xn--p1ai"},
        {L"\u4f8b\u3048.jp", "\xE4\xBE\x8B\xE3\x81\x88.jp", "xn--r8jz45g.jp"},
    };
    {
        auto dlg = MakeDialog();
        HWND hwnd = nullptr;
        Script script;
        script.Do([&] { hwnd = dlg->GetSafeHwnd(); });
        for (const auto& row : rows) {
            script
                .Do([&] {
                    ::SetDlgItemTextA(hwnd, IDC_QUERY, "");
                    ::SetFocus(ComboField(hwnd));
                    TypeCharacters(ComboField(hwnd), row.typed);
                })
                .Until([&] { return ItemText(hwnd, IDC_QUERY) == row.utf8; })
                .Do([&] { PostKey(ComboField(hwnd), VK_RETURN); })
                .Until([&] { return m_net.WaitForWorkersToEnd(0ms) && !IsLookupRunning(); });
        }
        script.Do([&] { dlg->PostMessage(WM_COMMAND, IDOK, 0); });
        EXPECT_EQ(script.Run(*dlg), IDOK);
        EXPECT_TRUE(script.Finished());
    }
    std::vector<std::string> sent = m_net.Queries();
    for (const std::string& name : m_net.Resolved())
        sent.push_back(name);
    for (const auto& row : rows) {
        const bool asAscii = std::any_of(
            sent.begin(), sent.end(), [&](const std::string& q) { return Contains(q, row.ascii); });
        EXPECT_TRUE(asAscii) << row.ascii;
    }
    for (const std::string& q : sent)
        EXPECT_TRUE(std::all_of(q.begin(), q.end(), [](char c) {
            return c != '?' && static_cast<unsigned char>(c) < 0x80;
        })) << q;
    // The restart: the history holds both names as typed, the last on top.
    auto again = MakeDialog();
    Script script;
    script.Do([&] {
        HWND hwnd = again->GetSafeHwnd();
        EXPECT_EQ(ComboEntries(::GetDlgItem(hwnd, IDC_QUERY)),
                  (std::vector<std::string>{rows[1].utf8, rows[0].utf8}));
        again->PostMessage(WM_COMMAND, IDOK, 0);
    });
    EXPECT_EQ(script.Run(*again), IDOK);
}

// ---- layout -------------------------------------------------------------------

TEST_F(MainWindowTest, LayoutFollowsThePixelTableAtEverySize) {
    auto dlg = MakeDialog();
    HWND hwnd = nullptr;
    Script script;
    script.Do([&] {
        hwnd = dlg->GetSafeHwnd();
        ExpectLayout(hwnd, "at start");
        ::SetWindowPos(hwnd, nullptr, 0, 0, 700, 560, SWP_NOMOVE | SWP_NOZORDER);
        ExpectLayout(hwnd, "at 700 x 560");
        ::SetWindowPos(hwnd, nullptr, 0, 0, 455, 610, SWP_NOMOVE | SWP_NOZORDER);
        ExpectLayout(hwnd, "at 455 x 610");

        // Minimised, the controls stay; restored, they are laid out again.
        RECT result = ChildRect(hwnd, IDC_RESULT);
        ::ShowWindow(hwnd, SW_MINIMIZE);
        EXPECT_TRUE(::IsIconic(hwnd));
        RECT whileMinimised = ChildRect(hwnd, IDC_RESULT);
        EXPECT_EQ(whileMinimised.right - whileMinimised.left, result.right - result.left);
        ::ShowWindow(hwnd, SW_RESTORE);
        ExpectLayout(hwnd, "restored");
        ::ShowWindow(hwnd, SW_MAXIMIZE);
        ExpectLayout(hwnd, "maximised");
        ::ShowWindow(hwnd, SW_RESTORE);
        dlg->PostMessage(WM_COMMAND, IDOK, 0);
    });
    EXPECT_EQ(script.Run(*dlg), IDOK);
    EXPECT_TRUE(script.Finished());
}

// What a window shows of its DPI: the DPI, the result font's height (read
// back through WM_GETFONT), two rectangles the program computes, and the
// height of the Configure dialog's list font.
struct DpiFigures {
    int dpi = 0;
    int fontHeight = 0;
    RECT lookup{}, convert{};
    int listFontHeight = 0;
};

int FontHeight(HWND control) {
    LOGFONTA font{};
    HFONT handle = reinterpret_cast<HFONT>(::SendMessageA(control, WM_GETFONT, 0, 0));
    if (handle != nullptr && ::GetObjectA(handle, sizeof font, &font) == sizeof font)
        return std::abs(font.lfHeight);
    return 0;
}

DpiFigures MeasureWindow(CLookupDlg& dlg) {
    DpiFigures figures;
    Script script;
    script.Do([&] {
        HWND hwnd = dlg.GetSafeHwnd();
        figures.dpi = dlg.Dpi();
        figures.fontHeight = FontHeight(::GetDlgItem(hwnd, IDC_RESULT));
        figures.lookup = ChildRect(hwnd, IDC_LOOKUP);
        figures.convert = ChildRect(hwnd, IDC_CONVERT_TO_IP);
        dlg.PostMessage(WM_COMMAND, IDOK, 0);
    });
    EXPECT_EQ(script.Run(dlg), IDOK);
    CConfigureDlg configure(&dlg);
    Script list;
    list.Do([&] {
        figures.listFontHeight = FontHeight(::GetDlgItem(configure.GetSafeHwnd(), IDC_SERVER_LIST));
        configure.PostMessage(WM_COMMAND, IDCANCEL, 0);
    });
    EXPECT_EQ(list.Run(configure), IDCANCEL);
    return figures;
}

// Wine's DPI setting, read by each process as it starts.
void SetLogPixels(DWORD dpi) {
    HKEY key = nullptr;
    if (::RegCreateKeyExA(HKEY_CURRENT_USER, "Control Panel\\Desktop", 0, nullptr, 0, KEY_SET_VALUE,
                          nullptr, &key, nullptr) == ERROR_SUCCESS) {
        ::RegSetValueExA(key, "LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi),
                         sizeof dpi);
        ::RegCloseKey(key);
    }
}

// At 96 DPI the window has today's pixels; at 144 (a child process of this
// test started with Wine's LogPixels at 144, which reports its figures in a
// file) the result font and the computed rectangles are 1.5 times as large.
TEST_F(MainWindowTest, FontsAndLayoutFollowTheDpi) {
    char report[MAX_PATH] = {};
    if (::GetEnvironmentVariableA("OSTRABEL_DPI_REPORT", report, MAX_PATH) > 0) {
        auto dlg = MakeDialog();
        const DpiFigures f = MeasureWindow(*dlg);
        std::ofstream(report) << f.dpi << ' ' << f.fontHeight << ' ' << f.lookup.left << ' '
                              << f.lookup.top << ' ' << f.lookup.right << ' ' << f.lookup.bottom
                              << ' ' << f.convert.right - f.convert.left << ' '
                              << f.convert.bottom - f.convert.top << ' ' << f.listFontHeight
                              << '\n';
        return;
    }
    auto dlg = MakeDialog();
    const DpiFigures at96 = MeasureWindow(*dlg);
    ASSERT_EQ(at96.dpi, 96);
    EXPECT_EQ(at96.fontHeight, 14);
    EXPECT_EQ(at96.listFontHeight, 14);
    EXPECT_EQ(at96.lookup.left, 290);
    EXPECT_EQ(at96.lookup.top, 85);
    EXPECT_EQ(at96.lookup.right - at96.lookup.left, 70);
    EXPECT_EQ(at96.lookup.bottom - at96.lookup.top, 25);

    char exe[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, exe, MAX_PATH);
    char temp[MAX_PATH] = {};
    ::GetTempPathA(MAX_PATH, temp);
    const std::string reportPath = std::string(temp) + "ostrabel_dpi_report.txt";
    ::DeleteFileA(reportPath.c_str());
    std::string command =
        std::string("\"") + exe + "\" --gtest_filter=MainWindowTest.FontsAndLayoutFollowTheDpi";
    SetLogPixels(144);
    ::SetEnvironmentVariableA("OSTRABEL_DPI_REPORT", reportPath.c_str());
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child{};
    const bool started = ::CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0,
                                          nullptr, nullptr, &startup, &child) != FALSE;
    ::SetEnvironmentVariableA("OSTRABEL_DPI_REPORT", nullptr);
    if (started) {
        EXPECT_EQ(::WaitForSingleObject(child.hProcess, 60000), WAIT_OBJECT_0);
        ::CloseHandle(child.hThread);
        ::CloseHandle(child.hProcess);
    }
    SetLogPixels(96);
    ASSERT_TRUE(started);
    std::ifstream in(reportPath);
    DpiFigures at144;
    int convertWidth = 0, convertHeight = 0;
    in >> at144.dpi >> at144.fontHeight >> at144.lookup.left >> at144.lookup.top >>
        at144.lookup.right >> at144.lookup.bottom >> convertWidth >> convertHeight >>
        at144.listFontHeight;
    ASSERT_TRUE(in) << "no report from the child at 144 DPI";
    EXPECT_EQ(at144.dpi, 144);
    EXPECT_EQ(at144.fontHeight, 21);
    EXPECT_EQ(at144.listFontHeight, 21);
    EXPECT_EQ(at144.lookup.left, 435);
    EXPECT_EQ(at144.lookup.top, 128); // 127.5, rounded
    EXPECT_EQ(at144.lookup.right - at144.lookup.left, 105);
    EXPECT_EQ(at144.lookup.bottom - at144.lookup.top, 38);
    EXPECT_EQ(convertWidth, 375);
    EXPECT_EQ(convertHeight, 38);
    ::DeleteFileA(reportPath.c_str());
}

// A move to a monitor of 144 DPI (WM_DPICHANGED, as the system sends it):
// the window takes the proposed rectangle, the fonts and the layout follow.
TEST_F(MainWindowTest, ADpiChangeRescalesFontsAndLayout) {
    auto dlg = MakeDialog();
    Script script;
    script.Do([&] {
        HWND hwnd = dlg->GetSafeHwnd();
        RECT proposed{20, 30, 20 + 600, 30 + 660};
        ::SendMessageA(hwnd, CLookupDlg::kDpiChangedMessage, MAKEWPARAM(144, 144),
                       reinterpret_cast<LPARAM>(&proposed));
        EXPECT_EQ(dlg->Dpi(), 144);
        RECT window{};
        ::GetWindowRect(hwnd, &window);
        EXPECT_EQ(window.right - window.left, 600);
        EXPECT_EQ(window.bottom - window.top, 660);
        LOGFONTA font{};
        HFONT handle = reinterpret_cast<HFONT>(
            ::SendMessageA(::GetDlgItem(hwnd, IDC_RESULT), WM_GETFONT, 0, 0));
        ASSERT_EQ(::GetObjectA(handle, sizeof font, &font), static_cast<int>(sizeof font));
        EXPECT_EQ(std::abs(font.lfHeight), 21);
        const RECT lookup = ChildRect(hwnd, IDC_LOOKUP);
        EXPECT_EQ(lookup.left, 435);
        EXPECT_EQ(lookup.right - lookup.left, 105);
        // The bottom row keeps 1.5 times its 14 pixels below the result box.
        const RECT client = dlg->GetClientRect();
        EXPECT_EQ(ChildRect(hwnd, IDOK).bottom, client.bottom - 57 + 36);
        dlg->PostMessage(WM_COMMAND, IDOK, 0);
    });
    EXPECT_EQ(script.Run(*dlg), IDOK);
    EXPECT_TRUE(script.Finished());
}

TEST_F(MainWindowTest, WindowCannotGetSmallerThan400By350AndTheBottomRowDoesNotOverlap) {
    auto dlg = MakeDialog();
    Script script;
    script.Do([&] {
        HWND hwnd = dlg->GetSafeHwnd();
        MINMAXINFO info{};
        ::SendMessageA(hwnd, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
        EXPECT_EQ(info.ptMinTrackSize.x, 400);
        EXPECT_EQ(info.ptMinTrackSize.y, 350);

        ::SetWindowPos(hwnd, nullptr, 0, 0, 120, 90, SWP_NOMOVE | SWP_NOZORDER);
        RECT window;
        ::GetWindowRect(hwnd, &window);
        EXPECT_EQ(window.right - window.left, 400);
        EXPECT_EQ(window.bottom - window.top, 350);
        ExpectLayout(hwnd, "at the minimum size");

        RECT more = ChildRect(hwnd, IDC_MORE_SOFTWARE);
        RECT configure = ChildRect(hwnd, IDC_CONFIGURE);
        RECT tray = ChildRect(hwnd, IDC_TRAY);
        RECT close = ChildRect(hwnd, IDOK);
        RECT result = ChildRect(hwnd, IDC_RESULT);
        EXPECT_LE(more.right, configure.left);
        EXPECT_EQ(configure.right, 212);
        EXPECT_LE(configure.right, tray.left);
        EXPECT_LE(tray.right, close.left);
        EXPECT_GT(result.bottom, result.top);
        EXPECT_LE(result.bottom, close.top);
        dlg->PostMessage(WM_COMMAND, IDOK, 0);
    });
    EXPECT_EQ(script.Run(*dlg), IDOK);
    EXPECT_TRUE(script.Finished());
}

// While minimised the window draws its icon itself (erasing the icon's
// background first); restored, painting is the dialog's own again.
std::vector<UINT> g_sentToDialog;
HWND g_watchedDialog = nullptr;
HHOOK g_paintHook = nullptr;

LRESULT CALLBACK RecordSentToDialog(int code, WPARAM wp, LPARAM lp) {
    const CWPSTRUCT* call = reinterpret_cast<const CWPSTRUCT*>(lp);
    if (code == HC_ACTION && call->hwnd == g_watchedDialog)
        g_sentToDialog.push_back(call->message);
    return ::CallNextHookEx(g_paintHook, code, wp, lp);
}

TEST_F(MainWindowTest, MinimisedWindowPaintsItsIcon) {
    auto dlg = MakeDialog();
    int erasedWhileMinimised = -1, erasedWhileRestored = -1;
    Script script;
    script.Do([&] {
        HWND hwnd = dlg->GetSafeHwnd();
        g_watchedDialog = hwnd;
        g_paintHook = ::SetWindowsHookExA(WH_CALLWNDPROC, &RecordSentToDialog, nullptr,
                                          ::GetCurrentThreadId());
        auto erasures = [&] {
            g_sentToDialog.clear();
            // A paint message of its own, as the system sends when the
            // window needs painting.
            ::SendMessageA(hwnd, WM_PAINT, 0, 0);
            return static_cast<int>(
                std::count(g_sentToDialog.begin(), g_sentToDialog.end(), WM_ICONERASEBKGND));
        };
        ::ShowWindow(hwnd, SW_MINIMIZE);
        erasedWhileMinimised = erasures();
        ::ShowWindow(hwnd, SW_RESTORE);
        erasedWhileRestored = erasures();
        ::UnhookWindowsHookEx(g_paintHook);
        dlg->PostMessage(WM_COMMAND, IDOK, 0);
    });
    EXPECT_EQ(script.Run(*dlg), IDOK);
    EXPECT_EQ(erasedWhileMinimised, 1);
    EXPECT_EQ(erasedWhileRestored, 0);
}

// ---- closing ------------------------------------------------------------------

TEST_F(MainWindowTest, ClosingWhileALookupRunsTakesTheExtraSecondAndShowsNothingOfIt) {
    auto dlg = MakeDialog();
    m_net.Hold();
    HWND hwnd = nullptr;
    DWORD closeMs = 0;
    std::string shownAtTheEnd;
    std::size_t finishedDuringClose = 0;
    Script script;
    script
        .Do([&] {
            hwnd = dlg->GetSafeHwnd();
            ::SetDlgItemTextA(hwnd, IDC_RESULT, "previous result");
            LookUp(hwnd, "192.0.2.13");
        })
        .Until([&] { return m_net.WaitForArrivals(1, 0ms); })
        .Until(
            [&] { return ItemText(hwnd, IDC_RESULT).rfind("Looking up 192.0.2.13\r\n", 0) == 0; })
        .Do([&] {
            // The worker ends in the middle of the close sequence's wait.
            std::thread([this] {
                ::Sleep(300);
                m_net.ReleaseAll();
            }).detach();
            DWORD start = ::GetTickCount();
            ::SendMessageA(hwnd, WM_COMMAND, IDOK, 0);
            closeMs = ::GetTickCount() - start;
            finishedDuringClose = m_net.Finished();
            shownAtTheEnd = ItemText(hwnd, IDC_RESULT);
        });
    EXPECT_EQ(script.Run(*dlg), IDOK);
    EXPECT_TRUE(script.Finished());
    EXPECT_GE(closeMs, 990u);
    EXPECT_EQ(finishedDuringClose, 1u);
    EXPECT_TRUE(m_net.WaitForWorkersToEnd(5s));
    // The lookup's steps, nothing of its answer.
    EXPECT_EQ(shownAtTheEnd.rfind("Looking up 192.0.2.13\r\n", 0), 0u) << shownAtTheEnd;
    EXPECT_FALSE(Contains(shownAtTheEnd, "answer-"));
    EXPECT_EQ(LookupResult(), "");
    EXPECT_EQ(g_cleanups, 1);

    // Without a lookup the close takes no extra second.
    auto idle = MakeDialog();
    DWORD idleMs = 0;
    Script idleScript;
    idleScript.Do([&] {
        DWORD start = ::GetTickCount();
        ::SendMessageA(idle->GetSafeHwnd(), WM_COMMAND, IDOK, 0);
        idleMs = ::GetTickCount() - start;
    });
    EXPECT_EQ(idleScript.Run(*idle), IDOK);
    EXPECT_LT(idleMs, 700u);
}

// A worker still running when the dialog goes away holds only the window's
// handle: it finds the window gone and touches neither the dialog object nor
// the next dialog's window.
TEST_F(MainWindowTest, WorkerThatOutlivesTheDialogTouchesNothingReleased) {
    HWND oldWindow = nullptr;
    m_net.Hold();
    {
        auto dlg = MakeDialog();
        Script script;
        script
            .Do([&] {
                oldWindow = dlg->GetSafeHwnd();
                LookUp(oldWindow, "192.0.2.14");
            })
            .Until([&] { return m_net.WaitForArrivals(1, 0ms); })
            .Do([&] { dlg->PostMessage(WM_COMMAND, IDOK, 0); });
        EXPECT_EQ(script.Run(*dlg), IDOK);
    } // the dialog object is destroyed with its worker still held
    EXPECT_FALSE(::IsWindow(oldWindow));
    EXPECT_EQ(m_net.Finished(), 0u);

    auto next = MakeDialog();
    HWND hwnd = nullptr;
    Script script;
    script
        .Do([&] {
            hwnd = next->GetSafeHwnd();
            ::SetDlgItemTextA(hwnd, IDC_RESULT, "second window");
            m_net.ReleaseAll();
        })
        .Until([&] { return m_net.WaitForWorkersToEnd(0ms); })
        .Pause(200)
        .Do([&] {
            EXPECT_EQ(m_net.Finished(), 1u);
            EXPECT_EQ(ItemText(hwnd, IDC_RESULT), "second window");
            EXPECT_EQ(ItemText(hwnd, IDC_LOOKUP), "&Lookup");
            EXPECT_EQ(LookupResult(), "");
            next->PostMessage(WM_COMMAND, IDOK, 0);
        });
    EXPECT_EQ(script.Run(*next), IDOK);
    EXPECT_TRUE(script.Finished());
}

TEST_F(MainWindowTest, ClosingSavesOptionHistoryAndPlacementAndARestartRestoresThem) {
    WINDOWPLACEMENT normal{};
    {
        auto dlg = MakeDialog();
        HWND hwnd = nullptr;
        Script script;
        script
            .Do([&] {
                hwnd = dlg->GetSafeHwnd();
                ::SetWindowPos(hwnd, nullptr, 40, 30, 520, 460, SWP_NOZORDER);
                LookUp(hwnd, "192.0.2.1");
            })
            .Until([&] { return ItemText(hwnd, IDC_LOOKUP) == "&Lookup"; })
            .Do([&] { LookUp(hwnd, "example-handle"); })
            .Until([&] { return ItemText(hwnd, IDC_LOOKUP) == "&Lookup"; })
            .Do([&] {
                ::CheckDlgButton(hwnd, IDC_CONVERT_TO_IP, BST_UNCHECKED);
                normal.length = sizeof normal;
                ::GetWindowPlacement(hwnd, &normal);
                ::ShowWindow(hwnd, SW_MAXIMIZE);
                dlg->PostMessage(WM_COMMAND, IDOK, 0);
            });
        EXPECT_EQ(script.Run(*dlg), IDOK);
    }
    DWORD convert = 99, count = 0;
    std::string first, second, windowPos;
    EXPECT_TRUE(mwtest::ReadRegistryInt("Settings", "Convert To IP", convert));
    EXPECT_EQ(convert, 0u);
    EXPECT_TRUE(mwtest::ReadRegistryInt("IP List", "Count", count));
    EXPECT_EQ(count, 2u);
    EXPECT_TRUE(mwtest::ReadRegistryText("IP List", "1", first));
    EXPECT_TRUE(mwtest::ReadRegistryText("IP List", "2", second));
    EXPECT_EQ(first, "example-handle");
    EXPECT_EQ(second, "192.0.2.1");
    EXPECT_TRUE(mwtest::ReadRegistryText("Settings", "WindowPos", windowPos));
    EXPECT_EQ(windowPos.rfind("2,3,", 0), 0u) << windowPos;

    // The restart: maximised, option cleared, history in order.
    {
        auto dlg = MakeDialog();
        Script script;
        script.Do([&] {
            HWND hwnd = dlg->GetSafeHwnd();
            EXPECT_TRUE(::IsZoomed(hwnd));
            EXPECT_EQ(::IsDlgButtonChecked(hwnd, IDC_CONVERT_TO_IP), BST_UNCHECKED);
            EXPECT_EQ(ComboEntries(::GetDlgItem(hwnd, IDC_QUERY)),
                      (std::vector<std::string>{"example-handle", "192.0.2.1"}));
            ExpectLayout(hwnd, "restarted maximised");
            ::ShowWindow(hwnd, SW_RESTORE);
            WINDOWPLACEMENT now{};
            now.length = sizeof now;
            ::GetWindowPlacement(hwnd, &now);
            const RECT& a = now.rcNormalPosition;
            const RECT& b = normal.rcNormalPosition;
            EXPECT_TRUE(::EqualRect(&a, &b))
                << a.left << "," << a.top << "," << a.right << "," << a.bottom << " instead of "
                << b.left << "," << b.top << "," << b.right << "," << b.bottom;
            ::SetWindowPos(hwnd, nullptr, 120, 90, 480, 410, SWP_NOZORDER);
            ::CheckDlgButton(hwnd, IDC_CONVERT_TO_IP, BST_CHECKED);
            dlg->PostMessage(WM_COMMAND, IDOK, 0);
        });
        EXPECT_EQ(script.Run(*dlg), IDOK);
        EXPECT_TRUE(script.Finished());
    }
    // And again, in its normal state at the new place.
    {
        auto dlg = MakeDialog();
        EXPECT_EQ(dlg->m_bConvertToIp, 1);
        Script script;
        script.Do([&] {
            HWND hwnd = dlg->GetSafeHwnd();
            EXPECT_FALSE(::IsZoomed(hwnd));
            RECT window;
            ::GetWindowRect(hwnd, &window);
            EXPECT_EQ(window.left, 120);
            EXPECT_EQ(window.top, 90);
            EXPECT_EQ(window.right - window.left, 480);
            EXPECT_EQ(window.bottom - window.top, 410);
            ExpectLayout(hwnd, "restarted");
            dlg->PostMessage(WM_COMMAND, IDOK, 0);
        });
        EXPECT_EQ(script.Run(*dlg), IDOK);
        EXPECT_TRUE(script.Finished());
    }
}

TEST_F(MainWindowTest, StoredConvertToIpOutsideTheRangeShowsClearedAndIsWrittenBackAsZero) {
    for (int stored : {7, -3, 2}) {
        g_app.WriteProfileInt("Settings", "Convert To IP", stored);
        auto dlg = MakeDialog();
        EXPECT_EQ(dlg->m_bConvertToIp, stored);
        const int shown = stored == 2 ? BST_CHECKED : BST_UNCHECKED;
        Script script;
        script.Do([&] {
            EXPECT_EQ(::IsDlgButtonChecked(dlg->GetSafeHwnd(), IDC_CONVERT_TO_IP),
                      static_cast<UINT>(shown))
                << stored;
            dlg->PostMessage(WM_COMMAND, IDOK, 0);
        });
        EXPECT_EQ(script.Run(*dlg), IDOK);
        DWORD written = 99;
        EXPECT_TRUE(mwtest::ReadRegistryInt("Settings", "Convert To IP", written));
        EXPECT_EQ(written, stored == 2 ? 1u : 0u) << stored;
    }
}

struct CloseWay {
    const char* name;
    void (*close)(HWND dialog);
};

class CloseWayTest : public MainWindowTest, public testing::WithParamInterface<CloseWay> {};

TEST_P(CloseWayTest, RunsTheCloseSequence) {
    const std::string field = std::string("closed-by-") + GetParam().name;
    auto dlg = MakeDialog();
    Script script;
    script.Do([&] {
        HWND hwnd = dlg->GetSafeHwnd();
        ::SetDlgItemTextA(hwnd, IDC_QUERY, field.c_str());
        ::CheckDlgButton(hwnd, IDC_CONVERT_TO_IP, BST_UNCHECKED);
        ::SetFocus(ComboField(hwnd));
        GetParam().close(hwnd);
    });
    EXPECT_EQ(script.Run(*dlg), IDOK);
    EXPECT_TRUE(script.Finished());
    EXPECT_EQ(g_cleanups, 1);
    DWORD convert = 99, count = 0;
    std::string top, windowPos;
    EXPECT_TRUE(mwtest::ReadRegistryInt("Settings", "Convert To IP", convert));
    EXPECT_EQ(convert, 0u);
    EXPECT_TRUE(mwtest::ReadRegistryInt("IP List", "Count", count));
    EXPECT_EQ(count, 1u);
    EXPECT_TRUE(mwtest::ReadRegistryText("IP List", "1", top));
    EXPECT_EQ(top, field);
    EXPECT_TRUE(mwtest::ReadRegistryText("Settings", "WindowPos", windowPos));
    EXPECT_EQ(windowPos.rfind("0,1,", 0), 0u) << windowPos;
}

INSTANTIATE_TEST_SUITE_P(
    EveryWay, CloseWayTest,
    testing::Values(
        CloseWay{"close-button",
                 [](HWND d) { ::PostMessageA(::GetDlgItem(d, IDOK), BM_CLICK, 0, 0); }},
        CloseWay{"close-box", [](HWND d) { ::PostMessageA(d, WM_SYSCOMMAND, SC_CLOSE, 0); }},
        CloseWay{"alt-f4",
                 [](HWND d) {
                     ::PostMessageA(d, WM_SYSKEYDOWN, VK_F4,
                                    1 | (::MapVirtualKeyA(VK_F4, 0) << 16) | (1u << 29));
                 }},
        CloseWay{"cancel", [](HWND d) { ::PostMessageA(d, WM_COMMAND, IDCANCEL, 0); }},
        CloseWay{"tray-exit", [](HWND d) { ::PostMessageA(d, WM_COMMAND, ID_TRAY_EXIT, 0); }}),
    [](const testing::TestParamInfo<CloseWay>& info) {
        std::string name = info.param.name;
        for (char& c : name)
            if (c == '-')
                c = '_';
        return name;
    });

TEST_F(MainWindowTest, EscapeClosesTheHistoryListAndOtherwiseDoesNothing) {
    auto dlg = MakeDialog();
    HWND hwnd = nullptr;
    Script script;
    script
        .Do([&] {
            hwnd = dlg->GetSafeHwnd();
            ::SetFocus(ComboField(hwnd));
            // An open history list: Escape closes it and nothing else.
            ::SendMessageA(::GetDlgItem(hwnd, IDC_QUERY), CB_SHOWDROPDOWN, TRUE, 0);
            EXPECT_TRUE(::SendMessageA(::GetDlgItem(hwnd, IDC_QUERY), CB_GETDROPPEDSTATE, 0, 0));
            PostKey(ComboField(hwnd), VK_ESCAPE);
        })
        .Pause(100)
        .Do([&] {
            EXPECT_FALSE(::SendMessageA(::GetDlgItem(hwnd, IDC_QUERY), CB_GETDROPPEDSTATE, 0, 0));
            EXPECT_FALSE(dlg->IsEnded());
            PostKey(ComboField(hwnd), VK_ESCAPE);
            PostKey(::GetDlgItem(hwnd, IDC_RESULT), VK_ESCAPE);
            PostKey(::GetDlgItem(hwnd, IDC_LOOKUP), VK_ESCAPE);
            PostKey(hwnd, VK_ESCAPE);
        })
        .Pause(200)
        .Do([&] {
            EXPECT_FALSE(dlg->IsEnded());
            EXPECT_TRUE(::IsWindowVisible(hwnd));
            EXPECT_EQ(g_cleanups, 0);
            std::string windowPos;
            EXPECT_FALSE(mwtest::ReadRegistryText("Settings", "WindowPos", windowPos));
            dlg->PostMessage(WM_COMMAND, IDOK, 0);
        });
    EXPECT_EQ(script.Run(*dlg), IDOK);
    EXPECT_TRUE(script.Finished());
    EXPECT_EQ(g_cleanups, 1);
}

// ---- the notification area ----------------------------------------------------

TEST_F(MainWindowTest, TrayHidesTheWindowAndRestoreOrADoubleClickBringsItBack) {
    auto dlg = MakeDialog();
    HWND hwnd = nullptr;
    Script script;
    script.Do([&] {
        hwnd = dlg->GetSafeHwnd();
        m_trayCalls.clear();
        ::SendMessageA(::GetDlgItem(hwnd, IDC_TRAY), BM_CLICK, 0, 0);
        EXPECT_FALSE(::IsWindowVisible(hwnd));
        EXPECT_EQ(m_trayCalls, std::vector<DWORD>{NIM_ADD});
        EXPECT_FALSE(LastTray().IsHidden());

        // The tray menu's "Restore".
        ::SendMessageA(hwnd, WM_COMMAND, ID_TRAY_RESTORE, 0);
        EXPECT_TRUE(::IsWindowVisible(hwnd));
        EXPECT_EQ(m_trayCalls, (std::vector<DWORD>{NIM_ADD, NIM_DELETE}));
        EXPECT_TRUE(LastTray().IsHidden());

        // A double click on the icon sends "Restore" (the default item).
        ::SendMessageA(hwnd, WM_COMMAND, IDC_TRAY, 0);
        EXPECT_FALSE(::IsWindowVisible(hwnd));
        EXPECT_EQ(LastTray().OnIconNotify(140, WM_LBUTTONDBLCLK), 1);
        EXPECT_TRUE(::IsWindowVisible(hwnd));
        EXPECT_TRUE(LastTray().IsHidden());
        EXPECT_EQ(m_trayCalls, (std::vector<DWORD>{NIM_ADD, NIM_DELETE, NIM_ADD, NIM_DELETE}));
        EXPECT_FALSE(::IsIconic(hwnd));

        // From the tray, the tray menu's "Exit" closes the program.
        ::SendMessageA(hwnd, WM_COMMAND, IDC_TRAY, 0);
        ::PostMessageA(hwnd, WM_COMMAND, ID_TRAY_EXIT, 0);
    });
    EXPECT_EQ(script.Run(*dlg), IDOK);
    EXPECT_TRUE(script.Finished());
    EXPECT_EQ(g_cleanups, 1);
    std::string windowPos;
    EXPECT_TRUE(mwtest::ReadRegistryText("Settings", "WindowPos", windowPos));
    EXPECT_EQ(windowPos.rfind("0,1,", 0), 0u) << windowPos; // hidden stores normal
}

TEST_F(MainWindowTest, MinimizeSettingStartsTheProgramInTheTray) {
    g_app.WriteProfileInt("Settings", "Minimize", 1);
    auto dlg = MakeDialog();
    HWND hwnd = nullptr;
    Script script;
    script.Do([&] { hwnd = dlg->GetSafeHwnd(); })
        .Until([&] { return !::IsWindowVisible(hwnd); })
        .Do([&] {
            EXPECT_EQ(m_trayCalls, (std::vector<DWORD>{NIM_ADD, NIM_DELETE, NIM_ADD}));
            EXPECT_FALSE(LastTray().IsHidden());
            ::SendMessageA(hwnd, WM_COMMAND, ID_TRAY_RESTORE, 0);
            EXPECT_TRUE(::IsWindowVisible(hwnd));
            EXPECT_TRUE(LastTray().IsHidden());
            dlg->PostMessage(WM_COMMAND, IDOK, 0);
        });
    EXPECT_EQ(script.Run(*dlg), IDOK);
    EXPECT_TRUE(script.Finished());
    DWORD minimize = 0;
    EXPECT_TRUE(mwtest::ReadRegistryInt("Settings", "Minimize", minimize));
    EXPECT_EQ(minimize, 1u); // never written by the program
}

// Without a notification area the dialog still initialises fully, and the
// window is minimised instead of hidden: hidden without an icon it could
// never come back.
TEST_F(MainWindowTest, WithoutATrayIconInitialisationGoesOnAndTrayMinimises) {
    m_shellAccepts = false;
    g_app.WriteProfileInt("Settings", "Minimize", 1);
    g_app.WriteProfileInt("IP List", "Count", 1);
    g_app.WriteProfileString("IP List", "1", "kept.example");
    auto dlg = MakeDialog();
    std::string title, heading;
    GetWindowTitle(title);
    GetHeadingText(heading);
    HWND hwnd = nullptr;
    Script script;
    script
        .Do([&] {
            hwnd = dlg->GetSafeHwnd();
            EXPECT_FALSE(dlg->HasTrayIcon());
            EXPECT_EQ(mwtest::WindowText(hwnd), title);
            auto* label = dynamic_cast<CHeadingLabel*>(
                fw::CWnd::FromHandlePermanent(::GetDlgItem(hwnd, IDC_HEADING)));
            ASSERT_NE(label, nullptr);
            EXPECT_EQ(label->GetText(), heading);
            EXPECT_EQ(ComboEntries(::GetDlgItem(hwnd, IDC_QUERY)),
                      std::vector<std::string>{"kept.example"});
            LOGFONTA lf{};
            ::GetObjectA(
                reinterpret_cast<HFONT>(::SendDlgItemMessageA(hwnd, IDC_RESULT, WM_GETFONT, 0, 0)),
                sizeof lf, &lf);
            EXPECT_STREQ(lf.lfFaceName, "Courier");
            EXPECT_EQ(LOWORD(::SendDlgItemMessageA(hwnd, IDC_RESULT, EM_GETMARGINS, 0, 0)), 8);
        })
        .Until([&] { return ::IsIconic(hwnd) != FALSE; })
        .Do([&] {
            EXPECT_TRUE(::IsWindowVisible(hwnd)); // minimised, not hidden
            ::ShowWindow(hwnd, SW_RESTORE);
            EXPECT_FALSE(::IsIconic(hwnd));
            Click(hwnd, IDC_TRAY);
            EXPECT_TRUE(::IsIconic(hwnd));
            EXPECT_TRUE(::IsWindowVisible(hwnd));
            EXPECT_EQ(m_trayCalls, std::vector<DWORD>{NIM_ADD}); // only the refused add
            ::ShowWindow(hwnd, SW_RESTORE);
            dlg->PostMessage(WM_COMMAND, IDOK, 0);
        });
    EXPECT_EQ(script.Run(*dlg), IDOK);
    EXPECT_TRUE(script.Finished());
}

// ---- the other roads ----------------------------------------------------------

TEST_F(MainWindowTest, SystemMenuAboutOpensTheAboutBoxAndOtherCommandsKeepTheirMeaning) {
    auto dlg = MakeDialog();
    HWND hwnd = nullptr;
    int aboutBoxes = 0;
    Script script;
    auto closeAbout = [&] {
        HWND about = mwtest::FindOwnedWindow(hwnd, "About");
        if (about == nullptr)
            return false;
        ++aboutBoxes;
        ::PostMessageA(about, WM_COMMAND, IDOK, 0);
        return true;
    };
    auto aboutGone = [&] { return mwtest::FindOwnedWindow(hwnd, "About") == nullptr; };
    script
        .Do([&] {
            hwnd = dlg->GetSafeHwnd();
            ::PostMessageA(hwnd, WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
        })
        .Until(closeAbout)
        .Until(aboutGone)
        .Do([&] {
            // Only the low four bits are ignored.
            ::PostMessageA(hwnd, WM_SYSCOMMAND, IDM_ABOUTBOX | 0x7, 0);
        })
        .Until(closeAbout)
        .Until(aboutGone)
        .Do([&] {
            ::SendMessageA(hwnd, WM_SYSCOMMAND, SC_MINIMIZE, 0);
            EXPECT_TRUE(::IsIconic(hwnd));
            ::SendMessageA(hwnd, WM_SYSCOMMAND, SC_RESTORE, 0);
            EXPECT_FALSE(::IsIconic(hwnd));
            EXPECT_EQ(aboutBoxes, 2);
            dlg->PostMessage(WM_COMMAND, IDOK, 0);
        });
    EXPECT_EQ(script.Run(*dlg), IDOK);
    EXPECT_TRUE(script.Finished());
}

TEST_F(MainWindowTest, ConfigureOpensTheServerListDialogFromTheButtonAndTheTrayMenu) {
    auto dlg = MakeDialog();
    HWND hwnd = nullptr;
    int opened = 0;
    auto cancelConfigure = [&] {
        HWND configure = mwtest::FindOwnedWindow(hwnd, "Configure");
        if (configure == nullptr)
            return false;
        ++opened;
        EXPECT_FALSE(::IsWindowEnabled(hwnd)); // modal over the main window
        ::PostMessageA(configure, WM_COMMAND, IDCANCEL, 0);
        return true;
    };
    auto configureGone = [&] { return mwtest::FindOwnedWindow(hwnd, "Configure") == nullptr; };
    Script script;
    script
        .Do([&] {
            hwnd = dlg->GetSafeHwnd();
            ::PostMessageA(::GetDlgItem(hwnd, IDC_CONFIGURE), BM_CLICK, 0, 0);
        })
        .Until(cancelConfigure)
        .Until(configureGone)
        .Do([&] { ::PostMessageA(hwnd, WM_COMMAND, IDC_CONFIGURE, 0); }) // tray menu item
        .Until(cancelConfigure)
        .Until(configureGone)
        .Do([&] {
            EXPECT_EQ(opened, 2);
            EXPECT_TRUE(::IsWindowEnabled(hwnd));
            dlg->PostMessage(WM_COMMAND, IDOK, 0);
        });
    EXPECT_EQ(script.Run(*dlg), IDOK);
    EXPECT_TRUE(script.Finished());
}

// "&More Software..." hands the maker's page to the shell; here the shell's
// web-page handler is a stand-in that records the address it was given.
TEST_F(MainWindowTest, MoreSoftwareOpensTheMakersPage) {
    char temp[MAX_PATH];
    ::GetTempPathA(sizeof temp, temp);
    const std::string record = std::string(temp) + "ostrabel-main-window-" +
                               std::to_string(::GetCurrentProcessId()) + ".txt";
    ::DeleteFileA(record.c_str());
    ::SetEnvironmentVariableA("OSTRABEL_RECORD_FILE", record.c_str());
    std::string recorder = OSTRABEL_RECORDER_EXE;
    for (char& c : recorder)
        if (c == '/')
            c = '\\';

    // The "http" protocol's open command, saved and replaced for the test.
    const char* commandKey = "http\\shell\\open\\command";
    char saved[1024] = {};
    LONG savedSize = sizeof saved;
    const bool hadCommand = ::RegQueryValueA(HKEY_CLASSES_ROOT, commandKey, saved, &savedSize) == 0;
    const std::string command = "\"" + recorder + "\" \"%1\"";
    ASSERT_EQ(::RegSetValueA(HKEY_CLASSES_ROOT, commandKey, REG_SZ, command.c_str(),
                             static_cast<DWORD>(command.size())),
              0);

    auto readRecord = [&] {
        std::ifstream in(record, std::ios::binary);
        std::string line;
        std::getline(in, line);
        return line;
    };
    auto dlg = MakeDialog();
    std::string line;
    Script script;
    script.Do([&] { Click(dlg->GetSafeHwnd(), IDC_MORE_SOFTWARE); })
        .Until([&] {
            line = readRecord();
            return !line.empty();
        })
        .Do([&] { dlg->PostMessage(WM_COMMAND, IDOK, 0); });
    EXPECT_EQ(script.Run(*dlg, 30000), IDOK);

    if (hadCommand)
        ::RegSetValueA(HKEY_CLASSES_ROOT, commandKey, REG_SZ, saved,
                       static_cast<DWORD>(std::strlen(saved)));
    ::DeleteFileA(record.c_str());
    ::SetEnvironmentVariableA("OSTRABEL_RECORD_FILE", nullptr);

    const std::string address = BuildMoreSoftwareUrl("more");
    EXPECT_TRUE(Contains(line, address)) << line << " lacks " << address;
}

// ---- the saved placement --------------------------------------------------------

TEST_F(MainWindowTest, SavedPlacementOffEveryScreenComesBackOntoTheNearestOne) {
    g_app.WriteProfileString("Settings", "WindowPos", "0,1,-1,-1,-1,-1,5000,4000,5420,4380");
    auto dlg = MakeDialog();
    Script script;
    script.Do([&] {
        HWND hwnd = dlg->GetSafeHwnd();
        RECT window;
        ::GetWindowRect(hwnd, &window);
        EXPECT_EQ(window.right - window.left, 420);
        EXPECT_EQ(window.bottom - window.top, 380);
        RECT work{};
        ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
        EXPECT_GE(window.left, work.left);
        EXPECT_GE(window.top, work.top);
        EXPECT_LE(window.right, work.right);
        EXPECT_LE(window.bottom, work.bottom);
        EXPECT_TRUE(::IsWindowVisible(hwnd));
        dlg->PostMessage(WM_COMMAND, IDOK, 0);
    });
    EXPECT_EQ(script.Run(*dlg), IDOK);
    EXPECT_TRUE(script.Finished());
}

TEST_F(MainWindowTest, SavedPlacementPartlyOnTheScreenIsKeptAsItIs) {
    g_app.WriteProfileString("Settings", "WindowPos", "0,1,-1,-1,-1,-1,-100,-50,320,370");
    auto dlg = MakeDialog();
    Script script;
    script.Do([&] {
        RECT window;
        ::GetWindowRect(dlg->GetSafeHwnd(), &window);
        EXPECT_EQ(window.left, -100);
        EXPECT_EQ(window.top, -50);
        EXPECT_EQ(window.right, 320);
        EXPECT_EQ(window.bottom, 370);
        dlg->PostMessage(WM_COMMAND, IDOK, 0);
    });
    EXPECT_EQ(script.Run(*dlg), IDOK);
    EXPECT_TRUE(script.Finished());
}

} // namespace
