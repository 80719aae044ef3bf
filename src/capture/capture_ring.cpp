#include "capture/capture_ring.h"

#include "platform/handle_table.h"

namespace vantrel {

static_assert(protocol::kRingReadIndex % 4 == 0 && protocol::kRingWriteIndex % 4 == 0);

CCaptureRing::CCaptureRing()
    : m_ringHandle(RegisterRingHandle(m_bytes)), m_eventHandle(RegisterEventHandle(&m_dataReady)) {}

CCaptureRing::~CCaptureRing() {
    UnregisterHandle(m_ringHandle);
    UnregisterHandle(m_eventHandle);
}

void CCaptureRing::ResetIndices() {
    Word(protocol::kRingReadIndex).store(0, std::memory_order_relaxed);
    Word(protocol::kRingWriteIndex).store(0, std::memory_order_relaxed);
    Word(protocol::kRingSignalled).store(0, std::memory_order_release);
}

}  // namespace vantrel
