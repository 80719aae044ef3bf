// Statistics and the Graph View refresh over 1,000,000 records, and the
// graph's hit test over 1,000,000 stored points.

#include <benchmark/benchmark.h>

#include <random>

#include "analysis/graph_refresh.h"
#include "analysis/statistics.h"

namespace vantrel {
namespace {

constexpr size_t kRecords = 1'000'000;
constexpr uint32_t kStartTick = 5000;
constexpr uint32_t kStopTick = kStartTick + 600'000;  // ten minutes of capture

// A capture-like mix: several devices, the usual majors, one failure in
// thirteen, latencies mostly well under a millisecond with a long tail.
void Fill(CRecordList& list) {
    static const uint32_t kMajors[] = {IRP_MJ_READ,           IRP_MJ_WRITE,  IRP_MJ_READ,
                                       IRP_MJ_DEVICE_CONTROL, IRP_MJ_CREATE, IRP_MJ_CLOSE,
                                       IRP_MJ_POWER,          IRP_MJ_PNP};
    const CText names[] = {CText("\\Device\\Harddisk0\\DR0"), CText("\\Device\\USBPDO-3"),
                           CText("\\Device\\KeyboardClass0"), CText("\\Device\\NDMP4")};
    std::mt19937 rng(3);
    std::exponential_distribution<float> latency(2.0f);
    for (size_t i = 0; i < kRecords; ++i) {
        list.AppendWith([&](CIrpRecord& r) {
            IRP_CAPTURE_RECORD& c = r.GetCapture();
            const size_t dev = (i * 7) % 4;
            c.DeviceObject = 0x81234000u + static_cast<uint32_t>(dev) * 0x100;
            c.MajorFunction = kMajors[i % 8];
            c.Status = i % 13 ? 0 : 0xC0000001u;
            c.SetParam32(par::IoControlCode, 0x2D1400 + static_cast<uint32_t>(i % 3) * 4);
            r.SetLatency(latency(rng));
            r.SetTickCount(kStartTick + static_cast<uint32_t>(i * 600 / 1000));
            r.SetObjectName(names[dev]);
        });
    }
}

const CRecordList& Records() {
    // Filled once and only read afterwards; kept to the end of the process.
    static const CRecordList* const list = [] {
        auto* l = new CRecordList;
        Fill(*l);
        return l;
    }();
    return *list;
}

// The columns as a page keeps them: brought up to date before the loop.
CRecordColumns& WarmColumns() {
    // The benchmarks run one at a time on one thread, each after the last.
    // NOLINTNEXTLINE(cppcoreguidelines-avoid-non-const-global-variables)
    static CRecordColumns* const columns = [] {
        auto* c = new CRecordColumns;
        c->Update(Records());
        return c;
    }();
    return *columns;
}

void BM_Statistics(benchmark::State& state) {
    const bool extended = state.range(0) != 0;
    CRecordColumns& columns = WarmColumns();
    CStatisticsCalculator calculator;
    for (auto _ : state) {
        columns.Update(Records());  // nothing new: a check of the size
        StatisticsTable t = calculator.Compute(columns, RecordSelection{}, extended);
        benchmark::DoNotOptimize(t);
    }
}
BENCHMARK(BM_Statistics)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_StatisticsSelectedIoctl(benchmark::State& state) {
    CRecordColumns& columns = WarmColumns();
    CStatisticsCalculator calculator;
    RecordSelection s;
    s.allDevices = false;
    s.device = 0x81234000u;
    s.ioctlFilter = true;
    s.ioctl.code = 0x2D1404;
    s.ioctl.objectName = "\\Device\\Harddisk0\\DR0";
    for (auto _ : state) {
        StatisticsTable t = calculator.Compute(columns, s, true);
        benchmark::DoNotOptimize(t);
    }
}
BENCHMARK(BM_StatisticsSelectedIoctl)->Unit(benchmark::kMillisecond)->UseRealTime();

// The first computation after a test file of a million records was loaded:
// the columns are filled from the records (memory already touched once).
void BM_ColumnsFromScratch(benchmark::State& state) {
    CRecordColumns columns;
    CRecordList other;
    for (auto _ : state) {
        columns.Update(other);  // another list: the next update starts over
        columns.Update(Records());
        benchmark::DoNotOptimize(columns.Size());
    }
}
BENCHMARK(BM_ColumnsFromScratch)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_GraphViewRefresh(benchmark::State& state) {
    CRecordColumns& columns = WarmColumns();
    CGraphModel model(GraphViewTexts(), kGraphViewOptions);
    model.SetLimits(100, 10, 0, 0);
    for (auto _ : state) {
        RefreshGraph(columns, Records(), RecordSelection{}, {kStartTick, kStopTick}, 0, model);
        benchmark::DoNotOptimize(model.SampleCount());
    }
    state.counters["stored"] = static_cast<double>(model.PointCount());
}
BENCHMARK(BM_GraphViewRefresh)->Unit(benchmark::kMillisecond)->UseRealTime();

// A double-click far from every point: the whole list is searched.
void BM_HitTestMiss(benchmark::State& state) {
    CGraphModel model;
    model.SetLimits(1024, 768, 0, 0);
    std::mt19937 rng(9);
    for (int i = 0; i < 1'000'000; ++i)
        model.AddPoint(rng() % 1000, rng() % 700, 2, i);  // nothing within 7 of (1020, 760)
    const GraphGeometry surface{1920, 1080};
    const int x = surface.SurfaceX(1023), y = surface.SurfaceY(767);
    for (auto _ : state) benchmark::DoNotOptimize(model.HitTest(x, y, surface));
}
BENCHMARK(BM_HitTestMiss)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace
}  // namespace vantrel
