#include "record/irp_record.h"

namespace vantrel {

float ComputeLatency(uint64_t startTime, uint64_t endTime, uint32_t processorSpeed) {
    if (processorSpeed == 0) return 0.0f;
    const int64_t ticks = static_cast<int64_t>(endTime - startTime);
    const float micro = static_cast<float>(ticks) / static_cast<float>(static_cast<int32_t>(processorSpeed));
    return micro * 0.001f;
}

}  // namespace vantrel
