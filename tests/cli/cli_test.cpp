// ostrabel-cli without a process: its arguments, its output bytes and its
// exit statuses, over a scripted network.
#include "cli/cli.h"
#include "engine/driver.h"
#include "platform/path.h"
#include "servers/server_table.h"
#include "tests/engine/scripted_network.h"

#include <gtest/gtest.h>

#include <filesystem>

using testnet::Request;
using testnet::ScriptedNetwork;
using Args = std::vector<std::string>;

TEST(ParseCliArguments, LookupOptions) {
    CliOptions o = ParseCliArguments({"192.0.2.1"});
    EXPECT_EQ(o.action, CliAction::Lookup);
    EXPECT_EQ(o.query, "192.0.2.1");
    EXPECT_FALSE(o.raw);
    EXPECT_EQ(o.convertToIp, 1); // on unless switched off

    o = ParseCliArguments({"--raw", "--no-convert-to-ip", " \texample.com \r\n"});
    EXPECT_EQ(o.action, CliAction::Lookup);
    EXPECT_TRUE(o.raw);
    EXPECT_EQ(o.convertToIp, 0);
    EXPECT_EQ(o.query, "example.com"); // trimmed like the window trims it

    o = ParseCliArguments({"example.com", "--convert-to-ip", "--raw"}); // any order
    EXPECT_EQ(o.action, CliAction::Lookup);
    EXPECT_TRUE(o.raw);
    EXPECT_EQ(o.convertToIp, 1);

    o = ParseCliArguments({"--", "-handle-"});
    EXPECT_EQ(o.action, CliAction::Lookup);
    EXPECT_EQ(o.query, "-handle-");

    o = ParseCliArguments({"--", "--help"}); // after "--" even this is a query
    EXPECT_EQ(o.action, CliAction::Lookup);
    EXPECT_EQ(o.query, "--help");

    o = ParseCliArguments({"-"}); // a lone dash is a query, not an option
    EXPECT_EQ(o.action, CliAction::Lookup);
    EXPECT_EQ(o.query, "-");
}

TEST(ParseCliArguments, HelpAndVersion) {
    EXPECT_EQ(ParseCliArguments({"--help"}).action, CliAction::Help);
    EXPECT_EQ(ParseCliArguments({"x", "--help"}).action, CliAction::Help);
    EXPECT_EQ(ParseCliArguments({"--version"}).action, CliAction::Version);
    EXPECT_EQ(ParseCliArguments({"--version", "a", "b"}).action, CliAction::Version);
    // An unknown option is an error even next to --help.
    EXPECT_EQ(ParseCliArguments({"--help", "--bogus"}).action, CliAction::UsageError);
}

TEST(ParseCliArguments, UsageErrorsAreOneLine) {
    const Args cases[] = {
        {},
        {""},
        {" \t "},
        {"a", "b"},
        {"--bogus", "x"},
        {"-r", "x"},
        {"--RAW", "x"},
        {"--raw"},
        {"--convert-to-ip", "--no-convert-to-ip", "x"},
        {"--", "a", "b"},
    };
    for (const Args& args : cases) {
        const CliOptions o = ParseCliArguments(args);
        EXPECT_EQ(o.action, CliAction::UsageError) << testing::PrintToString(args);
        EXPECT_FALSE(o.error.empty());
        EXPECT_EQ(o.error.find('\n'), std::string::npos);
        EXPECT_EQ(o.error.rfind("ostrabel-cli: ", 0), 0u);
    }
    EXPECT_NE(ParseCliArguments({"--frob"}).error.find("--frob"), std::string::npos);
}

TEST(CliExitStatus, OnlyARealAnswerIsSuccess) {
    EXPECT_EQ(CliExitStatus("192.0.2.1\r\n\r\nNetName: X"), 0);
    EXPECT_EQ(CliExitStatus("192.0.2.1\r\n\r\n"), 0); // a heading is an answer
    EXPECT_EQ(CliExitStatus(""), 1);
    EXPECT_EQ(CliExitStatus("Unable to resolve host"), 1);
    EXPECT_EQ(CliExitStatus("I do not know the whois server for this domain extension"), 1);
    EXPECT_EQ(CliExitStatus("Unable to resolve host "), 0); // not the fixed text
}

TEST(FormatCliOutput, RawIsByteForByteOtherwiseLfAndOneNewline) {
    const std::string result = "a\r\nb\r\r\nc\nd";
    EXPECT_EQ(FormatCliOutput(result, true), result);
    EXPECT_EQ(FormatCliOutput(result, false), "a\nb\r\nc\nd\n");
    EXPECT_EQ(FormatCliOutput("", true), "");
    EXPECT_EQ(FormatCliOutput("", false), "\n");
    EXPECT_EQ(FormatCliOutput("x\r\n", false), "x\n\n");
}

TEST(RunCli, LookupThroughTheEngine) {
    ScriptedNetwork net;
    net.Answer("whois.arin.net", "192.0.2.1", "NetName:    TEST-NET\nNetRange: 192.0.2.0\n");
    std::string out, err;
    EXPECT_EQ(RunCli(ParseCliArguments({"--raw", "192.0.2.1"}), net, out, err), 0);
    EXPECT_EQ(out, "192.0.2.1\r\n\r\nNetName:    TEST-NET\r\nNetRange: 192.0.2.0");
    EXPECT_EQ(err, "");

    out.clear();
    EXPECT_EQ(RunCli(ParseCliArguments({"  192.0.2.1 "}), net, out, err), 0);
    EXPECT_EQ(out, "192.0.2.1\n\nNetName:    TEST-NET\nNetRange: 192.0.2.0\n");

    // Convert To IP is on by default: a name is resolved first.
    net.Resolves("host.example", "192.0.2.1");
    out.clear();
    EXPECT_EQ(RunCli(ParseCliArguments({"host.example", "--raw"}), net, out, err), 0);
    EXPECT_EQ(out.rfind("host.example:192.0.2.1\r\n\r\n", 0), 0u);

    EXPECT_EQ(net.requests(), (std::vector<Request>{{"whois.arin.net", "192.0.2.1", 43},
                                                    {"whois.arin.net", "192.0.2.1", 43},
                                                    {"whois.arin.net", "192.0.2.1", 43}}));
}

TEST(RunCli, FailuresAndUsage) {
    // The built-in server list, whatever lies beside the test program.
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / "ostrabel-cli-test-no-list";
    std::filesystem::create_directories(dir);
    std::filesystem::remove(dir / "whoislist.txt");
    SetProgramDirectoryForTesting(dir.string() + platform::PathSeparator());
    DiscardServerTable();

    ScriptedNetwork net;
    std::string out, err;
    EXPECT_EQ(RunCli(ParseCliArguments({"--raw", "nowhere.example"}), net, out, err), 1);
    EXPECT_EQ(out, "Unable to resolve host");

    out.clear();
    EXPECT_EQ(RunCli(ParseCliArguments({"--no-convert-to-ip", "a.zz"}), net, out, err), 1);
    EXPECT_EQ(out, "I do not know the whois server for this domain extension\n");

    out.clear();
    EXPECT_EQ(RunCli(ParseCliArguments({"192.0.2.9"}), net, out, err), 1); // refused: empty
    EXPECT_EQ(out, "\n");

    out.clear();
    EXPECT_EQ(RunCli(ParseCliArguments({"--nope"}), net, out, err), 2);
    EXPECT_EQ(out, "");
    EXPECT_EQ(err, "ostrabel-cli: unknown option '--nope' (try --help)\n");

    err.clear();
    EXPECT_EQ(RunCli(ParseCliArguments({"--help"}), net, out, err), 0);
    EXPECT_EQ(out.rfind(CliUsageLine(), 0), 0u);
    EXPECT_EQ(err, "");
    EXPECT_EQ(RunCli(ParseCliArguments({"--version"}), net, out, err), 0);
    EXPECT_EQ(out, "ostrabel-cli " + std::string(OSTRABEL_TEST_VERSION) + "\n");
    EXPECT_EQ(net.requests().size(), 1u); // only the lookup of 192.0.2.9 went out

    SetProgramDirectoryForTesting("");
    DiscardServerTable();
}
