// Worker threads and the wait cursor.
#pragma once

#include <windows.h>

namespace fw {

// A worker's body: receives the parameter given to BeginThread; its return
// value becomes the thread's exit code.
using ThreadFunction = unsigned (*)(void* param);

// Starts fn(param) on a new thread with normal priority and the default stack
// size, at once. Nobody waits for it: its handle is closed here. An exception
// escaping fn ends only that thread (exit code 1). False if no thread started.
bool BeginThread(ThreadFunction fn, void* param);

// The wait-cursor count. Raised and lowered from any thread; while it is above
// zero the framework's dialogs show the hourglass. When the count leaves or
// reaches zero, the wait-cursor window (if any) is posted WaitCursorMessage()
// so that the cursor changes at once, without waiting for the mouse to move.
// Safe to call while and after the program's objects are torn down.
void BeginWaitCursor();
void EndWaitCursor(); // never lowers the count below zero
int GetWaitCursorCount();

// The window told of count changes; nullptr for none. CDialog::DoModal sets
// it to the application's main window while that one runs.
void SetWaitCursorWindow(HWND hwnd);
HWND GetWaitCursorWindow();

// The registered message posted to the wait-cursor window when the count leaves or
// reaches zero. CDialog handles it by refreshing the cursor.
UINT WaitCursorMessage();

// Refreshes the cursor now, as a mouse move would (on the window thread):
// sends WM_SETCURSOR to this thread's window under the mouse.
void RefreshCursor();

} // namespace fw
