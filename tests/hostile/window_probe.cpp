// Looks at and drives a running ostrabel.exe from another process, for the
// robustness tests under Wine. One command per run; results are printed as
// KEY=VALUE lines for the test script to check.
//
//   window_probe find TIMEOUT-MS      waits for the main window (found by its
//                                     title); where it is, whether it can be seen
//   window_probe query TEXT           puts TEXT into the query field
//   window_probe press ID             sends the command ID (a button press);
//                                     how long the window took to handle it
//   window_probe text ID              the text of control ID
//   window_probe text-length ID       the length of that text
//   window_probe ping COUNT           COUNT round trips to the window, 100 ms
//                                     apart; the slowest
//   window_probe history              the entries of the query list and
//                                     their lengths
//   window_probe uncheck ID           clears check box ID
//   window_probe cancel-dialog        cancels the dialog the window has open
//                                     (waits up to 10 s for it)
//   window_probe close ok|box         closes the window with "Close" (command
//                                     1) or the title-bar close box and waits
//                                     for the program to end
// Exit status 0, or 1 when the window is not there.
#include "res/resource.h"
#include "ui/branding.h"

#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

double MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

HWND FindMainWindow() {
    std::string title;
    GetWindowTitle(title);
    return ::FindWindowA("#32770", title.c_str());
}

// A control's text through the wide message (Wine garbles the ANSI form
// across processes), in the system code page.
std::string ControlText(HWND control) {
    DWORD_PTR length = 0;
    if (!::SendMessageTimeoutW(control, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length))
        return "<no answer>";
    std::wstring wide(length + 1, L'\0');
    DWORD_PTR copied = 0;
    ::SendMessageTimeoutW(control, WM_GETTEXT, wide.size(), reinterpret_cast<LPARAM>(&wide[0]),
                          SMTO_ABORTIFHUNG, 5000, &copied);
    wide.resize(copied);
    std::string text(wide.size() * 2 + 1, '\0');
    const int n = ::WideCharToMultiByte(CP_ACP, 0, wide.c_str(), static_cast<int>(wide.size()),
                                        &text[0], static_cast<int>(text.size()), nullptr, nullptr);
    text.resize(n > 0 ? n : 0);
    return text;
}

bool Inside(const RECT& inner, const RECT& outer) {
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

int Find(int timeoutMs) {
    const auto start = Clock::now();
    HWND window = nullptr;
    // The window counts as there once it is visible (it is created hidden
    // and shown when the dialog's loop starts).
    while ((window = FindMainWindow()) == nullptr || !::IsWindowVisible(window)) {
        if (MillisecondsSince(start) > timeoutMs) {
            std::printf("found=0 visible=%d\n", window != nullptr);
            return 1;
        }
        ::Sleep(20);
    }
    const double ms = MillisecondsSince(start);
    RECT rect{};
    ::GetWindowRect(window, &rect);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    ::GetMonitorInfoA(::MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor);
    const RECT& work = monitor.rcWork;
    std::printf("found=1\nms=%.0f\nvisible=%d\niconic=%d\nzoomed=%d\n", ms,
                ::IsWindowVisible(window) ? 1 : 0, ::IsIconic(window) ? 1 : 0,
                ::IsZoomed(window) ? 1 : 0);
    std::printf("rect=%ld,%ld,%ld,%ld\nwork=%ld,%ld,%ld,%ld\n", rect.left, rect.top, rect.right,
                rect.bottom, work.left, work.top, work.right, work.bottom);
    std::printf("width=%ld\nheight=%ld\n", rect.right - rect.left, rect.bottom - rect.top);
    // Maximised, the frame reaches a little beyond the work area by design.
    std::printf("inside=%d\n", ::IsZoomed(window) || Inside(rect, work) ? 1 : 0);
    return 0;
}

int Ping(HWND window, int count) {
    double slowest = 0;
    int unanswered = 0;
    for (int i = 0; i < count; ++i) {
        const auto start = Clock::now();
        DWORD_PTR result = 0;
        if (!::SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &result))
            ++unanswered;
        const double ms = MillisecondsSince(start);
        if (ms > slowest)
            slowest = ms;
        ::Sleep(100);
    }
    std::printf("slowest_ms=%.0f\nunanswered=%d\n", slowest, unanswered);
    return 0;
}

int Close(HWND window, const std::string& how) {
    DWORD pid = 0;
    ::GetWindowThreadProcessId(window, &pid);
    HANDLE process = ::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, pid);
    const auto start = Clock::now();
    if (how == "box")
        ::PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    else
        ::PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                       reinterpret_cast<LPARAM>(::GetDlgItem(window, IDOK)));
    // The window goes at the end of the close sequence; the process a little
    // later.
    while (::IsWindow(window) && MillisecondsSince(start) < 20000)
        ::Sleep(5);
    const double windowMs = MillisecondsSince(start);
    DWORD exitCode = 259;
    if (process != nullptr) {
        ::WaitForSingleObject(process, 20000);
        ::GetExitCodeProcess(process, &exitCode);
        ::CloseHandle(process);
    }
    std::printf("window_gone_ms=%.0f\nprocess_gone_ms=%.0f\nexit_code=%lu\n", windowMs,
                MillisecondsSince(start), exitCode);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: window_probe COMMAND [ARGS]\n");
        return 2;
    }
    const std::string command = argv[1];
    const std::string arg = argc > 2 ? argv[2] : "";
    if (command == "find")
        return Find(std::atoi(arg.c_str()));

    HWND window = FindMainWindow();
    if (window == nullptr) {
        std::printf("found=0\n");
        return 1;
    }
    if (command == "query") {
        HWND combo = ::GetDlgItem(window, IDC_QUERY);
        std::wstring wide(arg.size() + 1, L'\0');
        const int n = ::MultiByteToWideChar(CP_ACP, 0, arg.c_str(), static_cast<int>(arg.size()),
                                            &wide[0], static_cast<int>(wide.size()));
        wide.resize(n > 0 ? n : 0);
        DWORD_PTR result = 0;
        ::SendMessageTimeoutW(combo, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.c_str()),
                              SMTO_ABORTIFHUNG, 5000, &result);
        return 0;
    }
    if (command == "press") {
        const int id = std::atoi(arg.c_str());
        const auto start = Clock::now();
        DWORD_PTR result = 0;
        const bool answered = ::SendMessageTimeoutA(
            window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
            reinterpret_cast<LPARAM>(::GetDlgItem(window, id)), SMTO_ABORTIFHUNG, 10000, &result);
        std::printf("answered=%d\nms=%.0f\n", answered ? 1 : 0, MillisecondsSince(start));
        return 0;
    }
    if (command == "text") {
        std::printf("text=%s\n", ControlText(::GetDlgItem(window, std::atoi(arg.c_str()))).c_str());
        return 0;
    }
    if (command == "text-length") {
        DWORD_PTR length = 0;
        ::SendMessageTimeoutW(::GetDlgItem(window, std::atoi(arg.c_str())), WM_GETTEXTLENGTH, 0, 0,
                              SMTO_ABORTIFHUNG, 10000, &length);
        std::printf("length=%lu\n", static_cast<unsigned long>(length));
        return 0;
    }
    if (command == "ping")
        return Ping(window, std::atoi(arg.c_str()));
    if (command == "history") {
        HWND combo = ::GetDlgItem(window, IDC_QUERY);
        const LRESULT count = ::SendMessageW(combo, CB_GETCOUNT, 0, 0);
        std::printf("count=%ld\n", static_cast<long>(count));
        for (LRESULT i = 0; i < count; ++i) {
            const LRESULT length = ::SendMessageW(combo, CB_GETLBTEXTLEN, i, 0);
            std::printf("length=%ld\n", static_cast<long>(length));
            // Wine turns this wide request for an ANSI window into an ANSI one
            // through a stack buffer of 512 bytes, which a longer entry
            // overruns in the program's process: long entries are only
            // measured.
            if (length >= 256) {
                std::printf("entry=<long>\n");
                continue;
            }
            std::wstring wide(length > 0 ? length + 1 : 1, L'\0');
            ::SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(&wide[0]));
            wide.resize(length > 0 ? length : 0);
            std::string entry(wide.size() * 2 + 1, '\0');
            const int n =
                ::WideCharToMultiByte(CP_ACP, 0, wide.c_str(), static_cast<int>(wide.size()),
                                      &entry[0], static_cast<int>(entry.size()), nullptr, nullptr);
            entry.resize(n > 0 ? n : 0);
            std::printf("entry=%s\n", entry.c_str());
        }
        return 0;
    }
    if (command == "uncheck") {
        DWORD_PTR result = 0;
        ::SendMessageTimeoutA(::GetDlgItem(window, std::atoi(arg.c_str())), BM_SETCHECK,
                              BST_UNCHECKED, 0, SMTO_ABORTIFHUNG, 5000, &result);
        return 0;
    }
    if (command == "cancel-dialog") {
        const auto start = Clock::now();
        HWND owned = nullptr;
        while (owned == nullptr && MillisecondsSince(start) < 10000) {
            for (HWND w = ::FindWindowExA(nullptr, nullptr, "#32770", nullptr); w != nullptr;
                 w = ::FindWindowExA(nullptr, w, "#32770", nullptr))
                if (::GetWindow(w, GW_OWNER) == window && ::IsWindowVisible(w))
                    owned = w;
            if (owned == nullptr)
                ::Sleep(50);
        }
        if (owned == nullptr) {
            std::printf("dialog=0\n");
            return 1;
        }
        ::PostMessageA(owned, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        std::printf("dialog=1\n");
        return 0;
    }
    if (command == "close")
        return Close(window, arg);
    std::fprintf(stderr, "window_probe: unknown command %s\n", command.c_str());
    return 2;
}
