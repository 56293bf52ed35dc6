// Drives and reads the real ostrabel.exe from outside, as another program in
// the same Wine prefix: the end-to-end test and the window benchmarks use it.
// It finds the main window by its controls, types into the query field with
// window messages, presses Return through the window's own message queue and
// reads the result box back with WM_GETTEXT.
//
//   gui_probe start EXE [TIMEOUT_MS]   starts EXE, waits for its window;
//                                      prints "window-ms N" (start to shown)
//   gui_probe wait [TIMEOUT_MS]        waits for the window to be shown
//   gui_probe lookup QUERY [TIMEOUT_MS] types QUERY, presses Return, waits
//                                      for the answer; prints the result text
//   gui_probe clear                    empties the query field
//   gui_probe focus                    puts the keyboard focus in the field
//   gui_probe wait-result OLD-FILE [TIMEOUT_MS]  waits until the result box
//                                      differs from the text in OLD-FILE and
//                                      the lookup has ended; prints it
//   gui_probe result                   prints the result box
//   gui_probe field                    prints the query field
//   gui_probe history                  prints the history, one entry a line
//   gui_probe rect                     prints the window rectangle: x y w h
//   gui_probe memory                   prints the working set, its peak and
//                                      the private bytes of the window's process
//   gui_probe lookups N QUERY          N lookups one after the other
//   gui_probe stall N QUERY            starts N lookups at once (each next
//                                      one after an Abort) and pings the
//                                      window thread every millisecond;
//                                      prints how long the starts held the
//                                      thread and the round trips while the
//                                      lookups ran
//   gui_probe close [TIMEOUT_MS]       the title-bar close; waits until gone
//
// "gui_probe --utf8 COMMAND ..." prints texts in UTF-8 instead of the system
// code page (for answers in any script).
//
// Exit status 0 on success, 1 on a timeout or a missing window, 2 on usage.
#include <windows.h>

#include <psapi.h>

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kResult = 1002;
constexpr int kLookup = 1001;
constexpr int kQuery = 1007;
constexpr char kTemplateCaption[] = "Ostrabel v1.0";

// The main window once it is initialised: shown, with its controls, and its
// title no longer the template's caption. (A saved placement shows the
// window while it is being created, before its initialisation has run.)
BOOL CALLBACK MatchMainWindow(HWND hwnd, LPARAM lp) {
    char className[32] = {};
    ::GetClassNameA(hwnd, className, sizeof className);
    char title[64] = {};
    ::GetWindowTextA(hwnd, title, sizeof title);
    if (std::string(className) == "#32770" && ::IsWindowVisible(hwnd) &&
        ::GetDlgItem(hwnd, kResult) && ::GetDlgItem(hwnd, kQuery) && ::GetDlgItem(hwnd, kLookup) &&
        std::string(title) != kTemplateCaption) {
        *reinterpret_cast<HWND*>(lp) = hwnd;
        return FALSE;
    }
    return TRUE;
}

HWND FindMainWindow() {
    HWND found = nullptr;
    ::EnumWindows(&MatchMainWindow, reinterpret_cast<LPARAM>(&found));
    return found;
}

HWND WaitForMainWindow(DWORD timeoutMs) {
    DWORD start = ::GetTickCount();
    for (;;) {
        if (HWND hwnd = FindMainWindow())
            return hwnd;
        if (::GetTickCount() - start > timeoutMs)
            return nullptr;
        ::Sleep(5);
    }
}

// Text of a window of another process, through WM_GETTEXT (wide, which Wine
// carries across processes intact), in the system code page or UTF-8.
UINT g_codePage = CP_ACP;

std::string Text(HWND hwnd) {
    DWORD_PTR length = 0;
    if (!::SendMessageTimeoutW(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, 10000, &length))
        return std::string();
    std::wstring wide(length + 1, L'\0');
    DWORD_PTR got = 0;
    ::SendMessageTimeoutW(hwnd, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(wide.data()),
                          SMTO_NORMAL, 10000, &got);
    wide.resize(got);
    if (wide.empty())
        return std::string();
    int size = ::WideCharToMultiByte(g_codePage, 0, wide.data(), static_cast<int>(wide.size()),
                                     nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(g_codePage, 0, wide.data(), static_cast<int>(wide.size()), text.data(),
                          size, nullptr, nullptr);
    return text;
}

void SetText(HWND hwnd, const std::string& text) {
    std::wstring wide(text.begin(), text.end());
    ::SendMessageW(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.c_str()));
}

HWND Field(HWND main) {
    return ::GetWindow(::GetDlgItem(main, kQuery), GW_CHILD);
}

// Return, as the keyboard delivers it: into the window's queue, where the
// dialog's own keyboard handling turns it into the default button's command.
void PressReturn(HWND main) {
    HWND field = Field(main);
    UINT scan = ::MapVirtualKeyA(VK_RETURN, 0);
    ::PostMessageA(field, WM_KEYDOWN, VK_RETURN, 1 | (scan << 16));
    ::PostMessageA(field, WM_KEYUP, VK_RETURN, 1 | (scan << 16) | 0xC0000000u);
}

void Click(HWND main, int id) {
    ::SendMessageA(main, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(main, id)));
}

bool Idle(HWND main) {
    return Text(::GetDlgItem(main, kLookup)) == "&Lookup";
}

// Waits until the result box no longer shows before and the button reads
// "&Lookup" again.
bool WaitForNewResult(HWND main, const std::string& before, DWORD timeoutMs, std::string& result) {
    DWORD start = ::GetTickCount();
    for (;;) {
        result = Text(::GetDlgItem(main, kResult));
        if (result != before && Idle(main))
            return true;
        if (::GetTickCount() - start > timeoutMs || !::IsWindow(main))
            return false;
        ::Sleep(5);
    }
}

void PrintRaw(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

DWORD Number(int argc, char** argv, int index, DWORD fallback) {
    return argc > index ? static_cast<DWORD>(std::strtoul(argv[index], nullptr, 10)) : fallback;
}

int Usage() {
    std::fprintf(stderr, "usage: gui_probe COMMAND [ARGS] (see the source)\n");
    return 2;
}

int Start(int argc, char** argv) {
    if (argc < 3)
        return Usage();
    std::string command = std::string("\"") + argv[2] + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    LARGE_INTEGER frequency, started, shown;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&started);
    if (!::CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &process)) {
        std::fprintf(stderr, "gui_probe: cannot start %s\n", argv[2]);
        return 1;
    }
    HWND main = WaitForMainWindow(Number(argc, argv, 3, 60000));
    ::QueryPerformanceCounter(&shown);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    if (main == nullptr)
        return 1;
    std::printf("window-ms %.1f\n", 1000.0 *
                                        static_cast<double>(shown.QuadPart - started.QuadPart) /
                                        static_cast<double>(frequency.QuadPart));
    return 0;
}

int Lookup(HWND main, const std::string& query, DWORD timeoutMs, bool print) {
    // The result box is emptied first, so that an answer equal to the
    // previous one is seen arriving.
    HWND resultBox = ::GetDlgItem(main, kResult);
    SetText(resultBox, "");
    SetText(::GetDlgItem(main, kQuery), query);
    PressReturn(main);
    DWORD start = ::GetTickCount();
    bool sawAbort = false;
    for (;;) {
        const bool idle = Idle(main);
        sawAbort = sawAbort || !idle;
        if (idle && (sawAbort || !Text(resultBox).empty()))
            break;
        if (::GetTickCount() - start > timeoutMs)
            return 1;
        ::Sleep(1);
    }
    if (print)
        PrintRaw(Text(resultBox));
    return 0;
}

int Memory(HWND main) {
    DWORD pid = 0;
    ::GetWindowThreadProcessId(main, &pid);
    HANDLE process = ::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
    if (process == nullptr)
        return 1;
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    BOOL ok = ::GetProcessMemoryInfo(process, &counters, sizeof counters);
    ::CloseHandle(process);
    if (!ok)
        return 1;
    std::printf("working-set-kib %lu\npeak-working-set-kib %lu\nprivate-kib %lu\n",
                static_cast<unsigned long>(counters.WorkingSetSize / 1024),
                static_cast<unsigned long>(counters.PeakWorkingSetSize / 1024),
                static_cast<unsigned long>(counters.PagefileUsage / 1024));
    return 0;
}

double Milliseconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to) {
    LARGE_INTEGER frequency;
    ::QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(to.QuadPart - from.QuadPart) /
           static_cast<double>(frequency.QuadPart);
}

void PrintTrips(const char* name, std::vector<double> trips) {
    if (trips.empty())
        return;
    std::sort(trips.begin(), trips.end());
    std::printf("%s-pings %zu\n%s-longest-ms %.3f\n%s-median-ms %.3f\n%s-p99-ms %.3f\n", name,
                trips.size(), name, trips.back(), name, trips[trips.size() / 2], name,
                trips[trips.size() * 99 / 100]);
}

// N lookups started one after another (each next one after an Abort, so
// that all run at once), while another thread sends the window a message
// every millisecond and times the round trip. Reported apart: how long each
// start held the window thread, and the round trips while the lookups ran
// (from the last start until all had ended).
int Stall(HWND main, DWORD count, const std::string& query) {
    struct Ping {
        LARGE_INTEGER sent;
        double ms;
    };
    std::atomic<bool> stop{false};
    std::vector<Ping> pings;
    std::thread pinger([&] {
        while (!stop) {
            Ping ping;
            LARGE_INTEGER back;
            ::QueryPerformanceCounter(&ping.sent);
            DWORD_PTR answer = 0;
            ::SendMessageTimeoutA(main, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &answer);
            ::QueryPerformanceCounter(&back);
            ping.ms = Milliseconds(ping.sent, back);
            pings.push_back(ping);
            ::Sleep(1);
        }
    });
    ::Sleep(200);
    HWND field = ::GetDlgItem(main, kQuery);
    std::vector<double> starts;
    for (DWORD i = 0; i < count; ++i) {
        if (!Idle(main))
            Click(main, kLookup); // Abort: the worker runs on
        SetText(field, query + "-" + std::to_string(i));
        LARGE_INTEGER before, after;
        ::QueryPerformanceCounter(&before);
        Click(main, kLookup);
        ::QueryPerformanceCounter(&after);
        starts.push_back(Milliseconds(before, after));
    }
    LARGE_INTEGER allStarted;
    ::QueryPerformanceCounter(&allStarted);
    DWORD start = ::GetTickCount();
    while (!Idle(main) && ::GetTickCount() - start < 60000)
        ::Sleep(5);
    ::Sleep(500); // the aborted ones end too
    stop = true;
    pinger.join();
    std::vector<double> running;
    double longestAt = 0, longest = -1;
    for (const Ping& ping : pings) {
        if (ping.sent.QuadPart >= allStarted.QuadPart) {
            running.push_back(ping.ms);
            if (ping.ms > longest) {
                longest = ping.ms;
                longestAt = Milliseconds(allStarted, ping.sent);
            }
        }
    }
    if (!starts.empty()) {
        std::sort(starts.begin(), starts.end());
        std::printf("start-longest-ms %.3f\nstart-median-ms %.3f\n", starts.back(),
                    starts[starts.size() / 2]);
    }
    PrintTrips("running", running);
    if (count > 0)
        std::printf("running-longest-at-ms %.0f\n", longestAt);
    return Idle(main) && !running.empty() ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    // The result text goes out byte for byte: no CR added before LF.
    _setmode(_fileno(stdout), _O_BINARY);
    if (argc >= 2 && std::string(argv[1]) == "--utf8") {
        g_codePage = CP_UTF8;
        --argc;
        ++argv;
    }
    if (argc < 2)
        return Usage();
    const std::string command = argv[1];
    if (command == "start")
        return Start(argc, argv);

    const DWORD waitMs = command == "wait" ? Number(argc, argv, 2, 60000) : 20000;
    HWND main = WaitForMainWindow(waitMs);
    if (main == nullptr) {
        std::fprintf(stderr, "gui_probe: no main window\n");
        return 1;
    }
    if (command == "wait")
        return 0;
    if (command == "lookup" && argc >= 3)
        return Lookup(main, argv[2], Number(argc, argv, 3, 60000), true);
    if (command == "lookups" && argc >= 4) {
        DWORD count = Number(argc, argv, 2, 0);
        for (DWORD i = 0; i < count; ++i) {
            if (Lookup(main, argv[3], 60000, false) != 0)
                return 1;
        }
        return 0;
    }
    if (command == "stall" && argc >= 4)
        return Stall(main, Number(argc, argv, 2, 20), argv[3]);
    if (command == "clear") {
        SetText(::GetDlgItem(main, kQuery), "");
        return 0;
    }
    if (command == "focus") {
        ::SetForegroundWindow(main);
        DWORD self = ::GetCurrentThreadId();
        DWORD target = ::GetWindowThreadProcessId(main, nullptr);
        ::AttachThreadInput(self, target, TRUE);
        ::SetFocus(Field(main));
        ::AttachThreadInput(self, target, FALSE);
        return 0;
    }
    if (command == "wait-result" && argc >= 3) {
        std::ifstream in(argv[2], std::ios::binary);
        std::stringstream old;
        old << in.rdbuf();
        std::string result;
        if (!WaitForNewResult(main, old.str(), Number(argc, argv, 3, 60000), result))
            return 1;
        PrintRaw(result);
        return 0;
    }
    if (command == "result") {
        PrintRaw(Text(::GetDlgItem(main, kResult)));
        return 0;
    }
    if (command == "field") {
        PrintRaw(Text(::GetDlgItem(main, kQuery)));
        return 0;
    }
    if (command == "history") {
        HWND combo = ::GetDlgItem(main, kQuery);
        LRESULT count = ::SendMessageW(combo, CB_GETCOUNT, 0, 0);
        for (LRESULT i = 0; i < count; ++i) {
            LRESULT length = ::SendMessageW(combo, CB_GETLBTEXTLEN, i, 0);
            std::wstring wide(static_cast<std::size_t>(length) + 1, L'\0');
            ::SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(wide.data()));
            wide.resize(static_cast<std::size_t>(length));
            std::printf("%ls\n", wide.c_str());
        }
        return 0;
    }
    if (command == "rect") {
        RECT r;
        ::GetWindowRect(main, &r);
        std::printf("%ld %ld %ld %ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
        return 0;
    }
    if (command == "memory")
        return Memory(main);
    if (command == "close") {
        ::PostMessageA(main, WM_SYSCOMMAND, SC_CLOSE, 0);
        DWORD start = ::GetTickCount();
        while (::IsWindow(main)) {
            if (::GetTickCount() - start > Number(argc, argv, 2, 20000))
                return 1;
            ::Sleep(10);
        }
        return 0;
    }
    return Usage();
}
