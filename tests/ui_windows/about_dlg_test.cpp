// The About box under Wine: the dialog runs modally inside the test; a
// thread timer inspects it once it is up and then closes it.
#include "ui/about_dlg.h"

#include "test_dialogs.h"
#include "ui/branding.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

// Runs dialog modally. Once its window is up, inspect(hwnd) runs inside the
// modal loop and then close(hwnd) ends the dialog. A dialog that is still
// open after ten seconds is cancelled. Returns DoModal's result.
class ModalRun {
public:
    static INT_PTR Run(CAboutDlg& dialog, std::function<void(HWND)> inspect,
                       std::function<void(HWND)> close) {
        s_dialog = &dialog;
        s_inspect = std::move(inspect);
        s_close = std::move(close);
        s_inspected = false;
        UINT_PTR poll = ::SetTimer(nullptr, 0, 20, &ModalRun::OnPoll);
        UINT_PTR watchdog = ::SetTimer(nullptr, 0, 10000, &ModalRun::OnWatchdog);
        INT_PTR result = dialog.DoModal();
        ::KillTimer(nullptr, poll);
        ::KillTimer(nullptr, watchdog);
        s_dialog = nullptr;
        return result;
    }
    static bool Inspected() { return s_inspected; }

private:
    static void CALLBACK OnPoll(HWND, UINT, UINT_PTR, DWORD) {
        if (s_inspected || s_dialog == nullptr || !::IsWindow(s_dialog->GetSafeHwnd()))
            return;
        s_inspected = true;
        HWND hwnd = s_dialog->GetSafeHwnd();
        s_inspect(hwnd);
        s_close(hwnd);
    }
    static void CALLBACK OnWatchdog(HWND, UINT, UINT_PTR, DWORD) {
        if (s_dialog != nullptr && ::IsWindow(s_dialog->GetSafeHwnd()))
            ::PostMessageA(s_dialog->GetSafeHwnd(), WM_COMMAND, IDCANCEL, 0);
    }

    static inline CAboutDlg* s_dialog = nullptr;
    static inline std::function<void(HWND)> s_inspect;
    static inline std::function<void(HWND)> s_close;
    static inline bool s_inspected = false;
};

bool EqualsIgnoringCase(const std::string& a, const std::string& b) {
    return ::lstrcmpiA(a.c_str(), b.c_str()) == 0;
}

void PressOk(HWND dialog) {
    ::PostMessageA(dialog, WM_COMMAND, IDOK, 0);
}

struct Child {
    HWND hwnd;
    std::string className;
    std::string text;
    LONG style;
};

std::vector<Child> Children(HWND dialog) {
    std::vector<Child> children;
    for (HWND child = ::GetWindow(dialog, GW_CHILD); child != nullptr;
         child = ::GetWindow(child, GW_HWNDNEXT)) {
        char className[64] = {};
        char text[256] = {};
        ::GetClassNameA(child, className, sizeof className);
        ::GetWindowTextA(child, text, sizeof text);
        children.push_back({child, className, text, ::GetWindowLongA(child, GWL_STYLE)});
    }
    return children;
}

std::string TextOf(HWND dialog, int id) {
    char text[256] = {};
    ::GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
}

HFONT FontOf(HWND window) {
    return reinterpret_cast<HFONT>(::SendMessageA(window, WM_GETFONT, 0, 0));
}

// The child's rectangle in the dialog's client coordinates.
RECT ClientRectOf(HWND dialog, HWND child) {
    RECT r;
    ::GetWindowRect(child, &r);
    ::MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// Dialog units to pixels as the dialog manager does it: position and size
// each converted on their own.
RECT DialogUnits(HWND dialog, int x, int y, int width, int height) {
    RECT r = {x, y, width, height};
    ::MapDialogRect(dialog, &r);
    return {r.left, r.top, r.left + r.right, r.top + r.bottom};
}

std::string Expected(void (*getter)(std::string&)) {
    std::string text;
    getter(text);
    return text;
}

TEST(AboutDlgTest, FillsTheProgramsAboutBox) {
    const std::string product = Expected(GetProductName);
    const std::string copyright = Expected(GetCopyrightText);
    const std::string coBrand = Expected(GetCoBrandName);
    ASSERT_EQ(product, "Ostrabel");

    CAboutDlg dialog;
    std::vector<Child> children;
    std::string caption;
    std::vector<RECT> actual;
    std::vector<RECT> expected;
    LOGFONTA dialogFont = {};
    LRESULT defaultId = 0;
    int okId = 0;
    HICON icon = nullptr;

    INT_PTR result = ModalRun::Run(
        dialog,
        [&](HWND hwnd) {
            children = Children(hwnd);
            char text[64] = {};
            ::GetWindowTextA(hwnd, text, sizeof text);
            caption = text;
            ::GetObjectA(FontOf(hwnd), sizeof dialogFont, &dialogFont);
            defaultId = ::SendMessageA(hwnd, DM_GETDEFID, 0, 0);
            if (children.size() == 9)
                okId = ::GetDlgCtrlID(children[8].hwnd);
            if (!children.empty())
                icon = reinterpret_cast<HICON>(::SendMessageA(children[0].hwnd, STM_GETICON, 0, 0));
            const int layout[9][4] = {
                {17, 15, 0, 0},    {9, 5, 233, 51},  {49, 13, 187, 12},
                {49, 32, 187, 18}, {9, 60, 233, 39}, {49, 70, 187, 9},
                {49, 80, 187, 13}, {9, 171, 76, 8},  {181, 166, 61, 18},
            };
            for (std::size_t i = 0; i < children.size() && i < 9; ++i) {
                actual.push_back(ClientRectOf(hwnd, children[i].hwnd));
                expected.push_back(
                    DialogUnits(hwnd, layout[i][0], layout[i][1], layout[i][2], layout[i][3]));
            }
        },
        PressOk);

    ASSERT_TRUE(ModalRun::Inspected());
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(caption, "About");
    EXPECT_STREQ(dialogFont.lfFaceName, "MS Sans Serif");

    ASSERT_EQ(children.size(), 9u);
    const struct {
        const char* className;
        std::string text;
    } want[9] = {
        {"Static", ""},      {"Button", ""},
        {"Static", product}, {"Static", copyright},
        {"Button", ""},      {"Static", "Brought to you by"},
        {"Static", coBrand}, {"Static", "Build Date: 01.27.03"},
        {"Button", "OK"},
    };
    for (std::size_t i = 0; i < 9; ++i) {
        SCOPED_TRACE("child " + std::to_string(i));
        EXPECT_TRUE(EqualsIgnoringCase(children[i].className, want[i].className))
            << children[i].className;
        if (i != 0) {
            EXPECT_EQ(children[i].text, want[i].text);
        }
        // Position in dialog units; the icon sizes itself.
        EXPECT_EQ(actual[i].left, expected[i].left);
        EXPECT_EQ(actual[i].top, expected[i].top);
        if (i != 0) {
            EXPECT_EQ(actual[i].right, expected[i].right);
            EXPECT_EQ(actual[i].bottom, expected[i].bottom);
        }
    }
    EXPECT_EQ(children[0].style & SS_TYPEMASK, SS_ICON);
    EXPECT_NE(icon, nullptr);
    EXPECT_EQ(children[1].style & BS_TYPEMASK, BS_GROUPBOX);
    EXPECT_EQ(children[4].style & BS_TYPEMASK, BS_GROUPBOX);
    EXPECT_NE(children[2].style & SS_CENTERIMAGE, 0);
    EXPECT_EQ(children[8].style & BS_TYPEMASK, BS_DEFPUSHBUTTON);
    EXPECT_EQ(okId, IDOK);
    EXPECT_EQ(defaultId, MAKELRESULT(IDOK, DC_HASDEFID));
}

TEST(AboutDlgTest, BoldFontOnTheNamesOnly) {
    CAboutDlg dialog;
    HFONT fonts[9] = {};
    HFONT dialogFont = nullptr;
    ModalRun::Run(
        dialog,
        [&](HWND hwnd) {
            std::vector<Child> children = Children(hwnd);
            for (std::size_t i = 0; i < children.size() && i < 9; ++i)
                fonts[i] = FontOf(children[i].hwnd);
            dialogFont = FontOf(hwnd);
        },
        PressOk);
    ASSERT_TRUE(ModalRun::Inspected());

    HFONT bold = dialog.GetBoldFont();
    ASSERT_NE(bold, nullptr);
    EXPECT_EQ(fonts[2], bold); // product name
    EXPECT_EQ(fonts[6], bold); // co-brand name
    EXPECT_EQ(fonts[3], dialogFont);
    EXPECT_EQ(fonts[5], dialogFont);
    EXPECT_EQ(fonts[7], dialogFont);

    LOGFONTA lf = {};
    ASSERT_EQ(::GetObjectA(bold, sizeof lf, &lf), static_cast<int>(sizeof lf));
    EXPECT_STREQ(lf.lfFaceName, "Arial");
    EXPECT_EQ(lf.lfHeight, 20);
    EXPECT_EQ(lf.lfWidth, 0);
    EXPECT_EQ(lf.lfWeight, 700);
    EXPECT_EQ(lf.lfItalic, 0);
    EXPECT_EQ(lf.lfUnderline, 0);
    EXPECT_EQ(lf.lfStrikeOut, 0);
    EXPECT_EQ(lf.lfCharSet, ANSI_CHARSET);
    EXPECT_EQ(lf.lfPitchAndFamily, FF_ROMAN);
}

TEST(AboutDlgTest, ClosesWithOkEscapeAndTheCloseBox) {
    // Every opening fills the texts afresh.
    for (int round = 0; round < 2; ++round) {
        CAboutDlg dialog;
        std::string version;
        INT_PTR result = ModalRun::Run(
            dialog, [&](HWND hwnd) { version = Children(hwnd).at(7).text; },
            [](HWND hwnd) {
                // Escape goes to the control with the focus; the dialog
                // manager turns it into Cancel.
                HWND focus = ::GetFocus();
                ::PostMessageA(focus != nullptr ? focus : hwnd, WM_KEYDOWN, VK_ESCAPE, 0);
            });
        ASSERT_TRUE(ModalRun::Inspected());
        EXPECT_EQ(result, IDCANCEL) << "round " << round;
        EXPECT_EQ(version, "Build Date: 01.27.03");
    }

    CAboutDlg dialog;
    INT_PTR result = ModalRun::Run(
        dialog, [](HWND) {}, [](HWND hwnd) { ::PostMessageA(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0); });
    EXPECT_EQ(result, IDCANCEL);

    CAboutDlg other;
    result = ModalRun::Run(
        other, [](HWND) {},
        [](HWND hwnd) {
            HWND ok = ::GetDlgItem(hwnd, IDOK);
            ::PostMessageA(hwnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                           reinterpret_cast<LPARAM>(ok));
        });
    EXPECT_EQ(result, IDOK);
}

TEST(AboutDlgTest, OnlyExactPlaceholdersInStaticsAreReplaced) {
    WNDCLASSA lookalike = {};
    lookalike.style = CS_GLOBALCLASS;
    lookalike.lpfnWndProc = ::DefWindowProcA;
    lookalike.hInstance = ::GetModuleHandleA(nullptr);
    lookalike.lpszClassName = TEST_LOOKALIKE_CLASS;
    ATOM atom = ::RegisterClassA(&lookalike);
    ASSERT_NE(atom, 0);

    const std::string product = Expected(GetProductName);
    const std::string copyright = Expected(GetCopyrightText);
    const std::string coBrand = Expected(GetCoBrandName);

    CAboutDlg dialog(nullptr, IDD_TEST_PLACEHOLDERS);
    std::vector<std::pair<int, std::string>> texts;
    std::string productClass;
    HFONT lowerProductFont = nullptr;
    HFONT productFont = nullptr;
    HFONT productAgainFont = nullptr;
    INT_PTR result = ModalRun::Run(
        dialog,
        [&](HWND hwnd) {
            for (int id = IDC_T_PRODUCT; id <= IDC_T_UPPER_CLASS_COBRAND; ++id)
                texts.emplace_back(id, TextOf(hwnd, id));
            char className[64] = {};
            ::GetClassNameA(::GetDlgItem(hwnd, IDC_T_PRODUCT), className, sizeof className);
            productClass = className;
            productFont = FontOf(::GetDlgItem(hwnd, IDC_T_PRODUCT));
            productAgainFont = FontOf(::GetDlgItem(hwnd, IDC_T_PRODUCT_AGAIN));
            lowerProductFont = FontOf(::GetDlgItem(hwnd, IDC_T_LOWER_PRODUCT));
        },
        PressOk);
    ::UnregisterClassA(TEST_LOOKALIKE_CLASS, ::GetModuleHandleA(nullptr));
    ASSERT_TRUE(ModalRun::Inspected());
    EXPECT_EQ(result, IDOK);

    // The system's class name is not all capitals, so only a comparison
    // without regard to case finds these statics.
    EXPECT_EQ(productClass, "Static");

    const std::vector<std::pair<int, std::string>> want = {
        {IDC_T_PRODUCT, product},
        {IDC_T_PRODUCT_AGAIN, product}, // the visit goes on after a match
        {IDC_T_COPYRIGHT, copyright},
        {IDC_T_COBRAND, coBrand},
        {IDC_T_VERSION, "Build Date: 01.27.03"},
        {IDC_T_LOWER_PRODUCT, "<product name>"},
        {IDC_T_UPPER_COPYRIGHT, "<COPYRIGHT>"},
        {IDC_T_PADDED_COBRAND, "<Co-brand Name> "},
        {IDC_T_BUTTON_PRODUCT, "<Product Name>"},
        {IDC_T_EDIT_COPYRIGHT, "<Copyright>"},
        {IDC_T_LOOKALIKE_VERSION, "<Version Date>"},
        {IDC_T_OTHER_TEXT, "Brought to you by"},
        {IDC_T_UPPER_CLASS_COBRAND, coBrand},
    };
    EXPECT_EQ(texts, want);

    EXPECT_EQ(productFont, dialog.GetBoldFont());
    EXPECT_EQ(productAgainFont, dialog.GetBoldFont());
    EXPECT_NE(lowerProductFont, dialog.GetBoldFont());
}

} // namespace
