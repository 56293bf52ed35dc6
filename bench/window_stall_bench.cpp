// The window thread's longest stall while many lookups run at once, measured
// inside the program: the real main dialog, its lookups going through a
// network that answers each exchange after a delay. Every message the window
// thread handles is timed (queued ones from their pre-translation through
// their dispatch, sent ones in the window procedure); the longest of them is
// the longest time the window could not answer. Putting the result into the
// result box (WM_LOOKUP_DONE) is reported apart: it grows with the answer's
// length. A thread of the same process also pings the window every
// millisecond and times the round trip.
//
//   ostrabel_window_bench [LOOKUPS=20] [DELAY-MS=1500]
//
// Windows only (run under Wine by bench/gui_bench.sh); prints key value lines.
#include "app/lookup_dlg.h"
#include "app/settings.h"
#include "engine/busy.h"
#include "engine/lookup_worker.h"
#include "framework/app.h"
#include "framework/thread.h"
#include "res/resource.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

double Ms(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// Answers every exchange after a fixed delay with a record of about 3 KiB.
class DelayedNetwork : public WhoisNetwork {
public:
    explicit DelayedNetwork(int delayMs) : m_delayMs(delayMs) {
        for (int i = 0; i < 60; ++i)
            m_answer += "remarks:        line " + std::to_string(i) + " of a delayed answer\n";
    }
    bool Exchange(const std::string&, const std::string&, std::string& result, int) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(m_delayMs));
        result = m_answer;
        ++m_done;
        return true;
    }
    bool Resolve(const std::string&, std::string&) override { return false; }
    int Done() const { return m_done; }
    int Lines() const {
        return static_cast<int>(std::count(m_answer.begin(), m_answer.end(), '\n'));
    }

private:
    int m_delayMs;
    std::string m_answer;
    std::atomic<int> m_done{0};
};

// The main dialog with every message it handles timed.
class TimedLookupDlg : public CLookupDlg {
public:
    using CLookupDlg::CLookupDlg;

    bool measuring = false;
    double longestMs = 0; // every message but the result's delivery
    UINT longestMessage = 0;
    double resultMs = 0; // WM_LOOKUP_DONE: the result put into the box
    long handled = 0;

    bool PreTranslateMessage(MSG* msg) override {
        auto start = std::chrono::steady_clock::now();
        ++m_depth;
        bool result = CLookupDlg::PreTranslateMessage(msg);
        --m_depth;
        Record(msg->message, std::chrono::steady_clock::now() - start);
        return result;
    }

protected:
    LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override {
        if (m_depth > 0)
            return CLookupDlg::WindowProc(msg, wp, lp); // timed as part of its queued message
        auto start = std::chrono::steady_clock::now();
        LRESULT result = CLookupDlg::WindowProc(msg, wp, lp);
        Record(msg, std::chrono::steady_clock::now() - start);
        return result;
    }

private:
    void Record(UINT msg, std::chrono::steady_clock::duration took) {
        if (!measuring)
            return;
        ++handled;
        if (msg == WM_LOOKUP_DONE) {
            resultMs = std::max(resultMs, Ms(took));
        } else if (Ms(took) > longestMs) {
            longestMs = Ms(took);
            longestMessage = msg;
        }
    }
    int m_depth = 0;
};

struct Bench {
    TimedLookupDlg* dialog = nullptr;
    DelayedNetwork* network = nullptr;
    int lookups = 20;
    int phase = 0;
    double warmUpLongestMs = 0;
    double warmUpResultMs = 0;
    std::vector<double> startMs;
    double plainEditMs = 0;
    std::atomic<bool> stopPings{false};
    std::atomic<bool> pingsStopped{false};
    std::vector<double> pings;
    std::thread pinger;
};
Bench g_bench;

bool AllEnded(int exchanges) {
    return g_bench.network->Done() >= exchanges && !IsLookupRunning() &&
           fw::GetWaitCursorCount() == 0;
}

// Runs on a thread timer inside the dialog's modal loop, phase by phase,
// never blocking the window thread.
void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
    Bench& b = g_bench;
    HWND hwnd = b.dialog->GetSafeHwnd();
    if (hwnd == nullptr || b.dialog->IsEnded())
        return;
    HWND button = ::GetDlgItem(hwnd, IDC_LOOKUP);
    auto click = [&] {
        ::SendMessageA(hwnd, WM_COMMAND, MAKEWPARAM(IDC_LOOKUP, BN_CLICKED),
                       reinterpret_cast<LPARAM>(button));
    };
    switch (b.phase) {
    case 0: // one lookup first: the first result shown loads the result font
        b.dialog->measuring = true;
        ::SetDlgItemTextA(hwnd, IDC_QUERY, "NET-WARM-UP");
        click();
        b.phase = 1;
        break;
    case 1:
        if (!AllEnded(1))
            break;
        b.warmUpLongestMs = b.dialog->longestMs;
        b.warmUpResultMs = b.dialog->resultMs;
        b.dialog->longestMs = 0;
        b.dialog->longestMessage = 0;
        b.dialog->resultMs = 0;
        b.dialog->handled = 0;
        // The lookups one after another; each next one after an Abort, so
        // that all of them run at once.
        for (int i = 0; i < b.lookups; ++i) {
            if (IsLookupRunning())
                click();
            std::string query = "NET-STALL-" + std::to_string(i);
            ::SetDlgItemTextA(hwnd, IDC_QUERY, query.c_str());
            b.dialog->measuring = false; // the starts are reported apart
            auto start = std::chrono::steady_clock::now();
            click();
            b.startMs.push_back(Ms(std::chrono::steady_clock::now() - start));
            b.dialog->measuring = true;
        }
        b.pinger = std::thread([hwnd] {
            while (!g_bench.stopPings) {
                auto start = std::chrono::steady_clock::now();
                DWORD_PTR answer = 0;
                ::SendMessageTimeoutA(hwnd, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &answer);
                g_bench.pings.push_back(Ms(std::chrono::steady_clock::now() - start));
                ::Sleep(1);
            }
            g_bench.pingsStopped = true;
        });
        b.phase = 2;
        break;
    case 2:
        if (!AllEnded(1 + b.lookups))
            break;
        b.dialog->measuring = false;
        b.stopPings = true;
        b.phase = 3;
        break;
    case 3: {
        if (!b.pingsStopped)
            break;
        b.pinger.join();
        // For comparison: the same text put into a plain edit control of
        // the same style, size and font that is no part of the program.
        RECT r{};
        HWND result = ::GetDlgItem(hwnd, IDC_RESULT);
        ::GetWindowRect(result, &r);
        ::MapWindowPoints(nullptr, hwnd, reinterpret_cast<POINT*>(&r), 2);
        HWND plain = ::CreateWindowExA(
            WS_EX_CLIENTEDGE, "EDIT", "",
            WS_CHILD | WS_VISIBLE | ES_MULTILINE | ES_READONLY | WS_VSCROLL | WS_HSCROLL, r.left,
            r.top, r.right - r.left, r.bottom - r.top, hwnd, nullptr, nullptr, nullptr);
        ::SendMessageA(plain, WM_SETFONT, ::SendMessageA(result, WM_GETFONT, 0, 0), TRUE);
        std::string text = LookupResult();
        auto start = std::chrono::steady_clock::now();
        ::SendMessageA(plain, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
        ::UpdateWindow(plain);
        b.plainEditMs = Ms(std::chrono::steady_clock::now() - start);
        ::DestroyWindow(plain);
        b.phase = 4;
        b.dialog->PostMessage(WM_COMMAND, IDOK, 0);
        break;
    }
    default:
        break;
    }
}

} // namespace

int main(int argc, char** argv) {
    const int lookups = argc > 1 ? std::atoi(argv[1]) : 20;
    const int delayMs = argc > 2 ? std::atoi(argv[2]) : 1500;

    fw::CWinApp app;
    app.InitApplication(::GetModuleHandleA(nullptr));
    InitSettingsStore();
    SetBusyHooks(&fw::BeginWaitCursor, &fw::EndWaitCursor);

    CSystemTray tray;
    tray.SetNotifyIconFunction([](DWORD, TrayIconRecord&) { return true; });
    DelayedNetwork network(delayMs);
    {
        TimedLookupDlg dialog(tray);
        dialog.SetNetwork(&network);
        dialog.SetSocketsCleanup(nullptr);
        app.SetMainWnd(&dialog);
        g_bench.dialog = &dialog;
        g_bench.network = &network;
        g_bench.lookups = lookups;
        UINT_PTR timer = ::SetTimer(nullptr, 0, 20, &Tick);
        dialog.DoModal();
        ::KillTimer(nullptr, timer);
        app.SetMainWnd(nullptr);

        std::vector<double>& pings = g_bench.pings;
        std::sort(pings.begin(), pings.end());
        std::sort(g_bench.startMs.begin(), g_bench.startMs.end());
        std::printf("lookups %d\nanswer-delay-ms %d\n", lookups, delayMs);
        if (!g_bench.startMs.empty())
            std::printf("start-longest-ms %.3f\nstart-median-ms %.3f\n", g_bench.startMs.back(),
                        g_bench.startMs[g_bench.startMs.size() / 2]);
        std::printf("first-lookup-longest-message-ms %.3f\nfirst-lookup-result-shown-ms %.3f\n",
                    g_bench.warmUpLongestMs, g_bench.warmUpResultMs);
        std::printf("messages-handled %ld\nlongest-message-ms %.3f\nlongest-message 0x%04X\n"
                    "result-shown-ms %.3f\nresult-lines %d\n",
                    dialog.handled, dialog.longestMs, dialog.longestMessage, dialog.resultMs,
                    network.Lines());
        std::printf("plain-edit-settext-ms %.3f\n", g_bench.plainEditMs);
        if (!pings.empty())
            std::printf("pings %zu\nping-longest-ms %.3f\nping-median-ms %.3f\nping-p99-ms %.3f\n",
                        pings.size(), pings.back(), pings[pings.size() / 2],
                        pings[pings.size() * 99 / 100]);
    }
    // The bench's settings are of no further use.
    ::RegDeleteKeyA(HKEY_CURRENT_USER, (app.GetSectionKeyPath("Settings")).c_str());
    ::RegDeleteKeyA(HKEY_CURRENT_USER, (app.GetSectionKeyPath("IP List")).c_str());
    ::RegDeleteKeyA(HKEY_CURRENT_USER, (app.GetSectionKeyPath("")).c_str());
    return 0;
}
