// Throughput of the simulated driver: the IRP generator alone, and the
// driver thread writing into the ring at the unlimited rate while a
// consumer drains it the way the capture thread does.

#include <benchmark/benchmark.h>

#include <atomic>
#include <memory>

#include "driver/irp_generator.h"
#include "driver/simulated_driver.h"
#include "platform/event.h"
#include "platform/handle_table.h"
#include "record/driver_device.h"
#include "record/le.h"
#include "record/protocol.h"

namespace {

using namespace vantrel;
namespace pr = protocol;

void BM_IrpStreamNext(benchmark::State& state) {
    const SimDevice& disk = SimulatedDevices().front();
    CIrpStream stream(disk, 1, 2400);
    stream.SetMask(0x0FFFFFFF);
    alignas(64) uint8_t slot[pr::kRecordSize];
    for (auto _ : state) {
        stream.Next(slot);
        benchmark::DoNotOptimize(slot);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_IrpStreamNext);

struct Ring {
    alignas(64) uint8_t bytes[pr::kRingSize] = {};
    uint32_t handle = RegisterRingHandle(bytes);
    ~Ring() { UnregisterHandle(handle); }
};

// Records per second through the ring: the consumer copies every slot out
// (as the drain does) and advances ReadIndex once per drain.
void BM_DriverToRingMaxRate(benchmark::State& state) {
    const int devices = static_cast<int>(state.range(0));
    SimulatedDriverOptions options;
    options.rate = 0;
    CSimulatedDriverSession session(options);
    auto driver = session.Opener()(pr::kDevicePath);
    auto ring = std::make_unique<Ring>();
    CEvent dataReady;
    const uint32_t eventHandle = RegisterEventHandle(&dataReady);
    uint8_t b[32] = {};
    le::Put32(b, pr::kCaptureMode);
    le::Put32(b + 8, eventHandle);
    driver->DeviceIoControl(pr::IOCTL_SETMODE, b, 12, 12);
    le::Put32(b, 2);
    le::Put32(b + 4, ring->handle);
    driver->DeviceIoControl(pr::IOCTL_INITBUFF, b, 8, 8);
    for (int i = 0; i < devices; ++i) {
        std::fill(b, b + 32, 0);
        le::Put32(b, SimulatedDevices()[i].deviceObject);
        std::fill(b + 4, b + 32, 1);
        driver->DeviceIoControl(pr::IOCTL_ACTIVATE_FILTER, b, 32, 32);
    }
    std::atomic_ref readRef(*reinterpret_cast<uint32_t*>(ring->bytes + pr::kRingReadIndex));
    std::atomic_ref writeRef(*reinterpret_cast<uint32_t*>(ring->bytes + pr::kRingWriteIndex));
    IRP_CAPTURE_RECORD record;
    uint64_t taken = 0;
    for (auto _ : state) {
        // One drain per iteration; wait for data first.
        uint32_t r = readRef.load(std::memory_order_relaxed);
        uint32_t w = writeRef.load(std::memory_order_acquire);
        while (r == w) {
            dataReady.WaitFor(10);
            dataReady.Reset();
            w = writeRef.load(std::memory_order_acquire);
        }
        while (r != w) {
            record.Read(ring->bytes + pr::RingSlotOffset(r));
            benchmark::DoNotOptimize(record);
            r = r + 1 == pr::kRingSlots ? 0 : r + 1;
            ++taken;
        }
        readRef.store(r, std::memory_order_release);
    }
    state.SetItemsProcessed(static_cast<int64_t>(taken));
    state.counters["dropped"] = static_cast<double>(session.Stats().dropped);
    driver.reset();
    UnregisterHandle(eventHandle);
}
BENCHMARK(BM_DriverToRingMaxRate)->Arg(1)->Arg(13)->UseRealTime();

}  // namespace
