#pragma once
// Manual-reset events with a wait for any of several, the way the capture
// pipeline and the driver hand work to each other. On Windows a CEvent is a
// Win32 event, so the real driver can be handed it and signal it.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <mutex>
#include <vector>

namespace vantrel {

class CEvent {
public:
    CEvent();
    ~CEvent();
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
    friend uint32_t OpenSystemEventHandle(CEvent& event);
#ifdef _WIN32
    void* m_handle;  // the Win32 event
#else
    struct Waiter;
    void AddWaiter(Waiter* w);
    void RemoveWaiter(Waiter* w);

    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_set = false;
    std::vector<Waiter*> m_waiters;
#endif
};

// Waits until one of the events is set and returns its index (the lowest
// index when several are set). With timeoutMs < 0 it waits without time-out;
// on time-out it returns -1. Windows waits for at most 64 events at once.
int WaitForAny(std::initializer_list<CEvent*> events, long timeoutMs = -1);

}  // namespace vantrel
