#include "engine/whois_network.h"

#include "platform/cache_dir.h"

#include <algorithm>

bool TransportNetwork::Exchange(const std::string& query, const std::string& host,
                                std::string& result, int port) {
    return WhoisExchange(query, host, result, port, m_limits);
}

bool TransportNetwork::ExchangeWithOutcome(const std::string& query, const std::string& host,
                                           std::string& result, int port,
                                           ExchangeOutcome& outcome) {
    return WhoisExchange(query, host, result, port, m_limits, &outcome);
}

bool TransportNetwork::HttpsGet(const std::string& url, platform::HttpsResponse& response) {
    platform::HttpsRequest request;
    request.url = url;
    if (m_limits.connectTimeoutMs > 0)
        request.connectTimeoutMs = std::min(request.connectTimeoutMs, m_limits.connectTimeoutMs);
    if (m_limits.readTimeoutMs > 0) {
        request.stallTimeoutMs = std::min(request.stallTimeoutMs, m_limits.readTimeoutMs);
        request.totalTimeoutMs = static_cast<int>(
            std::min<long long>(request.totalTimeoutMs, 3LL * m_limits.readTimeoutMs));
    }
    return platform::HttpsGet(request, response);
}

std::string TransportNetwork::RdapCacheDirectory() {
    return platform::GetRdapCacheDir();
}

bool WhoisNetwork::HttpsGet(const std::string&, platform::HttpsResponse& response) {
    response = platform::HttpsResponse();
    response.error = "no HTTPS on this network";
    return false;
}

std::string WhoisNetwork::RdapCacheDirectory() {
    return std::string();
}

bool WhoisNetwork::ExchangeWithOutcome(const std::string& query, const std::string& host,
                                       std::string& result, int port, ExchangeOutcome& outcome) {
    const bool ok = Exchange(query, host, result, port);
    outcome = ok               ? ExchangeOutcome::Completed
              : result.empty() ? ExchangeOutcome::NotConnected
                               : ExchangeOutcome::ReceiveFailed;
    return ok;
}

const char* ExchangeOutcomeText(ExchangeOutcome outcome) {
    switch (outcome) {
    case ExchangeOutcome::Completed:
        return "completed";
    case ExchangeOutcome::NotSent:
        return "not sent";
    case ExchangeOutcome::NoSocket:
        return "no socket";
    case ExchangeOutcome::NotResolved:
        return "host not resolved";
    case ExchangeOutcome::NotConnected:
        return "no connection";
    case ExchangeOutcome::Refused:
        return "refused";
    case ExchangeOutcome::ConnectTimedOut:
        return "connect timed out";
    case ExchangeOutcome::Unreachable:
        return "unreachable";
    case ExchangeOutcome::Reset:
        return "reset";
    case ExchangeOutcome::SendFailed:
        return "send failed";
    case ExchangeOutcome::ReceiveFailed:
        return "broke off";
    case ExchangeOutcome::TimedOut:
        return "timed out";
    case ExchangeOutcome::TooLong:
        return "too long, cut";
    }
    return "failed";
}

std::string PrintableTraceText(const std::string& text) {
    constexpr std::size_t kMost = 200;
    std::string out;
    for (std::size_t i = 0; i < text.size() && i < kMost; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        out += c < 0x20 || c == 0x7f ? '?' : static_cast<char>(c);
    }
    if (text.size() > kMost)
        out += "...";
    return out;
}

std::string WhoisExchangeTraceLine(const std::string& host, int port, const std::string& query,
                                   std::size_t bytes, ExchangeOutcome outcome, long long ms) {
    return "whois " + PrintableTraceText(host) + ":" + std::to_string(port) + " \"" +
           PrintableTraceText(query) + "\": " + std::to_string(bytes) + " bytes, " +
           ExchangeOutcomeText(outcome) + ", " + std::to_string(ms) + " ms";
}

bool TransportNetwork::Resolve(const std::string& name, std::string& address) {
    return ResolveHostToAddress(name, address);
}

WhoisNetwork& RealWhoisNetwork() {
    static TransportNetwork* network = new TransportNetwork(); // intentionally never freed
    return *network;
}

WhoisNetwork& DefaultModeNetwork() {
    static TransportNetwork* network =
        new TransportNetwork(kDefaultModeLimits); // intentionally never freed
    return *network;
}

ExchangeLimits WhoisNetwork::Limits() const {
    return ExchangeLimits();
}
