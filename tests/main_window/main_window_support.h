// Support for the main-window tests: a network double whose exchanges wait
// at a gate, a script runner that drives a modal dialog from inside its own
// message loop, and small window and registry helpers.
#pragma once

#include "engine/whois_network.h"
#include "framework/app.h"
#include "framework/dialog.h"

#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace mwtest {

// A network whose exchanges can be held until the test lets them go. Each
// exchange takes a ticket (0, 1, ... in the order of arrival) and answers
// "answer-<ticket> for <query>" and a line feed, so every delivery can be told apart. Name
// resolution fails unless a name was given an address. The worker threads
// are remembered, so a test can wait until each has really ended (the thread
// that made the network is no worker and is not waited for).
class GatedNetwork : public WhoisNetwork {
public:
    GatedNetwork();
    ~GatedNetwork() override;

    void Hold();
    void ReleaseTicket(std::size_t ticket);
    void ReleaseAll();
    // Waits (bounded) until count exchanges have arrived.
    bool WaitForArrivals(std::size_t count, std::chrono::milliseconds bound);
    // Waits (bounded) until every worker that has made an exchange so far
    // has ended, delivery included.
    bool WaitForWorkersToEnd(std::chrono::milliseconds bound);
    // Waits (bounded) until count exchanges have finished.
    bool WaitForFinished(std::size_t count, std::chrono::milliseconds bound);

    void Resolves(const std::string& name, const std::string& address);
    // Every exchange from now on answers text instead.
    void AnswerAlways(const std::string& text);

    std::vector<std::string> Queries() const;
    std::vector<std::string> Resolved() const;
    std::size_t Finished() const;

    static std::string AnswerFor(std::size_t ticket, const std::string& query);

    bool Exchange(const std::string& query, const std::string& host, std::string& result,
                  int port) override;
    bool Resolve(const std::string& name, std::string& address) override;

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_holding = false;
    std::size_t m_arrivals = 0;
    std::size_t m_finished = 0;
    std::set<std::size_t> m_released;
    std::vector<std::string> m_queries;
    std::vector<std::pair<std::string, std::string>> m_addresses;
    std::vector<std::string> m_resolved;
    std::string m_fixedAnswer; // empty: AnswerFor
    std::vector<HANDLE> m_threads;
    std::set<DWORD> m_threadIds;
    DWORD m_ownerThread; // exchanges made on it directly are not a worker's
};

// Drives a modal dialog: the steps run one after another on a thread timer
// inside the dialog's modal loop (and inside nested loops, such as a box the
// dialog opens). A step returns true when it is done and false to be called
// again on the next tick, so a step can wait for a condition while the
// dialog keeps handling its messages. A script that has not finished within
// its bound fails the test and closes the dialog.
class Script {
public:
    using Step = std::function<bool()>;

    Script& Until(Step step);
    Script& Do(std::function<void()> action);
    // Waits ms milliseconds of the dialog's own time (messages handled).
    Script& Pause(DWORD ms);

    // Runs dialog modally with the steps; makes it the application's main
    // window meanwhile. Returns DoModal's result.
    INT_PTR Run(fw::CDialog& dialog, DWORD boundMs = 20000);
    // Runs the application's start-up; the steps drive its main window.
    // Returns what InitInstance returned.
    bool RunInitInstance(fw::CWinApp& app, DWORD boundMs = 20000);
    bool Finished() const { return m_next == m_steps.size(); }

private:
    static void CALLBACK OnTick(HWND, UINT, UINT_PTR, DWORD);
    void Tick();

    void Begin(DWORD boundMs);
    void End();

    std::vector<Step> m_steps;
    std::size_t m_next = 0;
    bool m_inStep = false;
    std::function<fw::CDialog*()> m_target;
    UINT_PTR m_timer = 0;
    Script* m_previous = nullptr;
    DWORD m_started = 0;
    DWORD m_bound = 0;
    bool m_timedOut = false;
};

// A dialog template as the resource holds it (DIALOGEX), texts converted
// to the system code page. Class ordinals become their names ("Button");
// a text given as an ordinal (an icon's resource id) reads as empty.
struct TemplateItem {
    DWORD style = 0;
    DWORD exStyle = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    DWORD id = 0;
    std::string className;
    std::string text;
};
struct DialogTemplate {
    DWORD style = 0;
    DWORD exStyle = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    std::string caption;
    WORD pointSize = 0;
    std::string face;
    std::vector<TemplateItem> items;
};
// False when the executable has no such DIALOGEX resource.
bool ReadDialogTemplate(UINT id, DialogTemplate& out);

// Window helpers.
std::string WindowText(HWND hwnd);
std::string ItemText(HWND dialog, int id);
// A child's rectangle in its parent's client coordinates.
RECT ChildRect(HWND dialog, int id);
std::vector<std::string> ComboEntries(HWND combo);
// The query combo box's edit field.
HWND ComboField(HWND dialog);
// Posts a key press (down and up) to a window, as the keyboard would.
void PostKey(HWND target, WPARAM key);
// A top-level window of this thread with the given caption, owned by owner.
HWND FindOwnedWindow(HWND owner, const std::string& caption);

// The application's settings key, relative to HKEY_CURRENT_USER.
std::string AppKeyPath();
void DeleteRegistryTree(HKEY root, const std::string& path);
bool RegistryKeyExists(const std::string& path);
// Reads without creating anything; false when missing.
bool ReadRegistryInt(const std::string& section, const std::string& value, DWORD& out);
bool ReadRegistryText(const std::string& section, const std::string& value, std::string& out);

} // namespace mwtest
