// The program's icon in the notification area (system tray).
//
// One CSystemTray exists for the whole run. Create puts the icon in the
// notification area; ShowIcon and HideIcon take it in and out while the main
// window is hidden or shown; the destructor removes it. Mouse actions on the
// icon reach OnIconNotify: a right-button release opens the popup of menu
// resource uID (its first sub-menu) for the main window, a left double click
// sends the default item's command to the main window. When the shell
// restarts it broadcasts "TaskbarCreated", and the icon is added again.
//
// State:              enabled  hidden  icon shown
//   not created        false    false   no
//   unavailable        false    false   no   (major version < 4, or the shell refused)
//   shown              true     false   yes
//   hidden             true     true    no
//   removed            false    any     no
//
// Every call to Shell_NotifyIconA goes through one seam
// (SetNotifyIconFunction), so tests can record and answer the calls.
#pragma once

#include "framework/wnd.h"

#include <windows.h>

#include <shellapi.h>

#include <cstddef>
#include <functional>
#include <string>

// The shell's icon record in its first (ANSI) layout, 88 bytes in the 32-bit
// program; Shell_NotifyIconA reads cbSize bytes of it.
struct TrayIconRecord {
    DWORD cbSize;
    HWND hWnd;
    UINT uID;
    UINT uFlags; // NIF_MESSAGE | NIF_ICON | NIF_TIP (7), NIF_ICON (2) or 0
    UINT uCallbackMessage;
    HICON hIcon;
    CHAR szTip[64]; // NUL-terminated, at most 63 characters
};
static_assert(sizeof(TrayIconRecord) == NOTIFYICONDATAA_V1_SIZE);
static_assert(sizeof(void*) != 4 || sizeof(TrayIconRecord) == 88);
static_assert(offsetof(TrayIconRecord, hWnd) == offsetof(NOTIFYICONDATAA, hWnd));
static_assert(offsetof(TrayIconRecord, uID) == offsetof(NOTIFYICONDATAA, uID));
static_assert(offsetof(TrayIconRecord, uFlags) == offsetof(NOTIFYICONDATAA, uFlags));
static_assert(offsetof(TrayIconRecord, uCallbackMessage) ==
              offsetof(NOTIFYICONDATAA, uCallbackMessage));
static_assert(offsetof(TrayIconRecord, hIcon) == offsetof(NOTIFYICONDATAA, hIcon));
static_assert(offsetof(TrayIconRecord, szTip) == offsetof(NOTIFYICONDATAA, szTip));

class CSystemTray : public fw::CWnd {
public:
    // The one way to the shell: NIM_ADD or NIM_DELETE with the record; true
    // when the shell accepted. An empty function stands for Shell_NotifyIconA.
    using NotifyIconFunction = std::function<bool(DWORD message, TrayIconRecord& record)>;
    // GetVersion's answer (low byte: the system's major version).
    using VersionFunction = std::function<DWORD()>;

    CSystemTray() = default;
    // RemoveIcon, then the icon window is destroyed.
    ~CSystemTray() override;

    // The number of the registered "TaskbarCreated" message. The program
    // calls RegisterTaskbarCreatedMessage once at start-up, before any window
    // exists; Create registers it too if that was not done.
    static UINT RegisterTaskbarCreatedMessage();
    static UINT GetTaskbarCreatedMessage() { return s_nTaskbarCreatedMessage; }

    // Creates the hidden icon window and adds the icon. The callback messages
    // go to parent's window when it has one, else to the icon window. A tip
    // longer than 63 characters is cut at 63. Returns (and stores as
    // enabled) the shell's answer; false at once on a system whose major
    // version is below 4.
    bool Create(fw::CWnd* parent, UINT callbackMessage, const std::string& tipText, HICON icon,
                UINT iconId);

    // Hidden -> shown (NIM_ADD, uFlags 7). Otherwise nothing. Returns the
    // shell's answer, false when no call was made; the state changes anyway.
    bool ShowIcon();
    // Shown -> hidden (NIM_DELETE, uFlags 2). Otherwise nothing.
    bool HideIcon();
    // When enabled: NIM_DELETE with uFlags 0, enabled becomes false (also
    // when hidden: the shell refuses that delete, harmlessly).
    bool RemoveIcon();

    // Which popup item is the default one: a position (byPosition) or a
    // command id. The values are stored whatever happens; the menu is then
    // loaded to check it, unless the values were already the stored ones.
    // False when menu uID or its first sub-menu is missing.
    bool SetDefaultMenuItem(UINT item, bool byPosition);

    // A mouse action on the icon (the callback message's wParam and lParam).
    // 0 for another icon id or a missing menu, else 1.
    virtual LRESULT OnIconNotify(WPARAM iconId, LPARAM mouseMessage);

    bool IsEnabled() const { return m_bEnabled; }
    bool IsHidden() const { return m_bHidden; }
    UINT GetDefaultMenuItem() const { return m_nDefaultMenuItem; }
    bool IsDefaultMenuItemByPosition() const { return m_bDefaultByPosition; }
    const TrayIconRecord& GetIconRecord() const { return m_tnd; }

    // Seams for tests; empty functions restore the real calls.
    void SetNotifyIconFunction(NotifyIconFunction fn) { m_notifyIcon = std::move(fn); }
    void SetVersionFunction(VersionFunction fn) { m_getVersion = std::move(fn); }

protected:
    // The callback message goes to OnIconNotify; "TaskbarCreated" adds the
    // icon again in every state; everything else gets default processing.
    LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override;

private:
    bool NotifyIcon(DWORD message);
    // The window that menus and commands go to: the application's main window.
    static HWND GetTargetWindow();

    static inline UINT s_nTaskbarCreatedMessage = 0;

    TrayIconRecord m_tnd{};
    bool m_bEnabled = false;
    bool m_bHidden = false;
    UINT m_nDefaultMenuItem = 0;
    bool m_bDefaultByPosition = true;

    NotifyIconFunction m_notifyIcon;
    VersionFunction m_getVersion;
};
