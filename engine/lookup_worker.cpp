#include "engine/lookup_worker.h"

#include "engine/driver.h"
#include "engine/rdap/text.h"

#include <exception>
#include <mutex>
#include <system_error>
#include <thread>

namespace {

struct HandOff {
    std::mutex mutex;
    std::string activeQuery;  // g_strActiveQuery
    std::string lookupResult; // g_strLookupResult
    std::string progress;     // the running lookup's steps
};

// Created on first use and never destroyed: detached workers may still reach
// it while the program's static objects are being torn down.
HandOff& Shared() {
    static HandOff* handOff = new HandOff();
    return *handOff;
}

// The network of a worker that shows its progress: every WHOIS exchange and
// RDAP request reports "asking HOST ..." as it starts, then runs on the
// worker's own network unchanged.
class ProgressNetwork : public ForwardingNetwork {
public:
    ProgressNetwork(WhoisNetwork& inner, const LookupJob& job)
        : ForwardingNetwork(inner), m_job(job) {}

    bool Exchange(const std::string& query, const std::string& host, std::string& result,
                  int port) override {
        Asking(host);
        return m_inner.Exchange(query, host, result, port);
    }
    bool ExchangeWithOutcome(const std::string& query, const std::string& host, std::string& result,
                             int port, ExchangeOutcome& outcome) override {
        Asking(host);
        return m_inner.ExchangeWithOutcome(query, host, result, port, outcome);
    }
    bool HttpsGet(const std::string& url, platform::HttpsResponse& response) override {
        Asking(rdap::HostOfUrl(url));
        return m_inner.HttpsGet(url, response);
    }

private:
    void Asking(const std::string& host) {
        ReportLookupProgress(m_job.input, "asking " + PrintableTraceText(host) + " ...",
                             m_job.target);
    }

    const LookupJob& m_job;
};

} // namespace

void SetActiveQuery(const std::string& query) {
    HandOff& s = Shared();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.activeQuery = query;
}

void ClearActiveQuery() {
    HandOff& s = Shared();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.activeQuery.clear();
}

std::string ActiveQuery() {
    HandOff& s = Shared();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.activeQuery;
}

bool IsLookupRunning() {
    HandOff& s = Shared();
    std::lock_guard<std::mutex> lock(s.mutex);
    return !s.activeQuery.empty();
}

std::string LookupResult() {
    HandOff& s = Shared();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.lookupResult;
}

void ClearLookupResult() {
    HandOff& s = Shared();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.lookupResult.clear();
}

std::string LookupProgress() {
    HandOff& s = Shared();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.progress;
}

void ClearLookupProgress() {
    HandOff& s = Shared();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.progress.clear();
}

bool ReportLookupProgress(const std::string& input, const std::string& line,
                          const LookupTarget& target) {
    if (!target.postProgress)
        return false;
    HandOff& s = Shared();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (input != s.activeQuery || !target.windowStillThere || !target.windowStillThere())
        return false;
    s.progress += line;
    s.progress += "\r\n";
    target.postProgress();
    return true;
}

bool DeliverLookupResult(const std::string& input, std::string result, const LookupTarget& target) {
    HandOff& s = Shared();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (input != s.activeQuery)
        return false;
    if (!target.windowStillThere || !target.windowStillThere())
        return false;
    // The result is in place before the message can arrive.
    s.lookupResult = std::move(result);
    if (target.postDone)
        target.postDone();
    return true;
}

int LookupWorker(LookupJob job) {
    std::string result;
    WhoisNetwork& own = job.network   ? *job.network
                        : job.classic ? RealWhoisNetwork()
                                      : DefaultModeNetwork();
    ProgressNetwork progress(own, job);
    // The classic chain shows nothing until its result; the default one its
    // steps.
    const bool showSteps = !job.classic && job.target.postProgress;
    WhoisNetwork& net = showSteps ? static_cast<WhoisNetwork&>(progress) : own;
    if (showSteps)
        ReportLookupProgress(job.input, "Looking up " + job.input, job.target);
    try {
        LookupOptions options;
        options.convertToIp = job.convertToIp != 0 ? 1 : 0;
        options.classic = job.classic;
        RunWhoisLookup(job.input, result, options, net);
    } catch (const std::exception&) {
        // Out of memory on some enormous answer: the lookup shows nothing
        // rather than ending the program, and the window still hears of it.
        result.clear();
    }
    DeliverLookupResult(job.input, std::move(result), job.target);
    return 0;
}

bool StartLookupWorker(int convertToIp, bool classic, LookupTarget target, WhoisNetwork* network) {
    LookupJob job;
    job.input = ActiveQuery();
    job.convertToIp = convertToIp;
    job.classic = classic;
    job.target = std::move(target);
    job.network = network;
    try {
        std::thread(LookupWorker, std::move(job)).detach();
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}
