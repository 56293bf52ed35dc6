// The lookup driver: turns one query into the text the main window shows.
// It picks the first server (the server list's host for a domain, ARIN for
// addresses and everything else), follows the referrals the answers carry,
// adds the owning organisation's record from ARIN, strips legal notices and
// puts a heading in front of address answers.
#pragma once

#include "engine/summary/summary.h"
#include "engine/whois_network.h"

#include <functional>
#include <string>
#include <vector>

// The two fixed texts of a lookup that found nothing to ask.
inline constexpr char kUnableToResolveText[] = "Unable to resolve host";
inline constexpr char kUnknownDomainServerText[] =
    "I do not know the whois server for this domain extension";

// Whether a result is one of those texts.
inline bool IsFixedFailureText(const std::string& result) {
    return result == kUnableToResolveText || result == kUnknownDomainServerText;
}

// True for 5 to 15 characters, all digits or dots, with exactly 3 dots. The
// numbers themselves are not checked ("...12", "999.1.1.1" pass; "1..." has
// only 4 characters and does not).
bool IsDottedAddress(const std::string& text);

// The text between the first marker and the first end marker after it,
// trimmed of white space; empty when either is missing. Case-sensitive.
std::string ExtractFieldValue(const std::string& text, const std::string& marker,
                              const std::string& endMarker);

// The non-empty trimmed texts inside parentheses, in order. The text is cut
// after every ")"; each piece that holds a "(" gives the text between its
// first "(" and its ")". So "(a (b) c)" gives the single item "a (b".
std::vector<std::string> CollectParenthesised(const std::string& text);

// What a default-mode lookup found, beside its text (for ostrabel-cli --json).
struct LookupDetails {
    // What the query is: "domain", "address", "network", "as-number" or "handle".
    std::string kind;
    // The fields of the owner summary and the answers it was read from.
    summary::Summary summary;
    summary::Layout layout = summary::Layout::Network;
    // The records as the lookup chain left them: the result text without the
    // summary and without the line below (empty when the lookup found nothing).
    std::string text;
    // The reason line when the lookup found nothing ("No answer: ..."), or
    // the line that says a partial answer was cut off.
    std::string error;
};

// "domain", "address", "network", "as-number" or "handle" for a query as typed.
std::string QueryKindName(const std::string& query);

// Seconds as the user would write them: "10", "0.5", "1.25".
std::string FormatSeconds(int ms);

// The one line that says why an exchange with host gave nothing, under the
// given limits: "No answer: whois.example.net could not be reached
// (connection refused)." and the like.
std::string NoAnswerReason(const std::string& host, ExchangeOutcome outcome,
                           const ExchangeLimits& limits);
// The line after a partial answer that says why it was cut off; empty for an
// exchange that ended whole.
std::string CutOffReason(const std::string& host, ExchangeOutcome outcome,
                         const ExchangeLimits& limits);

// How one lookup runs.
struct LookupOptions {
    // "Convert To IP": any non-zero value makes a name with a dot be looked
    // up by its IPv4 address.
    int convertToIp = 1;
    // The classic chain only, request for request. Otherwise a domain whose
    // top-level domain has a known RDAP server is asked over RDAP first (its
    // record or its "no match" is the answer; any other failure runs the
    // WHOIS chain), and the WHOIS chain also finds the owner where the
    // classic one dead-ends: a registered name without an address goes to
    // its registry, a domain whose top-level domain the server list lacks is
    // looked up through whois.iana.org (which may name itself), any
    // registry's "Registrar WHOIS Server:" line is followed, ARIN's
    // "ReferralServer: whois://" line is followed, a name typed with
    // non-ASCII characters is sent in its ASCII (IDNA) form, and where port
    // 43 gives nothing at all RDAP is asked instead.
    bool classic = false;
    // When set, receives one line (without line end) for every exchange as
    // it ends ("whois HOST:PORT ..."), every name resolution ("resolve ..."),
    // every RDAP GET ("rdap GET ...") and reason ("rdap: ..."), every
    // extension that fires ("extension: ...") and, last, the source of the
    // result ("answered by WHOIS HOST:PORT", "answered by RDAP URL" or
    // "answered by no server"). Called on the lookup's thread.
    std::function<void(const std::string&)> trace;
    // RDAP alone: no WHOIS exchange; the result stays empty when RDAP gives
    // no text (the trace says why).
    bool rdapOnly = false;
    // RDAP's notices (its legal boilerplate) are shown too.
    bool rdapNotices = false;
    // When set, it is made true when the result is RDAP's one line saying
    // that it has no record to give (no match, too many queries), which the
    // command-line client reports as a lookup without an answer.
    bool* rdapGaveNoRecord = nullptr;
    // When set, receives the summary, the text without it and the reason
    // line (default mode; the classic mode fills in the text alone).
    LookupDetails* details = nullptr;
};

// Runs one lookup of input and puts the text to show into result. In the
// default mode a result that holds a record begins with the owner summary and
// an empty line; one that would be empty is the reason line instead; and a
// partial answer ends with a line that says it was cut off. Raises the
// wait-cursor count for its whole run (engine/busy.h). The network is the
// program's own unless given. Never throws for bad answers; only running out
// of memory can throw.
void RunWhoisLookup(std::string input, std::string& result, const LookupOptions& options,
                    WhoisNetwork& net);
// The same with the given "Convert To IP" and the other options at their
// defaults (the extended chain, no trace).
void RunWhoisLookup(std::string input, std::string& result, int convertToIp, WhoisNetwork& net);
void RunWhoisLookup(std::string input, std::string& result, int convertToIp);
