// Many lookups at once: the queries of a list looked up through the lookup
// chain, each network asked once (the range cache), each server asked
// politely (engine/batch/polite.h), the records handed on in input order.
#pragma once

#include "engine/batch/polite.h"
#include "engine/batch/range_cache.h"
#include "engine/driver.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace batch {

// The query a line of a batch file holds: the line trimmed as a single query
// is; none for a blank line or a "#" comment.
std::optional<std::string> QueryOfLine(const std::string& line);

// One query's outcome.
struct Record {
    std::string query;
    LookupDetails details; // summary and records (no records when cached)
    bool fromCache = false;
    // Why there is no record ("interrupted", the reason line, a rate limit);
    // the line of a cut-off answer beside a record. Empty otherwise.
    std::string error;
    bool answered = false; // a record was found
};

struct Progress {
    std::uint64_t read = 0;  // queries read so far
    std::uint64_t done = 0;  // records handed on
    long long exchanges = 0; // WHOIS exchanges and HTTPS requests made
    std::uint64_t fromCache = 0;
    std::size_t pausedServers = 0;
    bool inputEnded = false;
};

struct Options {
    LookupOptions lookup;                    // convertToIp, rdapOnly, rdapNotices
    Politeness::Settings polite;             // pace, cap, retries, default pause
    int lookupsAtOnce = 16;                  // lookups under way (most wait for a server)
    std::size_t window = 256;                // queries read ahead of the oldest unfinished one
    const std::atomic<bool>* stop = nullptr; // set (e.g. by Ctrl+C): finish now
    // After a stop, the queries not yet read are read too and get the error
    // "interrupted" (for a file; standard input may never end).
    bool readRestAfterStop = false;
    std::function<std::int64_t()> now; // seconds for the cache; the system clock if unset
    std::function<void(const Progress&)> progress; // a few times a second and at the end
};

// Reads queries with next (false: the input ended) and hands every record
// to emit in input order, on the calling thread. Answers go into and come
// from cache. After a stop, queries read but not finished get the error
// "interrupted", and so do the rest with readRestAfterStop.
Progress Run(const std::function<bool(std::string&)>& next, WhoisNetwork& net, RangeCache& cache,
             const Options& options, const std::function<void(const Record&)>& emit);

} // namespace batch
