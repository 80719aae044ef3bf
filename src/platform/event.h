#pragma once
// Manual-reset events with a wait for any of several, the way the capture
// pipeline and the driver hand work to each other.

#include <condition_variable>
#include <cstddef>
#include <initializer_list>
#include <mutex>
#include <vector>

namespace vantrel {

class CEvent {
public:
    CEvent() = default;
    CEvent(const CEvent&) = delete;
    CEvent& operator=(const CEvent&) = delete;

    void Set();
    void Reset();
    bool IsSet() const;
    // Blocks until the event is set (no time-out).
    void Wait();
    // Waits up to `ms` milliseconds; true when the event was set.
    bool WaitFor(unsigned ms);

private:
    friend int WaitForAny(std::initializer_list<CEvent*> events, long timeoutMs);
    struct Waiter;
    void AddWaiter(Waiter* w);
    void RemoveWaiter(Waiter* w);

    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_set = false;
    std::vector<Waiter*> m_waiters;
};

// Waits until one of the events is set and returns its index (the lowest
// index when several are set). With timeoutMs < 0 it waits without time-out;
// on time-out it returns -1.
int WaitForAny(std::initializer_list<CEvent*> events, long timeoutMs = -1);

}  // namespace vantrel
