// The WHOIS transport against fake servers on loopback (ephemeral ports).
#include "engine/driver.h"
#include "engine/transport.h"
#include "engine/whois_network.h"
#include "tests/support/fake_whois_server.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

using testnet::FakeWhoisServer;
using testnet::Session;

namespace {

std::string Pattern(std::size_t size) {
    std::string s(size, 'x');
    for (std::size_t i = 0; i < size; ++i)
        s[i] = static_cast<char>('a' + (i * 7 + i / 61) % 26);
    return s;
}

} // namespace

TEST(WhoisExchange, ReadsWholeAnswerAndSendsOneRequestLine) {
    FakeWhoisServer server(FakeWhoisServer::Answer("NetName: TEST\nOrgID: X\n"));
    ASSERT_TRUE(server.ok());
    std::string result = "stale";
    EXPECT_TRUE(WhoisExchange("192.0.2.1", "127.0.0.1", result, server.port()));
    EXPECT_EQ(result, "NetName: TEST\nOrgID: X\n");
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(server.requests()[0], "192.0.2.1\r\n"); // no terminating zero
}

TEST(WhoisExchange, AnswerOfManyChunksArrivesWhole) {
    const std::string answer = Pattern(300 * 1024 + 17);
    FakeWhoisServer server([&](Session& s, const std::string&) {
        // Uneven writes with pauses so the client sees many partial chunks.
        std::size_t at = 0, step = 1;
        while (at < answer.size()) {
            std::size_t n = std::min(step, answer.size() - at);
            s.Send(answer.substr(at, n));
            at += n;
            step = step * 3 + 1;
            if (step > 50000)
                step = 999;
        }
    });
    std::string result;
    EXPECT_TRUE(WhoisExchange("q", "127.0.0.1", result, server.port()));
    EXPECT_EQ(result.size(), answer.size());
    EXPECT_TRUE(result == answer);
}

TEST(WhoisExchange, ImmediateCloseIsSuccessWithEmptyText) {
    FakeWhoisServer server([](Session& s, const std::string&) { s.Close(); });
    std::string result = "stale";
    EXPECT_TRUE(WhoisExchange("q", "127.0.0.1", result, server.port()));
    EXPECT_EQ(result, "");
}

TEST(WhoisExchange, RefusedConnectionFailsWithEmptyText) {
    int port = 0;
    {
        FakeWhoisServer server(FakeWhoisServer::Answer("x"));
        port = server.port();
    } // listener closed: nothing listens on the port any more
    std::string result = "stale";
    EXPECT_FALSE(WhoisExchange("q", "127.0.0.1", result, port));
    EXPECT_EQ(result, "");
}

TEST(WhoisExchange, ResetAfterPartialAnswerKeepsTheText) {
    FakeWhoisServer server([](Session& s, const std::string&) {
        s.Send("partial answer\n");
        s.Pause(300); // let the client read it before the reset arrives
        s.Reset();
    });
    std::string result;
    EXPECT_FALSE(WhoisExchange("q", "127.0.0.1", result, server.port()));
    EXPECT_EQ(result, "partial answer\n");
}

TEST(WhoisExchange, NulEndsOnlyTheChunkThatHoldsIt) {
    FakeWhoisServer server([](Session& s, const std::string&) {
        s.Send(std::string("abc\0def", 7));
        s.Pause(300); // a separate receive for the next bytes
        s.Send("ghi");
        s.Pause(300);
        s.Send(std::string("\0tail", 5));
        s.Pause(300);
        s.Send("end");
    });
    std::string result;
    EXPECT_TRUE(WhoisExchange("q", "127.0.0.1", result, server.port()));
    EXPECT_EQ(result, "abcghiend");
}

TEST(WhoisExchange, LongQueriesAreSentWhole) {
    for (std::size_t length : {125u, 126u, 300u, 5000u}) {
        FakeWhoisServer server(FakeWhoisServer::Answer("ok"));
        const std::string query = Pattern(length);
        std::string result;
        EXPECT_TRUE(WhoisExchange(query, "127.0.0.1", result, server.port())) << length;
        ASSERT_EQ(server.requests().size(), 1u);
        EXPECT_EQ(server.requests()[0], query + "\r\n") << length;
    }
}

TEST(WhoisExchange, QueryWithLineBreakOrNulIsRefusedUnsent) {
    FakeWhoisServer server(FakeWhoisServer::Answer("must not be read"));
    for (const std::string& query : {std::string("a\r\nb"), std::string("a\nb"),
                                     std::string("a\rb"), std::string("a\0b", 3)}) {
        std::string result = "stale";
        EXPECT_FALSE(WhoisExchange(query, "127.0.0.1", result, server.port()));
        EXPECT_EQ(result, "");
    }
    // Nothing connected at all: a connection would have been recorded.
    std::string r;
    EXPECT_TRUE(WhoisExchange("after", "127.0.0.1", r, server.port()));
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(server.requests()[0], "after\r\n");
}

TEST(WhoisExchange, EmptyHostFailsAndLeavesResultUntouched) {
    std::string result = "previous text";
    EXPECT_FALSE(WhoisExchange("q", "", result, 43));
    EXPECT_EQ(result, "previous text");
}

TEST(WhoisExchange, AnswerIsBoundedAt16MiB) {
    const std::string block = Pattern(1024 * 1024);
    FakeWhoisServer server([&](Session& s, const std::string&) {
        for (int i = 0; i < 17; ++i)
            if (!s.Send(block))
                break;
    });
    std::string result;
    EXPECT_FALSE(WhoisExchange("q", "127.0.0.1", result, server.port()));
    ASSERT_EQ(result.size(), kMaxAnswerBytes);
    EXPECT_TRUE(result.compare(0, block.size(), block) == 0);
    EXPECT_TRUE(result.compare(result.size() - block.size(), block.size(), block) == 0);
}

TEST(WhoisExchange, ExactlyTheBoundIsStillAWholeAnswer) {
    const std::string answer = Pattern(kMaxAnswerBytes);
    FakeWhoisServer server(FakeWhoisServer::Answer(answer));
    std::string result;
    EXPECT_TRUE(WhoisExchange("q", "127.0.0.1", result, server.port()));
    EXPECT_EQ(result.size(), kMaxAnswerBytes);
}

TEST(WhoisExchange, TimeoutBoundsASilentServer) {
    FakeWhoisServer server([](Session& s, const std::string&) {
        s.Send("first");
        s.Pause(1500);
    });
    std::string result;
    EXPECT_FALSE(
        WhoisExchange("q", "127.0.0.1", result, server.port(), ExchangeLimits::Uniform(300)));
    EXPECT_EQ(result, "first");
}

TEST(WhoisExchange, OutcomeTellsHowTheExchangeEnded) {
    ExchangeOutcome how = ExchangeOutcome::NoSocket;
    std::string result;
    {
        FakeWhoisServer server(FakeWhoisServer::Answer("whole"));
        EXPECT_TRUE(WhoisExchange("q", "127.0.0.1", result, server.port(), {}, &how));
        EXPECT_EQ(how, ExchangeOutcome::Completed);

        EXPECT_FALSE(WhoisExchange("a\nb", "127.0.0.1", result, server.port(), {}, &how));
        EXPECT_EQ(how, ExchangeOutcome::NotSent);
        EXPECT_FALSE(WhoisExchange("q", "", result, server.port(), {}, &how));
        EXPECT_EQ(how, ExchangeOutcome::NotSent);
    }
    int closedPort = 0;
    {
        FakeWhoisServer server(FakeWhoisServer::Answer("x"));
        closedPort = server.port();
    }
    EXPECT_FALSE(WhoisExchange("q", "127.0.0.1", result, closedPort, {}, &how));
    EXPECT_EQ(how, ExchangeOutcome::Refused);

    FakeWhoisServer reset([](Session& s, const std::string&) {
        s.Send("part");
        s.Pause(300);
        s.Reset();
    });
    EXPECT_FALSE(WhoisExchange("q", "127.0.0.1", result, reset.port(), {}, &how));
    EXPECT_EQ(how, ExchangeOutcome::Reset);
    EXPECT_EQ(result, "part");

    // A server that stops sending: the receive limit, not an error, ends it.
    FakeWhoisServer silent([](Session& s, const std::string&) {
        s.Send("first");
        s.Pause(1500);
        s.Send("late");
    });
    const ExchangeLimits limits{5000, 300};
    EXPECT_FALSE(WhoisExchange("q", "127.0.0.1", result, silent.port(), limits, &how));
    EXPECT_EQ(how, ExchangeOutcome::TimedOut);
    EXPECT_EQ(result, "first");

    const std::string block = Pattern(1024 * 1024);
    FakeWhoisServer endless([&](Session& s, const std::string&) {
        for (int i = 0; i < 17; ++i)
            if (!s.Send(block))
                break;
    });
    EXPECT_FALSE(WhoisExchange("q", "127.0.0.1", result, endless.port(), {}, &how));
    EXPECT_EQ(how, ExchangeOutcome::TooLong);
}

TEST(ResolveHostToAddress, DottedTextAndLocalNames) {
    std::string address = "unchanged";
    EXPECT_TRUE(ResolveHostToAddress("127.0.0.1", address));
    EXPECT_EQ(address, "127.0.0.1");
    address.clear();
    EXPECT_TRUE(ResolveHostToAddress("localhost", address));
    EXPECT_EQ(address, "127.0.0.1");
}

// The default mode's bounds, and the reason line of each failure a real
// exchange can meet on loopback, within its bound.
TEST(WhoisExchange, BoundedFailuresGiveTheirReasonLine) {
    EXPECT_EQ(kDefaultModeLimits.connectTimeoutMs, 10000);
    EXPECT_EQ(kDefaultModeLimits.readTimeoutMs, 15000);
    EXPECT_EQ(DefaultModeNetwork().Limits().readTimeoutMs, 15000);
    EXPECT_EQ(RealWhoisNetwork().Limits().readTimeoutMs, 0); // the classic mode: unbounded

    const ExchangeLimits limits{1000, 300};
    TransportNetwork network(limits);
    FakeWhoisServer silent([](Session& s, const std::string&) { s.Pause(2000); });
    FakeWhoisServer cut([](Session& s, const std::string&) {
        s.Send("part");
        s.Pause(2000);
    });
    int closedPort = 0;
    {
        FakeWhoisServer gone(FakeWhoisServer::Answer("x"));
        closedPort = gone.port();
    }
    struct Row {
        int port;
        const char* text;
        const char* reason;
    };
    const Row rows[] = {
        {silent.port(), "", "No answer: 127.0.0.1 sent nothing for 0.3 s."},
        {cut.port(), "part", "The answer from 127.0.0.1 was cut off: nothing more came for 0.3 s."},
        {closedPort, "", "No answer: 127.0.0.1 could not be reached (connection refused)."},
    };
    for (const Row& row : rows) {
        std::string result;
        ExchangeOutcome how = ExchangeOutcome::Completed;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_FALSE(network.ExchangeWithOutcome("q", "127.0.0.1", result, row.port, how));
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1500));
        EXPECT_EQ(result, row.text);
        EXPECT_EQ(result.empty() ? NoAnswerReason("127.0.0.1", how, network.Limits())
                                 : CutOffReason("127.0.0.1", how, network.Limits()),
                  row.reason);
    }
}
