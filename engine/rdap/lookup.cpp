#include "engine/rdap/lookup.h"

#include "base/text.h"

namespace rdap {

namespace {

const char* KindName(QueryKind kind) {
    switch (kind) {
    case QueryKind::Domain:
        return "domain";
    case QueryKind::IPv4:
        return "IPv4 address";
    case QueryKind::IPv6:
        return "IPv6 address";
    case QueryKind::Asn:
        return "AS number";
    }
    return "query";
}

// The RDAP object class a query of this kind asks for.
std::string_view ClassOfKind(QueryKind kind) {
    switch (kind) {
    case QueryKind::Domain:
        return "domain";
    case QueryKind::IPv4:
    case QueryKind::IPv6:
        return "ip network";
    case QueryKind::Asn:
        return "autnum";
    }
    return {};
}

// One GET made into text; notes the reason when it gives none.
Outcome Fetch(const std::string& url, const HttpGet& get, const TextOptions& options,
              LookupResult& result, std::string& text, std::string* related) {
    result.urls.push_back(url);
    platform::HttpsResponse answer = get(url);
    if (!answer.completed) {
        result.notes.push_back(HostOfUrl(url) + ": " +
                               (answer.error.empty() ? std::string("no answer") : answer.error));
        return Outcome::Failed;
    }
    const std::string& where = answer.finalUrl.empty() ? url : answer.finalUrl;
    std::string error;
    Outcome outcome = ResponseToText(where, answer.status, answer.body, answer.retryAfter, options,
                                     text, error, related);
    if (outcome == Outcome::Failed)
        result.notes.push_back(error);
    else if (outcome == Outcome::Answer)
        result.answers.emplace_back(where, std::move(answer.body));
    return outcome;
}

} // namespace

LookupResult Lookup(std::string_view query, const Bootstrap& bootstrap, const HttpGet& get,
                    const TextOptions& options) {
    LookupResult result;
    Query q = ClassifyQuery(query);
    std::string base = bootstrap.FindBaseUrl(q);
    if (base.empty()) {
        result.notes.push_back(std::string("no server known for the ") + KindName(q.kind) + " \"" +
                               q.text + "\"");
        return result;
    }
    // Answers that leave out their class are read as the kind asked for.
    TextOptions asked = options;
    asked.askedClass = ClassOfKind(q.kind);
    std::string related;
    result.outcome = Fetch(BuildQueryUrl(base, q), get, asked, result, result.text,
                           q.kind == QueryKind::Domain ? &related : nullptr);
    if (result.outcome != Outcome::Answer || related.empty() || related == result.urls.front())
        return result;

    // The registrar's record, once; its failure leaves the registry's answer.
    std::string registrar;
    Outcome second = Fetch(related, get, asked, result, registrar, nullptr);
    if (second == Outcome::Answer)
        result.text += "\r\n" + registrar;
    else if (second != Outcome::Failed)
        result.notes.push_back("registrar's record: " + text::Trim(registrar));
    return result;
}

} // namespace rdap
