// The answers a batch already has: each owner summary kept under the query
// that brought it and under the address range its network names, so that a
// later address or network inside that range is answered without asking
// anyone. The cache can be written to a file and read back (one JSON object
// a line); entries older than the cache's age limit are dropped.
#pragma once

#include "engine/summary/summary.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace batch {

// An IPv4 or IPv6 address as 16 bytes in network order; IPv4 as ::ffff:a.b.c.d.
using Address = std::array<std::uint8_t, 16>;

// The first and last address of "A - B", "A/N" (the network of A) or a lone
// address A, IPv4 or IPv6; for a list ("A/N, B/M") the first item. False for
// anything else, for a range whose ends differ in family, and for B < A.
bool ParseRange(std::string_view text, Address& first, Address& last);

// The system clock in seconds since 1970, the cache's time.
std::int64_t UnixSeconds();

// The answer the cache gives.
struct CachedAnswer {
    summary::Summary summary;
    summary::Layout layout = summary::Layout::Network;
};

class RangeCache {
public:
    // Entries older than maxAgeSeconds are neither found nor written.
    explicit RangeCache(std::int64_t maxAgeSeconds = 24 * 3600) : m_maxAge(maxAgeSeconds) {}

    // The answer for query at time now (seconds): the one kept under the same
    // query (letters compared without case), otherwise the one of the smallest
    // range that holds the address or the whole network the query names.
    std::optional<CachedAnswer> Find(const std::string& query, std::int64_t now) const;

    // Keeps the answer of query: under the query, and (with byRange) under
    // the range of its Network field when that range holds what the query
    // names.
    void Add(const std::string& query, const CachedAnswer& answer, std::int64_t now,
             bool byRange = true);

    // The entries still fresh at now, one JSON object a line.
    std::string Serialize(std::int64_t now) const;
    // Adds the entries of text (as Serialize writes it) that are fresh at
    // now; lines that do not read are skipped. The newer of two entries for
    // the same query or range wins.
    void Load(std::string_view text, std::int64_t now);

private:
    struct Entry {
        std::string key; // the query in lower case; empty for a range entry
        Address first{}, last{};
        std::int64_t stored = 0;
        CachedAnswer answer;
    };
    bool Fresh(const Entry& e, std::int64_t now) const {
        return now - e.stored < m_maxAge && e.stored <= now + 60;
    }
    void Put(Entry entry);

    std::int64_t m_maxAge;
    std::unordered_map<std::string, Entry> m_byQuery;
    std::vector<Entry> m_ranges; // few: one per network
};

} // namespace batch
