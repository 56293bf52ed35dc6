// The application object and the program's start-up.
//
// The program's process-wide objects, in the order they are constructed
// (app/main.cpp; they are destroyed in the reverse order):
//   1. the application object, a CLookupApp;
//   2. the one CSystemTray, whose destruction removes the icon;
//   3. and 4. the two shared texts of the lookup hand-off (the active query
//      and the lookup result, engine/lookup_worker.h), empty; they are never
//      destroyed, so a worker still running at exit finds them intact.
// The "TaskbarCreated" message is registered before any window exists.
//
// InitInstance starts the sockets layer (Windows Sockets 1.1 exactly; on
// failure the message "Windows sockets initialization failed." and the
// program ends without a window), fixes the settings location, runs the main
// dialog modally as the program's only window and returns false, so the
// framework runs no message loop afterwards and the program ends. The
// dialog's close sequence shuts the sockets layer down.
#pragma once

#include "framework/app.h"

class CSystemTray;

class CLookupApp : public fw::CWinApp {
public:
    // Starts the sockets layer; true on success.
    using SocketsStartup = bool (*)();
    // Shuts it down; the main dialog's close sequence calls it.
    using SocketsCleanup = void (*)();

    // The real sockets calls (platform/sockets.h) unless a test passes its own.
    explicit CLookupApp(SocketsStartup startup = nullptr, SocketsCleanup cleanup = nullptr);

    // The notification-area icon the main dialog uses; set before start-up.
    void SetSystemTray(CSystemTray* tray) { m_pTray = tray; }

    bool InitInstance() override;

private:
    SocketsStartup m_pfnStartupSockets;
    SocketsCleanup m_pfnCleanupSockets;
    CSystemTray* m_pTray = nullptr;
};
