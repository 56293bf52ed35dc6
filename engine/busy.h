// The application's wait-cursor count, seen from the engine. The engine runs
// on worker threads and knows nothing of windows; the program registers two
// functions that raise and lower its count, and every lookup calls them
// around its whole run. Without registered hooks nothing happens.
#pragma once

// Registers the functions that raise and lower the wait-cursor count (either
// may be null: nothing is called). Safe to call from any thread; the two
// change together.
void SetBusyHooks(void (*raise)(), void (*lower)());

// Raises the count when constructed and lowers it when destroyed, so every
// way out of a scope lowers it exactly once.
class BusyCursorScope {
public:
    BusyCursorScope();
    ~BusyCursorScope();
    BusyCursorScope(const BusyCursorScope&) = delete;
    BusyCursorScope& operator=(const BusyCursorScope&) = delete;

private:
    void (*m_lower)();
};
