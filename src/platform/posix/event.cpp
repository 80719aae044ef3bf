#include "platform/event.h"

#include <algorithm>
#include <chrono>

namespace vantrel {

CEvent::CEvent() = default;
CEvent::~CEvent() = default;

struct CEvent::Waiter {
    std::mutex mutex;
    std::condition_variable cv;
    bool woken = false;
};

void CEvent::Set() {
    std::lock_guard lock(m_mutex);
    m_set = true;
    m_cv.notify_all();
    for (Waiter* w : m_waiters) {
        std::lock_guard wl(w->mutex);
        w->woken = true;
        w->cv.notify_one();
    }
}

void CEvent::Reset() {
    std::lock_guard lock(m_mutex);
    m_set = false;
}

bool CEvent::IsSet() const {
    std::lock_guard lock(m_mutex);
    return m_set;
}

void CEvent::Wait() {
    std::unique_lock lock(m_mutex);
    m_cv.wait(lock, [&] { return m_set; });
}

bool CEvent::WaitFor(unsigned ms) {
    std::unique_lock lock(m_mutex);
    return m_cv.wait_for(lock, std::chrono::milliseconds(ms), [&] { return m_set; });
}

void CEvent::AddWaiter(Waiter* w) {
    std::lock_guard lock(m_mutex);
    m_waiters.push_back(w);
}

void CEvent::RemoveWaiter(Waiter* w) {
    std::lock_guard lock(m_mutex);
    m_waiters.erase(std::remove(m_waiters.begin(), m_waiters.end(), w), m_waiters.end());
}

int WaitForAny(std::initializer_list<CEvent*> events, long timeoutMs) {
    CEvent::Waiter waiter;
    for (CEvent* e : events) e->AddWaiter(&waiter);
    auto firstSet = [&]() -> int {
        int i = 0;
        for (CEvent* e : events) {
            if (e->IsSet()) return i;
            ++i;
        }
        return -1;
    };
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    int result = -1;
    for (;;) {
        result = firstSet();
        if (result >= 0) break;
        std::unique_lock lock(waiter.mutex);
        if (!waiter.woken) {
            if (timeoutMs < 0) {
                waiter.cv.wait(lock, [&] { return waiter.woken; });
            } else if (!waiter.cv.wait_until(lock, deadline, [&] { return waiter.woken; })) {
                lock.unlock();
                result = firstSet();
                break;
            }
        }
        waiter.woken = false;
    }
    for (CEvent* e : events) e->RemoveWaiter(&waiter);
    return result;
}

}  // namespace vantrel
