// Store and load of a 1,000,000-record test held in memory.

#include <benchmark/benchmark.h>

#include <string>

#include "record/test_file.h"

namespace vantrel {
namespace {

constexpr size_t kRecords = 1'000'000;

// A capture-like mix: reads and writes, device controls with output bytes,
// power and PnP IRPs, a handful of device objects.
void Fill(CRecordList& list) {
    static const char* const kDescriptions[] = {"Disk drive", "USB Root Hub",
                                                "Standard PS/2 Keyboard", "Network adapter"};
    static const char* const kNames[] = {"\\Device\\Harddisk0\\DR0", "\\Device\\USBPDO-3",
                                         "\\Device\\KeyboardClass0", "\\Device\\NDMP4"};
    static const uint32_t kMajors[] = {IRP_MJ_READ,           IRP_MJ_WRITE,  IRP_MJ_READ,
                                       IRP_MJ_DEVICE_CONTROL, IRP_MJ_CREATE, IRP_MJ_CLOSE,
                                       IRP_MJ_POWER,          IRP_MJ_PNP};
    CText descriptions[4], names[4];
    for (int i = 0; i < 4; ++i) {
        descriptions[i] = CText(kDescriptions[i]);
        names[i] = CText(kNames[i]);
    }
    for (size_t i = 0; i < kRecords; ++i) {
        list.AppendWith([&](CIrpRecord& r) {
            IRP_CAPTURE_RECORD& c = r.GetCapture();
            const size_t dev = (i * 7) % 4;
            c.DeviceObject = 0x81234000u + static_cast<uint32_t>(dev) * 0x100;
            c.MajorFunction = kMajors[i % 8];
            c.MinorFunction = c.MajorFunction == IRP_MJ_POWER ? uint32_t{IRP_MN_SET_POWER}
                              : c.MajorFunction == IRP_MJ_PNP ? uint32_t{IRP_MN_QUERY_CAPABILITIES}
                                                              : 0;
            c.StartTime = 1'000'000 + i * 1000;
            c.EndTime = c.StartTime + (i % 97) * 31;
            c.Status = i % 13 ? 0 : 0xC0000001u;
            for (size_t p = 0; p < rec::ParametersSize; ++p)
                c.Parameters[p] = static_cast<uint8_t>(i + p);
            if (c.MajorFunction == IRP_MJ_DEVICE_CONTROL) {
                c.SetParam32(par::OutputBufferLength, static_cast<uint32_t>(i % 300));
                c.SetParam32(par::IoControlCode, 0x2D1400);
                for (size_t b = 0; b < rec::DataSize; ++b)
                    c.OutputData[b] = static_cast<uint8_t>(b);
            }
            r.SetLatency(static_cast<float>(i % 97) * 0.031f);
            r.SetTickCount(static_cast<uint32_t>(5000 + i / 10));
            r.SetDescription(descriptions[dev]);
            r.SetObjectName(names[dev]);
        });
    }
}

const CRecordList& Source() {
    // Filled once and only read afterwards; kept to the end of the process.
    static const CRecordList* const list = [] {
        auto* l = new CRecordList;
        Fill(*l);
        return l;
    }();
    return *list;
}

// Each store writes into a fresh string (fresh memory, as a save does).
void BM_StoreTestFile(benchmark::State& state) {
    const CRecordList& list = Source();
    size_t size = 0;
    for (auto _ : state) {
        std::string out;
        StoreTestFile({10, 1, 2, 0}, list, out);
        benchmark::DoNotOptimize(out.data());
        size = out.size();
        state.PauseTiming();
        out = std::string();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kRecords));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
    state.counters["file_MB"] = static_cast<double>(size) / 1e6;
}
BENCHMARK(BM_StoreTestFile)->Unit(benchmark::kMillisecond)->UseRealTime();

// Each load fills a fresh list (fresh memory, as opening a test does).
void BM_LoadTestFile(benchmark::State& state) {
    std::string bytes;
    StoreTestFile({10, 1, 2, 0}, Source(), bytes);
    for (auto _ : state) {
        CRecordList list;
        TestFileHeader header;
        std::string error;
        if (!LoadTestBytes(bytes, "bench", header, list, &error))
            state.SkipWithError(error.c_str());
        benchmark::DoNotOptimize(list.Size());
        state.PauseTiming();
        list.Clear();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kRecords));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}
BENCHMARK(BM_LoadTestFile)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace vantrel
