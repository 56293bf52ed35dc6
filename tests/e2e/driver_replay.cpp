// The in-process driver over the same answers the fake servers replay, for
// comparing with what ostrabel-cli gets through real sockets. An exchange
// with a host of the configuration succeeds with its file (or with nothing,
// as the fake server closes without a word); a silent host fails with nothing,
// as the client's time limit would end it; any other host fails like a
// refused connection. Names resolve as the program resolves them.
//
//   e2e_driver_replay CONFIG (--convert-to-ip | --no-convert-to-ip) [--classic] QUERY
// Writes the result text, byte for byte, to standard output.
#include "engine/driver.h"
#include "tests/e2e/replay_config.h"

#include <cstdio>

namespace {

class ReplayNetwork : public WhoisNetwork {
public:
    explicit ReplayNetwork(const replay::Config& config) : m_config(config) {}
    bool Exchange(const std::string& query, const std::string& host, std::string& result,
                  int port) override {
        if (host.empty())
            return false;
        result.clear();
        // A server on another port is named "host:port" in the configuration.
        const std::string server = port == kWhoisPort ? host : host + ":" + std::to_string(port);
        // A silent server fails like an exchange that ran out of time.
        if (m_config.hosts.count(server) == 0 || m_config.silent.count(server) != 0)
            return false;
        m_config.Find(server, query, result);
        return true;
    }
    bool Resolve(const std::string& name, std::string& address) override {
        return ResolveHostToAddress(name, address);
    }

private:
    const replay::Config& m_config;
};

} // namespace

int main(int argc, char** argv) {
    const bool classic = argc == 5 && std::string(argv[3]) == "--classic";
    if (argc != 4 && !classic) {
        std::fprintf(stderr,
                     "usage: e2e_driver_replay CONFIG --[no-]convert-to-ip [--classic] QUERY\n");
        return 2;
    }
    const replay::Config config = replay::ReadConfig(argv[1]);
    if (!config.error.empty()) {
        std::fprintf(stderr, "e2e_driver_replay: %s\n", config.error.c_str());
        return 2;
    }
    ReplayNetwork net(config);
    std::string result;
    LookupOptions options;
    options.convertToIp = std::string(argv[2]) == "--convert-to-ip" ? 1 : 0;
    options.classic = classic;
    RunWhoisLookup(argv[argc - 1], result, options, net);
    std::fwrite(result.data(), 1, result.size(), stdout);
    return 0;
}
