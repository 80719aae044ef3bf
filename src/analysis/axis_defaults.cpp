#include "analysis/axis_defaults.h"

#include <cmath>
#include <limits>
#include <mutex>

namespace vantrel {
namespace {
std::mutex g_observerMutex;
}

CAxisDefaults& CAxisDefaults::Instance() {
    static CAxisDefaults instance;
    return instance;
}

void CAxisDefaults::Reset() {
    m_maxX.store(kInitialMaxX, std::memory_order_relaxed);
    m_maxY.store(kInitialMaxY, std::memory_order_relaxed);
}

void CAxisDefaults::GrowY(float latency) {
    int32_t current = m_maxY.load(std::memory_order_relaxed);
    if (!(static_cast<float>(current) < latency)) return;  // NaN never grows the range
    const double grown = std::trunc(static_cast<double>(latency) + 10.0);
    const int32_t next = grown >= static_cast<double>(std::numeric_limits<int32_t>::max())
                             ? std::numeric_limits<int32_t>::max()
                             : static_cast<int32_t>(grown);
    while (static_cast<float>(current) < latency) {
        if (m_maxY.compare_exchange_weak(current, next, std::memory_order_relaxed)) {
            if (m_hasObserver.load(std::memory_order_acquire)) {
                std::lock_guard lock(g_observerMutex);
                if (m_observer) m_observer(next);
            }
            return;
        }
    }
}

void CAxisDefaults::SetMaxYObserver(std::function<void(int32_t)> observer) {
    std::lock_guard lock(g_observerMutex);
    m_observer = std::move(observer);
    m_hasObserver.store(static_cast<bool>(m_observer), std::memory_order_release);
}

}  // namespace vantrel
