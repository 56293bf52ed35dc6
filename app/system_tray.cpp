#include "app/system_tray.h"

#include "framework/app.h"

#include <algorithm>
#include <cstring>

namespace {

// The icon window's class: no class style, cursor, background or icon; the
// window is never shown and only receives messages.
const char* IconWindowClass() {
    static const char* const name = [] {
        static const char kName[] = "OstrabelTrayIconWindow";
        WNDCLASSA wc{};
        wc.lpfnWndProc = ::DefWindowProcA;
        wc.hInstance = ::GetModuleHandleA(nullptr);
        wc.lpszClassName = kName;
        ::RegisterClassA(&wc); // already registered is as good
        return kName;
    }();
    return name;
}

constexpr UINT kAllFields = NIF_MESSAGE | NIF_ICON | NIF_TIP; // 7

} // namespace

CSystemTray::~CSystemTray() {
    RemoveIcon();
    if (m_hWnd != nullptr)
        DestroyWindow();
}

UINT CSystemTray::RegisterTaskbarCreatedMessage() {
    if (s_nTaskbarCreatedMessage == 0)
        s_nTaskbarCreatedMessage = ::RegisterWindowMessageA("TaskbarCreated");
    return s_nTaskbarCreatedMessage;
}

bool CSystemTray::NotifyIcon(DWORD message) {
    if (m_notifyIcon)
        return m_notifyIcon(message, m_tnd);
    // The record has the layout of the shell's first NOTIFYICONDATAA.
    return ::Shell_NotifyIconA(message, reinterpret_cast<PNOTIFYICONDATAA>(&m_tnd)) != FALSE;
}

HWND CSystemTray::GetTargetWindow() {
    fw::CWinApp* app = fw::GetApp();
    if (app == nullptr || app->GetMainWnd() == nullptr)
        return nullptr;
    return app->GetMainWnd()->GetSafeHwnd();
}

bool CSystemTray::Create(fw::CWnd* parent, UINT callbackMessage, const std::string& tipText,
                         HICON icon, UINT iconId) {
    const DWORD version = m_getVersion ? m_getVersion() : ::GetVersion();
    if (LOBYTE(LOWORD(version)) < 4) {
        m_bEnabled = false;
        return false;
    }
    m_bEnabled = true;
    RegisterTaskbarCreatedMessage();

    // Its outcome does not matter: with a parent the callbacks go there.
    CreateEx(0, IconWindowClass(), "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr);

    m_tnd.cbSize = sizeof(TrayIconRecord);
    m_tnd.hWnd =
        parent != nullptr && parent->GetSafeHwnd() != nullptr ? parent->GetSafeHwnd() : m_hWnd;
    m_tnd.uID = iconId;
    m_tnd.hIcon = icon;
    m_tnd.uCallbackMessage = callbackMessage;
    m_tnd.uFlags = kAllFields;
    const std::size_t length = std::min(tipText.size(), sizeof(m_tnd.szTip) - 1);
    std::memcpy(m_tnd.szTip, tipText.data(), length);
    m_tnd.szTip[length] = '\0';

    m_bEnabled = NotifyIcon(NIM_ADD);
    return m_bEnabled;
}

bool CSystemTray::ShowIcon() {
    if (!m_bEnabled || !m_bHidden)
        return false;
    m_tnd.uFlags = kAllFields;
    bool accepted = NotifyIcon(NIM_ADD);
    m_bHidden = false;
    return accepted;
}

bool CSystemTray::HideIcon() {
    if (!m_bEnabled || m_bHidden)
        return false;
    m_tnd.uFlags = NIF_ICON;
    bool accepted = NotifyIcon(NIM_DELETE);
    m_bHidden = true;
    return accepted;
}

bool CSystemTray::RemoveIcon() {
    if (!m_bEnabled)
        return false;
    m_tnd.uFlags = 0;
    bool accepted = NotifyIcon(NIM_DELETE);
    m_bEnabled = false;
    return accepted;
}

bool CSystemTray::SetDefaultMenuItem(UINT item, bool byPosition) {
    if (item == m_nDefaultMenuItem && byPosition == m_bDefaultByPosition)
        return true;
    m_nDefaultMenuItem = item;
    m_bDefaultByPosition = byPosition;

    HMENU menu = ::LoadMenuA(fw::GetResourceHandle(), MAKEINTRESOURCEA(m_tnd.uID));
    if (menu == nullptr)
        return false;
    HMENU popup = ::GetSubMenu(menu, 0);
    if (popup == nullptr) {
        ::DestroyMenu(menu);
        return false;
    }
    ::SetMenuDefaultItem(popup, item, byPosition);
    ::DestroyMenu(menu);
    return true;
}

LRESULT CSystemTray::OnIconNotify(WPARAM iconId, LPARAM mouseMessage) {
    if (iconId != m_tnd.uID)
        return 0;
    HWND target = GetTargetWindow();

    switch (LOWORD(mouseMessage)) {
    case WM_RBUTTONUP: {
        HMENU menu = ::LoadMenuA(fw::GetResourceHandle(), MAKEINTRESOURCEA(m_tnd.uID));
        if (menu == nullptr)
            return 0;
        HMENU popup = ::GetSubMenu(menu, 0);
        if (popup == nullptr) {
            ::DestroyMenu(menu);
            return 0;
        }
        ::SetMenuDefaultItem(popup, m_nDefaultMenuItem, m_bDefaultByPosition);
        POINT cursor{};
        ::GetCursorPos(&cursor);
        // The popup only closes on a click elsewhere when its owner is in
        // the foreground; the posted WM_NULL lets the owner's queue move on
        // once the menu is gone.
        ::SetForegroundWindow(target);
        ::TrackPopupMenu(popup, TPM_LEFTALIGN | TPM_RIGHTBUTTON, cursor.x, cursor.y, 0, target,
                         nullptr);
        ::PostMessageA(target, WM_NULL, 0, 0);
        ::DestroyMenu(menu);
        return 1;
    }
    case WM_LBUTTONDBLCLK: {
        ::SetForegroundWindow(target);
        HMENU menu = nullptr;
        UINT command = m_nDefaultMenuItem;
        if (m_bDefaultByPosition) {
            menu = ::LoadMenuA(fw::GetResourceHandle(), MAKEINTRESOURCEA(m_tnd.uID));
            if (menu == nullptr)
                return 0;
            HMENU popup = ::GetSubMenu(menu, 0);
            if (popup == nullptr) {
                ::DestroyMenu(menu);
                return 0;
            }
            command = ::GetMenuItemID(popup, static_cast<int>(m_nDefaultMenuItem));
        }
        ::SendMessageA(target, WM_COMMAND, command, 0);
        if (menu != nullptr)
            ::DestroyMenu(menu);
        return 1;
    }
    default:
        return 1;
    }
}

LRESULT CSystemTray::WindowProc(UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == m_tnd.uCallbackMessage && m_tnd.uCallbackMessage != 0)
        return OnIconNotify(wp, lp);
    if (msg == s_nTaskbarCreatedMessage && s_nTaskbarCreatedMessage != 0) {
        // The shell has restarted and forgotten the icon: add it again
        // whatever the state says, without changing the state.
        m_tnd.uFlags = kAllFields;
        m_tnd.cbSize = sizeof(TrayIconRecord);
        NotifyIcon(NIM_ADD);
    }
    return fw::CWnd::WindowProc(msg, wp, lp);
}
