// The program's entry point and its process-wide objects (see lookup_app.h
// for their order).
#include "app/lookup_app.h"
#include "app/system_tray.h"
#include "engine/lookup_worker.h"

#include <windows.h>

namespace {

CLookupApp theApp;
CSystemTray theTray;

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    // The shared texts exist, empty, before the application object runs.
    ClearActiveQuery();
    ClearLookupResult();
    // Before any window: the shell's broadcast when it (re)starts.
    CSystemTray::RegisterTaskbarCreatedMessage();
    theApp.SetSystemTray(&theTray);
    return fw::AppMain(instance);
}
