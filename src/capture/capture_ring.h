#pragma once
// The capture ring: a 16-byte header and 200 slots of one capture record
// each, in the application's memory. The driver alone writes `WriteIndex`
// and the slots; the application alone writes `ReadIndex` and `Signalled`.
// Each document owns one ring, with the data-ready event the driver sets; the
// driver keeps the ring's address, so the owner closes the driver before it
// lets the ring go.

#include <atomic>
#include <cstdint>

#include "platform/event.h"
#include "record/le.h"
#include "record/protocol.h"

namespace vantrel {

class CCaptureRing {
public:
    CCaptureRing();
    ~CCaptureRing();
    CCaptureRing(const CCaptureRing&) = delete;
    CCaptureRing& operator=(const CCaptureRing&) = delete;

    uint8_t* Base() { return m_bytes; }
    const uint8_t* Base() const { return m_bytes; }
    // Handles the driver receives through IOCTL_INITBUFF and IOCTL_SETMODE.
    uint32_t RingHandle() const { return m_ringHandle; }
    uint32_t DataReadyHandle() const { return m_eventHandle; }
    CEvent& DataReady() { return m_dataReady; }

    uint32_t ReadIndex() const {
        return Word(protocol::kRingReadIndex).load(std::memory_order_relaxed);
    }
    void SetReadIndex(uint32_t v) {
        Word(protocol::kRingReadIndex).store(v, std::memory_order_release);
    }
    uint32_t WriteIndex() const {
        return Word(protocol::kRingWriteIndex).load(std::memory_order_acquire);
    }
    void SetSignalled(uint32_t v) {
        Word(protocol::kRingSignalled).store(v, std::memory_order_release);
    }
    uint32_t Signalled() const {
        return Word(protocol::kRingSignalled).load(std::memory_order_acquire);
    }
    // Slot i (0 to 199).
    const uint8_t* Slot(uint32_t i) const { return m_bytes + protocol::RingSlotOffset(i); }

    // For tests that play the driver.
    uint8_t* DriverSlot(uint32_t i) { return m_bytes + protocol::RingSlotOffset(i); }
    void DriverSetWriteIndex(uint32_t v) {
        Word(protocol::kRingWriteIndex).store(v, std::memory_order_release);
    }
    // Both indices and Signalled back to 0 (no driver may be writing).
    void ResetIndices();

private:
    std::atomic_ref<uint32_t> Word(size_t offset) const {
        return std::atomic_ref<uint32_t>(
            *reinterpret_cast<uint32_t*>(const_cast<uint8_t*>(m_bytes) + offset));
    }

    alignas(64) uint8_t m_bytes[protocol::kRingSize] = {};
    CEvent m_dataReady;
    uint32_t m_ringHandle = 0;
    uint32_t m_eventHandle = 0;
};

}  // namespace vantrel
