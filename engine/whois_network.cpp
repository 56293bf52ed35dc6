#include "engine/whois_network.h"

bool TransportNetwork::Exchange(const std::string& query, const std::string& host,
                                std::string& result, int port) {
    return WhoisExchange(query, host, result, port, m_limits);
}

bool TransportNetwork::ExchangeWithOutcome(const std::string& query, const std::string& host,
                                           std::string& result, int port,
                                           ExchangeOutcome& outcome) {
    return WhoisExchange(query, host, result, port, m_limits, &outcome);
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

bool TransportNetwork::Resolve(const std::string& name, std::string& address) {
    return ResolveHostToAddress(name, address);
}

WhoisNetwork& RealWhoisNetwork() {
    static TransportNetwork* network = new TransportNetwork(); // intentionally never freed
    return *network;
}
