// The lookup engine's one door to the network: a WHOIS exchange and a name
// resolution. The program goes through the real transport; tests put a
// scripted network in its place.
#pragma once

#include "engine/transport.h"
#include "platform/https.h"

#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>

// Fetches one of IANA's RDAP registries for the background refresh: GETs url
// within timeoutMs and gives the body of a 200 answer. It owns all it uses:
// the refresh may outlive the network that gave it.
using RegistryFetch = std::function<bool(const std::string& url, int timeoutMs, std::string& body)>;

class WhoisNetwork {
public:
    virtual ~WhoisNetwork() = default;

    // One WHOIS exchange, as WhoisExchange: true when the answer was read to
    // its end; result holds what arrived (also on a failure part-way).
    virtual bool Exchange(const std::string& query, const std::string& host, std::string& result,
                          int port) = 0;

    // As Exchange, and tells how the exchange ended. A network that cannot
    // tell more derives it: Completed on success, NotConnected for a failure
    // without text, ReceiveFailed for one part-way.
    virtual bool ExchangeWithOutcome(const std::string& query, const std::string& host,
                                     std::string& result, int port, ExchangeOutcome& outcome);

    // As ResolveHostToAddress: the dotted text of the name's first IPv4
    // address; address is unchanged on failure.
    virtual bool Resolve(const std::string& name, std::string& address) = 0;

    // One HTTPS GET (RDAP) within the network's bounds: true when a whole
    // answer arrived, whatever its status. Without HTTPS (the default) it
    // fails with a reason.
    virtual bool HttpsGet(const std::string& url, platform::HttpsResponse& response);

    // The folder that keeps the user's copies of IANA's RDAP registries.
    // Empty (the default): the built-in copy alone, never refreshed.
    virtual std::filesystem::path RdapCacheDirectory();

    // How the refresh of those copies fetches them; empty (the default):
    // never refreshed.
    virtual RegistryFetch RdapRegistryFetch();

    // The bounds its exchanges run under (none by default), for the words
    // that tell why one failed.
    virtual ExchangeLimits Limits() const;
};

// A network that passes every call on to another. The networks that wrap
// one (to observe, report or pace it) derive from this and override only
// what they add, so no call is ever left unforwarded.
class ForwardingNetwork : public WhoisNetwork {
public:
    explicit ForwardingNetwork(WhoisNetwork& inner) : m_inner(inner) {}
    bool Exchange(const std::string& query, const std::string& host, std::string& result,
                  int port) override {
        return m_inner.Exchange(query, host, result, port);
    }
    bool ExchangeWithOutcome(const std::string& query, const std::string& host, std::string& result,
                             int port, ExchangeOutcome& outcome) override {
        return m_inner.ExchangeWithOutcome(query, host, result, port, outcome);
    }
    bool Resolve(const std::string& name, std::string& address) override {
        return m_inner.Resolve(name, address);
    }
    bool HttpsGet(const std::string& url, platform::HttpsResponse& response) override {
        return m_inner.HttpsGet(url, response);
    }
    std::filesystem::path RdapCacheDirectory() override { return m_inner.RdapCacheDirectory(); }
    RegistryFetch RdapRegistryFetch() override { return m_inner.RdapRegistryFetch(); }
    ExchangeLimits Limits() const override { return m_inner.Limits(); }

protected:
    WhoisNetwork& m_inner;
};

// The network through engine/transport, with the given limits per exchange.
class TransportNetwork : public WhoisNetwork {
public:
    explicit TransportNetwork(const ExchangeLimits& limits = {}) : m_limits(limits) {}
    bool Exchange(const std::string& query, const std::string& host, std::string& result,
                  int port) override;
    bool ExchangeWithOutcome(const std::string& query, const std::string& host, std::string& result,
                             int port, ExchangeOutcome& outcome) override;
    bool Resolve(const std::string& name, std::string& address) override;
    // platform::HttpsGet, with RDAP's body cap (rdap::kMaxRdapAnswerBytes);
    // the connect limit bounds the connection as well, the read limit a wait
    // without a byte, and the whole request by three times it (at most the
    // platform's 30 s).
    bool HttpsGet(const std::string& url, platform::HttpsResponse& response) override;
    // The per-user cache folder (platform::GetRdapCacheDir).
    std::filesystem::path RdapCacheDirectory() override;
    // platform::HttpsGet.
    RegistryFetch RdapRegistryFetch() override;
    ExchangeLimits Limits() const override { return m_limits; }

private:
    ExchangeLimits m_limits;
};

// The program's network: the transport without limits, as the classic mode
// has it. The object is never destroyed, so a lookup still running while the
// program ends finds it intact.
WhoisNetwork& RealWhoisNetwork();
// The default mode's network: every exchange bounded (kDefaultModeLimits).
WhoisNetwork& DefaultModeNetwork();

// A few words for how an exchange ended ("completed", "timed out", ...).
const char* ExchangeOutcomeText(ExchangeOutcome outcome);

// Text from a server or the user made safe for one line of a trace: control
// characters (text::ReplaceControls: C0, DEL, C1, bidirectional controls)
// become "?", and texts beyond 200 bytes are shortened with "...".
std::string PrintableTraceText(const std::string& text);

// The trace line of one WHOIS exchange:
//   whois HOST:PORT "QUERY": BYTES bytes, OUTCOME, MS ms
std::string WhoisExchangeTraceLine(const std::string& host, int port, const std::string& query,
                                   std::size_t bytes, ExchangeOutcome outcome, long long ms);

// The WHOIS port; every exchange of the program uses it.
inline constexpr int kWhoisPort = 43;
