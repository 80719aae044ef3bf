// Text blocks per second on one core: a read with every output line on, and
// a device control (all lines on, no template sections).
#include <benchmark/benchmark.h>

#include <string>

#include "decode/text_block.h"

namespace {

using namespace vantrel;

CIrpRecord MakeRecord(uint32_t major) {
    IRP_CAPTURE_RECORD c;
    c.DeviceObject = 0x81a2b3c0;
    c.MajorFunction = major;
    c.Status = 0;
    if (major == IRP_MJ_READ) {
        c.SetParam32(par::Length, 4096);
        c.SetParam32(par::ByteOffsetLow, 0x7f000);
    } else {
        c.SetParam32(par::OutputBufferLength, 64);
        c.SetParam32(par::InputBufferLength, 16);
        c.SetParam32(par::IoControlCode, 0x0022020C);
    }
    CIrpRecord r(c);
    r.SetLatency(1.2345f);
    r.SetDescription("Disk drive (ATA) on port 0");
    r.SetObjectName("\\Device\\Harddisk0\\DR0");
    return r;
}

void Run(benchmark::State& state, uint32_t major) {
    const CIrpRecord record = MakeRecord(major);
    OutputSettings settings;  // every line on
    std::string out;
    out.reserve(4096);
    for (auto _ : state) {
        out.clear();
        FormatRecord(record, settings, out);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["bytes/block"] = static_cast<double>(out.size());
}

void BM_FormatRead(benchmark::State& state) { Run(state, IRP_MJ_READ); }
void BM_FormatDeviceControl(benchmark::State& state) { Run(state, IRP_MJ_DEVICE_CONTROL); }

BENCHMARK(BM_FormatRead);
BENCHMARK(BM_FormatDeviceControl);

}  // namespace
