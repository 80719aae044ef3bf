// Export of a 1,000,000-record capture: CSV and JSON Lines into a file (the
// whole path: formatting, writes, rename) and into /dev/null (formatting and
// write calls only).

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "export/export_file.h"

namespace vantrel {
namespace {

constexpr size_t kRecords = 1'000'000;

// A capture-like mix: reads and writes, device controls with buffers, power
// and PnP IRPs, a few device objects, one description with a comma.
void Fill(CRecordList& list) {
    static const char* const kDescriptions[] = {"Disk drive", "USB Root Hub, port 2",
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
            c.Status = i % 13 ? 0 : 0xC0000001u;
            for (size_t p = 0; p < rec::ParametersSize; ++p) {
                c.Parameters[p] = static_cast<uint8_t>(i + p);
            }
            if (c.MajorFunction == IRP_MJ_DEVICE_CONTROL) {
                c.SetParam32(par::OutputBufferLength, static_cast<uint32_t>(i % 300));
                c.SetParam32(par::InputBufferLength, static_cast<uint32_t>(i % 64));
                c.SetParam32(par::IoControlCode, 0x2D1400);
                for (size_t b = 0; b < rec::DataSize; ++b) {
                    c.OutputData[b] = static_cast<uint8_t>(b);
                    c.InputData[b] = static_cast<uint8_t>(b * 3);
                }
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

ExportRequest Request(ExportFormat format) {
    ExportRequest request;
    request.format = format;
    request.options.inputBytesKnown = true;  // the live case writes both buffers
    return request;
}

void ToFile(benchmark::State& state, ExportFormat format) {
    const CRecordList& list = Source();
    const std::filesystem::path path = std::filesystem::temp_directory_path() /
                                       ("vantrel_export_bench_" + std::to_string(::getpid()));
    std::string error;
    for (auto _ : state) {
        if (ExportRecordsToFile(path.string(), list, Request(format), &error) !=
            ExportOutcome::Written) {
            state.SkipWithError(error.c_str());
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kRecords));
    state.counters["MB"] = static_cast<double>(std::filesystem::file_size(path)) / 1e6;
    std::filesystem::remove(path);
}

void ToNull(benchmark::State& state, ExportFormat format) {
    const CRecordList& list = Source();
    std::FILE* null = std::fopen("/dev/null", "wb");
    std::string error;
    for (auto _ : state) ExportRecordsToStream(null, "/dev/null", list, Request(format), &error);
    std::fclose(null);
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kRecords));
}

void BM_ExportCsvFile(benchmark::State& state) {
    ToFile(state, ExportFormat::Csv);
}
void BM_ExportJsonLinesFile(benchmark::State& state) {
    ToFile(state, ExportFormat::JsonLines);
}
void BM_ExportCsvNull(benchmark::State& state) {
    ToNull(state, ExportFormat::Csv);
}
void BM_ExportJsonLinesNull(benchmark::State& state) {
    ToNull(state, ExportFormat::JsonLines);
}

BENCHMARK(BM_ExportCsvFile)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ExportJsonLinesFile)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ExportCsvNull)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ExportJsonLinesNull)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
}  // namespace vantrel
