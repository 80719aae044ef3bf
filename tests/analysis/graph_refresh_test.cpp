#include "analysis/graph_refresh.h"

#include <gtest/gtest.h>

#include <atomic>
#include <limits>
#include <optional>
#include <thread>

#include "analysis/axis_defaults.h"
#include "analysis/record_builder.h"

namespace vantrel {
namespace {

using test::Add;
using test::Rec;

// A Graph View model as the page sets it up: 0-100 and 0-10.
struct Fixture {
    CGraphModel model{GraphViewTexts(), kGraphViewOptions};
    CRecordColumns columns;
    CRecordList list;
    Fixture() { model.SetLimits(100, 10, 0, 0); }
    void Refresh(const RecordSelection& s, FilterTicks t, uint32_t now) {
        RefreshGraph(columns, list, s, t, now, model);
    }
};

TEST(GraphRefreshTest, XIsThePercentOfTheActivePeriodAtRefreshTime) {
    Fixture f;
    Add(f.list, Rec().Latency(5.0f).Tick(1000 + 2500));
    // Filter active since tick 1000: 10 s later the IRP is at 25 %, 20 s
    // later at 12.5 %.
    f.Refresh({}, {1000, 0}, 1000 + 10000);
    ASSERT_EQ(f.model.PointCount(), 1u);
    EXPECT_EQ(f.model.PointAt(0).x, 256);
    EXPECT_EQ(f.model.PointAt(0).y, 384);
    f.Refresh({}, {1000, 0}, 1000 + 20000);
    EXPECT_EQ(f.model.PointAt(0).x, 128);
    // Once the filter is removed, the time of the refresh no longer matters.
    f.Refresh({}, {1000, 11000}, 99999);
    EXPECT_EQ(f.model.PointAt(0).x, 256);
    f.Refresh({}, {1000, 11000}, 5);
    EXPECT_EQ(f.model.PointAt(0).x, 256);
}

TEST(GraphRefreshTest, TickDifferencesWrapAroundLikeTheTickCount) {
    EXPECT_EQ(FilterDurationPercent(0x00000800, {0xFFFFF000, 0}, 0x00001000), 75.0f);
    // Ticks are converted to single precision before the division.
    EXPECT_EQ(FilterDurationPercent(16777217, {0, 33554432}, 0), 50.0f);
}

TEST(GraphRefreshTest, ColourTagAndSampleCount) {
    Fixture f;
    Add(f.list, Rec().Device(1).Status(0).Latency(1).Tick(10));
    Add(f.list, Rec().Device(2).Status(0x103).Latency(2).Tick(20));
    Add(f.list, Rec().Device(1).Status(0xC0000001).Latency(3).Tick(30));
    Add(f.list, Rec().Device(1).Status(0).Latency(50).Tick(40));  // above 10 ms
    Add(f.list, Rec().Device(2).Status(0).Latency(4).Tick(50));

    f.Refresh({}, {0, 100}, 0);
    EXPECT_EQ(f.model.SampleCount(), 5);
    ASSERT_EQ(f.model.PointCount(), 4u);
    EXPECT_EQ(f.model.PointAt(1).type, kGraphPointRed) << "STATUS_PENDING plots red";
    EXPECT_EQ(f.model.PointAt(0).type, kGraphPointBlue);

    RecordSelection device1;
    device1.allDevices = false;
    device1.device = 1;
    f.Refresh(device1, {0, 100}, 0);
    EXPECT_EQ(f.model.SampleCount(), 3) << "points outside the limits still count";
    ASSERT_EQ(f.model.PointCount(), 2u);
    EXPECT_EQ(f.model.PointAt(0).data, 0);
    EXPECT_EQ(f.model.PointAt(1).data, 2) << "tag = position in the full list";
    EXPECT_EQ(f.model.PointAt(1).type, kGraphPointRed);

    RecordSelection none;
    none.allDevices = false;
    f.Refresh(none, {0, 100}, 0);
    EXPECT_EQ(f.model.SampleCount(), 0);
}

TEST(GraphRefreshTest, YRangeGrowthMovesTheGraphsMaximumY) {
    CAxisDefaults defaults;
    CGraphModel model;
    model.SetLimits(100, 10, 0, 0);
    // The printing thread hands each grown maximum to the graph.
    auto grow = [&](float latency) {
        if (auto y = defaults.GrowY(latency)) model.SetMaxY(*y);
    };
    grow(9.5f);
    EXPECT_EQ(model.Limits().maxY, 10.0);
    grow(37.5f);
    EXPECT_EQ(defaults.MaxY(), 47);
    EXPECT_EQ(model.Limits(), (GraphLimits{0, 100, 0, 47}));
}

TEST(AxisDefaultsTest, YRangeGrowsToLatencyPlusTen) {
    CAxisDefaults axes;
    EXPECT_EQ(axes.MaxY(), 10);
    EXPECT_EQ(axes.GrowY(12.9f), 22);
    EXPECT_EQ(axes.MaxY(), 22);
    EXPECT_EQ(axes.GrowY(21.5f), std::nullopt);
    EXPECT_EQ(axes.GrowY(22.0f), std::nullopt);  // not below: unchanged
    EXPECT_EQ(axes.GrowY(std::numeric_limits<float>::quiet_NaN()), std::nullopt);
    EXPECT_EQ(axes.GrowY(3e30f), std::numeric_limits<int32_t>::max());
    EXPECT_EQ(axes.MaxX(), 100);
    axes.Reset();
    EXPECT_EQ(axes.MaxY(), 10);
}

// The printing thread grows the Y range (through the axis defaults'
// observer) while the GUI thread refreshes, zooms and reads the limits.
TEST(GraphRefreshTest, LimitsWrittenByThePrintingThreadWhileTheGuiRefreshes) {
    Fixture f;
    for (uint32_t i = 0; i < 2000; ++i)
        Add(f.list, Rec().Latency(static_cast<float>(i % 50)).Tick(i));
    CAxisDefaults defaults;
    std::atomic<int> repaints{0};
    f.model.SetLimitsObserver([&] { repaints.fetch_add(1, std::memory_order_relaxed); });

    std::atomic<bool> done{false};
    std::thread printing([&] {
        for (int round = 0; !done.load(); ++round) {
            defaults.Reset();
            for (int i = 0; i < 200; ++i) {
                if (auto y = defaults.GrowY(static_cast<float>(10 + i + round % 7)))
                    f.model.SetMaxY(*y);
            }
        }
    });
    const GraphGeometry surface{800, 600};
    for (int i = 0; i < 200; ++i) {
        f.Refresh({}, {0, 2000}, 0);
        const GraphLimits l = f.model.Limits();
        ASSERT_EQ(l.minX, 0.0);
        ASSERT_EQ(l.maxX, 100.0);
        ASSERT_GE(l.maxY, 10.0);
        if (i % 20 == 0) {
            f.model.HitTest(400, 300, surface);
            f.model.ZoomTo(100, 100, 300, 300, surface);
            f.model.SetLimits(100, 10, 0, 0);
        }
    }
    done = true;
    printing.join();
    f.model.SetLimitsObserver({});
    EXPECT_GT(repaints.load(), 0);
}

}  // namespace
}  // namespace vantrel
