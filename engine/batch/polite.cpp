#include "engine/batch/polite.h"

#include "engine/driver.h"
#include "engine/rdap/text.h"
#include "base/server_roles.h"
#include "base/text.h"

#include <algorithm>
#include <cmath>

namespace batch {

ServerSchedule::ServerSchedule(double perSecond, int maxAtOnce)
    : m_interval(std::chrono::duration_cast<Clock::duration>(
          std::chrono::duration<double>(perSecond > 0 ? 1.0 / perSecond : 0.0))),
      m_maxAtOnce(std::max(1, maxAtOnce)) {}

bool ServerSchedule::MayBegin(const std::string& server, TimePoint now,
                              std::optional<TimePoint>& wake) const {
    wake.reset();
    const auto it = m_servers.find(server);
    if (it != m_servers.end()) {
        if (it->second.busy)
            return false;
        const TimePoint earliest = std::max(it->second.next, it->second.pausedUntil);
        if (now < earliest) {
            wake = earliest;
            return false;
        }
    }
    return m_active < m_maxAtOnce;
}

void ServerSchedule::Begin(const std::string& server, TimePoint now) {
    State& s = m_servers[server];
    s.busy = true;
    s.next = now + m_interval;
    ++m_active;
}

void ServerSchedule::End(const std::string& server) {
    State& s = m_servers[server];
    if (s.busy) {
        s.busy = false;
        --m_active;
    }
}

void ServerSchedule::Pause(const std::string& server, TimePoint until) {
    State& s = m_servers[server];
    s.pausedUntil = std::max(s.pausedUntil, until);
}

std::vector<std::string> ServerSchedule::Paused(TimePoint now) const {
    std::vector<std::string> out;
    for (const auto& [server, s] : m_servers)
        if (now < s.pausedUntil)
            out.push_back(server);
    return out;
}

namespace {

// "in 30 seconds", "wait 30 s", "after 30 seconds": the first number followed by "s".
std::optional<std::chrono::seconds> SecondsNamed(const std::string& text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(text[i])) ||
            (i > 0 && std::isalnum(static_cast<unsigned char>(text[i - 1]))))
            continue;
        std::size_t j = i;
        while (j < text.size() && std::isdigit(static_cast<unsigned char>(text[j])))
            ++j;
        std::size_t k = j;
        while (k < text.size() && text[k] == ' ')
            ++k;
        if (k < text.size() && (text[k] == 's' || text[k] == 'S') && j - i <= 5)
            return std::chrono::seconds(std::stoi(text.substr(i, j - i)));
        i = j;
    }
    return std::nullopt;
}

} // namespace

std::optional<std::chrono::seconds> WhoisRateLimit(const std::string& answer,
                                                   std::chrono::seconds fallback) {
    // The notices stand at the start of the answer.
    const std::string head = text::ToLower(std::string_view(answer).substr(0, 4096));
    std::size_t start = 0;
    while (start < head.size()) {
        std::size_t end = head.find('\n', start);
        if (end == std::string::npos)
            end = head.size();
        const std::string line = text::Trim(std::string_view(head).substr(start, end - start));
        start = end + 1;
        const bool comment = !line.empty() && (line[0] == '%' || line[0] == '#');
        if (line.rfind("%error:201", 0) == 0 ||
            line.find("rate limit exceeded") != std::string::npos ||
            (comment && line.find("access denied") != std::string::npos)) {
            const auto named = SecondsNamed(head); // the wait may be named on another line
            return named && named->count() > 0 ? *named : fallback;
        }
    }
    return std::nullopt;
}

std::optional<std::chrono::seconds> HttpsRateLimit(long status, const std::string& retryAfter,
                                                   std::chrono::seconds fallback) {
    if (status != 429)
        return std::nullopt;
    const std::string value = text::Trim(retryAfter);
    if (!value.empty() && value.size() <= 6 &&
        value.find_first_not_of("0123456789") == std::string::npos)
        return std::chrono::seconds(std::stoi(value));
    return fallback; // none, or an HTTP date: the usual minute
}

bool TakesNoPersonalDataFlag(const std::string& host) {
    return text::EqualsNoCase(host, roles::kRipeServer) ||
           text::EqualsNoCase(host, roles::kApnicServer) ||
           text::EqualsNoCase(host, "whois.afrinic.net");
}

bool Politeness::Acquire(const std::string& server, std::uint64_t order,
                         const std::function<bool()>& abandon) {
    std::unique_lock<std::mutex> lock(m_mutex);
    std::set<std::uint64_t>& waiting = m_waiting[server];
    waiting.insert(order);
    for (;;) {
        if (Stopped()) {
            waiting.erase(order);
            m_changed.notify_all();
            return false;
        }
        std::optional<TimePoint> wake;
        const TimePoint now = Clock::now();
        if (*waiting.begin() == order && m_schedule.MayBegin(server, now, wake)) {
            waiting.erase(order);
            if (abandon && abandon()) {
                m_changed.notify_all();
                return false;
            }
            m_schedule.Begin(server, now);
            return true;
        }
        // A bounded wait: a stop flag set by a signal handler wakes nobody.
        const TimePoint bound = now + std::chrono::milliseconds(200);
        m_changed.wait_until(lock, wake && *wake < bound ? *wake : bound);
    }
}

void Politeness::Release(const std::string& server) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_schedule.End(server);
    m_changed.notify_all();
}

void Politeness::Pause(const std::string& server, std::chrono::seconds pause) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_schedule.Pause(server, Clock::now() + pause);
    m_changed.notify_all();
}

std::vector<std::string> Politeness::Paused() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_schedule.Paused(Clock::now());
}

void Politeness::WakeAll() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_changed.notify_all();
}

bool PoliteNetwork::Turn(const std::string& server) {
    std::function<bool()> abandon;
    if (m_first)
        abandon = m_abandon;
    m_first = false;
    if (m_abandoned || m_politeness.Stopped()) {
        m_interrupted = m_interrupted || !m_abandoned;
        return false;
    }
    if (m_politeness.Acquire(server, m_order, abandon)) {
        ++m_politeness.exchanges;
        return true;
    }
    if (m_politeness.Stopped())
        m_interrupted = true;
    else
        m_abandoned = true;
    return false;
}

bool PoliteNetwork::Exchange(const std::string& query, const std::string& host, std::string& result,
                             int port) {
    ExchangeOutcome outcome = ExchangeOutcome::NotSent;
    return ExchangeWithOutcome(query, host, result, port, outcome);
}

bool PoliteNetwork::InTurn(const std::string& server, const std::function<void()>& notSent,
                           const std::function<Try()>& exchange) {
    const int retries = m_politeness.settings().retries;
    for (int attempt = 0;; ++attempt) {
        if (!Turn(server)) {
            notSent();
            return false;
        }
        const Try tried = exchange();
        if (tried.limited && attempt < retries)
            m_politeness.Pause(server, *tried.limited);
        m_politeness.Release(server);
        if (!tried.limited)
            return tried.ok;
        if (attempt >= retries) {
            m_rateLimitedBy = server;
            return tried.ok;
        }
    }
}

bool PoliteNetwork::ExchangeWithOutcome(const std::string& query, const std::string& host,
                                        std::string& result, int port, ExchangeOutcome& outcome) {
    const std::string sent =
        TakesNoPersonalDataFlag(host) && !query.empty() && query[0] != '-' ? "-r " + query : query;
    const auto notSent = [&] {
        result.clear();
        outcome = ExchangeOutcome::NotSent;
    };
    return InTurn(host, notSent, [&] {
        const bool ok = m_inner.ExchangeWithOutcome(sent, host, result, port, outcome);
        Note(ok && !result.empty());
        if (m_answered && (!ok || result.empty())) {
            m_failedHost = host;
            m_failedOutcome = outcome;
        }
        return Try{ok, WhoisRateLimit(result, m_politeness.settings().defaultPause)};
    });
}

std::string PoliteNetwork::failureAfterAnswer() const {
    return m_failedHost.empty() ? std::string()
                                : NoAnswerReason(m_failedHost, m_failedOutcome, m_inner.Limits());
}

bool PoliteNetwork::HttpsGet(const std::string& url, platform::HttpsResponse& response) {
    const auto notSent = [&] {
        response = platform::HttpsResponse();
        response.error = m_abandoned ? "answered from the cache" : "interrupted";
    };
    return InTurn(rdap::HostOfUrl(url), notSent, [&] {
        const bool ok = m_inner.HttpsGet(url, response);
        Note(ok && response.status == 200);
        return Try{ok, HttpsRateLimit(response.status, response.retryAfter,
                                      m_politeness.settings().defaultPause)};
    });
}

} // namespace batch
