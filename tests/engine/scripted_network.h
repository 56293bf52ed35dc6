// A WhoisNetwork that answers from a script and records every request, for
// driver, worker and command-line tests. Exchanges behave as the transport's:
// an empty host fails at once without touching the result; otherwise the
// result is emptied and filled with the scripted answer. An unscripted
// request fails with an empty result, like a refused connection.
//
// A gate can hold exchanges: each held exchange waits until the test releases
// it (in the order they arrived) or until a bound passes, so worker tests are
// deterministic and can never hang.
#pragma once

#include "engine/whois_network.h"

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <ostream>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace testnet {

struct Request {
    std::string host;
    std::string query;
    int port = 0;
    bool operator==(const Request& o) const {
        return host == o.host && query == o.query && port == o.port;
    }
};

inline std::ostream& operator<<(std::ostream& os, const Request& r) {
    return os << "(" << r.host << ", \"" << r.query << "\", " << r.port << ")";
}

class ScriptedNetwork : public WhoisNetwork {
public:
    // The answer for query at host; ok=false makes the exchange fail after
    // delivering text (a receive error part-way).
    void Answer(const std::string& host, const std::string& query, const std::string& text,
                bool ok = true) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_answers[{host, query}] = {text, ok};
    }
    // The exchange with host for query ends as outcome, after delivering text.
    void Fails(const std::string& host, const std::string& query, ExchangeOutcome outcome,
               const std::string& text = std::string()) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_answers[{host, query}] = {text, false};
        m_failures[{host, query}] = outcome;
    }
    // The bounds the network says it runs under.
    void SetLimits(const ExchangeLimits& limits) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_limits = limits;
    }
    ExchangeLimits Limits() const override {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_limits;
    }
    bool ExchangeWithOutcome(const std::string& query, const std::string& host, std::string& result,
                             int port, ExchangeOutcome& outcome) override {
        const bool ok = WhoisNetwork::ExchangeWithOutcome(query, host, result, port, outcome);
        std::lock_guard<std::mutex> lock(m_mutex);
        const auto it = m_failures.find({host, query});
        if (it != m_failures.end())
            outcome = it->second;
        return ok;
    }
    void Resolves(const std::string& name, const std::string& address) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_addresses[name] = address;
    }
    // From now on every exchange waits at the gate.
    void HoldExchanges() {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_holding = true;
    }
    // Waits (bounded) until count exchanges have arrived in all.
    bool WaitForArrivals(std::size_t count, std::chrono::milliseconds bound) {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, bound, [&] { return m_arrivals >= count; });
    }
    // Lets the held exchange that arrived as number ticket (from 0) go on.
    void ReleaseTicket(std::size_t ticket) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_released.insert(ticket);
        m_changed.notify_all();
    }
    // Lets the earliest exchange not yet let go on.
    void ReleaseOne() {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::size_t ticket = 0;
        while (m_released.count(ticket))
            ++ticket;
        m_released.insert(ticket);
        m_changed.notify_all();
    }
    void ReleaseAll() {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_holding = false;
        m_changed.notify_all();
    }

    std::vector<Request> requests() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_requests;
    }
    // The answer of an HTTPS GET of url (RDAP); unscripted URLs fail as a
    // refused connection would.
    void AnswerHttps(const std::string& url, long status, const std::string& body) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_https[url] = {status, body};
    }
    // An HTTPS GET of url that ends without an answer (TLS, timeout...).
    void FailHttps(const std::string& url, const std::string& error) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_httpsErrors[url] = error;
    }
    std::vector<std::string> httpsRequests() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_httpsRequests;
    }
    bool HttpsGet(const std::string& url, platform::HttpsResponse& response) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_httpsRequests.push_back(url);
        response = platform::HttpsResponse();
        auto it = m_https.find(url);
        if (it == m_https.end()) {
            auto error = m_httpsErrors.find(url);
            response.error = error == m_httpsErrors.end() ? "could not connect" : error->second;
            return false;
        }
        response.completed = true;
        response.status = it->second.first;
        response.body = it->second.second;
        response.finalUrl = url;
        return true;
    }

    std::vector<std::string> resolved() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_resolved;
    }
    // Called inside every exchange (e.g. to look at the wait-cursor count).
    void OnExchange(void (*probe)()) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_probe = probe;
    }

    bool Exchange(const std::string& query, const std::string& host, std::string& result,
                  int port) override {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_requests.push_back({host, query, port});
        const std::size_t ticket = m_arrivals++;
        m_changed.notify_all();
        if (m_holding) {
            // Bounded: a test that forgets to release still ends.
            m_changed.wait_for(lock, std::chrono::seconds(20),
                               [&] { return !m_holding || m_released.count(ticket) != 0; });
        }
        if (m_probe)
            m_probe();
        if (host.empty())
            return false;
        result.clear();
        auto it = m_answers.find({host, query});
        if (it == m_answers.end())
            return false;
        result = it->second.first;
        return it->second.second;
    }

    bool Resolve(const std::string& name, std::string& address) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_resolved.push_back(name);
        auto it = m_addresses.find(name);
        if (it == m_addresses.end())
            return false;
        address = it->second;
        return true;
    }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::map<std::pair<std::string, std::string>, std::pair<std::string, bool>> m_answers;
    std::map<std::pair<std::string, std::string>, ExchangeOutcome> m_failures;
    ExchangeLimits m_limits;
    std::map<std::string, std::string> m_addresses;
    std::vector<Request> m_requests;
    std::vector<std::string> m_resolved;
    std::map<std::string, std::pair<long, std::string>> m_https;
    std::map<std::string, std::string> m_httpsErrors;
    std::vector<std::string> m_httpsRequests;
    bool m_holding = false;
    std::size_t m_arrivals = 0;
    std::set<std::size_t> m_released;
    void (*m_probe)() = nullptr;
};

} // namespace testnet
