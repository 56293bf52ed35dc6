#include "engine/rdap/lookup.h"

#include "engine/rdap/cache.h"
#include "base/text.h"

#include <chrono>
#include <memory>

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

namespace {

long long MillisecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 start)
        .count();
}

} // namespace

rdap::LookupResult RunRdapLookup(const std::string& query, WhoisNetwork& net, bool showNotices,
                                 const std::function<void(const std::string&)>& trace) {
    const std::string cacheDir = net.RdapCacheDirectory();
    const std::shared_ptr<const rdap::Bootstrap> bootstrap = rdap::BootstrapInUse(cacheDir, trace);

    const rdap::HttpGet get = [&](const std::string& url) {
        const auto start = std::chrono::steady_clock::now();
        platform::HttpsResponse response;
        net.HttpsGet(url, response);
        if (trace) {
            const std::string how = response.completed
                                        ? std::to_string(response.status) + ", " +
                                              std::to_string(response.body.size()) + " bytes"
                                        : PrintableTraceText(response.error);
            trace("rdap GET " + PrintableTraceText(url) + ": " + how + ", " +
                  std::to_string(MillisecondsSince(start)) + " ms");
        }
        return response;
    };
    rdap::TextOptions options;
    options.showNotices = showNotices;
    return rdap::Lookup(query, *bootstrap, get, options);
}
