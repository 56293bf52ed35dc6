#include "engine/busy.h"

#include <atomic>

namespace {

// Plain atomics: trivially destructible, so a worker that outlives the
// program's static objects still finds them intact.
std::atomic<void (*)()> g_raise{nullptr};
std::atomic<void (*)()> g_lower{nullptr};

} // namespace

void SetBusyHooks(void (*raise)(), void (*lower)()) {
    g_raise.store(raise);
    g_lower.store(lower);
}

// The lowering function is taken when the count is raised, so a scope lowers
// through the pair it raised through, and lowers only when it raised.
BusyCursorScope::BusyCursorScope() : m_lower(nullptr) {
    void (*raise)() = g_raise.load();
    void (*lower)() = g_lower.load();
    if (raise) {
        raise();
        m_lower = lower;
    }
}

BusyCursorScope::~BusyCursorScope() {
    if (m_lower)
        m_lower();
}
