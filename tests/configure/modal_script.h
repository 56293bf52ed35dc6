// Drives a modal dialog from inside the test process: once the dialog's
// window is up, a thread timer runs the script's steps one per tick (a step
// returns false to be asked again at the next tick, e.g. while it waits for
// a posted message to take effect). Thread timers also fire inside nested
// loops (message boxes, popup menus), so a step can inspect those too. A
// watchdog ends a dialog that is still open after ten seconds.
#pragma once

#include "framework/dialog.h"

#include <windows.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace testui {

using Step = std::function<bool(HWND dialog)>;

inline constexpr INT_PTR kTimedOut = 5555;

class ModalScript {
public:
    // Runs dialog.DoModal() under the script; returns its result, or
    // kTimedOut when the watchdog had to end it.
    static INT_PTR Run(fw::CDialog& dialog, std::vector<Step> steps) {
        s_dialog = &dialog;
        s_steps = std::move(steps);
        s_next = 0;
        s_busy = false;
        s_timedOut = false;
        UINT_PTR tick = ::SetTimer(nullptr, 0, 25, &ModalScript::OnTick);
        UINT_PTR watchdog = ::SetTimer(nullptr, 0, 10000, &ModalScript::OnWatchdog);
        INT_PTR result = dialog.DoModal();
        ::KillTimer(nullptr, tick);
        ::KillTimer(nullptr, watchdog);
        s_dialog = nullptr;
        s_steps.clear();
        return s_timedOut ? kTimedOut : result;
    }
    // How many steps ran to completion in the last run.
    static std::size_t StepsDone() { return s_next; }

private:
    static void CALLBACK OnTick(HWND, UINT, UINT_PTR, DWORD) {
        if (s_busy || s_dialog == nullptr || s_next >= s_steps.size())
            return;
        HWND hwnd = s_dialog->GetSafeHwnd();
        if (hwnd == nullptr || (s_next == 0 && !::IsWindowVisible(hwnd)))
            return;
        s_busy = true;
        if (s_steps[s_next](hwnd))
            ++s_next;
        s_busy = false;
    }
    static void CALLBACK OnWatchdog(HWND, UINT, UINT_PTR, DWORD) {
        if (s_dialog != nullptr && s_dialog->GetSafeHwnd() != nullptr && !s_dialog->IsEnded()) {
            s_timedOut = true;
            s_dialog->EndDialog(kTimedOut);
        }
    }

    static inline fw::CDialog* s_dialog = nullptr;
    static inline std::vector<Step> s_steps;
    static inline std::size_t s_next = 0;
    static inline bool s_busy = false;
    static inline bool s_timedOut = false;
};

// While alive, every message box ("#32770" window other than the given
// dialog) that becomes active on this thread is recorded and closed with OK.
class MessageBoxCatcher {
public:
    explicit MessageBoxCatcher(HWND dialog) {
        s_dialog = dialog;
        s_boxes.clear();
        s_hook = ::SetWindowsHookExA(WH_CBT, &MessageBoxCatcher::CbtProc, nullptr,
                                     ::GetCurrentThreadId());
    }
    ~MessageBoxCatcher() {
        if (s_hook != nullptr)
            ::UnhookWindowsHookEx(s_hook);
        s_hook = nullptr;
    }
    MessageBoxCatcher(const MessageBoxCatcher&) = delete;
    MessageBoxCatcher& operator=(const MessageBoxCatcher&) = delete;

    struct Box {
        std::string caption;
        std::string text;
        HWND window;
    };
    static const std::vector<Box>& Boxes() { return s_boxes; }

private:
    static std::string TextOf(HWND hwnd) {
        char buffer[4096] = {};
        int length = ::GetWindowTextA(hwnd, buffer, sizeof buffer);
        return std::string(buffer, length > 0 ? static_cast<std::size_t>(length) : 0);
    }
    static LRESULT CALLBACK CbtProc(int code, WPARAM wp, LPARAM lp) {
        HWND box = reinterpret_cast<HWND>(wp);
        char name[64] = {};
        if (code == HCBT_ACTIVATE && box != s_dialog &&
            ::GetClassNameA(box, name, sizeof name) > 0 && std::string(name) == "#32770") {
            bool known = false;
            for (const Box& b : s_boxes)
                known = known || b.window == box; // activated again
            if (!known) {
                Box record{TextOf(box), std::string(), box};
                // The message is the static control with a text.
                for (HWND child = ::FindWindowExA(box, nullptr, "Static", nullptr);
                     child != nullptr; child = ::FindWindowExA(box, child, "Static", nullptr)) {
                    std::string text = TextOf(child);
                    if (!text.empty())
                        record.text = text;
                }
                s_boxes.push_back(record);
                ::PostMessageA(box, WM_COMMAND, IDOK, 0);
            }
        }
        return ::CallNextHookEx(s_hook, code, wp, lp);
    }

    static inline HWND s_dialog = nullptr;
    static inline HHOOK s_hook = nullptr;
    static inline std::vector<Box> s_boxes;
};

inline std::string WindowText(HWND hwnd) {
    int length = ::GetWindowTextLengthA(hwnd);
    std::string text(static_cast<std::size_t>(length > 0 ? length : 0) + 1, '\0');
    int got = ::GetWindowTextA(hwnd, text.data(), length + 1);
    text.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    return text;
}

} // namespace testui
