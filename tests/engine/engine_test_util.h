// Helpers shared by the engine tests.
#pragma once

#include "tests/support/fake_whois_server.h"

#include <gtest/gtest.h>

#include <string>

namespace enginetest {

// A recorded answer from the samples folder, e.g. "whois.arin.net/x.txt".
inline std::string Sample(const std::string& relative) {
    std::string text = testnet::ReadFileBytes(std::string(OSTRABEL_SAMPLES_DIR) + "/" + relative);
    EXPECT_FALSE(text.empty()) << "missing sample " << relative;
    return text;
}

// A recorded RDAP answer from tests/rdap/fixtures, e.g. "domain_registry.json".
inline std::string RdapFixture(const std::string& name) {
    std::string text =
        testnet::ReadFileBytes(std::string(OSTRABEL_SOURCE_DIR) + "/tests/rdap/fixtures/" + name);
    EXPECT_FALSE(text.empty()) << "missing fixture " << name;
    return text;
}

// What the result box gets for a text that no notice rule touches: every LF
// becomes CR LF, then white space is trimmed from both ends. Written out
// plainly here so the tests do not lean on the code under test.
inline std::string BoxText(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\n')
            out += "\r\n";
        else
            out += c;
    }
    const char* ws = " \t\n\v\f\r";
    std::size_t first = out.find_first_not_of(ws);
    if (first == std::string::npos)
        return std::string();
    return out.substr(first, out.find_last_not_of(ws) - first + 1);
}

// The text before the first marker / after it (the marker must be there).
inline std::string Before(const std::string& text, const std::string& marker) {
    std::size_t at = text.find(marker);
    EXPECT_NE(at, std::string::npos) << "marker not in sample: " << marker;
    return text.substr(0, at);
}
inline std::string After(const std::string& text, const std::string& marker) {
    std::size_t at = text.find(marker);
    EXPECT_NE(at, std::string::npos) << "marker not in sample: " << marker;
    return at == std::string::npos ? text : text.substr(at + marker.size());
}

} // namespace enginetest
