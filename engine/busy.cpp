#include "engine/busy.h"

#include <mutex>

namespace {

// The two hooks change together under one lock, so a lookup never raises
// through one pair and lowers through another. Created on first use and never
// destroyed: a worker that outlives the program's static objects still finds
// it intact.
struct Hooks {
    std::mutex mutex;
    void (*raise)() = nullptr;
    void (*lower)() = nullptr;
};

Hooks& TheHooks() {
    static Hooks* const hooks = new Hooks;
    return *hooks;
}

} // namespace

void SetBusyHooks(void (*raise)(), void (*lower)()) {
    Hooks& hooks = TheHooks();
    std::lock_guard<std::mutex> lock(hooks.mutex);
    hooks.raise = raise;
    hooks.lower = lower;
}

// The lowering function is taken when the count is raised, so a scope lowers
// through the pair it raised through, and lowers only when it raised.
BusyCursorScope::BusyCursorScope() : m_lower(nullptr) {
    void (*raise)() = nullptr;
    void (*lower)() = nullptr;
    {
        Hooks& hooks = TheHooks();
        std::lock_guard<std::mutex> lock(hooks.mutex);
        raise = hooks.raise;
        lower = hooks.lower;
    }
    if (raise) {
        raise();
        m_lower = lower;
    }
}

BusyCursorScope::~BusyCursorScope() {
    if (m_lower)
        m_lower();
}
