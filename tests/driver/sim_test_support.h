#pragma once
// The application's side of the simulated driver for the driver tests: a
// ring and an event with their handles, the control requests, a consumer
// that drains like the capture thread, and a session with the driver it
// opened.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <vector>

#include "driver/simulated_driver.h"
#include "platform/event.h"
#include "platform/handle_table.h"
#include "record/le.h"
#include "record/protocol.h"

namespace vantrel::simtest {

namespace pr = protocol;
using namespace std::chrono_literals;

inline constexpr uint32_t kDisk = 0x8A3E6030;
inline constexpr uint32_t kSerial = 0x8A4C2D10;
inline constexpr uint32_t kBusDevice = 0x8A3A9E40;

// The application's side of the ring, as the capture thread uses it.
struct Ring {
    alignas(64) uint8_t bytes[pr::kRingSize] = {};
    uint32_t handle = RegisterRingHandle(bytes);
    ~Ring() { UnregisterHandle(handle); }
    std::atomic_ref<uint32_t> Word(size_t off) {
        return std::atomic_ref(*reinterpret_cast<uint32_t*>(bytes + off));
    }
    uint32_t ReadIndex() { return Word(pr::kRingReadIndex).load(std::memory_order_acquire); }
    uint32_t WriteIndex() { return Word(pr::kRingWriteIndex).load(std::memory_order_acquire); }
    size_t Drain(std::vector<IRP_CAPTURE_RECORD>& out) {
        uint32_t r = ReadIndex();
        const uint32_t w = WriteIndex();
        size_t n = 0;
        while (r != w) {
            IRP_CAPTURE_RECORD rec;
            rec.Read(bytes + pr::RingSlotOffset(r));
            out.push_back(rec);
            r = (r + 1) % pr::kRingSlots;
            ++n;
        }
        Word(pr::kRingReadIndex).store(r, std::memory_order_release);
        return n;
    }
};

struct Event {
    CEvent event;
    uint32_t handle = RegisterEventHandle(&event);
    ~Event() { UnregisterHandle(handle); }
};

inline bool Send(IDriverDevice& d, uint32_t code, uint8_t* b) {
    const uint32_t n = pr::IoctlBufferLength(code);
    return d.DeviceIoControl(code, b, n, n);
}

inline bool SetMode(IDriverDevice& d, uint32_t event, uint32_t mode = 3) {
    uint8_t b[12] = {};
    le::Put32(b, mode);
    le::Put32(b + 8, event);
    return Send(d, pr::IOCTL_SETMODE, b);
}

inline bool InitBuff(IDriverDevice& d, uint32_t ring, uint32_t count = 2) {
    uint8_t b[8] = {};
    le::Put32(b, count);
    le::Put32(b + 4, ring);
    return Send(d, pr::IOCTL_INITBUFF, b);
}

inline bool Activate(IDriverDevice& d, uint32_t deviceObject, uint32_t mask) {
    uint8_t b[32] = {};
    le::Put32(b, deviceObject);
    for (int i = 0; i < 28; ++i) b[4 + i] = (mask >> i) & 1;
    return Send(d, pr::IOCTL_ACTIVATE_FILTER, b);
}

// Consumes until `count` records arrived (or 10 s passed).
inline std::vector<IRP_CAPTURE_RECORD> Collect(Ring& ring, Event& ev, size_t count) {
    std::vector<IRP_CAPTURE_RECORD> out;
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (out.size() < count && std::chrono::steady_clock::now() < deadline) {
        ev.event.WaitFor(50);
        ev.event.Reset();
        ring.Drain(out);
    }
    return out;
}

inline SimulatedDriverOptions MaxRate(uint64_t seed = 1) {
    SimulatedDriverOptions o;
    o.rate = 0;
    o.seed = seed;
    return o;
}

// A session and the driver it opened.
struct Sim {
    explicit Sim(SimulatedDriverOptions options)
        : session(std::move(options)), device(session.Opener()(pr::kDevicePath)) {}
    CSimulatedDriverSession session;
    std::unique_ptr<IDriverDevice> device;
    IDriverDevice& operator*() { return *device; }
    IDriverDevice* operator->() { return device.get(); }
    SimulatedDriverStats Stats() const { return session.Stats(); }
};

}  // namespace vantrel::simtest
