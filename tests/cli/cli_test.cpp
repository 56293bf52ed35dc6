// ostrabel-cli without a process: its arguments, its output bytes and its
// exit statuses, over a scripted network.
#include "cli/cli.h"
#include "engine/driver.h"
#include "base/server_roles.h"
#include "platform/path.h"
#include "servers/server_table.h"
#include "tests/engine/scripted_network.h"
#include "tests/support/fake_whois_server.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <filesystem>

using testnet::FakeWhoisServer;
using testnet::Request;
using testnet::ScriptedNetwork;
using testnet::Session;
using Args = std::vector<std::string>;

namespace {

// A direct exchange (-h) that answers from a script and records its calls.
struct ScriptedDirect {
    ExchangeOutcome outcome = ExchangeOutcome::Completed;
    std::string answer;
    std::vector<Request> calls;

    DirectExchange Get() {
        return [this](const std::string& query, const std::string& host, int port,
                      std::string& result) {
            calls.push_back({host, query, port});
            result = answer;
            return outcome;
        };
    }
};

} // namespace

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

// --rdap asks RDAP alone: no WHOIS exchange, and when RDAP gives nothing
// the reason reaches standard error even without --verbose.
TEST(RunCli, RdapOnly) {
    ScriptedNetwork net;
    net.AnswerHttps("https://rdap.arin.net/registry/autnum/15169", 200,
                    R"({"objectClassName":"autnum","handle":"AS15169","startAutnum":15169,
                        "endAutnum":15169,"name":"GOOGLE"})");
    ScriptedDirect direct;
    std::string out, err;
    const CliOptions options = ParseCliArguments({"--rdap", "as15169"});
    EXPECT_TRUE(options.rdap);
    EXPECT_EQ(RunCli(options, net, direct.Get(), out, err), 0);
    EXPECT_EQ(out.rfind("AS number:     AS15169\n"
                        "AS name:       GOOGLE\n"
                        "Source:        RDAP rdap.arin.net\n\n"
                        "RDAP: https://rdap.arin.net/registry/autnum/15169\n",
                        0),
              0u)
        << out;
    EXPECT_NE(out.find("GOOGLE"), std::string::npos);
    EXPECT_TRUE(net.requests().empty());

    out.clear();
    EXPECT_EQ(RunCli(ParseCliArguments({"--rdap", "AS1"}), net, direct.Get(), out, err), 1);
    EXPECT_EQ(out, "No answer: RDAP gave none (rdap.arin.net: could not connect).\n");
    EXPECT_NE(err.find("ostrabel-cli: rdap"), std::string::npos) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
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
        {"--rdap", "--classic", "x"},
        {"--rdap", "-h", "whois.test", "x"},
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
    const std::string result = "a\r\nb\r\r\nc\nd\re\r";
    EXPECT_EQ(FormatCliOutput(result, true), result);
    // The filter's CR CR LF becomes one LF too; a CR inside a line stays.
    EXPECT_EQ(FormatCliOutput(result, false), "a\nb\nc\nd\re\r\n");
    EXPECT_EQ(FormatCliOutput("", true), "");
    EXPECT_EQ(FormatCliOutput("", false), "\n");
    EXPECT_EQ(FormatCliOutput("x\r\n", false), "x\n\n");
}

TEST(RunCli, LookupThroughTheEngine) {
    ScriptedNetwork net;
    ScriptedDirect unused;
    net.Answer("whois.arin.net", "192.0.2.1", "NetName:    TEST-NET\nNetRange: 192.0.2.0\n");
    std::string out, err;
    EXPECT_EQ(RunCli(ParseCliArguments({"--raw", "192.0.2.1"}), net, unused.Get(), out, err), 0);
    const std::string summary = "Network:       192.0.2.0\r\n"
                                "Name:          TEST-NET\r\n"
                                "Source:        WHOIS whois.arin.net\r\n\r\n";
    EXPECT_EQ(out, summary + "192.0.2.1\r\n\r\nNetName:    TEST-NET\r\nNetRange: 192.0.2.0");
    EXPECT_EQ(err, "");

    out.clear();
    EXPECT_EQ(RunCli(ParseCliArguments({"  192.0.2.1 "}), net, unused.Get(), out, err), 0);
    EXPECT_EQ(out, "Network:       192.0.2.0\nName:          TEST-NET\n"
                   "Source:        WHOIS whois.arin.net\n\n"
                   "192.0.2.1\n\nNetName:    TEST-NET\nNetRange: 192.0.2.0\n");

    // Convert To IP is on by default: a name is resolved first.
    net.Resolves("host.example", "192.0.2.1");
    out.clear();
    EXPECT_EQ(RunCli(ParseCliArguments({"host.example", "--raw"}), net, unused.Get(), out, err), 0);
    EXPECT_EQ(out.find(summary + "host.example:192.0.2.1\r\n\r\n"), 0u);

    EXPECT_EQ(net.requests(), (std::vector<Request>{{"whois.arin.net", "192.0.2.1", 43},
                                                    {"whois.arin.net", "192.0.2.1", 43},
                                                    {"whois.arin.net", "192.0.2.1", 43}}));
    EXPECT_TRUE(unused.calls.empty()); // without -h nothing goes straight to a server
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
    ScriptedDirect unused;
    std::string out, err;
    EXPECT_EQ(RunCli(ParseCliArguments({"--raw", "--classic", "nowhere.example"}), net,
                     unused.Get(), out, err),
              1);
    EXPECT_EQ(out, "Unable to resolve host");

    out.clear();
    EXPECT_EQ(RunCli(ParseCliArguments({"--no-convert-to-ip", "a.zz", "--classic"}), net,
                     unused.Get(), out, err),
              1);
    EXPECT_EQ(out, "I do not know the whois server for this domain extension\n");

    out.clear();
    EXPECT_EQ(RunCli(ParseCliArguments({"192.0.2.9"}), net, unused.Get(), out, err),
              1); // no connection: the reason line
    EXPECT_EQ(out, "No answer: whois.arin.net could not be reached.\n");

    out.clear();
    EXPECT_EQ(RunCli(ParseCliArguments({"--nope"}), net, unused.Get(), out, err), 2);
    EXPECT_EQ(out, "");
    EXPECT_EQ(err, "ostrabel-cli: unknown option '--nope' (try --help)\n");

    err.clear();
    EXPECT_EQ(RunCli(ParseCliArguments({"--help"}), net, unused.Get(), out, err), 0);
    EXPECT_EQ(out.rfind(CliUsageLine(), 0), 0u);
    EXPECT_EQ(err, "");
    EXPECT_EQ(RunCli(ParseCliArguments({"--version"}), net, unused.Get(), out, err), 0);
    EXPECT_EQ(out, "ostrabel-cli " + std::string(OSTRABEL_TEST_VERSION) + "\n");
    EXPECT_EQ(net.requests().size(), 1u); // only the lookup of 192.0.2.9 went out
    EXPECT_TRUE(unused.calls.empty());

    SetProgramDirectoryForTesting("");
    DiscardServerTable();
}

TEST(RunCli, VerboseTracesEveryExchangeAndExtensionOnStandardErrorOnly) {
    SetProgramDirectoryForTesting(std::filesystem::temp_directory_path().string() +
                                  platform::PathSeparator() + "no-such-ostrabel-dir" +
                                  platform::PathSeparator());
    ScriptedNetwork net;
    ScriptedDirect direct;
    net.Answer("whois.iana.org", "zz", "whois: whois.nic.zz\n");
    net.Answer("whois.nic.zz", "parked.zz", "record\n");
    direct.answer = "direct record\n";
    // The lines up to their first ", " (the times vary).
    const auto lines = [](const std::string& text) {
        std::vector<std::string> all;
        for (std::size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos;
             at = end + 1)
            all.push_back(text.substr(at, std::min(end, text.find(", ", at)) - at));
        return all;
    };
    const std::vector<std::string> expected = {
        "ostrabel-cli: resolve parked.zz: no address",
        "ostrabel-cli: extension: the name has no address; looking it up as a domain",
        "ostrabel-cli: extension: the server list has no .zz; asking whois.iana.org",
        "ostrabel-cli: whois whois.iana.org:43 \"zz\": 20 bytes",
        "ostrabel-cli: extension: IANA names whois.nic.zz for .zz",
        "ostrabel-cli: whois whois.nic.zz:43 \"parked.zz\": 7 bytes",
        "ostrabel-cli: answered by WHOIS whois.nic.zz:43"};
    for (const bool toSink : {false, true}) {
        DiscardServerTable();
        std::string out, err, sink;
        const CliProgress progress = [&](const std::string& line) { sink += line; };
        EXPECT_EQ(RunCli(ParseCliArguments({"--verbose", "parked.zz"}), net, direct.Get(), out, err,
                         toSink ? progress : CliProgress()),
                  0);
        EXPECT_EQ(out, "record\n"); // as without --verbose
        EXPECT_EQ(lines(toSink ? sink : err), expected);
        EXPECT_EQ(toSink ? err : sink, "");
    }
    // --classic: no extension; -h: its one exchange.
    std::string out, err;
    RunCli(ParseCliArguments({"--verbose", "--classic", "a.zz"}), net, direct.Get(), out, err);
    RunCli(ParseCliArguments({"--verbose", "-h", "whois.nic.zz", "q"}), net, direct.Get(), out,
           err);
    EXPECT_EQ(lines(err),
              (std::vector<std::string>{"ostrabel-cli: resolve a.zz: no address",
                                        "ostrabel-cli: answered by no server",
                                        "ostrabel-cli: whois whois.nic.zz:43 \"q\": 14 bytes"}));
    SetProgramDirectoryForTesting("");
    DiscardServerTable();
}

TEST(ParseCliArguments, DirectServerHostAndPort) {
    CliOptions o = ParseCliArguments({"-h", "whois.ripe.net", "193.0.0.1"});
    EXPECT_EQ(o.action, CliAction::Lookup);
    EXPECT_EQ(o.host, "whois.ripe.net");
    EXPECT_EQ(o.port, 43);
    EXPECT_EQ(o.query, "193.0.0.1");
    EXPECT_EQ(o.timeoutMs, 0); // no --timeout: the mode's own bounds
    EXPECT_EQ(CliExchangeLimits(o).connectTimeoutMs, 10000);
    EXPECT_EQ(CliExchangeLimits(o).readTimeoutMs, 15000);
    const ExchangeLimits classic = CliExchangeLimits(ParseCliArguments({"--classic", "q"}));
    EXPECT_EQ(classic.connectTimeoutMs, 0); // the classic exchange is unbounded
    EXPECT_EQ(classic.readTimeoutMs, 0);

    EXPECT_EQ(ParseCliArguments({"q"}).host, ""); // the lookup chain

    o = ParseCliArguments({"-h", "127.0.0.2:4343", "q"});
    EXPECT_EQ(o.host, "127.0.0.2");
    EXPECT_EQ(o.port, 4343);

    o = ParseCliArguments({"-p", "80", "-h", "h.test", "q"}); // -p before -h
    EXPECT_EQ(o.host, "h.test");
    EXPECT_EQ(o.port, 80);

    // A port written in -h wins over -p, in either order.
    EXPECT_EQ(ParseCliArguments({"-h", "h.test:4343", "-p", "80", "q"}).port, 4343);
    EXPECT_EQ(ParseCliArguments({"-p", "80", "-h", "h.test:4343", "q"}).port, 4343);

    o = ParseCliArguments({"--host=h.test", "--port=1", "q"});
    EXPECT_EQ(o.host, "h.test");
    EXPECT_EQ(o.port, 1);
    EXPECT_EQ(ParseCliArguments({"--host", "h.test:65535", "q"}).port, 65535);
    EXPECT_EQ(ParseCliArguments({"-h", "h.test", "--port", "00043", "q"}).port, 43);

    // Given twice, the last counts.
    o = ParseCliArguments({"-h", "a.test:1", "-h", "b.test", "-p", "7", "-p", "9", "q"});
    EXPECT_EQ(o.host, "b.test");
    EXPECT_EQ(o.port, 9);
}

TEST(ParseCliArguments, TimeoutSeconds) {
    const std::pair<const char*, int> accepted[] = {
        {"2", 2000},
        {"0.5", 500},
        {"1.25", 1250},
        {"0.001", 1},
        {"0", 0},
        {"0.000", 0},
        {"007", 7000},
        {"86400", 86400000},
        {"86400.000", 86400000},
    };
    for (const auto& [text, ms] : accepted) {
        CliOptions o = ParseCliArguments({"--timeout", text, "q"});
        EXPECT_EQ(o.action, CliAction::Lookup) << text;
        EXPECT_EQ(o.timeoutMs, ms) << text;
        // --timeout bounds connecting and every read alike; without it the
        // default mode's bounds hold.
        const ExchangeLimits limits = CliExchangeLimits(o);
        EXPECT_EQ(limits.connectTimeoutMs, ms ? ms : kDefaultModeLimits.connectTimeoutMs) << text;
        EXPECT_EQ(limits.readTimeoutMs, ms ? ms : kDefaultModeLimits.readTimeoutMs) << text;
        EXPECT_EQ(ParseCliArguments({std::string("--timeout=") + text, "q"}).timeoutMs, ms);
    }
    for (const char* text : {"", "-1", "+1", "1.2345", ".5", "5.", "1e3", "1,5", " 1", "1 ",
                             "86400.001", "86401", "99999999999999999999", "0x10", "1.2.3"}) {
        int ms = -7;
        EXPECT_FALSE(ParseCliTimeout(text, ms)) << text;
        EXPECT_EQ(ms, -7) << text;
        EXPECT_EQ(ParseCliArguments({"--timeout", text, "q"}).action, CliAction::UsageError)
            << text;
    }
    // Applies to the lookup chain as well as to -h; the last one counts.
    CliOptions o = ParseCliArguments({"--timeout", "9", "q", "--timeout", "3"});
    EXPECT_EQ(o.host, "");
    EXPECT_EQ(o.timeoutMs, 3000);
}

TEST(ParseCliArguments, NewOptionsMixWithTheOldOnes) {
    CliOptions o = ParseCliArguments(
        {"--raw", "example.com", "-h", "whois.test", "--timeout", "3", "--no-convert-to-ip"});
    EXPECT_EQ(o.action, CliAction::Lookup);
    EXPECT_TRUE(o.raw);
    EXPECT_EQ(o.convertToIp, 0);
    EXPECT_EQ(o.host, "whois.test");
    EXPECT_EQ(o.timeoutMs, 3000);
    EXPECT_EQ(o.query, "example.com");

    o = ParseCliArguments({"--timeout=1", "--convert-to-ip", " 192.0.2.1 "});
    EXPECT_EQ(o.convertToIp, 1);
    EXPECT_EQ(o.query, "192.0.2.1");

    // "--" ends the options: what follows is the query, even "-h".
    o = ParseCliArguments({"-h", "whois.test", "--", "-handle-"});
    EXPECT_EQ(o.host, "whois.test");
    EXPECT_EQ(o.query, "-handle-");
    o = ParseCliArguments({"--", "-h"});
    EXPECT_EQ(o.action, CliAction::Lookup);
    EXPECT_EQ(o.host, "");
    EXPECT_EQ(o.query, "-h");
    EXPECT_EQ(ParseCliArguments({"--", "-h", "whois.test", "q"}).action,
              CliAction::UsageError); // three queries

    // --help and --version still win over well-formed options.
    EXPECT_EQ(ParseCliArguments({"-h", "whois.test", "--help"}).action, CliAction::Help);
    EXPECT_EQ(ParseCliArguments({"-p", "80", "--help"}).action, CliAction::Help);
    EXPECT_EQ(ParseCliArguments({"--timeout", "2", "--version"}).action, CliAction::Version);
    // ... but not over a malformed one.
    EXPECT_EQ(ParseCliArguments({"--help", "-p", "0"}).action, CliAction::UsageError);
    EXPECT_EQ(ParseCliArguments({"--help", "-h"}).action, CliAction::UsageError);
}

TEST(ParseCliArguments, BadHostsPortsAndTimeoutsAreUsageErrors) {
    const Args cases[] = {
        {"-p", "43", "q"},    // -p without -h
        {"--port=43", "q"},   //
        {"-h"},               // value missing
        {"q", "-h"},          //
        {"-h", "whois.test"}, // no query
        {"-h", "whois.test", "q", "--timeout"},
        {"-h", "", "q"},                 // blank host
        {"-h", " ", "q"},                //
        {"-h", "a b", "q"},              //
        {"-h", "a\nb", "q"},             //
        {"-h", "--raw", "q"},            // a misplaced option, not a host
        {"-h", ":43", "q"},              //
        {"-h", "whois.test:", "q"},      //
        {"-h", "whois.test:0", "q"},     //
        {"-h", "whois.test:65536", "q"}, //
        {"-h", "whois.test:4x", "q"},    //
        {"-h", "::1", "q"},              // IPv6 is not spoken
        {"-h", "a:b:43", "q"},           //
        {"-h", "whois.test", "-p", "0", "q"},
        {"-h", "whois.test", "-p", "65536", "q"},
        {"-h", "whois.test", "-p", "-1", "q"},
        {"-h", "whois.test", "-p", "+43", "q"},
        {"-h", "whois.test", "-p", "", "q"},
        {"-h", "whois.test", "-p", "999999", "q"},
        {"-h", "whois.test", "-p", "43 ", "q"},
        {"-hwhois.test", "q"},  // no glued short values
        {"-h=whois.test", "q"}, //
        {"-p43", "-h", "whois.test", "q"},
        {"--host", "q"},                // "q" is the host: no query left
        {"--timeout=", "q"},            //
        {"--TIMEOUT", "1", "q"},        //
        {"-t", "1", "q"},               //
        {"-h", "whois.test", "a\r\nb"}, // would smuggle a second request line
        {"-h", "whois.test", "a\nb"},   //
    };
    for (const Args& args : cases) {
        const CliOptions o = ParseCliArguments(args);
        EXPECT_EQ(o.action, CliAction::UsageError) << testing::PrintToString(args);
        EXPECT_EQ(o.error.find('\n'), std::string::npos) << o.error;
        EXPECT_EQ(o.error.rfind("ostrabel-cli: ", 0), 0u) << o.error;
    }
    EXPECT_NE(ParseCliArguments({"-p", "43", "q"}).error.find("-h"), std::string::npos);
    EXPECT_NE(ParseCliArguments({"-hwhois.test", "q"}).error.find("'-hwhois.test'"),
              std::string::npos);
}

TEST(DirectExchangeMessage, NamesTheServerAndTheReason) {
    const auto message = [](ExchangeOutcome outcome, bool answered = false, int timeoutMs = 0) {
        return DirectExchangeMessage(outcome, answered, "whois.test", 4343, timeoutMs);
    };
    EXPECT_EQ(message(ExchangeOutcome::Completed, true), "");
    EXPECT_EQ(message(ExchangeOutcome::Completed), "empty answer from whois.test:4343");
    EXPECT_EQ(message(ExchangeOutcome::NotResolved), "cannot reach whois.test:4343 (unknown host)");
    EXPECT_EQ(message(ExchangeOutcome::NotConnected),
              "cannot reach whois.test:4343 (no connection)");
    EXPECT_EQ(message(ExchangeOutcome::ReceiveFailed, true),
              "the answer from whois.test:4343 broke off");
    EXPECT_EQ(message(ExchangeOutcome::TimedOut, false, 2000),
              "timed out after 2 s waiting for whois.test:4343");
    EXPECT_EQ(message(ExchangeOutcome::TimedOut, true, 500),
              "timed out after 0.5 s waiting for whois.test:4343");
    EXPECT_EQ(message(ExchangeOutcome::TimedOut, true, 1250),
              "timed out after 1.25 s waiting for whois.test:4343");
    for (ExchangeOutcome failure : {ExchangeOutcome::NotSent, ExchangeOutcome::NoSocket,
                                    ExchangeOutcome::SendFailed, ExchangeOutcome::TooLong}) {
        const std::string text = message(failure, true);
        EXPECT_NE(text.find("whois.test:4343"), std::string::npos) << text;
        EXPECT_EQ(text.find('\n'), std::string::npos) << text;
    }
}

TEST(RunCli, DirectServerAnswersFilteredByThatHost) {
    ScriptedNetwork chain; // must stay untouched: -h follows no referral
    ScriptedDirect direct;
    const std::string notice = std::string("% see ") + roles::kRipeDbNoticeUrl + "\n";
    direct.answer = notice + "\ninetnum: 193.0.0.0\nReferralServer: whois://whois.arin.net\n\n";

    std::string out, err;
    EXPECT_EQ(RunCli(ParseCliArguments({"-h", "WHOIS.RIPE.NET", "--raw", " 193.0.0.1 "}), chain,
                     direct.Get(), out, err),
              0);
    // The known server's notice is cut, no heading is added, CR LF as in the window.
    EXPECT_EQ(out, "inetnum: 193.0.0.0\r\nReferralServer: whois://whois.arin.net");
    EXPECT_EQ(err, "");

    // Any other server: the same text only gets its line ends and trimming.
    out.clear();
    EXPECT_EQ(RunCli(ParseCliArguments({"-h", "127.0.0.9:4343", "193.0.0.1"}), chain, direct.Get(),
                     out, err),
              0);
    EXPECT_EQ(out, notice + "\ninetnum: 193.0.0.0\nReferralServer: whois://whois.arin.net\n");

    // The convert options do not touch the query: it goes as typed.
    out.clear();
    EXPECT_EQ(RunCli(ParseCliArguments({"--convert-to-ip", "-h", "w.test", "-p", "99", "a.b.c"}),
                     chain, direct.Get(), out, err),
              0);
    EXPECT_EQ(direct.calls, (std::vector<Request>{{"WHOIS.RIPE.NET", "193.0.0.1", 43},
                                                  {"127.0.0.9", "193.0.0.1", 4343},
                                                  {"w.test", "a.b.c", 99}}));
    EXPECT_TRUE(chain.requests().empty());
}

TEST(RunCli, DirectServerFailuresAreOneLineAndStatusOne) {
    ScriptedNetwork chain;
    ScriptedDirect direct;
    const CliOptions options = ParseCliArguments({"-h", "whois.test", "--timeout", "2", "q"});
    struct Case {
        ExchangeOutcome outcome;
        std::string answer, out, err;
    };
    const Case cases[] = {
        {ExchangeOutcome::NotResolved, "", "", "cannot reach whois.test:43 (unknown host)"},
        {ExchangeOutcome::NotConnected, "", "", "cannot reach whois.test:43 (no connection)"},
        // What arrived before the failure is still printed.
        {ExchangeOutcome::TimedOut, "", "", "timed out after 2 s waiting for whois.test:43"},
        {ExchangeOutcome::TimedOut, "part\n", "part\n",
         "timed out after 2 s waiting for whois.test:43"},
        {ExchangeOutcome::ReceiveFailed, "half an\nans", "half an\nans\n",
         "the answer from whois.test:43 broke off"},
        // A whole answer that is empty (or only blanks) is no answer.
        {ExchangeOutcome::Completed, " \r\n", "\n", "empty answer from whois.test:43"},
    };
    for (const Case& c : cases) {
        direct.outcome = c.outcome;
        direct.answer = c.answer;
        std::string out, err;
        EXPECT_EQ(RunCli(options, chain, direct.Get(), out, err), 1) << c.err;
        EXPECT_EQ(out, c.out) << c.err;
        EXPECT_EQ(err, "ostrabel-cli: " + c.err + "\n");
    }
    EXPECT_TRUE(chain.requests().empty());
}

// -h through the real transport on loopback: port, answer and time limit.
TEST(RunCli, DirectServerOverLoopback) {
    FakeWhoisServer answering(FakeWhoisServer::Answer("NetName: LOOP\n"));
    // Holds the connection, then closes it: only the limit can say "timed out".
    FakeWhoisServer silent([](Session& s, const std::string&) { s.Pause(1500); });
    ASSERT_TRUE(answering.ok() && silent.ok());
    ScriptedNetwork chain;

    CliOptions options = ParseCliArguments(
        {"-h", "127.0.0.1", "-p", std::to_string(answering.port()), "--timeout", "5", "q 1"});
    std::string out, err;
    EXPECT_EQ(RunCli(options, chain, TransportDirectExchange(CliExchangeLimits(options)), out, err),
              0);
    EXPECT_EQ(out, "NetName: LOOP\n");
    EXPECT_EQ(err, "");
    ASSERT_EQ(answering.requests().size(), 1u);
    EXPECT_EQ(answering.requests()[0], "q 1\r\n");

    options = ParseCliArguments(
        {"--timeout=0.4", "-h", "127.0.0.1:" + std::to_string(silent.port()), "q"});
    out.clear();
    EXPECT_EQ(RunCli(options, chain, TransportDirectExchange(CliExchangeLimits(options)), out, err),
              1);
    EXPECT_EQ(out, "");
    EXPECT_EQ(err, "ostrabel-cli: timed out after 0.4 s waiting for 127.0.0.1:" +
                       std::to_string(silent.port()) + "\n");

    // Nothing listens on the answering server's port once it is gone.
    int closedPort = 0;
    {
        FakeWhoisServer gone(FakeWhoisServer::Answer("x"));
        closedPort = gone.port();
    }
    options = ParseCliArguments({"-h", "127.0.0.1:" + std::to_string(closedPort), "q"});
    err.clear();
    EXPECT_EQ(RunCli(options, chain, TransportDirectExchange(CliExchangeLimits(options)), out, err),
              1);
    EXPECT_EQ(err, "ostrabel-cli: cannot reach 127.0.0.1:" + std::to_string(closedPort) +
                       " (connection refused)\n");
    EXPECT_TRUE(chain.requests().empty());
}

// --json: one object with the summary's fields under lower-camel keys, the
// answers it came from, the records without the summary, and the reason
// line where the lookup found nothing.
TEST(RunCli, JsonShape) {
    ScriptedNetwork net;
    ScriptedDirect unused;
    net.Answer("whois.arin.net", "192.0.2.1",
               "NetRange:       192.0.2.0 - 192.0.2.255\nNetName:    TEST-NET\n"
               "OrgName:        Example \xff Org\nOrgAbuseEmail:  abuse@example.net\n");
    std::string out, err;
    EXPECT_EQ(RunCli(ParseCliArguments({"--json", "192.0.2.1"}), net, unused.Get(), out, err), 0);
    const nlohmann::json j = nlohmann::json::parse(out);
    EXPECT_EQ(j["query"], "192.0.2.1");
    EXPECT_EQ(j["kind"], "address");
    EXPECT_EQ(j["summary"], nlohmann::json::parse(R"({"network": "192.0.2.0 - 192.0.2.255",
        "name": "TEST-NET", "owner": "Example \ufffd Org", "abuseContact": "abuse@example.net"})"));
    EXPECT_EQ(j["sources"], nlohmann::json::parse(R"([{"protocol": "WHOIS",
        "server": "whois.arin.net", "query": "192.0.2.1"}])"));
    EXPECT_EQ(j["text"].get<std::string>().rfind("192.0.2.1\n\nNetRange:", 0), 0u);
    EXPECT_FALSE(j.contains("error"));
    EXPECT_EQ(out.back(), '\n'); // one object, one final newline

    out.clear();
    net.Answer("whois.verisign-grs.com", "domain example.com",
               "Domain Name: EXAMPLE.COM\nDomain Status: ok https://icann.org/epp#ok\n"
               "Name Server: A.IANA-SERVERS.NET\nName Server: B.IANA-SERVERS.NET\n");
    EXPECT_EQ(RunCli(ParseCliArguments({"--json", "--no-convert-to-ip", "example.com"}), net,
                     unused.Get(), out, err),
              0);
    EXPECT_EQ(nlohmann::json::parse(out)["summary"],
              nlohmann::json::parse(R"({"domain": "example.com", "status": ["ok"],
                  "nameServers": ["a.iana-servers.net", "b.iana-servers.net"]})"));

    out.clear();
    EXPECT_EQ(RunCli(ParseCliArguments({"--json", "192.0.2.9"}), net, unused.Get(), out, err), 1);
    const nlohmann::json failed = nlohmann::json::parse(out);
    EXPECT_EQ(failed["error"], "No answer: whois.arin.net could not be reached.");
    EXPECT_EQ(failed["text"], "");
    EXPECT_EQ(failed["summary"], nlohmann::json::object());

    EXPECT_EQ(ParseCliArguments({"--json", "--raw", "q"}).action, CliAction::UsageError);
    EXPECT_EQ(ParseCliArguments({"--json", "-h", "whois.test", "q"}).action, CliAction::UsageError);
}
