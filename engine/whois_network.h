// The lookup engine's one door to the network: a WHOIS exchange and a name
// resolution. The program goes through the real transport; tests put a
// scripted network in its place.
#pragma once

#include "engine/transport.h"
#include "platform/https.h"

#include <cstddef>
#include <string>

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
    virtual std::string RdapCacheDirectory();

    // The bounds its exchanges run under (none by default), for the words
    // that tell why one failed.
    virtual ExchangeLimits Limits() const;
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
    // platform::HttpsGet; the connect limit bounds the connection as well,
    // the read limit a wait without a byte, and the whole request by three
    // times it (at most the platform's 30 s).
    bool HttpsGet(const std::string& url, platform::HttpsResponse& response) override;
    // The per-user cache folder (platform::GetRdapCacheDir).
    std::string RdapCacheDirectory() override;
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
// bytes become "?", and texts beyond 200 bytes are shortened with "...".
std::string PrintableTraceText(const std::string& text);

// The trace line of one WHOIS exchange:
//   whois HOST:PORT "QUERY": BYTES bytes, OUTCOME, MS ms
std::string WhoisExchangeTraceLine(const std::string& host, int port, const std::string& query,
                                   std::size_t bytes, ExchangeOutcome outcome, long long ms);

// The WHOIS port; every exchange of the program uses it.
inline constexpr int kWhoisPort = 43;
