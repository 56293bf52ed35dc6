// The notification-area icon against a recording stand-in for
// Shell_NotifyIconA, and once against Wine's own notification area. The
// main window is a hidden window of the test that records the commands and
// the WM_NULL it receives; popup menus are inspected and closed from a
// thread timer while TrackPopupMenu runs.
#include "app/system_tray.h"

#include "framework/app.h"
#include "res/resource.h"
#include "test_ids.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

fw::CWinApp g_testApp;

constexpr UINT kCallback = WM_USER + 10; // 1034, as the main dialog passes it
constexpr UINT kIconId = IDR_TRAY_MENU;  // 140

// The main window: records what the tray sends and posts to it.
class MainWindow : public fw::CWnd {
public:
    std::vector<WPARAM> commands;
    int nulls = 0;
    // Runs the messages posted to it so far.
    void Pump() {
        MSG msg;
        while (::PeekMessageA(&msg, m_hWnd, 0, 0, PM_REMOVE))
            ::DispatchMessageA(&msg);
    }

protected:
    LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override {
        if (msg == WM_COMMAND)
            commands.push_back(wp);
        if (msg == WM_NULL)
            ++nulls;
        return fw::CWnd::WindowProc(msg, wp, lp);
    }
};

struct Call {
    DWORD message;
    TrayIconRecord record;
};

class SystemTray : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_main.CreateEx(0, nullptr, "main", WS_POPUP, 0, 0, 50, 50, nullptr));
        g_testApp.SetMainWnd(&m_main);
        m_icon = ::LoadIconA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_TRAY));
        ASSERT_NE(m_icon, nullptr);
    }
    void TearDown() override { g_testApp.SetMainWnd(nullptr); }

    // Routes the tray's shell calls into m_calls, answering m_shellAnswer.
    void Record(CSystemTray& tray) {
        tray.SetNotifyIconFunction([this](DWORD message, TrayIconRecord& record) {
            m_calls.push_back({message, record});
            return m_shellAnswer;
        });
    }
    // Creates the icon as the main dialog does.
    bool CreateRecorded(CSystemTray& tray, UINT iconId = kIconId) {
        Record(tray);
        return tray.Create(nullptr, kCallback, "Ostrabel", m_icon, iconId);
    }
    void ExpectState(const CSystemTray& tray, bool enabled, bool hidden, const char* where) {
        EXPECT_EQ(tray.IsEnabled(), enabled) << where;
        EXPECT_EQ(tray.IsHidden(), hidden) << where;
    }
    // The call that was made last, checked against what it should carry.
    void ExpectLastCall(DWORD message, UINT flags, const char* where) {
        ASSERT_FALSE(m_calls.empty()) << where;
        const Call& call = m_calls.back();
        EXPECT_EQ(call.message, message) << where;
        EXPECT_EQ(call.record.uFlags, flags) << where;
        // The first layout's size: 88 bytes in the 32-bit program.
        EXPECT_EQ(call.record.cbSize, sizeof(void*) == 4 ? 88u : NOTIFYICONDATAA_V1_SIZE) << where;
        EXPECT_EQ(call.record.uID, kIconId) << where;
        EXPECT_EQ(call.record.uCallbackMessage, kCallback) << where;
        EXPECT_EQ(call.record.hIcon, m_icon) << where;
        EXPECT_STREQ(call.record.szTip, "Ostrabel") << where;
    }

    MainWindow m_main;
    HICON m_icon = nullptr;
    std::vector<Call> m_calls;
    bool m_shellAnswer = true;
};

// What the shell does when it restarts: "TaskbarCreated" to every top-level
// window (here: every window of this thread).
BOOL CALLBACK SendTaskbarCreated(HWND hwnd, LPARAM) {
    ::SendMessageA(hwnd, CSystemTray::GetTaskbarCreatedMessage(), 0, 0);
    return TRUE;
}
void BroadcastTaskbarCreated() {
    ::EnumThreadWindows(::GetCurrentThreadId(), SendTaskbarCreated, 0);
}

TEST(TaskbarCreated, IsTheRegisteredMessageObtainedOnce) {
    UINT number = CSystemTray::RegisterTaskbarCreatedMessage();
    EXPECT_GE(number, 0xC000u);
    EXPECT_EQ(number, ::RegisterWindowMessageA("TaskbarCreated"));
    EXPECT_EQ(CSystemTray::GetTaskbarCreatedMessage(), number);
    EXPECT_EQ(CSystemTray::RegisterTaskbarCreatedMessage(), number);
}

TEST_F(SystemTray, CreateMakesAHiddenIconWindowAndAddsTheIcon) {
    CSystemTray tray;
    ExpectState(tray, false, false, "not created");
    EXPECT_EQ(tray.GetDefaultMenuItem(), 0u);
    EXPECT_TRUE(tray.IsDefaultMenuItemByPosition());

    ASSERT_TRUE(CreateRecorded(tray));
    ExpectState(tray, true, false, "shown");
    ASSERT_EQ(m_calls.size(), 1u);
    ExpectLastCall(NIM_ADD, NIF_MESSAGE | NIF_ICON | NIF_TIP, "create");
    EXPECT_EQ(m_calls[0].record.uFlags, 7u);

    // Without a parent the callbacks go to the icon window: a never shown
    // pop-up of a bare class, at (0, 0), 10 x 10, untitled, unowned.
    HWND icon = tray.GetSafeHwnd();
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(m_calls[0].record.hWnd, icon);
    EXPECT_FALSE(::IsWindowVisible(icon));
    EXPECT_EQ(::GetWindowLongPtrA(icon, GWL_STYLE) & ~static_cast<LONG_PTR>(WS_CLIPSIBLINGS),
              static_cast<LONG_PTR>(WS_POPUP));
    EXPECT_EQ(::GetClassLongPtrA(icon, GCL_STYLE), 0u);
    EXPECT_EQ(::GetClassLongPtrA(icon, GCLP_HCURSOR), 0u);
    EXPECT_EQ(::GetClassLongPtrA(icon, GCLP_HBRBACKGROUND), 0u);
    EXPECT_EQ(::GetClassLongPtrA(icon, GCLP_HICON), 0u);
    RECT rect{};
    ::GetWindowRect(icon, &rect);
    EXPECT_EQ(rect.left, 0);
    EXPECT_EQ(rect.top, 0);
    EXPECT_EQ(rect.right, 10);
    EXPECT_EQ(rect.bottom, 10);
    EXPECT_EQ(::GetWindowTextLengthA(icon), 0);
    EXPECT_EQ(::GetWindow(icon, GW_OWNER), nullptr);
    EXPECT_EQ(::GetParent(icon), nullptr);
}

TEST_F(SystemTray, AParentWithAWindowReceivesTheCallbacks) {
    CSystemTray tray;
    Record(tray);
    ASSERT_TRUE(tray.Create(&m_main, kCallback, "Ostrabel", m_icon, kIconId));
    EXPECT_EQ(m_calls.at(0).record.hWnd, m_main.GetSafeHwnd());

    fw::CWnd windowless;
    CSystemTray second;
    Record(second);
    ASSERT_TRUE(second.Create(&windowless, kCallback, "Ostrabel", m_icon, kIconId));
    EXPECT_EQ(m_calls.at(1).record.hWnd, second.GetSafeHwnd());
}

TEST_F(SystemTray, TipsLongerThanTheFieldAreCutAt63Characters) {
    const std::string exact(63, 'a');
    const std::string longer = std::string(63, 'b') + "cdefgh";
    CSystemTray a, b;
    Record(a);
    Record(b);
    ASSERT_TRUE(a.Create(nullptr, kCallback, exact, m_icon, kIconId));
    ASSERT_TRUE(b.Create(nullptr, kCallback, longer, m_icon, kIconId));
    EXPECT_EQ(std::string(m_calls.at(0).record.szTip), exact);
    EXPECT_EQ(std::string(m_calls.at(1).record.szTip), std::string(63, 'b'));
}

TEST_F(SystemTray, ShowHideAndRemoveFollowTheStateTable) {
    CSystemTray tray;
    ASSERT_TRUE(CreateRecorded(tray));
    const std::size_t afterCreate = m_calls.size();

    EXPECT_FALSE(tray.ShowIcon()); // already shown: nothing
    EXPECT_EQ(m_calls.size(), afterCreate);

    tray.HideIcon();
    ExpectLastCall(NIM_DELETE, NIF_ICON, "hide");
    ExpectState(tray, true, true, "hidden");
    tray.HideIcon(); // already hidden: nothing
    EXPECT_EQ(m_calls.size(), afterCreate + 1);

    tray.ShowIcon();
    ExpectLastCall(NIM_ADD, NIF_MESSAGE | NIF_ICON | NIF_TIP, "show");
    ExpectState(tray, true, false, "shown again");

    // The shell's answer does not change the flags.
    m_shellAnswer = false;
    EXPECT_FALSE(tray.HideIcon());
    ExpectState(tray, true, true, "hidden, refused");
    EXPECT_FALSE(tray.ShowIcon());
    ExpectState(tray, true, false, "shown, refused");
    m_shellAnswer = true;

    // Remove works while hidden too, and ends every further call.
    tray.HideIcon();
    const std::size_t beforeRemove = m_calls.size();
    tray.RemoveIcon();
    ASSERT_EQ(m_calls.size(), beforeRemove + 1);
    ExpectLastCall(NIM_DELETE, 0, "remove");
    EXPECT_FALSE(tray.IsEnabled());
    tray.ShowIcon();
    tray.HideIcon();
    tray.RemoveIcon();
    EXPECT_EQ(m_calls.size(), beforeRemove + 1);
}

TEST_F(SystemTray, AnOldSystemGetsNoWindowAndNoIcon) {
    for (DWORD version : {0x00000003u, 0x0A280003u, 0x00000004u}) {
        CSystemTray tray;
        tray.SetVersionFunction([version] { return version; });
        m_calls.clear();
        bool created = CreateRecorded(tray);
        if (LOBYTE(version) < 4) {
            EXPECT_FALSE(created) << version;
            EXPECT_EQ(tray.GetSafeHwnd(), nullptr) << version;
            EXPECT_TRUE(m_calls.empty()) << version;
            ExpectState(tray, false, false, "unavailable");
            tray.ShowIcon();
            tray.HideIcon();
            tray.RemoveIcon();
            BroadcastTaskbarCreated();
            EXPECT_TRUE(m_calls.empty()) << version;
        } else {
            EXPECT_TRUE(created) << version; // version 4 is enough
            EXPECT_EQ(m_calls.size(), 1u);
        }
    }
}

TEST_F(SystemTray, TaskbarCreatedAddsTheIconAgainInEveryStateWithoutChangingIt) {
    CSystemTray::RegisterTaskbarCreatedMessage();
    const UINT all = NIF_MESSAGE | NIF_ICON | NIF_TIP;

    {
        CSystemTray notCreated;
        Record(notCreated);
        BroadcastTaskbarCreated();
        EXPECT_TRUE(m_calls.empty());
        ExpectState(notCreated, false, false, "not created");
    }
    {
        CSystemTray shown;
        ASSERT_TRUE(CreateRecorded(shown));
        m_calls.clear();
        BroadcastTaskbarCreated();
        ASSERT_EQ(m_calls.size(), 1u);
        ExpectLastCall(NIM_ADD, all, "shown");
        ExpectState(shown, true, false, "shown");
        EXPECT_EQ(m_calls[0].record.hWnd, shown.GetSafeHwnd());
    }
    {
        // Hidden (main window visible): the icon comes back, the flag stays,
        // so the next HideIcon does nothing and ShowIcon adds it.
        CSystemTray hidden;
        ASSERT_TRUE(CreateRecorded(hidden));
        hidden.HideIcon();
        m_calls.clear();
        BroadcastTaskbarCreated();
        ASSERT_EQ(m_calls.size(), 1u);
        ExpectLastCall(NIM_ADD, all, "hidden");
        ExpectState(hidden, true, true, "hidden");
        hidden.HideIcon();
        EXPECT_EQ(m_calls.size(), 1u);
        hidden.ShowIcon();
        ExpectLastCall(NIM_ADD, all, "show after restart");
    }
    {
        // The shell refused the first add: the icon window exists, and a
        // starting shell's message adds the icon; enabled stays false.
        CSystemTray refused;
        m_shellAnswer = false;
        EXPECT_FALSE(CreateRecorded(refused));
        m_shellAnswer = true;
        ASSERT_NE(refused.GetSafeHwnd(), nullptr);
        ExpectState(refused, false, false, "unavailable");
        m_calls.clear();
        BroadcastTaskbarCreated();
        ASSERT_EQ(m_calls.size(), 1u);
        ExpectLastCall(NIM_ADD, all, "unavailable");
        ExpectState(refused, false, false, "unavailable after restart");
        refused.ShowIcon();
        refused.HideIcon();
        EXPECT_EQ(m_calls.size(), 1u);
    }
    {
        // After RemoveIcon the window still answers the message.
        CSystemTray removed;
        ASSERT_TRUE(CreateRecorded(removed));
        removed.RemoveIcon();
        m_calls.clear();
        BroadcastTaskbarCreated();
        ASSERT_EQ(m_calls.size(), 1u);
        ExpectLastCall(NIM_ADD, all, "removed");
        EXPECT_FALSE(removed.IsEnabled());
    }
}

TEST_F(SystemTray, DestructionRemovesTheIconAndTheWindow) {
    for (bool hide : {false, true}) {
        HWND window = nullptr;
        {
            CSystemTray tray;
            ASSERT_TRUE(CreateRecorded(tray));
            if (hide)
                tray.HideIcon();
            window = tray.GetSafeHwnd();
            m_calls.clear();
        }
        ASSERT_EQ(m_calls.size(), 1u);
        ExpectLastCall(NIM_DELETE, 0, hide ? "destroyed hidden" : "destroyed shown");
        EXPECT_FALSE(::IsWindow(window));
    }
    {
        HWND window = nullptr;
        {
            CSystemTray tray;
            m_shellAnswer = false;
            EXPECT_FALSE(CreateRecorded(tray));
            window = tray.GetSafeHwnd();
            m_calls.clear();
        }
        m_shellAnswer = true;
        EXPECT_TRUE(m_calls.empty()); // unavailable: nothing to remove
        EXPECT_FALSE(::IsWindow(window));
    }
}

// ---- mouse actions ----------------------------------------------------------

TEST_F(SystemTray, ADoubleClickSendsTheDefaultItemsCommandBeforeReturning) {
    CSystemTray tray;
    ASSERT_TRUE(CreateRecorded(tray));
    ASSERT_TRUE(tray.SetDefaultMenuItem(0, true));

    // Through the icon window's procedure, as the shell delivers it.
    LRESULT answer = ::SendMessageA(tray.GetSafeHwnd(), kCallback, kIconId, WM_LBUTTONDBLCLK);
    EXPECT_EQ(answer, 1);
    EXPECT_EQ(m_main.commands, std::vector<WPARAM>{ID_TRAY_RESTORE}); // sent, not posted

    // Only the low word names the mouse message.
    m_main.commands.clear();
    EXPECT_EQ(tray.OnIconNotify(kIconId, MAKELPARAM(WM_LBUTTONDBLCLK, 77)), 1);
    EXPECT_EQ(m_main.commands, std::vector<WPARAM>{ID_TRAY_RESTORE});

    // By position 2 it is "Configure..."; by command it is the id itself.
    m_main.commands.clear();
    ASSERT_TRUE(tray.SetDefaultMenuItem(2, true));
    tray.OnIconNotify(kIconId, WM_LBUTTONDBLCLK);
    ASSERT_TRUE(tray.SetDefaultMenuItem(ID_TRAY_EXIT, false));
    tray.OnIconNotify(kIconId, WM_LBUTTONDBLCLK);
    EXPECT_EQ(m_main.commands, (std::vector<WPARAM>{IDC_CONFIGURE, ID_TRAY_EXIT}));
}

// Watches for the popup menu while TrackPopupMenu runs: records it, then
// closes it (EndMenu) or chooses an item with the keyboard.
class MenuWatcher {
public:
    explicit MenuWatcher(int downPresses = -1) {
        s_downPresses = downPresses;
        s_seen = false;
        s_items.clear();
        s_defaultId = 0;
        s_timer = ::SetTimer(nullptr, 0, 30, &MenuWatcher::OnTick);
        s_ticks = 0;
    }
    ~MenuWatcher() { ::KillTimer(nullptr, s_timer); }
    MenuWatcher(const MenuWatcher&) = delete;
    MenuWatcher& operator=(const MenuWatcher&) = delete;

    static bool Seen() { return s_seen; }
    static const std::vector<std::string>& Items() { return s_items; }
    static UINT DefaultId() { return s_defaultId; }

private:
    static void CALLBACK OnTick(HWND, UINT, UINT_PTR, DWORD) {
        ++s_ticks;
        HWND popup = ::FindWindowA("#32768", nullptr);
        if (popup != nullptr && ::IsWindowVisible(popup) && !s_seen) {
            s_seen = true;
            HMENU menu = reinterpret_cast<HMENU>(::SendMessageA(popup, MN_GETHMENU, 0, 0));
            for (int i = 0; i < ::GetMenuItemCount(menu); ++i) {
                char text[64] = {};
                ::GetMenuStringA(menu, static_cast<UINT>(i), text, sizeof text, MF_BYPOSITION);
                s_items.push_back(text);
            }
            s_defaultId = ::GetMenuDefaultItem(menu, FALSE, 0);
            if (s_downPresses < 0) {
                ::EndMenu();
            } else {
                for (int i = 0; i < s_downPresses; ++i)
                    ::PostMessageA(popup, WM_KEYDOWN, VK_DOWN, 0);
                ::PostMessageA(popup, WM_KEYDOWN, VK_RETURN, 0);
            }
        } else if (s_ticks > 200) {
            ::EndMenu(); // the watchdog: never leave a menu open
        }
    }

    static inline UINT_PTR s_timer = 0;
    static inline int s_ticks = 0;
    static inline int s_downPresses = -1;
    static inline bool s_seen = false;
    static inline std::vector<std::string> s_items;
    static inline UINT s_defaultId = 0;
};

TEST_F(SystemTray, OtherIconsAndOtherMouseMessagesDoNothing) {
    CSystemTray tray;
    ASSERT_TRUE(CreateRecorded(tray));
    MenuWatcher watcher; // a right-button press alone opens no menu either
    EXPECT_EQ(::SendMessageA(tray.GetSafeHwnd(), kCallback, kIconId + 1, WM_LBUTTONDBLCLK), 0);
    EXPECT_EQ(tray.OnIconNotify(kIconId + 1, WM_RBUTTONUP), 0);
    for (UINT mouse : {WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONUP, WM_RBUTTONDOWN, WM_RBUTTONDBLCLK,
                       WM_MBUTTONUP})
        EXPECT_EQ(tray.OnIconNotify(kIconId, mouse), 1) << mouse;
    m_main.Pump();
    EXPECT_TRUE(m_main.commands.empty());
    EXPECT_EQ(m_main.nulls, 0);
    EXPECT_FALSE(MenuWatcher::Seen());
}

TEST_F(SystemTray, TheRightButtonReleaseOpensTheTrayMenuForTheMainWindow) {
    CSystemTray tray;
    ASSERT_TRUE(CreateRecorded(tray));
    ASSERT_TRUE(tray.SetDefaultMenuItem(0, true));

    {
        MenuWatcher watcher; // closes it unchosen
        EXPECT_EQ(::SendMessageA(tray.GetSafeHwnd(), kCallback, kIconId, WM_RBUTTONUP), 1);
        EXPECT_TRUE(MenuWatcher::Seen());
        EXPECT_EQ(MenuWatcher::Items(),
                  (std::vector<std::string>{"Restore", "", "Configure...", "", "Exit"}));
        EXPECT_EQ(MenuWatcher::DefaultId(), static_cast<UINT>(ID_TRAY_RESTORE));
        // WM_NULL was posted to the main window after the menu closed.
        EXPECT_EQ(m_main.nulls, 0);
        m_main.Pump();
        EXPECT_EQ(m_main.nulls, 1);
        EXPECT_TRUE(m_main.commands.empty());
    }
    {
        // Down, down (over the separator), Return: "Configure..." reaches
        // the main window as its command.
        ASSERT_TRUE(tray.SetDefaultMenuItem(ID_TRAY_EXIT, false));
        MenuWatcher watcher(2);
        EXPECT_EQ(tray.OnIconNotify(kIconId, WM_RBUTTONUP), 1);
        EXPECT_TRUE(MenuWatcher::Seen());
        EXPECT_EQ(MenuWatcher::DefaultId(), static_cast<UINT>(ID_TRAY_EXIT));
        m_main.Pump();
        EXPECT_EQ(m_main.commands, std::vector<WPARAM>{IDC_CONFIGURE});
    }
}

TEST_F(SystemTray, SetDefaultMenuItemKeepsItsValuesAndLoadsTheMenuOnlyForNewOnes) {
    // An icon id with no menu resource shows when the menu is loaded: the
    // load fails and the call answers false.
    CSystemTray noMenu;
    ASSERT_TRUE(CreateRecorded(noMenu, 9999));
    EXPECT_TRUE(noMenu.SetDefaultMenuItem(0, true));  // the stored values: not loaded
    EXPECT_FALSE(noMenu.SetDefaultMenuItem(1, true)); // loaded, missing
    EXPECT_EQ(noMenu.GetDefaultMenuItem(), 1u);       // stored all the same
    EXPECT_TRUE(noMenu.IsDefaultMenuItemByPosition());
    EXPECT_TRUE(noMenu.SetDefaultMenuItem(1, true));
    EXPECT_FALSE(noMenu.SetDefaultMenuItem(1, false));
    EXPECT_FALSE(noMenu.IsDefaultMenuItemByPosition());
    // Mouse actions that need the menu do nothing and answer 0.
    ASSERT_TRUE(noMenu.SetDefaultMenuItem(0, true) == false);
    {
        MenuWatcher watcher;
        EXPECT_EQ(noMenu.OnIconNotify(9999, WM_RBUTTONUP), 0);
        EXPECT_FALSE(MenuWatcher::Seen());
    }
    EXPECT_EQ(noMenu.OnIconNotify(9999, WM_LBUTTONDBLCLK), 0);
    // By command no menu is needed for a double click.
    noMenu.SetDefaultMenuItem(ID_TRAY_RESTORE, false);
    EXPECT_EQ(noMenu.OnIconNotify(9999, WM_LBUTTONDBLCLK), 1);
    EXPECT_EQ(m_main.commands, std::vector<WPARAM>{ID_TRAY_RESTORE});

    // A menu without a sub-menu is as good as none.
    CSystemTray flat;
    ASSERT_TRUE(CreateRecorded(flat, IDR_T_FLAT_MENU));
    EXPECT_FALSE(flat.SetDefaultMenuItem(3, true));
    EXPECT_EQ(flat.OnIconNotify(IDR_T_FLAT_MENU, WM_RBUTTONUP), 0);

    // The program's menu takes it.
    CSystemTray tray;
    ASSERT_TRUE(CreateRecorded(tray));
    EXPECT_TRUE(tray.SetDefaultMenuItem(4, true));
}

// ---- Wine's own notification area ---------------------------------------------

TEST_F(SystemTray, WorksAgainstTheRealShell) {
    CSystemTray::RegisterTaskbarCreatedMessage();
    std::vector<bool> answers;
    HWND window = nullptr;
    {
        CSystemTray tray;
        // The real call, with its answers noted.
        tray.SetNotifyIconFunction([&answers](DWORD message, TrayIconRecord& record) {
            bool accepted =
                ::Shell_NotifyIconA(message, reinterpret_cast<PNOTIFYICONDATAA>(&record)) != FALSE;
            answers.push_back(accepted);
            return accepted;
        });
        bool created = tray.Create(nullptr, kCallback, "Ostrabel", m_icon, kIconId);
        window = tray.GetSafeHwnd();
        ASSERT_EQ(answers.size(), 1u);
        EXPECT_EQ(created, answers[0]);
        EXPECT_EQ(tray.IsEnabled(), answers[0]);
        std::printf("Wine's notification area %s the icon\n", answers[0] ? "accepted" : "refused");
        if (created) {
            tray.HideIcon();
            EXPECT_TRUE(tray.IsHidden());
            tray.ShowIcon();
            EXPECT_FALSE(tray.IsHidden());
            BroadcastTaskbarCreated();
            EXPECT_EQ(answers.size(), 4u);
        }
        // And straight through the default seam.
        tray.SetNotifyIconFunction(nullptr);
        tray.HideIcon();
        tray.ShowIcon();
        tray.RemoveIcon();
        EXPECT_FALSE(tray.IsEnabled());
    }
    EXPECT_FALSE(::IsWindow(window));
}

} // namespace
