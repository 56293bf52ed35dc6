#include "engine/rdap/service.h"

#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <thread>

namespace {

// The registries in use and the refresh in flight. Never destroyed: a
// refresh or a lookup may still run while the program ends.
struct BootstrapState {
    std::mutex mutex;
    std::condition_variable refreshEnded;
    std::filesystem::path cacheDir;                // of the registries loaded
    std::shared_ptr<const rdap::Bootstrap> loaded; // null: load on next use
    bool refreshing = false;
};

BootstrapState& State() {
    static BootstrapState* state = new BootstrapState;
    return *state;
}

std::shared_ptr<const rdap::Bootstrap> CurrentBootstrap(const std::filesystem::path& cacheDir) {
    BootstrapState& s = State();
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        if (s.loaded && s.cacheDir == cacheDir)
            return s.loaded;
    }
    auto fresh = std::make_shared<const rdap::Bootstrap>(rdap::LoadBootstrap(cacheDir));
    std::lock_guard<std::mutex> lock(s.mutex);
    s.loaded = fresh;
    s.cacheDir = cacheDir;
    return fresh;
}

// A refresh that failed (no network, say) or never ended (a server that
// stalls, in a process that exits before it gives up) is not tried again for
// a day: the mark is written when an attempt starts and removed when one
// succeeds, so its time is that of the last attempt that did not.
constexpr char kFailedRefreshMark[] = "refresh-failed";

bool FailedRecently(const std::filesystem::path& cacheDir) {
    return !rdap::IsStale(cacheDir / kFailedRefreshMark, std::chrono::hours(24));
}

// False when the mark cannot be written (a read-only folder, a full disk):
// then no refresh may start, or every lookup would start one.
bool MarkFailedRefresh(const std::filesystem::path& cacheDir) {
    std::error_code error;
    std::filesystem::create_directories(cacheDir, error);
    std::ofstream mark(cacheDir / kFailedRefreshMark, std::ios::trunc);
    mark << "\n";
    mark.close();
    return !mark.fail();
}

void EndRefresh(bool refreshed) {
    BootstrapState& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    if (refreshed)
        state.loaded.reset(); // the next lookup reads the fresh copies
    state.refreshing = false;
    state.refreshEnded.notify_all();
}

// The refresh itself, on its own thread: every GET gets what is left of
// kRdapRefreshBound.
void Refresh(const std::filesystem::path& cacheDir, const RegistryFetch& fetch) {
    bool ok = false;
    try {
        const auto deadline = std::chrono::steady_clock::now() + kRdapRefreshBound;
        std::string error;
        ok = rdap::RefreshBootstrapCache(
            cacheDir,
            [&](const std::string& url, std::string& body) {
                const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                      deadline - std::chrono::steady_clock::now())
                                      .count();
                return left > 0 && fetch(url, static_cast<int>(left), body);
            },
            error);
        std::error_code ignored;
        if (!ok)
            MarkFailedRefresh(cacheDir);
        else
            std::filesystem::remove(cacheDir / kFailedRefreshMark, ignored);
    } catch (...) {
        ok = false; // out of memory, say: the mark written at the start stays
    }
    EndRefresh(ok);
}

// Fetches IANA's registries into the cache folder on a thread of its own.
void StartRefreshIfDue(const std::filesystem::path& cacheDir, const RegistryFetch& fetch,
                       const std::function<void(const std::string&)>& trace) {
    if (cacheDir.empty() || !fetch || !rdap::CacheNeedsRefresh(cacheDir) ||
        FailedRecently(cacheDir))
        return;
    BootstrapState& s = State();
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        if (s.refreshing)
            return;
        s.refreshing = true;
    }
    if (!MarkFailedRefresh(cacheDir)) {
        if (trace)
            trace("rdap: the registries in " + rdap::PathText(cacheDir) +
                  " are due, but the folder cannot be written; not refreshing them");
        EndRefresh(false);
        return;
    }
    if (trace)
        trace("rdap: the registries in " + rdap::PathText(cacheDir) +
              " are due; refreshing them in the background");
    try {
        std::thread([cacheDir, fetch] { Refresh(cacheDir, fetch); }).detach();
    } catch (...) {
        EndRefresh(false); // no thread: the mark keeps the next try a day away
    }
}

long long MillisecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 start)
        .count();
}

} // namespace

rdap::LookupResult RunRdapLookup(const std::string& query, WhoisNetwork& net, bool showNotices,
                                 const std::function<void(const std::string&)>& trace) {
    const std::filesystem::path cacheDir = net.RdapCacheDirectory();
    const std::shared_ptr<const rdap::Bootstrap> bootstrap = CurrentBootstrap(cacheDir);
    StartRefreshIfDue(cacheDir, net.RdapRegistryFetch(), trace);

    const rdap::HttpGet get = [&](const std::string& url) {
        const auto start = std::chrono::steady_clock::now();
        platform::HttpsResponse response;
        net.HttpsGet(url, response);
        if (trace) {
            const std::string how = response.completed
                                        ? std::to_string(response.status) + ", " +
                                              std::to_string(response.body.size()) + " bytes"
                                        : PrintableTraceText(response.error);
            trace("rdap GET " + PrintableTraceText(url) + ": " + how + ", " +
                  std::to_string(MillisecondsSince(start)) + " ms");
        }
        rdap::HttpAnswer answer;
        answer.completed = response.completed;
        answer.status = response.status;
        answer.body = std::move(response.body);
        answer.finalUrl = std::move(response.finalUrl);
        answer.retryAfter = std::move(response.retryAfter);
        answer.error = std::move(response.error);
        return answer;
    };
    rdap::TextOptions options;
    options.showNotices = showNotices;
    rdap::LookupResult result = rdap::Lookup(query, *bootstrap, get, options);
    if (trace)
        for (const std::string& note : result.notes)
            trace("rdap: " + PrintableTraceText(note));
    return result;
}

bool WaitForRdapRefresh(std::chrono::milliseconds bound) {
    BootstrapState& s = State();
    std::unique_lock<std::mutex> lock(s.mutex);
    return s.refreshEnded.wait_for(lock, bound, [&] { return !s.refreshing; });
}

void DiscardRdapBootstrap() {
    BootstrapState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.loaded.reset();
}
