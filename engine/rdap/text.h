// An RDAP answer (JSON) made into readable text in the spirit of a WHOIS
// answer: CR LF line ends, a first line naming where it came from, then
// labelled lines for the object, its events, entities and remarks. Failures
// (no match, rate limit, other statuses, bodies that are not RDAP JSON)
// become one line naming the server.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace rdap {

struct TextOptions {
    bool showNotices = false;      // the legal boilerplate ("notices") is left out unless asked
    std::size_t maxEntities = 64;  // entities rendered per answer, nested ones included
    std::size_t maxListItems = 64; // statuses, name servers, remarks... per list
    // The kind of object asked for ("domain", "ip network", "autnum"; empty:
    // not known). An answer without "objectClassName" (some older servers
    // leave it out) is read as this kind when it has that kind's key member
    // ("ldhName", "startAddress", "startAutnum").
    std::string_view askedClass;
};

enum class Outcome {
    Answer,      // text holds the rendered record
    NoMatch,     // 404: text holds one line "No match for ... at <server>."
    RateLimited, // 429: text holds one line naming the server and its Retry-After
    Failed,      // any other status or a body that is not RDAP JSON: error holds the reason
};

// Renders one HTTP answer. url is the URL asked (or the final one after
// redirects), status the HTTP status, retryAfter the Retry-After header (may
// be empty). On Answer, relatedUrl (when given) receives the first link with
// rel "related" and type "application/rdap+json" pointing at an https:// URL
// (for a domain: the registrar's record), or is cleared.
Outcome ResponseToText(std::string_view url, long status, std::string_view body,
                       std::string_view retryAfter, const TextOptions& options, std::string& text,
                       std::string& error, std::string* relatedUrl = nullptr);

// "rdap.example.net" from "https://rdap.example.net:443/path".
std::string HostOfUrl(std::string_view url);

} // namespace rdap
