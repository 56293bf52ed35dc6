// The answers of an end-to-end run: one line per answer,
//   HOST <TAB> REQUEST <TAB> FILE
// (REQUEST "*": any request to that host without a line of its own; lines
// starting with "#" and blank lines are ignored). tests/netsim/test_e2e.py
// writes it from the table its fake servers replay over TCP; the in-process
// replay hands the same bytes to the driver.
// HOST may end in ":PORT" for a server on another port than 43. FILE
// ":silent" makes a server that takes the request and never answers.
#pragma once

#include "tests/support/fake_whois_server.h"

#include <fstream>
#include <map>
#include <set>
#include <string>
#include <utility>

namespace replay {

struct Config {
    // (host, request) -> answer bytes
    std::map<std::pair<std::string, std::string>, std::string> answers;
    // Every host named, in the order first seen.
    std::map<std::string, int> hosts;
    // The hosts whose server never answers.
    std::set<std::string> silent;
    std::string error;

    // The answer for request at host; false when neither the request nor "*"
    // has a line (the server then closes without a word).
    bool Find(const std::string& host, const std::string& request, std::string& answer) const {
        auto it = answers.find({host, request});
        if (it == answers.end())
            it = answers.find({host, "*"});
        if (it == answers.end())
            return false;
        answer = it->second;
        return true;
    }
};

inline Config ReadConfig(const std::string& path) {
    Config config;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        config.error = "cannot read " + path;
        return config;
    }
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line[0] == '#')
            continue;
        const std::size_t tab1 = line.find('\t');
        const std::size_t tab2 = tab1 == std::string::npos ? tab1 : line.find('\t', tab1 + 1);
        if (tab2 == std::string::npos) {
            config.error =
                path + ":" + std::to_string(number) + ": expected HOST TAB REQUEST TAB FILE";
            return config;
        }
        const std::string host = line.substr(0, tab1);
        const std::string request = line.substr(tab1 + 1, tab2 - tab1 - 1);
        const std::string file = line.substr(tab2 + 1);
        config.hosts.emplace(host, static_cast<int>(config.hosts.size()));
        if (file == ":silent") {
            config.silent.insert(host);
            continue;
        }
        std::ifstream probe(file, std::ios::binary);
        if (!probe) {
            config.error = path + ":" + std::to_string(number) + ": cannot read " + file;
            return config;
        }
        config.answers[{host, request}] = testnet::ReadFileBytes(file);
    }
    return config;
}

} // namespace replay
