// The user's copies of IANA's bootstrap registries: read from the cache
// folder (a copy that does not parse gives way to the built-in one), judged
// stale after a week, refreshed through a fetch function; and the registries
// the process uses, loaded once and refreshed in the background.
#pragma once

#include "engine/rdap/bootstrap.h"
#include "engine/whois_network.h"

#include <array>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

namespace rdap {

// Builds a bootstrap from the cache folder, file by file: a cached copy that
// parses wins, otherwise (missing, empty, truncated, binary, wrong shape) the
// built-in snapshot. An empty folder name means the snapshot alone. The extra
// domain servers fill the domain table's gaps in either case.
// fromCache, when given, tells which registries came from the cache.
Bootstrap LoadBootstrap(const std::filesystem::path& cacheDir,
                        std::array<bool, 4>* fromCache = nullptr);

// A path as UTF-8 text, for messages (whatever the system's own encoding).
std::string PathText(const std::filesystem::path& path);

// True when the file at path is missing or older than maxAge (by its
// modification time).
bool IsStale(const std::filesystem::path& path, std::chrono::hours maxAge);

// True when a registry's cached copy is missing or older than maxAge.
bool CacheNeedsRefresh(const std::filesystem::path& cacheDir,
                       std::chrono::hours maxAge = std::chrono::hours(24 * 7));

// GETs a URL; true with the body on a 200 answer.
using FetchFunction = std::function<bool(const std::string& url, std::string& body)>;

// Fetches each registry whose cached copy is missing or older than maxAge,
// checks that it parses as a bootstrap file, writes it to a temporary file in
// the folder (made when missing; the file is made exclusively, under a name
// no other process holds) and renames it over the cached copy. One
// refresh at a time per process: a call while another runs returns false at
// once. Returns true when every stale registry was refreshed; error names
// the first failure.
bool RefreshBootstrapCache(const std::filesystem::path& cacheDir, const FetchFunction& fetch,
                           std::string& error,
                           std::chrono::hours maxAge = std::chrono::hours(24 * 7));

// The longest a background refresh of the registries runs, all its GETs
// together; the command-line client waits a little longer for it at exit,
// so that it never exits while the refresh is inside the HTTPS library.
inline constexpr std::chrono::seconds kRdapRefreshBound{8};

// The registries the process uses for the cache folder: loaded on first use
// and again after a refresh. When the folder's copies are a week old or
// missing, a refresh starts in the background (one at a time, through fetch,
// within kRdapRefreshBound) if the folder takes the mark that stops retries
// for a day: a folder that cannot be written is never refreshed. A refresh
// that fails in any way (an exception included) is a failed refresh and
// nothing more. trace, when set, says when one starts or cannot; the caller
// uses what is there now. An empty fetch never refreshes.
std::shared_ptr<const Bootstrap>
BootstrapInUse(const std::filesystem::path& cacheDir, const RegistryFetch& fetch,
               const std::function<void(const std::string&)>& trace);

// Waits up to bound for a background refresh to end; true when none runs.
// The command-line client calls it before it exits, so a refresh it started
// can finish writing.
bool WaitForRefresh(std::chrono::milliseconds bound);

} // namespace rdap
