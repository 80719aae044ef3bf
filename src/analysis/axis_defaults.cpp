#include "analysis/axis_defaults.h"

#include <cmath>
#include <limits>

namespace vantrel {

void CAxisDefaults::Reset() {
    m_maxX.store(kInitialMaxX, std::memory_order_relaxed);
    m_maxY.store(kInitialMaxY, std::memory_order_relaxed);
}

std::optional<int32_t> CAxisDefaults::GrowY(float latency) {
    int32_t current = m_maxY.load(std::memory_order_relaxed);
    if (!(static_cast<float>(current) < latency)) return std::nullopt;
    const double grown = std::trunc(static_cast<double>(latency) + 10.0);
    const int32_t next = grown >= static_cast<double>(std::numeric_limits<int32_t>::max())
                             ? std::numeric_limits<int32_t>::max()
                             : static_cast<int32_t>(grown);
    while (static_cast<float>(current) < latency) {
        if (m_maxY.compare_exchange_weak(current, next, std::memory_order_relaxed)) return next;
    }
    return std::nullopt;
}

}  // namespace vantrel
