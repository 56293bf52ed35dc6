// The fixture of the driver and extension suites: every lookup runs with a
// server list directory of its own and a scripted network.
#pragma once

#include "engine/driver.h"
#include "platform/path.h"
#include "servers/server_table.h"
#include "tests/engine/scripted_network.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>

namespace enginetest {

// Runs every lookup with a server list directory of its own: no
// whoislist.txt (the built-in list) unless a test writes one.
class DriverFixture : public ::testing::Test {
protected:
    void SetUp() override {
        std::random_device random;
        m_dir = std::filesystem::temp_directory_path() /
                ("ostrabel-driver-" + std::to_string(random()) + std::to_string(random()));
        std::filesystem::create_directories(m_dir);
        SetProgramDirectoryForTesting(m_dir.string() + platform::PathSeparator());
        DiscardServerTable();
    }
    void TearDown() override {
        SetProgramDirectoryForTesting("");
        DiscardServerTable();
        std::error_code ignored;
        std::filesystem::remove_all(m_dir, ignored);
    }
    void WriteServerList(const std::string& text) {
        std::ofstream(m_dir / "whoislist.txt", std::ios::binary) << text;
        DiscardServerTable();
    }
    std::string Lookup(const std::string& input, int convertToIp = 0) {
        std::string result = "stale text";
        LookupOptions options;
        options.convertToIp = convertToIp;
        options.classic = classic;
        options.trace = trace;
        RunWhoisLookup(input, result, options, net);
        return result;
    }

    testnet::ScriptedNetwork net;
    bool classic = false;
    std::function<void(const std::string&)> trace;

private:
    std::filesystem::path m_dir;
};

} // namespace enginetest
