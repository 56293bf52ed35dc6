#include "engine/lookup_worker.h"

#include "engine/driver.h"

#include <exception>
#include <mutex>
#include <system_error>
#include <thread>

namespace {

struct HandOff {
    std::mutex mutex;
    std::string activeQuery;  // g_strActiveQuery
    std::string lookupResult; // g_strLookupResult
};

// Created on first use and never destroyed: detached workers may still reach
// it while the program's static objects are being torn down.
HandOff& Shared() {
    static HandOff* handOff = new HandOff();
    return *handOff;
}

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
    WhoisNetwork& net = job.network   ? *job.network
                        : job.classic ? RealWhoisNetwork()
                                      : DefaultModeNetwork();
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
