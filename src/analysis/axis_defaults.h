#pragma once
// The default axis maxima of the latency graph and the filter ticks of the
// document: shared by the graph page, the capture reset, the printing
// thread (Y growth) and the test file. Every member is atomic: the printing
// thread grows the Y maximum while the GUI thread reads and resets them.

#include <atomic>
#include <cstdint>
#include <optional>

namespace vantrel {

class CAxisDefaults {
public:
    static constexpr int32_t kInitialMaxX = 100;
    static constexpr int32_t kInitialMaxY = 10;

    int32_t MaxX() const { return m_maxX.load(std::memory_order_relaxed); }
    int32_t MaxY() const { return m_maxY.load(std::memory_order_relaxed); }
    void SetMaxX(int32_t v) { m_maxX.store(v, std::memory_order_relaxed); }
    void SetMaxY(int32_t v) { m_maxY.store(v, std::memory_order_relaxed); }
    // Back to 100 and 10 (the capture reset).
    void Reset();

    uint32_t FilterStartTick() const { return m_startTick.load(std::memory_order_relaxed); }
    uint32_t FilterStopTick() const { return m_stopTick.load(std::memory_order_relaxed); }
    void SetFilterStartTick(uint32_t t) { m_startTick.store(t, std::memory_order_relaxed); }
    void SetFilterStopTick(uint32_t t) { m_stopTick.store(t, std::memory_order_relaxed); }

    // Y range growth: when the default maximum Y, as a float, is below the
    // latency, it becomes trunc(latency + 10) (saturating at INT32_MAX) and
    // the new value is returned, for the graph's maximum Y. NaN never grows.
    std::optional<int32_t> GrowY(float latency);

private:
    std::atomic<int32_t> m_maxX{kInitialMaxX};
    std::atomic<int32_t> m_maxY{kInitialMaxY};
    std::atomic<uint32_t> m_startTick{0};
    std::atomic<uint32_t> m_stopTick{0};
};

}  // namespace vantrel
