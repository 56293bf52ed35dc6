#include "engine/batch/batch.h"

#include "base/text.h"
#include "platform/ip_literal.h"

#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

namespace batch {

std::optional<std::string> QueryOfLine(const std::string& line) {
    std::string query = text::Trim(line);
    if (query.empty() || query[0] == '#')
        return std::nullopt;
    return query;
}

namespace {

// Lookups of the same neighbourhood are made one after another, so the
// later one finds the range of the earlier in the cache: the same query, or
// addresses and networks of the same /16 (IPv4) or /32 (IPv6).
std::string Neighbourhood(const std::string& query) {
    Address first{}, last{};
    if (!ParseRange(query, first, last))
        return "q " + text::ToLower(query);
    std::uint32_t mapped = 0;
    const bool v4 = platform::MappedIPv4(first, mapped);
    const int from = v4 ? 12 : 0, count = v4 ? 2 : 4;
    std::string key = v4 ? "4 " : "6 ";
    for (int i = from; i < from + count; ++i)
        key += std::to_string(first[i]) + ".";
    return key;
}

Record Interrupted(const std::string& query) {
    Record r;
    r.query = query;
    r.details.kind = QueryKindName(query);
    r.error = "interrupted";
    return r;
}

Record FromCache(const std::string& query, const CachedAnswer& answer) {
    Record r;
    r.query = query;
    r.details.kind = QueryKindName(query);
    r.details.summary = answer.summary;
    r.details.layout = answer.layout;
    r.fromCache = true;
    r.answered = true;
    return r;
}

class Runner {
public:
    Runner(WhoisNetwork& net, RangeCache& cache, const Options& options)
        : m_net(net), m_cache(cache), m_options(options),
          m_politeness(options.polite, options.stop) {}

    Progress Go(const std::function<bool(std::string&)>& next,
                const std::function<void(const Record&)>& emit);

private:
    struct Slot {
        std::string query;
        std::optional<Record> record;
    };

    std::int64_t Now() const { return m_options.now ? m_options.now() : UnixSeconds(); }
    bool Stopped() const { return m_options.stop != nullptr && m_options.stop->load(); }
    std::optional<CachedAnswer> FindCached(const std::string& query) {
        std::lock_guard<std::mutex> lock(m_cacheMutex);
        return m_cache.Find(query, Now());
    }
    // The record of the same query that found nothing earlier in the run.
    std::optional<Record> FindFailed(const std::string& query) {
        std::lock_guard<std::mutex> lock(m_cacheMutex);
        const auto it = m_failed.find(text::ToLower(query));
        if (it == m_failed.end())
            return std::nullopt;
        Record r = it->second;
        r.query = query;
        return r;
    }
    void Work();
    Record Lookup(std::uint64_t order, const std::string& query);
    void Report(bool final);

    WhoisNetwork& m_net;
    RangeCache& m_cache;
    const Options& m_options;
    Politeness m_politeness;

    std::mutex m_cacheMutex;
    // Queries that found nothing in this run (not kept across runs): the
    // same query again is not asked again.
    std::unordered_map<std::string, Record> m_failed;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::map<std::uint64_t, Slot> m_slots;               // read and not yet handed on, in order
    std::deque<std::uint64_t> m_queue;                   // waiting for a thread
    std::multimap<std::string, std::uint64_t> m_running; // neighbourhood -> order
    bool m_inputEnded = false;
    Progress m_progress;
    std::chrono::steady_clock::time_point m_lastReport{};
};

void Runner::Work() {
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_changed.wait_for(lock, std::chrono::milliseconds(200),
                           [&] { return !m_queue.empty() || m_inputEnded || Stopped(); });
        if (Stopped() || (m_queue.empty() && m_inputEnded))
            return;
        if (m_queue.empty())
            continue;
        const std::uint64_t order = m_queue.front();
        m_queue.pop_front();
        const std::string query = m_slots[order].query;
        const std::string key = Neighbourhood(query);
        const auto mine = m_running.emplace(key, order);
        // Wait for the earlier lookups of the neighbourhood.
        while (!Stopped()) {
            const auto [from, to] = m_running.equal_range(key);
            if (std::none_of(from, to, [&](const auto& e) { return e.second < order; }))
                break;
            m_changed.wait_for(lock, std::chrono::milliseconds(200));
        }
        lock.unlock();
        Record record = Lookup(order, query);
        lock.lock();
        m_running.erase(mine);
        m_slots[order].record = std::move(record);
        m_changed.notify_all();
    }
}

Record Runner::Lookup(std::uint64_t order, const std::string& query) {
    if (Stopped())
        return Interrupted(query);
    if (const auto cached = FindCached(query))
        return FromCache(query, *cached);
    if (auto failed = FindFailed(query))
        return std::move(*failed);
    std::optional<CachedAnswer> lateHit;
    PoliteNetwork polite(m_politeness, m_net, order, [&] {
        lateHit = FindCached(query);
        return lateHit.has_value();
    });
    Record r;
    r.query = query; // its kind is set by the lookup
    LookupOptions lookup = m_options.lookup;
    lookup.classic = false;
    lookup.details = &r.details;
    std::string result;
    RunWhoisLookup(query, result, lookup, polite);
    if (polite.abandoned() && lateHit)
        return FromCache(query, *lateHit);
    if (polite.interrupted()) {
        r.error = "interrupted";
        return r;
    }
    if (!polite.rateLimitedBy().empty()) {
        r.error = "No answer: " + polite.rateLimitedBy() + " still limits the rate after " +
                  std::to_string(m_options.polite.retries) + " retries.";
        return r;
    }
    r.answered = !r.details.text.empty();
    r.error = r.details.error;
    if (r.answered && r.error.empty())
        r.error = polite.failureAfterAnswer(); // the record is a referral's stub: say why
    if (!r.answered) {
        std::lock_guard<std::mutex> lock(m_cacheMutex);
        m_failed.emplace(text::ToLower(query), r);
    }
    if (r.answered && !r.details.summary.Empty()) {
        std::lock_guard<std::mutex> lock(m_cacheMutex);
        // After a failed exchange the text may be a referral's stub, whose
        // wide range must not answer for the networks it refers to.
        m_cache.Add(query, {r.details.summary, r.details.layout}, Now(),
                    !polite.failedAfterAnswer());
    }
    return r;
}

void Runner::Report(bool final) {
    if (!m_options.progress)
        return;
    const auto now = std::chrono::steady_clock::now();
    if (!final && now - m_lastReport < std::chrono::milliseconds(250))
        return;
    m_lastReport = now;
    m_progress.exchanges = m_politeness.exchanges.load();
    m_progress.pausedServers = m_politeness.Paused().size();
    m_options.progress(m_progress);
}

Progress Runner::Go(const std::function<bool(std::string&)>& next,
                    const std::function<void(const Record&)>& emit) {
    std::vector<std::thread> threads;
    std::uint64_t order = 0;
    // Hands on the finished records at the front, in order.
    const auto handOn = [&](std::unique_lock<std::mutex>& lock) {
        while (!m_slots.empty() && m_slots.begin()->second.record) {
            Record record = std::move(*m_slots.begin()->second.record);
            m_slots.erase(m_slots.begin());
            lock.unlock();
            if (record.fromCache)
                ++m_progress.fromCache;
            ++m_progress.done;
            emit(record);
            lock.lock();
        }
        lock.unlock();
        Report(false);
        lock.lock();
    };
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!Stopped()) {
        handOn(lock);
        if (m_slots.size() >= std::max<std::size_t>(1, m_options.window)) {
            m_changed.wait_for(lock, std::chrono::milliseconds(100));
            continue;
        }
        lock.unlock();
        std::string query;
        const bool more = next(query);
        lock.lock();
        if (!more)
            break;
        ++m_progress.read;
        Slot& slot = m_slots[order];
        slot.query = query;
        lock.unlock();
        auto cached = FindCached(query);
        lock.lock();
        if (cached) {
            slot.record = FromCache(query, *cached);
        } else {
            m_queue.push_back(order);
            if (threads.size() < static_cast<std::size_t>(std::max(1, m_options.lookupsAtOnce)) &&
                threads.size() < m_queue.size() + m_running.size())
                threads.emplace_back([this] { Work(); });
            m_changed.notify_all();
        }
        ++order;
    }
    m_inputEnded = true;
    m_progress.inputEnded = !Stopped();
    m_changed.notify_all();
    while (!m_slots.empty()) {
        if (Stopped()) {
            // Nothing more is started; what waits for a thread is interrupted.
            for (const std::uint64_t waiting : m_queue)
                m_slots[waiting].record = Interrupted(m_slots[waiting].query);
            m_queue.clear();
            lock.unlock();
            m_politeness.WakeAll();
            lock.lock();
        }
        handOn(lock);
        if (!m_slots.empty())
            m_changed.wait_for(lock, std::chrono::milliseconds(100));
    }
    lock.unlock();
    for (std::thread& t : threads)
        t.join();
    std::string rest;
    while (Stopped() && m_options.readRestAfterStop && next(rest)) {
        ++m_progress.read;
        ++m_progress.done;
        emit(Interrupted(rest));
    }
    m_progress.exchanges = m_politeness.exchanges.load();
    Report(true);
    return m_progress;
}

} // namespace

Progress Run(const std::function<bool(std::string&)>& next, WhoisNetwork& net, RangeCache& cache,
             const Options& options, const std::function<void(const Record&)>& emit) {
    Runner runner(net, cache, options);
    return runner.Go(next, emit);
}

} // namespace batch
