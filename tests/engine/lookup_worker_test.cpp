// The hand-off between the window and the lookup workers: who delivers, who
// stays silent, and that a worker never reads what changed after its start.
// The scripted network holds every exchange at a gate, so the order of
// events is fixed by the test and not by timing; every wait is bounded.
#include "engine/lookup_worker.h"
#include "tests/engine/scripted_network.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <new>
#include <mutex>
#include <thread>

using testnet::ScriptedNetwork;
using namespace std::chrono_literals;

namespace {

const std::string kArin = "whois.arin.net";

// A stand-in for the window: whether it still exists, and the posts it got.
class FakeWindow {
public:
    LookupTarget Target() {
        LookupTarget target;
        auto state = m_state; // shared by value, as a window handle would be
        target.windowStillThere = [state] { return state->alive.load(); };
        target.postDone = [state] {
            std::lock_guard<std::mutex> lock(state->mutex);
            ++state->posts;
            state->changed.notify_all();
        };
        target.postProgress = [state] { ++state->progressPosts; };
        return target;
    }
    void Destroy() { m_state->alive = false; }
    int progressPosts() const { return m_state->progressPosts; }
    int posts() const {
        std::lock_guard<std::mutex> lock(m_state->mutex);
        return m_state->posts;
    }
    bool WaitForPosts(int count, std::chrono::milliseconds bound) {
        std::unique_lock<std::mutex> lock(m_state->mutex);
        return m_state->changed.wait_for(lock, bound, [&] { return m_state->posts >= count; });
    }

private:
    struct State {
        std::atomic<bool> alive{true};
        mutable std::mutex mutex;
        std::condition_variable changed;
        int posts = 0;
        std::atomic<int> progressPosts{0};
    };
    std::shared_ptr<State> m_state = std::make_shared<State>();
};

// What the dialog does when "&Lookup" is pressed, with a joinable thread so
// the test knows when the worker has ended.
std::jthread StartJoinable(ScriptedNetwork& net, FakeWindow& window, int convert = 0,
                           bool classic = false) {
    LookupJob job;
    job.input = ActiveQuery();
    job.convertToIp = convert;
    job.classic = classic;
    job.target = window.Target();
    job.network = &net;
    return std::jthread([job] { EXPECT_EQ(LookupWorker(job), 0); });
}

void PressLookup(const std::string& query) {
    ClearLookupResult();
    ClearLookupProgress();
    SetActiveQuery(query);
}

class LookupWorkerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ClearActiveQuery();
        ClearLookupResult();
        net.Answer(kArin, "192.0.2.1", "first answer\n");
        net.Answer(kArin, "192.0.2.2", "second answer\n");
        net.HoldExchanges();
    }
    void TearDown() override {
        net.ReleaseAll();
        ClearActiveQuery();
        ClearLookupResult();
    }
    ScriptedNetwork net;
    FakeWindow window;
};

} // namespace

TEST(LookupHandOff, SharedTextsAndMessageNumber) {
    EXPECT_EQ(WM_LOOKUP_DONE, 1026u);
    ClearActiveQuery();
    EXPECT_FALSE(IsLookupRunning());
    SetActiveQuery("example.com");
    EXPECT_TRUE(IsLookupRunning());
    EXPECT_EQ(ActiveQuery(), "example.com");
    ClearActiveQuery();
    EXPECT_EQ(ActiveQuery(), "");

    LookupTarget target;
    target.windowStillThere = [] { return true; };
    SetActiveQuery("q");
    EXPECT_TRUE(DeliverLookupResult("q", "text", target)); // no post function: still written
    EXPECT_EQ(LookupResult(), "text");
    ClearLookupResult();
    EXPECT_FALSE(DeliverLookupResult("Q", "other", target)); // exact comparison, case counts
    LookupTarget noWindow;                                   // no window function: gone
    EXPECT_FALSE(DeliverLookupResult("q", "other", noWindow));
    EXPECT_EQ(LookupResult(), "");
    ClearActiveQuery();
}

TEST_F(LookupWorkerTest, FinishedWorkerDeliversOnce) {
    PressLookup("192.0.2.1");
    std::jthread worker = StartJoinable(net, window);
    ASSERT_TRUE(net.WaitForArrivals(1, 10s));
    EXPECT_EQ(window.posts(), 0);
    net.ReleaseOne();
    worker.join();
    EXPECT_EQ(window.posts(), 1);
    EXPECT_EQ(LookupResult(), "192.0.2.1\r\n\r\nfirst answer");
    EXPECT_EQ(ActiveQuery(), "192.0.2.1"); // emptying it is the window's part
}

// The default mode shows each step as it starts; the classic one nothing
// until its result; an aborted lookup adds no line after the Abort.
TEST_F(LookupWorkerTest, ProgressShowsTheStepsInTheDefaultModeOnly) {
    const std::string steps = "Looking up 192.0.2.1\r\nasking whois.arin.net ...\r\n";
    const struct {
        bool classic;
        bool abortFirst;
        std::string whileAsking; // the progress text while ARIN is asked
        int posts;
        std::string afterwards;
    } rows[] = {
        {false, false, steps, 2, steps},
        {true, false, "", 0, ""},
        {false, true, steps, 2, steps},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << row.classic << row.abortFirst);
        FakeWindow fresh;
        ScriptedNetwork gated;
        gated.Answer(kArin, "192.0.2.1", "first answer\n");
        gated.HoldExchanges();
        PressLookup("192.0.2.1");
        std::jthread worker = StartJoinable(gated, fresh, 0, row.classic);
        ASSERT_TRUE(gated.WaitForArrivals(1, 10s));
        EXPECT_EQ(LookupProgress(), row.whileAsking);
        EXPECT_EQ(fresh.progressPosts(), row.posts);
        if (row.abortFirst)
            ClearActiveQuery();
        gated.ReleaseAll();
        worker.join();
        EXPECT_EQ(LookupProgress(), row.afterwards);
        EXPECT_EQ(fresh.progressPosts(), row.posts);
        EXPECT_EQ(fresh.posts(), row.abortFirst ? 0 : 1);
    }
}

TEST_F(LookupWorkerTest, AbortedWorkerDeliversNothing) {
    PressLookup("192.0.2.1");
    std::jthread worker = StartJoinable(net, window);
    ASSERT_TRUE(net.WaitForArrivals(1, 10s));
    ClearActiveQuery(); // "Abort"
    net.ReleaseOne();
    worker.join();
    EXPECT_EQ(window.posts(), 0);
    EXPECT_EQ(LookupResult(), "");
}

TEST_F(LookupWorkerTest, AbortAndAnotherQueryOnlyTheNewOneDelivers) {
    PressLookup("192.0.2.1");
    std::jthread first = StartJoinable(net, window);
    ASSERT_TRUE(net.WaitForArrivals(1, 10s));
    ClearActiveQuery();
    PressLookup("192.0.2.2");
    std::jthread second = StartJoinable(net, window);
    ASSERT_TRUE(net.WaitForArrivals(2, 10s));
    net.ReleaseOne(); // the first ends first, and finds another query active
    first.join();
    EXPECT_EQ(window.posts(), 0);
    net.ReleaseOne();
    second.join();
    EXPECT_EQ(window.posts(), 1);
    EXPECT_EQ(LookupResult(), "192.0.2.2\r\n\r\nsecond answer");
}

TEST_F(LookupWorkerTest, AbortAndRestartOfTheSameTextDeliversExactlyOnce) {
    for (bool firstEndsFirst : {true, false}) {
        SCOPED_TRACE(firstEndsFirst ? "first worker ends first" : "second worker ends first");
        ScriptedNetwork gated;
        gated.Answer(kArin, "192.0.2.1", "answer\n");
        gated.HoldExchanges();
        FakeWindow dialog;
        PressLookup("192.0.2.1");
        std::jthread first = StartJoinable(gated, dialog);
        ASSERT_TRUE(gated.WaitForArrivals(1, 10s));
        ClearActiveQuery(); // Abort
        PressLookup("192.0.2.1");
        std::jthread second = StartJoinable(gated, dialog);
        ASSERT_TRUE(gated.WaitForArrivals(2, 10s));

        // The first worker's exchange arrived first (ticket 0).
        std::jthread& early = firstEndsFirst ? first : second;
        std::jthread& late = firstEndsFirst ? second : first;
        gated.ReleaseTicket(firstEndsFirst ? 0 : 1);
        early.join();
        ASSERT_EQ(dialog.posts(), 1);
        EXPECT_EQ(LookupResult(), "192.0.2.1\r\n\r\nanswer");
        ClearLookupResult();
        ClearActiveQuery(); // the window handles the message
        gated.ReleaseAll();
        late.join();
        EXPECT_EQ(dialog.posts(), 1);
        EXPECT_EQ(LookupResult(), "");
    }
}

TEST_F(LookupWorkerTest, WorkerWhoseWindowIsGonePostsNothing) {
    PressLookup("192.0.2.1");
    std::jthread worker = StartJoinable(net, window);
    ASSERT_TRUE(net.WaitForArrivals(1, 10s));
    window.Destroy();
    net.ReleaseOne();
    worker.join();
    EXPECT_EQ(window.posts(), 0);
    EXPECT_EQ(LookupResult(), "");
}

TEST_F(LookupWorkerTest, WorkerReadsConvertToIpOnce) {
    ScriptedNetwork resolving;
    resolving.Resolves("host.example", "192.0.2.2");
    resolving.Answer(kArin, "192.0.2.2", "by address\n");
    resolving.Answer("whois.nic.example", "host.example", "by name\n");
    PressLookup("host.example");
    std::jthread worker = StartJoinable(resolving, window, /*convert=*/5);
    worker.join();
    EXPECT_EQ(LookupResult(), "host.example:192.0.2.2\r\n\r\nby address");
}

// A network that runs out of memory.
class ExhaustedNetwork : public WhoisNetwork {
public:
    bool Exchange(const std::string&, const std::string&, std::string&, int) override {
        throw std::bad_alloc();
    }
    bool Resolve(const std::string&, std::string&) override { throw std::bad_alloc(); }
};

TEST_F(LookupWorkerTest, LookupThatRunsOutOfMemoryDeliversAnEmptyResult) {
    ExhaustedNetwork exhausted;
    PressLookup("192.0.2.1");
    LookupJob job;
    job.input = ActiveQuery();
    job.target = window.Target();
    job.network = &exhausted;
    std::jthread([job] { EXPECT_EQ(LookupWorker(job), 0); }).join();
    EXPECT_EQ(window.posts(), 1);
    EXPECT_EQ(LookupResult(), "");
}

// The real start call: a detached thread. Its network must outlive it, so it
// is never destroyed.
TEST(StartLookupWorker, DetachedWorkerTakesTheQueryAtItsStart) {
    static ScriptedNetwork* net = new ScriptedNetwork();
    net->Answer(kArin, "192.0.2.1", "detached answer\n");
    net->HoldExchanges();
    FakeWindow window;

    ClearLookupResult();
    SetActiveQuery("192.0.2.1");
    ASSERT_TRUE(StartLookupWorker(0, false, window.Target(), net));
    SetActiveQuery("192.0.2.3"); // changed after the start: not the worker's query
    ASSERT_TRUE(net->WaitForArrivals(1, 10s));
    EXPECT_EQ(net->requests().at(0).query, "192.0.2.1");
    SetActiveQuery("192.0.2.1"); // and back, so it delivers
    net->ReleaseAll();
    ASSERT_TRUE(window.WaitForPosts(1, 10s));
    EXPECT_EQ(LookupResult(), "192.0.2.1\r\n\r\ndetached answer");
    ClearActiveQuery();
    ClearLookupResult();
}
