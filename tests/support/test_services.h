#pragma once
// The clock and the debugger output that a test gives the code under test in
// place of the machine's.

#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/debug_output.h"
#include "platform/tick.h"

namespace vantrel::testing {

// A clock whose tick count and local time the test may fix; what it has not
// fixed comes from the machine's clock. Any thread may read it.
class TestClock final : public IClock {
public:
    uint32_t TickCount() const override {
        std::lock_guard lock(m_mutex);
        return m_tick ? *m_tick : SystemClock().TickCount();
    }
    LocalTime LocalNow() const override {
        std::lock_guard lock(m_mutex);
        return m_local ? *m_local : SystemClock().LocalNow();
    }
    void FixTick(uint32_t tick) {
        std::lock_guard lock(m_mutex);
        m_tick = tick;
    }
    void FixLocal(LocalTime local) {
        std::lock_guard lock(m_mutex);
        m_local = local;
    }

private:
    mutable std::mutex m_mutex;
    std::optional<uint32_t> m_tick;
    std::optional<LocalTime> m_local;
};

// Keeps every debugger-output line, from any thread. Must outlive the
// CDebugOutput objects made from it.
class RecordedDebugOutput {
public:
    CDebugOutput Output() {
        return CDebugOutput([this](std::string_view line) {
            std::lock_guard lock(m_mutex);
            m_lines.emplace_back(line);
        });
    }
    std::vector<std::string> Lines() const {
        std::lock_guard lock(m_mutex);
        return m_lines;
    }
    std::string Text() const {
        std::lock_guard lock(m_mutex);
        std::string all;
        for (const std::string& line : m_lines) all += line;
        return all;
    }

private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_lines;
};

}  // namespace vantrel::testing
