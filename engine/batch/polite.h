// How a batch stays polite to the servers it asks: one exchange at a time
// per server, a pace per server, a cap on exchanges at once, and a pause
// for a server that says the client asks too much.
#pragma once

#include "engine/whois_network.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace batch {

using Clock = std::chrono::steady_clock;
using TimePoint = Clock::time_point;

// The rules as a plain state, with the time given by the caller, so they
// can be checked without waiting.
class ServerSchedule {
public:
    ServerSchedule(double perSecond, int maxAtOnce);

    // Whether an exchange with server may begin at now. When it may not,
    // wake is the time it may (none while it waits for another exchange to
    // end: the server's own or one of the cap).
    bool MayBegin(const std::string& server, TimePoint now, std::optional<TimePoint>& wake) const;
    void Begin(const std::string& server, TimePoint now);
    void End(const std::string& server);
    // Nothing goes to server before until.
    void Pause(const std::string& server, TimePoint until);
    // The servers paused at now.
    std::vector<std::string> Paused(TimePoint now) const;

private:
    struct State {
        bool busy = false;
        TimePoint next{};        // the pace: the earliest next start
        TimePoint pausedUntil{}; // a rate limit
    };
    Clock::duration m_interval;
    int m_maxAtOnce;
    int m_active = 0;
    std::map<std::string, State> m_servers;
};

// The pause a WHOIS answer asks for when it says the client asked too much
// (RIPE's and APNIC's "%ERROR:201: access denied", ARIN's and LACNIC's
// "rate limit exceeded", "access denied" in a comment line): the seconds it
// names ("try again in N seconds"), else fallback. None for any other answer.
std::optional<std::chrono::seconds> WhoisRateLimit(const std::string& answer,
                                                   std::chrono::seconds fallback);
// The same for an HTTPS answer: status 429, its Retry-After in seconds, else
// fallback.
std::optional<std::chrono::seconds> HttpsRateLimit(long status, const std::string& retryAfter,
                                                   std::chrono::seconds fallback);

// True for the registries that keep personal-data objects the RIPE way and
// take "-r" to leave them out (RIPE NCC, APNIC, AFRINIC).
bool TakesNoPersonalDataFlag(const std::string& host);

// The schedule shared by the threads of a batch: each exchange waits for its
// turn. Among exchanges waiting for the same server, the one of the earliest
// lookup (the lowest order) goes first, so a lookup under way finishes before
// a later one starts at that server.
class Politeness {
public:
    struct Settings {
        double perSecond = 2.0;
        int maxAtOnce = 8;
        int retries = 3;
        std::chrono::seconds defaultPause{60};
    };
    Politeness(const Settings& settings, const std::atomic<bool>* stop)
        : m_settings(settings), m_schedule(settings.perSecond, settings.maxAtOnce), m_stop(stop) {}

    // Waits for the turn of order at server; false when the batch was
    // stopped or abandon (asked once the turn has come) says the exchange
    // is no longer needed.
    bool Acquire(const std::string& server, std::uint64_t order,
                 const std::function<bool()>& abandon);
    void Release(const std::string& server);
    void Pause(const std::string& server, std::chrono::seconds pause);
    std::vector<std::string> Paused();
    bool Stopped() const { return m_stop != nullptr && m_stop->load(); }
    // Wakes every waiter (after a stop).
    void WakeAll();
    const Settings& settings() const { return m_settings; }

    std::atomic<long long> exchanges{0};

private:
    Settings m_settings;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    ServerSchedule m_schedule;
    std::map<std::string, std::set<std::uint64_t>> m_waiting;
    const std::atomic<bool>* m_stop;
};

// The network one lookup of a batch goes through: every WHOIS exchange and
// HTTPS request waits its turn, a rate-limited answer pauses its server and
// is asked again after the pause (at most the retries), and the RIPE-style
// registries get "-r". Name resolution is passed on as it is.
class PoliteNetwork : public ForwardingNetwork {
public:
    PoliteNetwork(Politeness& politeness, WhoisNetwork& inner, std::uint64_t order,
                  std::function<bool()> abandon)
        : ForwardingNetwork(inner), m_politeness(politeness), m_order(order),
          m_abandon(std::move(abandon)) {}

    bool Exchange(const std::string& query, const std::string& host, std::string& result,
                  int port) override;
    bool ExchangeWithOutcome(const std::string& query, const std::string& host, std::string& result,
                             int port, ExchangeOutcome& outcome) override;
    bool HttpsGet(const std::string& url, platform::HttpsResponse& response) override;

    // Set when abandon said the lookup is answered elsewhere: every exchange
    // since failed without being made.
    bool abandoned() const { return m_abandoned; }
    // The server that still said "too much" after every retry; empty if none.
    const std::string& rateLimitedBy() const { return m_rateLimitedBy; }
    // Set when an exchange was not made because the batch was stopped.
    bool interrupted() const { return m_interrupted; }
    // Set when an exchange failed or brought nothing after one that
    // answered: the result may then be a referral's stub rather than the
    // network's own record.
    bool failedAfterAnswer() const { return m_failedAfterAnswer; }
    // Why the last WHOIS exchange that failed after one that answered gave
    // nothing ("No answer: whois.example.net could not be reached ..."), or
    // empty: the record of such a lookup is the referring server's stub.
    std::string failureAfterAnswer() const;

private:
    bool Turn(const std::string& server);
    // What one try of an exchange gave: whether it succeeded, and the pause
    // the server asked for when it refused for the rate.
    struct Try {
        bool ok;
        std::optional<std::chrono::seconds> limited;
    };
    // One exchange with SERVER in its turn (NOT_SENT when no turn comes),
    // tried again after the pause a rate-limiting server asks for, up to the
    // configured retries.
    bool InTurn(const std::string& server, const std::function<void()>& notSent,
                const std::function<Try()>& exchange);

    Politeness& m_politeness;
    std::uint64_t m_order;
    std::function<bool()> m_abandon;
    bool m_first = true;
    bool m_abandoned = false;
    bool m_interrupted = false;
    void Note(bool answered) {
        m_failedAfterAnswer = m_failedAfterAnswer || (!answered && m_answered);
        m_answered = m_answered || answered;
    }
    bool m_answered = false;
    bool m_failedAfterAnswer = false;
    std::string m_failedHost;
    ExchangeOutcome m_failedOutcome = ExchangeOutcome::NotSent;
    std::string m_rateLimitedBy;
};

} // namespace batch
