// The hand-off between the main window and the lookup workers.
//
// Two process-wide texts carry it: the active query (the lookup whose result
// the window still waits for; empty when none) and the lookup result (the
// finished text). Every access to them goes through the functions below and
// is indivisible. A worker delivers only when, at its end, its query still
// equals the active query and its window is still there: it writes the result
// first and then posts WM_LOOKUP_DONE. An aborted worker runs to its end and
// delivers nothing.
//
// A worker may outlive the window and even the program's static objects: it
// holds copies of everything it uses, and the shared texts are never freed.
#pragma once

#include "engine/whois_network.h"

#include <functional>
#include <string>

// Posted to the window with both parameters 0 when a result is ready
// (the platform's first private message number, 1024, plus 2).
inline constexpr unsigned WM_LOOKUP_DONE = 1026;
// Posted with both parameters 0 when the running lookup's progress text has
// grown by a line (default mode only).
inline constexpr unsigned WM_LOOKUP_PROGRESS = 1027;

// The active query.
void SetActiveQuery(const std::string& query);
void ClearActiveQuery();
std::string ActiveQuery();
// True while the active query is not empty (the Lookup button means Abort).
bool IsLookupRunning();

// The lookup result.
std::string LookupResult();
void ClearLookupResult();

// The running lookup's progress: one line (CR LF) per step it has taken,
// "Looking up QUERY" first, then "asking HOST ..." for every server as it is
// asked. Cleared when a lookup starts.
std::string LookupProgress();
void ClearLookupProgress();

// Where a worker delivers: both functions are copied into the worker, so they
// must hold what they need by value (a window handle, not a window object).
struct LookupTarget {
    // Whether the window still exists; an empty function counts as "gone".
    std::function<bool()> windowStillThere;
    // Posts WM_LOOKUP_DONE (parameters 0 and 0) to the window. Called while
    // the hand-off is locked (so no Abort can slip between the comparison and
    // the post): it must not block or call the functions above.
    std::function<void()> postDone;
    // Posts WM_LOOKUP_PROGRESS, under the same lock and rules; empty: the
    // window wants no progress (classic mode).
    std::function<void()> postProgress;
};

// What one worker needs, copied at its start.
struct LookupJob {
    std::string input;               // the query, as the active query was at the start
    int convertToIp = 1;             // "Convert To IP" (non-zero: set)
    bool classic = false;            // "Classic Lookup": the classic chain only
    LookupTarget target;             // where the result goes
    WhoisNetwork* network = nullptr; // null: the program's network
};

// The worker's end: compares input with the active query (exactly, case
// included) and, only when they are equal and the target's window is still
// there, writes the result and then posts the message. All under the lock.
// True when it delivered.
// The result is moved into the shared text (no second copy of a large text).
bool DeliverLookupResult(const std::string& input, std::string result, const LookupTarget& target);

// A step of the worker: appends line and CR LF to the progress text and posts
// the progress message, only while input is the active query, the window is
// there and the target wants progress. True when it was reported.
bool ReportLookupProgress(const std::string& input, const std::string& line,
                          const LookupTarget& target);

// The worker's body: runs the lookup of job.input and delivers it. Returns
// the thread's exit code, 0.
int LookupWorker(LookupJob job);

// Starts a worker for the current active query on a new thread of normal
// priority and the default stack size, which nobody waits for. The query is
// copied now, before the thread starts, so an Abort and a new Lookup in
// between cannot hand the new query to the old worker. The network, when
// given, must outlive the worker. classic chooses the classic chain. False
// when no thread could be started.
bool StartLookupWorker(int convertToIp, bool classic, LookupTarget target,
                       WhoisNetwork* network = nullptr);
