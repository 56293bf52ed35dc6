#include "engine/rdap/cache.h"

#include "platform/file.h"

#include <condition_variable>
#include <fstream>
#include <mutex>
#include <sstream>
#include <system_error>
#include <thread>

namespace rdap {

namespace fs = std::filesystem;

namespace {

// Never destroyed: a refresh may still run while the program ends.
std::mutex& RefreshMutex() {
    static std::mutex* mutex = new std::mutex;
    return *mutex;
}

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
    std::string reason;
    if (!platform::ReplaceFileContents(dir / name, body, reason)) {
        error = "cannot write " + PathText(dir / name) + ": " + reason;
        return false;
    }
    return true;
}

// The registries in use and the refresh in flight. Never destroyed: a
// refresh or a lookup may still run while the program ends.
struct BootstrapState {
    std::mutex mutex;
    std::condition_variable refreshEnded;
    fs::path cacheDir;                       // of the registries loaded
    std::shared_ptr<const Bootstrap> loaded; // null: load on next use
    bool refreshing = false;
};

BootstrapState& State() {
    static BootstrapState* state = new BootstrapState;
    return *state;
}

std::shared_ptr<const Bootstrap> CurrentBootstrap(const fs::path& cacheDir) {
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

bool FailedRecently(const fs::path& cacheDir) {
    return !IsStale(cacheDir / kFailedRefreshMark, std::chrono::hours(24));
}

// False when the mark cannot be written (a read-only folder, a full disk):
// then no refresh may start, or every lookup would start one.
bool MarkFailedRefresh(const fs::path& cacheDir) {
    std::error_code error;
    fs::create_directories(cacheDir, error);
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
void Refresh(const fs::path& cacheDir, const RegistryFetch& fetch) {
    bool ok = false;
    try {
        const auto deadline = std::chrono::steady_clock::now() + kRdapRefreshBound;
        std::string error;
        ok = RefreshBootstrapCache(
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
            fs::remove(cacheDir / kFailedRefreshMark, ignored);
    } catch (...) {
        ok = false; // out of memory, say: the mark written at the start stays
    }
    EndRefresh(ok);
}

// Fetches IANA's registries into the cache folder on a thread of its own,
// through fetch (which owns all it uses: the lookup's network may be gone by
// the time the refresh ends).
void StartRefreshIfDue(const fs::path& cacheDir, const RegistryFetch& fetch,
                       const std::function<void(const std::string&)>& trace) {
    if (cacheDir.empty() || !fetch || !CacheNeedsRefresh(cacheDir) || FailedRecently(cacheDir))
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
            trace("rdap: the registries in " + PathText(cacheDir) +
                  " are due, but the folder cannot be written; not refreshing them");
        EndRefresh(false);
        return;
    }
    if (trace)
        trace("rdap: the registries in " + PathText(cacheDir) +
              " are due; refreshing them in the background");
    try {
        std::thread([cacheDir, fetch] { Refresh(cacheDir, fetch); }).detach();
    } catch (...) {
        EndRefresh(false); // no thread: the mark keeps the next try a day away
    }
}

} // namespace

std::string PathText(const fs::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

Bootstrap LoadBootstrap(const fs::path& cacheDir, std::array<bool, 4>* fromCache) {
    Bootstrap boot;
    for (Registry registry : kAllRegistries) {
        bool cached = false;
        std::string error;
        if (!cacheDir.empty()) {
            std::string contents;
            if (ReadFile(cacheDir / RegistryFileName(registry), contents))
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

bool CacheNeedsRefresh(const fs::path& cacheDir, std::chrono::hours maxAge) {
    for (Registry registry : kAllRegistries)
        if (IsStale(cacheDir / RegistryFileName(registry), maxAge))
            return true;
    return false;
}

bool RefreshBootstrapCache(const fs::path& cacheDir, const FetchFunction& fetch, std::string& error,
                           std::chrono::hours maxAge) {
    std::unique_lock<std::mutex> lock(RefreshMutex(), std::try_to_lock);
    if (!lock.owns_lock()) {
        error = "another refresh is running";
        return false;
    }
    if (cacheDir.empty() || !fetch) {
        error = "no cache folder";
        return false;
    }
    const fs::path& dir = cacheDir;
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (!fs::is_directory(dir, ec)) {
        error = "cannot make " + PathText(dir);
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
BootstrapInUse(const fs::path& cacheDir, const RegistryFetch& fetch,
               const std::function<void(const std::string&)>& trace) {
    std::shared_ptr<const Bootstrap> bootstrap = CurrentBootstrap(cacheDir);
    StartRefreshIfDue(cacheDir, fetch, trace);
    return bootstrap;
}

bool WaitForRefresh(std::chrono::milliseconds bound) {
    BootstrapState& s = State();
    std::unique_lock<std::mutex> lock(s.mutex);
    return s.refreshEnded.wait_for(lock, bound, [&] { return !s.refreshing; });
}

} // namespace rdap
