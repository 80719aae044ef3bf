// Painting 1,000,000 stored points at 1920 x 1080 into an image, as the
// graph widget does on a resize or after a refresh.

#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <random>

#include "plot/graph_painter.h"

namespace vantrel {
namespace {

constexpr int kPoints = 1'000'000;

void EnsureApp() {
    static int argc = 1;
    static char name[] = "plot_bench";
    static char* argv[] = {name, nullptr};
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication app(argc, argv);
}

// Capture-like: arrival spread over the whole X axis, latencies mostly low
// with a long tail (the cells along the bottom are crowded, the top sparse).
void FillCaptureLike(CGraphModel& m) {
    std::mt19937 rng(4);
    std::exponential_distribution<double> latency(0.8);
    std::uniform_real_distribution<double> when(0.0, 100.0);
    for (int i = 0; i < kPoints; ++i) m.AddPoint(when(rng), latency(rng), i % 13 ? 2 : 1, i);
}

// The worst case: points spread evenly over the whole raster, about 570,000
// occupied cells.
void FillUniform(CGraphModel& m) {
    std::mt19937 rng(4);
    std::uniform_real_distribution<double> x(0.0, 100.0), y(0.0, 10.0);
    for (int i = 0; i < kPoints; ++i) m.AddPoint(x(rng), y(rng), i % 13 ? 2 : 1, i);
}

void BM_PaintGraph(benchmark::State& state) {
    EnsureApp();
    CGraphModel model(
        GraphTexts{"IRP Latencies vs. Filter Duration", "Filter Duration (%)", "IRP Latency (ms)"},
        1);
    model.SetLimits(100, 10, 0, 0);
    if (state.range(0) == 0)
        FillCaptureLike(model);
    else
        FillUniform(model);
    QImage image(1920, 1080, QImage::Format_RGB32);
    CGraphPainter painter;
    for (auto _ : state) {
        QPainter p(&image);
        painter.Paint(p, model, image.width(), image.height(), GraphPaintStyle{});
    }
    state.counters["stored"] = static_cast<double>(model.PointCount());
    state.counters["drawn"] = static_cast<double>(painter.LastDrawnCount());
}
BENCHMARK(BM_PaintGraph)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace vantrel
