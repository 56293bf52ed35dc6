#include "engine/whois_network.h"

bool TransportNetwork::Exchange(const std::string& query, const std::string& host,
                                std::string& result, int port) {
    return WhoisExchange(query, host, result, port, m_limits);
}

bool TransportNetwork::Resolve(const std::string& name, std::string& address) {
    return ResolveHostToAddress(name, address);
}

WhoisNetwork& RealWhoisNetwork() {
    static TransportNetwork* network = new TransportNetwork(); // intentionally never freed
    return *network;
}
