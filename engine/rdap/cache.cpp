#include "engine/rdap/cache.h"

#include "platform/https.h"
#include "base/text.h"

#include <atomic>
#include <condition_variable>
#include <fstream>
#include <mutex>
#include <sstream>
#include <system_error>
#include <thread>

namespace rdap {

namespace fs = std::filesystem;

namespace {

std::atomic<unsigned> g_tempCounter{0};
std::mutex g_refreshMutex;

// IANA's largest registry is about 100 KiB; a cached file far beyond that is
// not one of them and is not read at all.
constexpr std::uintmax_t kMaxRegistryBytes = 16u << 20;

bool ReadFile(const fs::path& path, std::string& contents) {
    std::error_code ec;
    std::uintmax_t size = fs::file_size(path, ec);
    if (ec || size > kMaxRegistryBytes)
        return false;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::ostringstream buffer;
    buffer << in.rdbuf();
    contents = buffer.str();
    return !in.bad();
}

bool WriteAndRename(const fs::path& dir, const char* name, const std::string& body,
                    std::string& error) {
    std::ostringstream tempName;
    tempName << name << ".tmp-" << std::hash<std::thread::id>()(std::this_thread::get_id()) % 100000
             << '-' << g_tempCounter.fetch_add(1);
    fs::path temp = dir / tempName.str();
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out.write(body.data(), static_cast<std::streamsize>(body.size()));
        out.close();
        if (!out) {
            std::error_code ignored;
            fs::remove(temp, ignored);
            error = "cannot write " + temp.string();
            return false;
        }
    }
    std::error_code ec;
    fs::rename(temp, dir / name, ec);
    if (ec) {
        fs::remove(temp, ec);
        error = std::string("cannot replace ") + (dir / name).string();
        return false;
    }
    return true;
}

// The registries in use and the refresh in flight. Never destroyed: a
// refresh or a lookup may still run while the program ends.
struct BootstrapState {
    std::mutex mutex;
    std::condition_variable refreshEnded;
    std::string cacheDir;                    // of the registries loaded
    std::shared_ptr<const Bootstrap> loaded; // null: load on next use
    bool refreshing = false;
};

BootstrapState& State() {
    static BootstrapState* state = new BootstrapState;
    return *state;
}

std::shared_ptr<const Bootstrap> CurrentBootstrap(const std::string& cacheDir) {
    BootstrapState& s = State();
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        if (s.loaded && s.cacheDir == cacheDir)
            return s.loaded;
    }
    auto fresh = std::make_shared<const Bootstrap>(LoadBootstrap(cacheDir));
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
    return !IsStale(std::filesystem::path(cacheDir) / kFailedRefreshMark, std::chrono::hours(24));
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
    if (cacheDir.empty() || !CacheNeedsRefresh(cacheDir) || FailedRecently(cacheDir))
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
            const bool ok = RefreshBootstrapCache(
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

} // namespace

Bootstrap LoadBootstrap(const std::string& cacheDir, std::array<bool, 4>* fromCache) {
    Bootstrap boot;
    for (Registry registry : kAllRegistries) {
        bool cached = false;
        std::string error;
        if (!cacheDir.empty()) {
            std::string contents;
            if (ReadFile(fs::path(cacheDir) / RegistryFileName(registry), contents))
                cached = boot.Load(registry, contents, error);
        }
        if (!cached)
            boot.Load(registry, SnapshotJson(registry), error);
        if (fromCache)
            (*fromCache)[static_cast<std::size_t>(registry)] = cached;
    }
    boot.AddDomainServers(ExtraDomainServers());
    return boot;
}

bool IsStale(const fs::path& path, std::chrono::hours maxAge) {
    std::error_code ec;
    auto written = fs::last_write_time(path, ec);
    if (ec)
        return true;
    return fs::file_time_type::clock::now() - written > maxAge;
}

bool CacheNeedsRefresh(const std::string& cacheDir, std::chrono::hours maxAge) {
    for (Registry registry : kAllRegistries)
        if (IsStale(fs::path(cacheDir) / RegistryFileName(registry), maxAge))
            return true;
    return false;
}

bool RefreshBootstrapCache(const std::string& cacheDir, const FetchFunction& fetch,
                           std::string& error, std::chrono::hours maxAge) {
    std::unique_lock<std::mutex> lock(g_refreshMutex, std::try_to_lock);
    if (!lock.owns_lock()) {
        error = "another refresh is running";
        return false;
    }
    if (cacheDir.empty() || !fetch) {
        error = "no cache folder";
        return false;
    }
    fs::path dir(cacheDir);
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (!fs::is_directory(dir, ec)) {
        error = "cannot make " + dir.string();
        return false;
    }
    bool allDone = true;
    for (Registry registry : kAllRegistries) {
        if (!IsStale(dir / RegistryFileName(registry), maxAge))
            continue;
        std::string url = RegistryUrl(registry);
        std::string body;
        std::string why;
        Bootstrap check;
        bool ok = false;
        if (!fetch(url, body))
            why = url + ": fetch failed";
        else if (!check.Load(registry, body, why))
            why = url + ": " + why;
        else
            ok = WriteAndRename(dir, RegistryFileName(registry), body, why);
        if (!ok) {
            if (allDone)
                error = why;
            allDone = false;
        }
    }
    return allDone;
}

std::shared_ptr<const Bootstrap>
BootstrapInUse(const std::string& cacheDir, const std::function<void(const std::string&)>& trace) {
    std::shared_ptr<const Bootstrap> bootstrap = CurrentBootstrap(cacheDir);
    StartRefreshIfDue(cacheDir, trace);
    return bootstrap;
}

bool WaitForRefresh(std::chrono::milliseconds bound) {
    BootstrapState& s = State();
    std::unique_lock<std::mutex> lock(s.mutex);
    return s.refreshEnded.wait_for(lock, bound, [&] { return !s.refreshing; });
}

} // namespace rdap
