// The wait cursor, raised and lowered by the lookup workers.
#pragma once

#include <windows.h>

namespace fw {

// The wait-cursor count. Raised and lowered from any thread; while it is above
// zero the framework's dialogs show the hourglass. When the count leaves or
// reaches zero, the wait-cursor window (if any) is posted WaitCursorMessage()
// so that the cursor changes at once, without waiting for the mouse to move.
// Safe to call while and after the program's objects are torn down.
void BeginWaitCursor();
void EndWaitCursor(); // never lowers the count below zero
int GetWaitCursorCount();

// The window told of count changes; nullptr for none. A dialog that is the
// application's main window is that window while its modal run lasts.
void SetWaitCursorWindow(HWND hwnd);
HWND GetWaitCursorWindow();

// The registered message posted to the wait-cursor window when the count leaves or
// reaches zero. CDialog handles it by refreshing the cursor.
UINT WaitCursorMessage();

// Refreshes the cursor now, as a mouse move would (on the window thread):
// sends WM_SETCURSOR to this thread's window under the mouse.
void RefreshCursor();

} // namespace fw
