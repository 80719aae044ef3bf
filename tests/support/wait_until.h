#pragma once
// Waiting for a condition that another thread brings about, instead of
// sleeping for a time that is too long on a quiet machine and too short on a
// busy one.

#include <chrono>
#include <thread>

namespace vantrel::testing {

// Looks at `done` every millisecond until it holds (true) or `limit` has
// passed (false).
template <class Condition>
bool WaitUntil(Condition done, std::chrono::milliseconds limit = std::chrono::seconds(30)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

}  // namespace vantrel::testing
