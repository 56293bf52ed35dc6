#include "engine/driver.h"

#include "engine/arin_org.h"
#include "engine/busy.h"
#include "engine/filters.h"
#include "engine/rdap/lookup.h"
#include "base/server_roles.h"
#include "base/text.h"
#include "platform/idna.h"
#include "platform/ip_literal.h"
#include "servers/server_table.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <optional>
#include <string_view>

namespace {

// One answer the lookup received (or failed to), in order: a WHOIS exchange
// or an RDAP record.
struct Exchanged {
    bool rdap = false;
    std::string host;
    std::string query;
    ExchangeOutcome outcome = ExchangeOutcome::Completed;
    std::string answer; // the WHOIS text, or the RDAP JSON
};

// Passes every exchange and resolution to the lookup's network, keeps what
// each brought (for the summary and the reason line), and reports each to
// the trace as it ends.
class ObservedNetwork : public ForwardingNetwork {
public:
    ObservedNetwork(WhoisNetwork& inner, const std::function<void(const std::string&)>& trace)
        : ForwardingNetwork(inner), m_trace(trace) {}

    bool Exchange(const std::string& query, const std::string& host, std::string& result,
                  int port) override {
        ExchangeOutcome outcome = ExchangeOutcome::NotSent;
        return ExchangeWithOutcome(query, host, result, port, outcome);
    }
    bool ExchangeWithOutcome(const std::string& query, const std::string& host, std::string& result,
                             int port, ExchangeOutcome& outcome) override {
        const auto start = std::chrono::steady_clock::now();
        const bool ok = m_inner.ExchangeWithOutcome(query, host, result, port, outcome);
        if (m_trace)
            m_trace(WhoisExchangeTraceLine(host, port, query, result.size(), outcome,
                                           MillisecondsSince(start)));
        log.push_back({false, host, query, outcome, result});
        return ok;
    }

    bool Resolve(const std::string& name, std::string& address) override {
        const auto start = std::chrono::steady_clock::now();
        const bool ok = m_inner.Resolve(name, address);
        if (m_trace)
            m_trace("resolve " + PrintableTraceText(name) + ": " +
                    (ok ? PrintableTraceText(address) : std::string("no address")) + ", " +
                    std::to_string(MillisecondsSince(start)) + " ms");
        return ok;
    }

    // RDAP is asked on the lookup's network itself (Run::rdapNet), which
    // logs its own answers.
    std::vector<Exchanged> log;

private:
    static long long MillisecondsSince(std::chrono::steady_clock::time_point start) {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now() - start)
            .count();
    }

    const std::function<void(const std::string&)>& m_trace;
};

// One lookup's options and network, the trace's extension lines, RDAP's
// answer once asked, and which protocol and server gave the result.
struct Run {
    const LookupOptions& options;
    ObservedNetwork& net;  // WHOIS and name resolution, kept and traced
    WhoisNetwork& rdapNet; // RDAP's GETs and cache folder; RDAP traces its own GETs
    // RDAP is asked at most once per lookup: first for a domain, or where
    // port 43 gave nothing; a later need reuses this answer.
    mutable std::optional<rdap::LookupResult> rdap = std::nullopt;
    // "WHOIS host:port" or "RDAP URL": the source of the result so far.
    mutable std::string answeredBy = std::string();

    bool Extended() const { return !options.classic; }
    bool AnsweredByRdap() const { return answeredBy.rfind("RDAP ", 0) == 0; }
    void Note(const std::string& line) const {
        if (options.trace)
            options.trace("extension: " + line);
    }
    void Trace(const std::string& line) const {
        if (options.trace)
            options.trace(line);
    }
    void AnsweredByWhois(const std::string& host, int port = kWhoisPort) const {
        answeredBy = "WHOIS " + PrintableTraceText(host) + ":" + std::to_string(port);
    }
};

// RDAP's answer for the query, asked on the first call of a lookup.
const rdap::LookupResult& AskRdap(const std::string& query, const Run& run) {
    if (!run.rdap)
        run.rdap = RunRdapLookup(query, run.rdapNet, run.options.rdapNotices, run.options.trace);
    return *run.rdap;
}

void TraceRdapNotes(const rdap::LookupResult& answer, const Run& run) {
    for (const std::string& note : answer.notes)
        run.Trace("rdap: " + PrintableTraceText(note));
}

// True when RDAP's answer is a text to show: a record, or the server's one
// line for no match or too many queries.
bool RdapGaveText(const rdap::LookupResult& answer) {
    return answer.outcome != rdap::Outcome::Failed && !answer.text.empty();
}

// RDAP's text becomes the result and its records go to the summary; its one
// line for no match or too many queries is also reported as a lookup without
// a record (rdapGaveNoRecord).
void TakeRdapText(const std::string& query, const rdap::LookupResult& answer, std::string& result,
                  const Run& run) {
    result = answer.text;
    if (run.options.rdapGaveNoRecord)
        *run.options.rdapGaveNoRecord = answer.outcome != rdap::Outcome::Answer;
    run.answeredBy = "RDAP " + PrintableTraceText(answer.urls.front());
    for (const auto& [url, body] : answer.answers)
        run.net.log.push_back(
            {true, rdap::HostOfUrl(url), query, ExchangeOutcome::Completed, body});
}

// RDAP where WHOIS gave nothing (why: the trace's reason; empty for the
// RDAP-only lookup, where nothing is extended). True when RDAP gave a text,
// which then is the result; otherwise the result stays as WHOIS left it. RDAP
// asked first earlier in the lookup is not asked again.
bool AnswerByRdap(const std::string& query, const std::string& why, std::string& result,
                  const Run& run) {
    // RDAP asked first said why it failed then; where it knew no server, it
    // said nothing.
    const bool toldAlready = run.rdap && !run.rdap->urls.empty();
    if (!why.empty())
        run.Note(why + (toldAlready ? "; RDAP was asked first" : "; asking RDAP"));
    const rdap::LookupResult& answer = AskRdap(query, run);
    if (!toldAlready)
        TraceRdapNotes(answer, run);
    if (!RdapGaveText(answer))
        return false;
    TakeRdapText(query, answer, result, run);
    return true;
}

// The authoritative source first: a domain whose top-level domain has a known
// RDAP server is asked there, and the record (the registrar's after the
// registry's) or the registry's "no match" is the answer. Any other outcome
// (no connection, TLS, timeout, too many queries, another status, a body
// that is not RDAP) leaves the WHOIS chain to run, and the trace says why in
// one line. False, silently, where no RDAP server is known.
bool AnswerByRdapFirst(const std::string& name, std::string& result, const Run& run) {
    const rdap::LookupResult& answer = AskRdap(name, run);
    if (answer.urls.empty())
        return false; // no RDAP server for the top-level domain
    if (answer.outcome == rdap::Outcome::Answer || answer.outcome == rdap::Outcome::NoMatch) {
        TraceRdapNotes(answer, run); // e.g. the registrar's record could not be had
        TakeRdapText(name, answer, result, run);
        return true;
    }
    std::string why = text::Join(answer.notes, "; ");
    if (answer.outcome == rdap::Outcome::RateLimited)
        why = text::Trim(answer.text);
    run.Trace("rdap: " + PrintableTraceText(why.empty() ? "no answer" : why) +
              "; asking WHOIS instead");
    return false;
}

bool Contains(const std::string& text, std::string_view marker) {
    return text.find(marker) != std::string::npos;
}

// A host name from a server's answer that may be asked: 1 to 253 letters,
// digits, dots, hyphens or underscores, and not an address of this machine
// or of a local network. Anything else (blanks, control characters, a whole
// paragraph, "127.0.0.1") is not a host the program talks to.
bool IsUsableHostName(const std::string& host) {
    if (host.empty() || host.size() > 253 || platform::IsNonPublicAddressLiteral(host))
        return false;
    for (unsigned char c : host) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                        (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '_';
        if (!ok)
            return false;
    }
    return true;
}

// The server whois.iana.org names for the domain's top-level domain: the
// trimmed value of the first line of its answer that starts with "whois:".
// Asked once per top-level domain in the process; empty when it names none
// or something that is not a host, or cannot be asked.
std::string AskIana(const std::string& domain, const Run& run) {
    const std::size_t lastDot = domain.rfind('.');
    if (lastDot == std::string::npos)
        return std::string();
    const std::string tld = text::ToLower(text::Trim(domain.substr(lastDot + 1)));
    if (tld.empty())
        return std::string();
    std::string host;
    if (FindRememberedIanaServer(tld, host)) {
        run.Note("the server list has no ." + PrintableTraceText(tld) + "; " +
                 (host.empty() ? std::string("IANA named none earlier")
                               : "IANA named " + host + " earlier"));
        return host;
    }
    run.Note("the server list has no ." + PrintableTraceText(tld) + "; asking " +
             roles::kIanaServer);
    std::string answer;
    if (!run.net.Exchange(tld, roles::kIanaServer, answer, kWhoisPort))
        return std::string(); // not remembered: it may answer next time
    const std::string marker = "whois:";
    for (std::size_t at = 0; at < answer.size();) {
        const std::size_t lineEnd = answer.find('\n', at);
        const std::size_t next = lineEnd == std::string::npos ? answer.size() : lineEnd + 1;
        if (answer.compare(at, marker.size(), marker) == 0) {
            host = text::Trim(
                std::string_view(answer).substr(at + marker.size(), next - at - marker.size()));
            break;
        }
        at = next;
    }
    if (!IsUsableHostName(host)) {
        if (!host.empty())
            run.Note("IANA's whois line \"" + PrintableTraceText(host) +
                     "\" is not a usable server");
        host.clear();
    }
    // A few top-level domains (.int among them) have IANA itself as their
    // WHOIS server: it is then asked the full name like any registry.
    if (text::EqualsNoCase(host, roles::kIanaServer))
        host = roles::kIanaServer;
    RememberIanaServer(tld, host);
    run.Note(host.empty() ? "IANA names no server for ." + PrintableTraceText(tld)
                          : "IANA names " + host + " for ." + PrintableTraceText(tld));
    return host;
}

// Finds marker in text without regard to ASCII case.
std::size_t FindNoCase(const std::string& text, std::string_view marker) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    const auto it = std::search(text.begin(), text.end(), marker.begin(), marker.end(),
                                [&](char a, char b) { return lower(a) == lower(b); });
    return it == text.end() ? std::string::npos : static_cast<std::size_t>(it - text.begin());
}

// The host of a referral written as a host, "host:port" or an address such
// as "whois://host" or "https://host/path".
std::string HostOfReferral(std::string value) {
    const std::size_t scheme = value.find("://");
    if (scheme != std::string::npos)
        value.erase(0, scheme + 3);
    value = value.substr(0, value.find('/'));
    return value.substr(0, value.find(':'));
}

// Today's registries name the registrar on a "Registrar WHOIS Server:" line:
// its host, unless it is the registry itself or no host at all.
std::string RegistrarReferral(const std::string& answer, const std::string& registry,
                              const Run& run) {
    const std::string_view marker = "Registrar WHOIS Server:";
    const std::size_t at = FindNoCase(answer, marker);
    if (at == std::string::npos)
        return std::string();
    const std::size_t start = at + marker.size();
    const std::size_t end = answer.find('\n', start);
    if (end == std::string::npos)
        return std::string();
    const std::string value = text::Trim(std::string_view(answer).substr(start, end - start));
    if (value.empty())
        return std::string();
    const std::string host = HostOfReferral(value);
    if (!IsUsableHostName(host) || text::EqualsNoCase(host, registry))
        return std::string();
    run.Note("following the registry's \"Registrar WHOIS Server: " + host + "\" line");
    return host;
}

// The domain path: the registry of the top-level domain, and for the
// registries that refer to a registrar, the registrar named on the
// "Whois Server:" line. name is the input, or its ASCII form. Beyond the
// classic chain: RDAP first where the top-level domain has an RDAP server,
// IANA for a top-level domain the server list lacks, RDAP where port 43 gives
// nothing, and the "Registrar WHOIS Server:" line of any registry's answer.
void RunDomainLookup(const std::string& name, std::string& result, const Run& run) {
    if (run.Extended() && AnswerByRdapFirst(name, result, run))
        return;
    std::string server = FindWhoisServer(name);
    if (server.empty() && run.Extended())
        server = AskIana(name, run);
    if (server.empty()) {
        if (run.Extended() &&
            AnswerByRdap(name, "no WHOIS server is known for the domain", result, run))
            return;
        result = kUnknownDomainServerText;
    } else {
        std::string domainQuery = name;
        bool lookForReferral = false;
        if (text::EqualsNoCase(server, roles::kComNetRegistryServer) ||
            text::EqualsNoCase(server, roles::kInternicServer)) {
            domainQuery = "domain " + name;
            lookForReferral = true;
        } else if (text::EqualsNoCase(server, roles::kOrgRegistryServer)) {
            lookForReferral = true;
        }

        const bool answered = run.net.Exchange(domainQuery, server, result, kWhoisPort);
        run.AnsweredByWhois(server);
        // Nothing at all on port 43 (refused, closed at once, or retired).
        if (result.empty() && run.Extended() &&
            AnswerByRdap(name, server + " gave no WHOIS answer", result, run))
            return;
        const std::string registry = server;
        bool refer = false;
        if (answered && lookForReferral) {
            // The referral replaces the server even when the line is missing
            // or empty; the notice filter then runs with no server at all.
            server = ExtractFieldValue(result, "Whois Server:", "\n");
            if (server.empty() && run.Extended())
                server = RegistrarReferral(result, registry, run);
            refer = !server.empty();
        } else if (answered && run.Extended()) {
            // Thin registries of other top-level domains answer in the same
            // form; without the line, the registry's own filter runs.
            const std::string registrar = RegistrarReferral(result, registry, run);
            if (!registrar.empty()) {
                server = registrar;
                refer = true;
            }
        }
        if (refer) {
            const std::string referralQuery = text::ReplaceAll(domainQuery, "domain ", "");
            std::string answer;
            if (run.net.Exchange(referralQuery, server, answer, kWhoisPort)) {
                result = std::move(answer);
                run.AnsweredByWhois(server);
            }
        }
    }
    StripLegalNotice(result, server);
}

// One follow-up exchange: the answer replaces the result only when the
// exchange succeeds.
bool FollowUp(const Run& run, const std::string& query, const std::string& server,
              std::string& result, int port = kWhoisPort) {
    std::string answer;
    if (!run.net.Exchange(query, server, answer, port))
        return false;
    result = std::move(answer);
    run.AnsweredByWhois(server, port);
    return true;
}

// The registries an ARIN network name can name, tried in this order.
struct RegistryByNetName {
    std::string_view mark;
    const char* server;
};
constexpr RegistryByNetName kRegistriesByNetName[] = {
    {"RIPE", roles::kRipeServer},
    {"APNIC", roles::kApnicServer},
    {"AUNIC", roles::kAunicServer},
    {"LACNIC", roles::kLacnicServer},
};

// ARIN's own referral: "ReferralServer: whois://HOST" or
// "whois://HOST:43" naming another server. RWhois addresses, any other port
// (a referral may not send the query line to a mail or web server), hosts
// that are not usable host names and overlong values are not followed.
bool ArinReferral(const std::string& answer, std::string& host, int& port) {
    const std::string value = ExtractFieldValue(answer, "ReferralServer:", "\n");
    const std::string scheme = "whois://";
    if (value.size() > 300 || value.compare(0, scheme.size(), scheme) != 0)
        return false;
    std::string rest = value.substr(scheme.size());
    if (!rest.empty() && rest.back() == '/')
        rest.pop_back();
    const std::size_t colon = rest.find(':');
    int number = kWhoisPort;
    if (colon != std::string::npos) {
        const std::string digits = rest.substr(colon + 1);
        if (digits.empty() || digits.size() > 5 ||
            digits.find_first_not_of("0123456789") != std::string::npos)
            return false;
        number = std::stoi(digits);
        if (number != kWhoisPort)
            return false;
        rest.resize(colon);
    }
    if (!IsUsableHostName(rest) || text::EqualsNoCase(rest, roles::kArinServer))
        return false;
    host = rest;
    port = number;
    return true;
}

// The address path: ARIN, then at most one registry or handle follow-up,
// then the rwhois, Korean and Brazilian follow-ups, then the organisation
// record. The chain has a fixed shape; no step runs twice.
void RunAddressLookup(const std::string& input, const std::string& addressQuery,
                      std::string& result, const Run& run) {
    WhoisNetwork& net = run.net;
    std::string server = roles::kArinServer;
    run.AnsweredByWhois(server);
    if (!net.Exchange(addressQuery, server, result, kWhoisPort)) {
        if (result.empty() && run.Extended())
            AnswerByRdap(addressQuery, "ARIN gave no WHOIS answer", result, run);
        return; // what the exchange left, unfiltered and without heading
    }

    const std::string netName = ExtractFieldValue(result, "NetName:    ", "\n");
    bool registryNamed = false;
    for (const RegistryByNetName& registry : kRegistriesByNetName) {
        if (!netName.empty() && Contains(netName, registry.mark)) {
            server = registry.server;
            FollowUp(run, addressQuery, server, result);
            registryNamed = true;
            break;
        }
    }
    std::string referralHost;
    int referralPort = kWhoisPort;
    if (registryNamed) {
        // done: one rule of the network name at most
    } else if (run.Extended() && ArinReferral(result, referralHost, referralPort)) {
        run.Note("ARIN refers to " + referralHost + ":" + std::to_string(referralPort) +
                 " (ReferralServer)");
        server = referralHost;
        FollowUp(run, addressQuery, server, result, referralPort);
    } else if (result.rfind("No match for", 0) != 0) {
        // A list of networks: ask again for the last handle listed.
        const std::vector<std::string> handles = CollectParenthesised(result);
        if (!handles.empty())
            FollowUp(run, handles.back(), server, result);
    }

    if (Contains(result, std::string("available at ") + roles::kVerioRwhoisServer)) {
        server = roles::kVerioRwhoisServer;
        if (FollowUp(run, addressQuery, server, result)) {
            const std::vector<std::string> handles = CollectParenthesised(result);
            if (!handles.empty())
                FollowUp(run, handles.front(), server, result);
        }
    }

    if (Contains(result,
                 std::string("http://") + roles::kKrRegistryServer + "/english/index.html")) {
        server = roles::kKrRegistryServer;
        FollowUp(run, addressQuery, server, result);
    }

    if (Contains(result, std::string("at ") + roles::kBrRegistryServer)) {
        server = roles::kBrRegistryServer;
        FollowUp(run, addressQuery, server, result);
    }

    std::string org;
    if (FetchArinOrganisation(result, org, net))
        MergeArinOrganisation(result, org);

    StripLegalNotice(result, server);

    // A name that was looked up by its address shows both in its heading.
    const std::string heading = text::EqualsNoCase(addressQuery, input)
                                    ? input + "\r\n\r\n"
                                    : input + ":" + addressQuery + "\r\n\r\n";
    result.insert(0, heading);
}

// The longest name and label the DNS takes.
constexpr std::size_t kMaxNameLength = 253;
constexpr std::size_t kMaxLabelLength = 63;

bool WithinNameLengths(const std::string& name) {
    if (name.empty() || name.size() > kMaxNameLength)
        return false;
    std::size_t label = 0;
    for (char c : name) {
        label = c == '.' ? 0 : label + 1;
        if (label > kMaxLabelLength)
            return false;
    }
    return true;
}

// A name typed with characters beyond ASCII (a dot after the first
// character and a byte at or above 0x80) goes out in its ASCII form; a name
// that does not convert, or would break the DNS length limits, as typed.
std::string NameToSend(const std::string& input, const Run& run) {
    const std::size_t firstDot = input.find('.');
    const bool beyondAscii = std::any_of(
        input.begin(), input.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
    if (!run.Extended() || firstDot == std::string::npos || firstDot == 0 || !beyondAscii)
        return input;
    std::string ascii;
    if (!platform::ToAsciiDomainName(input, ascii) || !WithinNameLengths(ascii)) {
        run.Note("the international name does not convert to ASCII; sent as typed");
        return input;
    }
    run.Note("international name sent as " + ascii);
    return ascii;
}

// In the default mode, text holding a colon is an IPv6 address, whatever
// else it holds: brackets ("[2001:db8::1]") and a zone ("fe80::1%eth0") are
// removed, and an IPv4-mapped address ("::ffff:192.0.2.1") is the IPv4
// address inside it. Empty for text without a colon, and in the classic mode.
std::string AddressOfColonText(const std::string& text, const Run& run) {
    if (!run.Extended() || text.find(':') == std::string::npos)
        return std::string();
    std::string address = text::Trim(text);
    if (address.size() >= 2 && address.front() == '[' && address.back() == ']')
        address = address.substr(1, address.size() - 2);
    address.resize(std::min(address.find('%'), address.size()));
    std::array<std::uint8_t, 16> bytes{};
    std::uint32_t ipv4 = 0;
    if (platform::ParseIPv6(address, bytes) && platform::MappedIPv4(bytes, ipv4))
        address = platform::FormatIPv4(ipv4);
    // The classic chain takes text with a dot for a name.
    if (address != text || text.find('.') != std::string::npos)
        run.Note("text with a colon is looked up as the address " + PrintableTraceText(address));
    return address;
}

} // namespace

bool IsDottedAddress(const std::string& text) {
    if (text.size() < 5 || text.size() > 15)
        return false;
    int dots = 0;
    for (char c : text) {
        if (c == '.')
            ++dots;
        else if (c < '0' || c > '9')
            return false;
    }
    return dots == 3;
}

std::string ExtractFieldValue(const std::string& text, const std::string& marker,
                              const std::string& endMarker) {
    const std::size_t at = text.find(marker);
    if (at == std::string::npos)
        return std::string();
    const std::size_t start = at + marker.size();
    const std::size_t end = text.find(endMarker, start);
    if (end == std::string::npos)
        return std::string();
    return text::Trim(std::string_view(text).substr(start, end - start));
}

std::vector<std::string> CollectParenthesised(const std::string& text) {
    std::vector<std::string> items;
    const std::string_view all(text);
    std::size_t segmentStart = 0;
    for (std::size_t close = all.find(')'); close != std::string_view::npos;
         close = all.find(')', segmentStart)) {
        const std::string_view segment = all.substr(segmentStart, close - segmentStart);
        const std::size_t open = segment.find('(');
        if (open != std::string_view::npos) {
            std::string item = text::Trim(segment.substr(open + 1));
            if (!item.empty())
                items.push_back(std::move(item));
        }
        segmentStart = close + 1;
    }
    return items;
}

namespace {

// The lookup chain proper; true when it took the domain path.
bool RunChain(const std::string& input, std::string& result, const Run& run) {
    const std::string name = NameToSend(input, run);
    const std::string colonAddress = AddressOfColonText(name, run);
    if (run.options.rdapOnly) {
        const std::string query = colonAddress.empty() ? name : colonAddress;
        AnswerByRdap(query, std::string(), result, run);
        return rdap::ClassifyQuery(query).kind == rdap::QueryKind::Domain;
    }
    if (!colonAddress.empty()) {
        RunAddressLookup(input, colonAddress, result, run);
        return false;
    }
    std::string addressQuery = name;
    const std::size_t firstDot = name.find('.');
    if (IsDottedAddress(name) || firstDot == std::string::npos || firstDot == 0) {
        RunAddressLookup(input, addressQuery, result, run);
        return false;
    }
    if (run.options.convertToIp != 0) {
        std::string address;
        if (run.net.Resolve(name, address)) {
            addressQuery = address;
            RunAddressLookup(input, addressQuery, result, run);
            return false;
        }
        if (!run.Extended()) {
            result = kUnableToResolveText; // no filter, no heading
            return true;
        }
        // A registered name need not have an address: ask its registry.
        run.Note("the name has no address; looking it up as a domain");
        RunDomainLookup(name, result, run);
        if (IsFixedFailureText(result))
            result = kUnableToResolveText;
        return true;
    }
    RunDomainLookup(name, result, run);
    return true;
}

// IANA asked which server serves a top-level domain (not IANA answering for
// a name of its own, such as one under .int).
bool IsIanaExchange(const Exchanged& e) {
    return !e.rdap && text::EqualsNoCase(e.host, roles::kIanaServer) &&
           e.query.find('.') == std::string::npos;
}

// The owner summary of the answers the lookup received, in order: the last
// answer wins each field it has.
summary::Summary SummaryOf(const std::vector<Exchanged>& log) {
    summary::Summary all;
    for (const Exchanged& e : log) {
        if (e.answer.empty() || IsIanaExchange(e))
            continue;
        summary::Summary one =
            e.rdap ? summary::FromRdapJson(e.answer) : summary::FromWhoisText(e.answer);
        one.sources.push_back({e.rdap ? "RDAP" : "WHOIS", e.host, e.query});
        summary::Merge(all, one);
    }
    return all;
}

// The default mode's additions to a finished result: the reason line for an
// empty one, the cut-off line for a partial one, the summary above a record.
void Complete(std::string& result, bool domainPath, const Run& run, LookupDetails* details) {
    const ExchangeLimits limits = run.net.Limits();
    const std::vector<Exchanged>& log = run.net.log;
    std::string records = result; // as the chain left it
    const bool fixedText = IsFixedFailureText(records);
    std::string error;
    // No server sent a byte: what the chain left is at most a heading.
    const bool nothingArrived = !run.AnsweredByRdap() && !fixedText &&
                                std::none_of(log.begin(), log.end(), [](const Exchanged& e) {
                                    return !e.answer.empty() && !IsIanaExchange(e);
                                });
    if (text::Trim(result).empty() || nothingArrived) {
        records.clear();
        result.clear();
        const auto failed = std::find_if(log.rbegin(), log.rend(), [](const Exchanged& e) {
            return !e.rdap && (e.outcome != ExchangeOutcome::Completed || e.answer.empty());
        });
        if (failed != log.rend())
            error = NoAnswerReason(failed->host, failed->outcome, limits);
        else if (run.rdap && !run.rdap->notes.empty())
            error =
                "No answer: RDAP gave none (" + summary::CleanValue(run.rdap->notes.back()) + ").";
        else
            error = "No answer: no server gave a record.";
        result = error;
    } else if (!run.AnsweredByRdap()) {
        // Only the first exchange (IANA's aside) leaves a partial answer as
        // the result; a follow-up replaces it only when it ends whole.
        const auto first = std::find_if(log.begin(), log.end(),
                                        [](const Exchanged& e) { return !IsIanaExchange(e); });
        if (first != log.end() && !first->rdap && !first->answer.empty()) {
            error = CutOffReason(first->host, first->outcome, limits);
            if (!error.empty())
                result += "\r\n" + error;
        }
    }
    summary::Summary found;
    if (!records.empty() && !fixedText)
        found = SummaryOf(log);
    const summary::Layout layout = domainPath ? summary::Layout::Domain : summary::Layout::Network;
    const std::string lines = summary::Format(found, layout);
    if (details) {
        details->summary = found;
        details->layout = layout;
        details->text = records;
        details->error = error;
    }
    if (!lines.empty())
        result.insert(0, lines + "\r\n");
}

std::string Seconds(int ms) {
    return FormatSeconds(ms) + " s";
}

} // namespace

std::string FormatSeconds(int ms) {
    std::string text = std::to_string(ms / 1000);
    if (ms % 1000 != 0) {
        std::string fraction = std::to_string(1000 + ms % 1000).substr(1);
        while (fraction.back() == '0')
            fraction.pop_back();
        text += "." + fraction;
    }
    return text;
}

std::string QueryKindName(const std::string& query) {
    const std::string q = text::Trim(query);
    if (IsDottedAddress(q) ||
        (q.find(':') != std::string::npos && q.find('/') == std::string::npos))
        return "address";
    if (q.find('/') != std::string::npos)
        return "network";
    if (q.size() > 2 && text::StartsWithNoCase(q, "AS") &&
        q.find_first_not_of("0123456789", 2) == std::string::npos)
        return "as-number";
    const std::size_t dot = q.find('.');
    return dot != std::string::npos && dot != 0 ? "domain" : "handle";
}

std::string NoAnswerReason(const std::string& host, ExchangeOutcome outcome,
                           const ExchangeLimits& limits) {
    const std::string h = summary::CleanValue(host);
    const std::string unreached = "No answer: " + h + " could not be reached";
    switch (outcome) {
    case ExchangeOutcome::NotResolved:
        return "No answer: the name " + h + " does not resolve (no network?).";
    case ExchangeOutcome::Refused:
        return unreached + " (connection refused).";
    case ExchangeOutcome::ConnectTimedOut:
        return unreached + " (connection timed out" +
               (limits.connectTimeoutMs > 0 ? " after " + Seconds(limits.connectTimeoutMs) : "") +
               ").";
    case ExchangeOutcome::Unreachable:
        return unreached + " (network unreachable).";
    case ExchangeOutcome::NotConnected:
    case ExchangeOutcome::NoSocket:
        return unreached + ".";
    case ExchangeOutcome::NotSent:
    case ExchangeOutcome::SendFailed:
        return "No answer: the query could not be sent to " + h + ".";
    case ExchangeOutcome::Reset:
        return "No answer: " + h + " reset the connection before answering.";
    case ExchangeOutcome::TimedOut:
        return "No answer: " + h + " sent nothing" +
               (limits.readTimeoutMs > 0 ? " for " + Seconds(limits.readTimeoutMs) : "") + ".";
    case ExchangeOutcome::ReceiveFailed:
        return "No answer: the connection to " + h + " broke off.";
    case ExchangeOutcome::Completed:
    case ExchangeOutcome::TooLong:
        break;
    }
    return "No answer: " + h + " closed the connection without sending anything.";
}

std::string CutOffReason(const std::string& host, ExchangeOutcome outcome,
                         const ExchangeLimits& limits) {
    const std::string head = "The answer from " + summary::CleanValue(host) + " was cut off: ";
    switch (outcome) {
    case ExchangeOutcome::TimedOut:
        return head + "nothing more came" +
               (limits.readTimeoutMs > 0 ? " for " + Seconds(limits.readTimeoutMs) : "") + ".";
    case ExchangeOutcome::Reset:
        return head + "the server reset the connection.";
    case ExchangeOutcome::ReceiveFailed:
        return head + "the connection broke off.";
    case ExchangeOutcome::TooLong:
        return head + "it reached " + std::to_string(kMaxAnswerBytes >> 20) + " MiB.";
    default:
        return std::string();
    }
}

void RunWhoisLookup(std::string input, std::string& result, const LookupOptions& options,
                    WhoisNetwork& net) {
    BusyCursorScope busy;
    result.clear();

    ObservedNetwork observed(net, options.trace);
    const Run run{options, observed, net};
    const bool domainPath = RunChain(input, result, run);
    // The protocol and server the text came from; none for the fixed texts.
    const bool fixedText = IsFixedFailureText(result);
    run.Trace(run.answeredBy.empty() || fixedText ? std::string("answered by no server")
                                                  : "answered by " + run.answeredBy);
    if (!options.classic)
        Complete(result, domainPath, run, options.details);
    else if (options.details)
        options.details->text = result;
    if (options.details)
        options.details->kind = QueryKindName(input);
}

void RunWhoisLookup(std::string input, std::string& result, int convertToIp, WhoisNetwork& net) {
    LookupOptions options;
    options.convertToIp = convertToIp;
    RunWhoisLookup(std::move(input), result, options, net);
}

void RunWhoisLookup(std::string input, std::string& result, int convertToIp) {
    RunWhoisLookup(std::move(input), result, convertToIp, DefaultModeNetwork());
}
