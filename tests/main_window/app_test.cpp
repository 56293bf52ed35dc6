// The program's start-up and end, run in-process: CLookupApp's start-up with
// the sockets layer replaced by a test's own start and clean-up.
#include "app/lookup_app.h"

#include "app/lookup_dlg.h"
#include "app/system_tray.h"
#include "engine/busy.h"
#include "engine/lookup_worker.h"
#include "framework/thread.h"
#include "res/resource.h"
#include "tests/main_window/main_window_support.h"
#include "ui/branding.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace std::chrono_literals;
using mwtest::GatedNetwork;
using mwtest::Script;

namespace {

int g_startups = 0;
int g_cleanups = 0;
bool FailingStartup() {
    ++g_startups;
    return false;
}
bool WorkingStartup() {
    ++g_startups;
    return true;
}
void CountingCleanup() {
    ++g_cleanups;
}

std::string CompanyKey(const fw::CWinApp& app) {
    return "software\\Tarvolk Technologies\\" + app.GetAppName();
}

// What the message box of a failed start-up showed.
struct MessageBoxSeen {
    bool seen = false;
    std::string caption;
    std::string text;
    bool exclamation = false;
    bool okOnly = false;
};
MessageBoxSeen g_box;
std::vector<std::string> g_createdCaptions;
HHOOK g_cbtHook = nullptr;

LRESULT CALLBACK RecordCreations(int code, WPARAM wp, LPARAM lp) {
    if (code == HCBT_CREATEWND) {
        const CREATESTRUCTA* cs = reinterpret_cast<CBT_CREATEWNDA*>(lp)->lpcs;
        if (cs->lpszName != nullptr && HIWORD(reinterpret_cast<ULONG_PTR>(cs->lpszName)) != 0)
            g_createdCaptions.emplace_back(cs->lpszName);
    }
    return ::CallNextHookEx(g_cbtHook, code, wp, lp);
}

BOOL CALLBACK FindVisibleDialog(HWND hwnd, LPARAM lp) {
    char className[32] = {};
    ::GetClassNameA(hwnd, className, sizeof className);
    if (std::string(className) == "#32770" && ::IsWindowVisible(hwnd)) {
        *reinterpret_cast<HWND*>(lp) = hwnd;
        return FALSE;
    }
    return TRUE;
}

void CALLBACK AnswerMessageBox(HWND, UINT, UINT_PTR, DWORD) {
    HWND box = nullptr;
    ::EnumThreadWindows(::GetCurrentThreadId(), &FindVisibleDialog, reinterpret_cast<LPARAM>(&box));
    if (box == nullptr || g_box.seen)
        return;
    g_box.seen = true;
    g_box.caption = mwtest::WindowText(box);
    g_box.text = mwtest::ItemText(box, 0xFFFF);
    // The message box's icon control (stc1) shows the system's exclamation icon.
    HICON icon = reinterpret_cast<HICON>(::SendDlgItemMessageA(box, 0x440, STM_GETICON, 0, 0));
    g_box.exclamation = icon != nullptr && icon == ::LoadIconA(nullptr, IDI_EXCLAMATION);
    HWND cancel = ::GetDlgItem(box, IDCANCEL);
    HWND ok = ::GetDlgItem(box, IDOK);
    g_box.okOnly =
        ok != nullptr && ::IsWindowVisible(ok) && (cancel == nullptr || !::IsWindowVisible(cancel));
    ::PostMessageA(box, WM_COMMAND, IDOK, 0);
}

class AppTest : public testing::Test {
protected:
    void SetUp() override {
        g_startups = 0;
        g_cleanups = 0;
        g_box = MessageBoxSeen{};
        g_createdCaptions.clear();
        ClearActiveQuery();
        ClearLookupResult();
        SetBusyHooks(nullptr, nullptr);
    }
    void TearDown() override { SetBusyHooks(nullptr, nullptr); }
};

TEST_F(AppTest, SocketsFailureShowsTheMessageAndNoWindow) {
    CLookupApp app(&FailingStartup, &CountingCleanup);
    app.InitApplication(::GetModuleHandleA(nullptr));
    mwtest::DeleteRegistryTree(HKEY_CURRENT_USER, CompanyKey(app));

    g_cbtHook = ::SetWindowsHookExA(WH_CBT, &RecordCreations, nullptr, ::GetCurrentThreadId());
    UINT_PTR timer = ::SetTimer(nullptr, 0, 20, &AnswerMessageBox);
    const bool result = app.InitInstance();
    ::KillTimer(nullptr, timer);
    ::UnhookWindowsHookEx(g_cbtHook);

    EXPECT_FALSE(result);
    EXPECT_EQ(g_startups, 1);
    EXPECT_EQ(g_cleanups, 0);
    ASSERT_TRUE(g_box.seen);
    EXPECT_EQ(g_box.text, "Windows sockets initialization failed.");
    EXPECT_EQ(g_box.caption, app.GetAppName());
    EXPECT_TRUE(g_box.exclamation);
    EXPECT_TRUE(g_box.okOnly);
    // No main window was made, and no settings key.
    for (const std::string& caption : g_createdCaptions)
        EXPECT_NE(caption, "Ostrabel v1.0");
    EXPECT_EQ(app.GetMainWnd(), nullptr);
    EXPECT_FALSE(mwtest::RegistryKeyExists(CompanyKey(app)));
}

// A normal run: the sockets layer started once, the settings under the
// company key, the dialog as the main window with the busy hooks in place;
// closing runs the close sequence (sockets shut down) and start-up returns
// false so that no further message loop runs. A lookup still running then
// outlives the dialog and the application object harmlessly.
TEST_F(AppTest, StartUpRunsTheMainDialogModallyAndEndsAfterItsCloseSequence) {
    GatedNetwork net;
    net.Hold();
    // The record outlives the tray: the tray's destructor still reports its
    // last shell call through the seam.
    std::vector<DWORD> trayCalls;
    CSystemTray tray;
    tray.SetNotifyIconFunction([&](DWORD message, TrayIconRecord&) {
        trayCalls.push_back(message);
        return true;
    });
    HWND mainWindow = nullptr;
    {
        CLookupApp app(&WorkingStartup, &CountingCleanup);
        app.SetSystemTray(&tray);
        app.InitApplication(::GetModuleHandleA(nullptr));
        mwtest::DeleteRegistryTree(HKEY_CURRENT_USER, CompanyKey(app));
        std::string title;
        GetWindowTitle(title);

        Script script;
        script
            .Do([&] {
                // The settings live under the maker's key.
                EXPECT_EQ(app.GetSectionKeyPath(""), CompanyKey(app));
                auto* dialog = dynamic_cast<CLookupDlg*>(app.GetMainWnd());
                ASSERT_NE(dialog, nullptr);
                mainWindow = dialog->GetSafeHwnd();
                EXPECT_TRUE(::IsWindowVisible(mainWindow));
                EXPECT_EQ(mwtest::WindowText(mainWindow), title);
                EXPECT_EQ(g_startups, 1);
                EXPECT_EQ(trayCalls, (std::vector<DWORD>{NIM_ADD, NIM_DELETE}));
                dialog->SetNetwork(&net);
                ::SetDlgItemTextA(mainWindow, IDC_QUERY, "192.0.2.30");
                ::SendMessageA(mainWindow, WM_COMMAND, IDC_LOOKUP, 0);
            })
            .Until([&] { return net.WaitForArrivals(1, 0ms); })
            .Do([&] {
                // The start-up plugged the lookups into the wait cursor.
                EXPECT_GT(fw::GetWaitCursorCount(), 0);
                ::PostMessageA(mainWindow, WM_COMMAND, IDOK, 0);
            });
        EXPECT_FALSE(script.RunInitInstance(app));
        EXPECT_TRUE(script.Finished());
        EXPECT_EQ(app.GetMainWnd(), nullptr);
        EXPECT_EQ(g_cleanups, 1);
        DWORD convert = 99;
        EXPECT_TRUE(mwtest::ReadRegistryInt("Settings", "Convert To IP", convert));
        EXPECT_EQ(convert, 1u);
        mwtest::DeleteRegistryTree(HKEY_CURRENT_USER, CompanyKey(app));
    } // the application object is gone; the worker is still held
    EXPECT_FALSE(::IsWindow(mainWindow));
    EXPECT_EQ(net.Finished(), 0u);
    net.ReleaseAll();
    EXPECT_TRUE(net.WaitForWorkersToEnd(10s));
    EXPECT_EQ(LookupResult(), "");
    EXPECT_EQ(fw::GetWaitCursorCount(), 0);
}

} // namespace
