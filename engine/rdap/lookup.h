// One RDAP lookup from start to end, with the HTTPS GET supplied by the
// caller (the platform layer in the program, a fake in tests): the query's
// kind, its server from the bootstrap, the GET, the text, and for a domain
// the registrar's record (the registry's "related" link) followed once and
// shown after the registry's.
#pragma once

#include "engine/rdap/bootstrap.h"
#include "engine/rdap/text.h"
#include "engine/whois_network.h"
#include "platform/https.h"

#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace rdap {

// One GET of an RDAP URL: the platform's HTTPS answer (or a fake's).
using HttpGet = std::function<platform::HttpsResponse(const std::string& url)>;

struct LookupResult {
    // Answer: text holds the record(s). NoMatch / RateLimited: text holds the
    // server's one line. Failed: text is empty and the caller keeps its
    // classic result.
    Outcome outcome = Outcome::Failed;
    std::string text;
    // For --verbose: one line per step that went wrong (no server known, the
    // GET's error, the reason a body was refused, a registrar record that
    // could not be had).
    std::vector<std::string> notes;
    // Every URL asked, in order.
    std::vector<std::string> urls;
    // The URL and JSON body of each answer that became text, in order (the
    // registry's, then the registrar's), for the owner summary.
    std::vector<std::pair<std::string, std::string>> answers;
};

LookupResult Lookup(std::string_view query, const Bootstrap& bootstrap, const HttpGet& get,
                    const TextOptions& options);

} // namespace rdap

// The lookup as a step of the lookup chain: the query's server from the
// registries the process uses (engine/rdap/cache.h), each GET through the
// lookup's network. trace, when set, gets one line per GET ("rdap GET URL:
// STATUS, N bytes, MS ms" or "rdap GET URL: ERROR, MS ms"); the reasons the
// lookup fell short are in its notes, for the caller to tell.
rdap::LookupResult RunRdapLookup(const std::string& query, WhoisNetwork& net, bool showNotices,
                                 const std::function<void(const std::string&)>& trace);
