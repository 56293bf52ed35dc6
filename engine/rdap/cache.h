// The user's copies of IANA's bootstrap registries: read from the cache
// folder (a copy that does not parse gives way to the built-in one), judged
// stale after a week, refreshed through a fetch function; and the registries
// the process uses, loaded once and refreshed in the background.
#pragma once

#include "engine/rdap/bootstrap.h"

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
Bootstrap LoadBootstrap(const std::string& cacheDir, std::array<bool, 4>* fromCache = nullptr);

// True when the file at path is missing or older than maxAge (by its
// modification time).
bool IsStale(const std::filesystem::path& path, std::chrono::hours maxAge);

// True when a registry's cached copy is missing or older than maxAge.
bool CacheNeedsRefresh(const std::string& cacheDir,
                       std::chrono::hours maxAge = std::chrono::hours(24 * 7));

// GETs a URL; true with the body on a 200 answer.
using FetchFunction = std::function<bool(const std::string& url, std::string& body)>;

// Fetches each registry whose cached copy is missing or older than maxAge,
// checks that it parses as a bootstrap file, writes it to a temporary file in
// the folder (made when missing) and renames it over the cached copy. One
// refresh at a time per process: a call while another runs returns false at
// once. Returns true when every stale registry was refreshed; error names
// the first failure.
bool RefreshBootstrapCache(const std::string& cacheDir, const FetchFunction& fetch,
                           std::string& error,
                           std::chrono::hours maxAge = std::chrono::hours(24 * 7));

// The registries the process uses for the cache folder: loaded on first use
// and again after a refresh. When the folder's copies are a week old or
// missing, a refresh starts in the background (one at a time; after a failed
// one, not again for a day) and trace, when set, says so; the caller uses
// what is there now.
std::shared_ptr<const Bootstrap>
BootstrapInUse(const std::string& cacheDir, const std::function<void(const std::string&)>& trace);

// Waits up to bound for a background refresh to end; true when none runs.
// The command-line client calls it before it exits, so a refresh it started
// can finish writing.
bool WaitForRefresh(std::chrono::milliseconds bound);

} // namespace rdap
