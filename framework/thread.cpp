#include "framework/thread.h"

#include <atomic>

namespace fw {

namespace {

// Plain atomics: a worker still running while the program's objects are
// destroyed finds them intact (trivial destructors).
std::atomic<int> g_waitCursorCount{0};
std::atomic<HWND> g_waitCursorWindow{nullptr};

void NotifyWaitCursorChange() {
    // Posting to a window that has gone meanwhile just fails.
    HWND window = g_waitCursorWindow.load();
    if (window != nullptr)
        ::PostMessageA(window, WaitCursorMessage(), 0, 0);
}

} // namespace

void BeginWaitCursor() {
    if (g_waitCursorCount.fetch_add(1) == 0)
        NotifyWaitCursorChange();
}

void EndWaitCursor() {
    int count = g_waitCursorCount.load();
    while (count > 0 && !g_waitCursorCount.compare_exchange_weak(count, count - 1)) {
    }
    if (count == 1)
        NotifyWaitCursorChange();
}

int GetWaitCursorCount() {
    return g_waitCursorCount.load();
}

void SetWaitCursorWindow(HWND hwnd) {
    g_waitCursorWindow.store(hwnd);
}

HWND GetWaitCursorWindow() {
    return g_waitCursorWindow.load();
}

UINT WaitCursorMessage() {
    static const UINT message = ::RegisterWindowMessageA("OstrabelFwWaitCursorChanged");
    return message;
}

void RefreshCursor() {
    POINT point;
    if (!::GetCursorPos(&point))
        return;
    HWND under = ::WindowFromPoint(point);
    if (under == nullptr || ::GetWindowThreadProcessId(under, nullptr) != ::GetCurrentThreadId())
        return;
    LRESULT hit = ::SendMessageA(under, WM_NCHITTEST, 0, MAKELPARAM(point.x, point.y));
    ::SendMessageA(under, WM_SETCURSOR, reinterpret_cast<WPARAM>(under),
                   MAKELPARAM(static_cast<WORD>(hit), WM_MOUSEMOVE));
}

} // namespace fw
