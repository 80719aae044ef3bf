// Records drained from the capture ring into the record list per second.

#include <benchmark/benchmark.h>

#include "capture/drain.h"

namespace vantrel {
namespace {

class OneDevice : public IDeviceDirectory {
public:
    bool FindTexts(uint32_t device, CText& description, CText& name) const override {
        if (device != 0x8123F000) return false;
        description = m_description;
        name = m_name;
        return true;
    }
    CText m_description{"Disk drive"};
    CText m_name{"\\Device\\Harddisk0\\DR0"};
};

// state.range(0): records kept before the list is cleared. Up to the chunk
// memory a cleared list keeps, the list reuses its memory; beyond it every
// record lands on pages fresh from the kernel, which the list's helper
// thread touches ahead of the drain, as in a capture.
void BM_Drain(benchmark::State& state) {
    const size_t keep = static_cast<size_t>(state.range(0));
    CCaptureRing ring;
    for (uint32_t i = 0; i < protocol::kRingSlots; ++i) {
        IRP_CAPTURE_RECORD c;
        c.DeviceObject = 0x8123F000;
        c.MajorFunction = i % 28;
        c.StartTime = 1000;
        c.EndTime = 1000 + 2400 * i;
        c.Parameters[0] = static_cast<uint8_t>(i);
        c.Write(ring.DriverSlot(i));
    }
    OneDevice devices;
    DrainContext context;
    context.processorSpeed = 2400;
    context.devices = &devices;
    CRingDrain drain;
    auto list = std::make_unique<CRecordList>();
    list->EnablePrefetch();
    uint64_t total = 0;
    uint32_t write = 0;
    for (auto _ : state) {
        // The driver fills 199 slots; the drain takes them all.
        write = (write + 199) % protocol::kRingSlots;
        ring.DriverSetWriteIndex(write);
        total += drain.Drain(ring, *list, context);
        if (list->Size() > keep) {
            state.PauseTiming();
            list->Clear();
            state.ResumeTiming();
        }
    }
    state.SetItemsProcessed(static_cast<int64_t>(total));
    state.SetBytesProcessed(static_cast<int64_t>(total * protocol::kRecordSize));
}
BENCHMARK(BM_Drain)->Arg(400'000)->Arg(4'000'000);

}  // namespace
}  // namespace vantrel
