#include "app/lookup_app.h"

#include "app/lookup_dlg.h"
#include "app/settings.h"
#include "app/system_tray.h"
#include "engine/busy.h"
#include "framework/thread.h"
#include "platform/sockets.h"
#include "res/resource.h"

CLookupApp::CLookupApp(SocketsStartup startup, SocketsCleanup cleanup)
    : m_pfnStartupSockets(startup != nullptr ? startup : &platform::StartupSockets),
      m_pfnCleanupSockets(cleanup != nullptr ? cleanup : &platform::CleanupSockets) {}

bool CLookupApp::InitInstance() {
    // Every lookup raises the wait-cursor count for its whole run.
    SetBusyHooks(&fw::BeginWaitCursor, &fw::EndWaitCursor);

    if (!m_pfnStartupSockets()) {
        fw::MessageBox(fw::LoadString(IDS_SOCKETS_INIT_FAILED), MB_OK | MB_ICONEXCLAMATION);
        return false;
    }

    InitSettingsStore();

    // A program without its own tray object (a test) still gets one.
    CSystemTray fallbackTray;
    CSystemTray& tray = m_pTray != nullptr ? *m_pTray : fallbackTray;
    {
        CLookupDlg dialog(tray);
        dialog.SetSocketsCleanup(m_pfnCleanupSockets);
        SetMainWnd(&dialog);
        dialog.DoModal();
        SetMainWnd(nullptr);
    }
    return false;
}
