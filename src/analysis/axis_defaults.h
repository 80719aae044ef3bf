#pragma once
// Process-wide default axis maxima of the latency graph and the filter
// ticks, shared by the graph page, the capture reset, the text output (Y
// growth) and the test file.

#include <atomic>
#include <cstdint>
#include <functional>

namespace vantrel {

class CAxisDefaults {
public:
    static constexpr int32_t kInitialMaxX = 100;
    static constexpr int32_t kInitialMaxY = 10;

    static CAxisDefaults& Instance();

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
    // latency, it becomes trunc(latency + 10) and the observer (the graph's
    // maximum-Y setter) hears the new value. Called on the printing thread.
    void GrowY(float latency);
    // The observer is called on the thread that grows the range; empty: none.
    void SetMaxYObserver(std::function<void(int32_t)> observer);

private:
    std::atomic<int32_t> m_maxX{kInitialMaxX};
    std::atomic<int32_t> m_maxY{kInitialMaxY};
    std::atomic<uint32_t> m_startTick{0};
    std::atomic<uint32_t> m_stopTick{0};
    std::function<void(int32_t)> m_observer;
    std::atomic<bool> m_hasObserver{false};
};

}  // namespace vantrel
