#pragma once
// A restartable one-shot timer: Start(ms) (re)arms it; when it runs out,
// the action runs on the timer's own thread. Restarting before it runs out
// pushes the action back, so a burst of starts gives one call.

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace vantrel {

class CDelayedCall {
public:
    explicit CDelayedCall(std::function<void()> action);
    ~CDelayedCall();
    CDelayedCall(const CDelayedCall&) = delete;
    CDelayedCall& operator=(const CDelayedCall&) = delete;

    void Start(unsigned ms);
    void Cancel();

private:
    void Run();

    std::function<void()> m_action;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_armed = false;
    bool m_quit = false;
    std::chrono::steady_clock::time_point m_due;
    std::thread m_thread;
};

}  // namespace vantrel
