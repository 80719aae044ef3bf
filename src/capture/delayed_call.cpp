#include "capture/delayed_call.h"

namespace vantrel {

CDelayedCall::CDelayedCall(std::function<void()> action)
    : m_action(std::move(action)), m_thread([this] { Run(); }) {}

CDelayedCall::~CDelayedCall() {
    {
        std::lock_guard lock(m_mutex);
        m_quit = true;
    }
    m_cv.notify_all();
    m_thread.join();
}

void CDelayedCall::Start(unsigned ms) {
    {
        std::lock_guard lock(m_mutex);
        m_armed = true;
        m_due = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    }
    m_cv.notify_all();
}

void CDelayedCall::Cancel() {
    std::lock_guard lock(m_mutex);
    m_armed = false;
}

void CDelayedCall::Run() {
    std::unique_lock lock(m_mutex);
    while (!m_quit) {
        if (!m_armed) {
            m_cv.wait(lock);
            continue;
        }
        if (m_cv.wait_until(lock, m_due) == std::cv_status::timeout && m_armed && !m_quit &&
            std::chrono::steady_clock::now() >= m_due) {
            m_armed = false;
            lock.unlock();
            m_action();
            lock.lock();
        }
    }
}

}  // namespace vantrel
