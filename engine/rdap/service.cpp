#include "engine/rdap/service.h"

#include "platform/https.h"

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
    std::string cacheDir;                          // of the registries loaded
    std::shared_ptr<const rdap::Bootstrap> loaded; // null: load on next use
    bool refreshing = false;
};

BootstrapState& State() {
    static BootstrapState* state = new BootstrapState;
    return *state;
}

std::shared_ptr<const rdap::Bootstrap> CurrentBootstrap(const std::string& cacheDir) {
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

bool FailedRecently(const std::string& cacheDir) {
    return !rdap::IsStale(std::filesystem::path(cacheDir) / kFailedRefreshMark,
                          std::chrono::hours(24));
}

void MarkFailedRefresh(const std::string& cacheDir) {
    std::error_code error;
    std::filesystem::create_directories(cacheDir, error);
    std::ofstream(std::filesystem::path(cacheDir) / kFailedRefreshMark, std::ios::trunc) << "\n";
}

// Fetches IANA's registries into the cache folder on a thread of its own.
// It talks to the platform's HTTPS directly (not through the lookup's
// network, which may be gone by the time it ends).
void StartRefreshIfDue(const std::string& cacheDir,
                       const std::function<void(const std::string&)>& trace) {
    if (cacheDir.empty() || !rdap::CacheNeedsRefresh(cacheDir) || FailedRecently(cacheDir))
        return;
    BootstrapState& s = State();
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        if (s.refreshing)
            return;
        s.refreshing = true;
    }
    if (trace)
        trace("rdap: the registries in " + cacheDir +
              " are due; refreshing them in the background");
    MarkFailedRefresh(cacheDir);
    try {
        std::thread([cacheDir] {
            std::string error;
            const bool ok = rdap::RefreshBootstrapCache(
                cacheDir,
                [](const std::string& url, std::string& body) {
                    platform::HttpsRequest request;
                    request.url = url;
                    request.accept = "application/json";
                    platform::HttpsResponse response;
                    if (!platform::HttpsGet(request, response) || response.status != 200)
                        return false;
                    body = std::move(response.body);
                    return true;
                },
                error);
            std::error_code ignored;
            if (!ok)
                MarkFailedRefresh(cacheDir);
            else
                std::filesystem::remove(std::filesystem::path(cacheDir) / kFailedRefreshMark,
                                        ignored);
            BootstrapState& state = State();
            std::lock_guard<std::mutex> lock(state.mutex);
            if (ok)
                state.loaded.reset(); // the next lookup reads the fresh copies
            state.refreshing = false;
            state.refreshEnded.notify_all();
        }).detach();
    } catch (const std::system_error&) {
        std::lock_guard<std::mutex> lock(s.mutex);
        s.refreshing = false; // no thread: try again another time
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
    const std::string cacheDir = net.RdapCacheDirectory();
    const std::shared_ptr<const rdap::Bootstrap> bootstrap = CurrentBootstrap(cacheDir);
    StartRefreshIfDue(cacheDir, trace);

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
        return response;
    };
    rdap::TextOptions options;
    options.showNotices = showNotices;
    return rdap::Lookup(query, *bootstrap, get, options);
}

bool WaitForRdapRefresh(std::chrono::milliseconds bound) {
    BootstrapState& s = State();
    std::unique_lock<std::mutex> lock(s.mutex);
    return s.refreshEnded.wait_for(lock, bound, [&] { return !s.refreshing; });
}
