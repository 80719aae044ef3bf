#include "analysis/graph_model.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace vantrel {
namespace {

// A surface whose plot area is exactly the raster: one unit per cell.
constexpr GraphGeometry kOneToOne{1024 + 150, 768 + 150};

CGraphModel& WithLimits(CGraphModel& m, double maxX, double maxY) {
    m.SetLimits(maxX, maxY, 0.0, 0.0);
    return m;
}

TEST(GraphScaleTest, NiceSteps) {
    EXPECT_EQ(NiceStep(0, 100, 10), 10.0);
    EXPECT_EQ(NiceStep(0, 7, 8), 1.0);
    EXPECT_EQ(NiceStep(0, 1000, 100), 10.0);
    EXPECT_EQ(NiceStep(5, 5, 3), 1.0);
    EXPECT_EQ(NiceStep(9, 5, 3), 1.0);
    EXPECT_DOUBLE_EQ(NiceStep(12.3, 47.9, 100), 0.5);
    EXPECT_DOUBLE_EQ(NiceStep(0, 15, 8), 2.0);    // raw 1.875
    EXPECT_DOUBLE_EQ(NiceStep(0, 0.3, 8), 0.05);  // raw 0.0375 -> 3.75 -> 5
    // A range no power of ten can scale ends the loops instead of spinning.
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(NiceStep(0, inf, 8), 1.0);
    EXPECT_EQ(NiceStep(0, 1e-320, 8), 1.0);
    EXPECT_EQ(NiceStep(std::nan(""), 1, 8), 1.0);
}

TEST(GraphScaleTest, ValueLabels) {
    EXPECT_EQ(GraphValueLabel(999.9), "999.9");
    EXPECT_EQ(GraphValueLabel(1500), "1.5K");
    EXPECT_EQ(GraphValueLabel(2500000), "2.5M");
    EXPECT_EQ(GraphValueLabel(-1500), "-1.5K");
    EXPECT_EQ(GraphValueLabel(999999.9), "1000K");  // %g keeps six digits
    EXPECT_EQ(GraphValueLabel(3e9), "3G");
    EXPECT_EQ(GraphValueLabel(0.25), "0.25");
    EXPECT_EQ(GraphYLabel(0.25, kGraphPercentY), "25%");
    EXPECT_EQ(GraphYLabel(0.25, 1), "0.25");
}

TEST(GraphScaleTest, TextToNumberTakesTheLeadingNumber) {
    EXPECT_EQ(TextToNumber("abc"), 0.0);
    EXPECT_EQ(TextToNumber(""), 0.0);
    EXPECT_EQ(TextToNumber("12.5ms"), 12.5);
    EXPECT_EQ(TextToNumber(" \t-3"), -3.0);
    EXPECT_EQ(TextToNumber("+2e1"), 20.0);
    EXPECT_EQ(TextToNumber(".5"), 0.5);
    EXPECT_EQ(TextToNumber("+-5"), 0.0);
    EXPECT_EQ(TextToNumber("100,25"), 100.0) << "the point is always '.'";
    EXPECT_EQ(TextToNumber("1e999"), std::numeric_limits<double>::infinity());
    EXPECT_EQ(TextToNumber("-1e999"), -std::numeric_limits<double>::infinity());
    EXPECT_EQ(TextToNumber("1e-999"), 0.0);
}

TEST(GraphScaleTest, SurfaceMapping) {
    const GraphGeometry g{1174, 918};
    EXPECT_EQ(g.SurfaceX(0), 75);
    EXPECT_EQ(g.SurfaceX(1023), 1098);
    EXPECT_EQ(g.SurfaceY(0), 918 - 75);
    EXPECT_EQ(g.SurfaceY(767), 918 - 767 - 75);
    const GraphGeometry small{300, 200};  // 150 x 50 plot area
    EXPECT_EQ(small.SurfaceX(1023), 75 + 149);
    EXPECT_EQ(small.SurfaceY(767), 200 - 49 - 75);

    const GraphLimits l{0, 100, 0, 10};
    EXPECT_FALSE(g.DataX(74, l));
    EXPECT_FALSE(g.DataX(1100, l));
    EXPECT_DOUBLE_EQ(*g.DataX(75 + 512, l), 50.0);
    EXPECT_DOUBLE_EQ(*g.DataY(918 - 75, l), 0.0);
    EXPECT_FALSE(g.DataY(918 - 74, l));
    // Negative data values count as outside.
    EXPECT_FALSE(g.DataX(75, GraphLimits{-5, 5, 0, 1}));
}

TEST(GraphModelTest, AddPointStoresInsideTheRasterAndCountsEverything) {
    CGraphModel m;
    WithLimits(m, 100, 10);
    m.AddPoint(50, 5, kGraphPointBlue, 7);
    m.AddPoint(100, 5, kGraphPointBlue, 8);  // virtual x 1024: outside
    ASSERT_EQ(m.PointCount(), 1u);
    const GraphPoint p = m.PointAt(0);
    EXPECT_EQ(p.x, 512);
    EXPECT_EQ(p.y, 384);
    EXPECT_EQ(p.type, kGraphPointBlue);
    EXPECT_EQ(p.data, 7);
    EXPECT_EQ(m.SampleCount(), 2);
    EXPECT_EQ(m.Extents().largestX, 100.0);
    EXPECT_EQ(m.Extents().smallestX, 0.0);  // extents start at 0 after a clear
}

TEST(GraphModelTest, TruncationGoesTowardZero) {
    CGraphModel m;
    WithLimits(m, 100, 10);
    m.AddPoint(-0.05, 5, 1, 1);  // -0.512 truncates to column 0: stored
    m.AddPoint(-0.1, 5, 1, 2);   // -1.024 truncates to -1: not stored
    m.AddPoint(99.99, 9.99, 1, 3);
    ASSERT_EQ(m.PointCount(), 2u);
    EXPECT_EQ(m.PointAt(0).x, 0);
    EXPECT_EQ(m.PointAt(1).x, 1023);
    EXPECT_EQ(m.PointAt(1).y, 767);
    EXPECT_EQ(m.Extents().smallestX, -0.1);
}

TEST(GraphModelTest, NonFiniteRasterCoordinatesAreCountedNotStored) {
    const double inf = std::numeric_limits<double>::infinity();
    CGraphModel m;
    m.SetLimits(5, 10, 5, 0);  // equal X limits: x / 0
    m.AddPoint(5, 5, 1, 1);
    m.AddPoint(6, 5, 1, 2);
    m.SetLimits(100, 10, -inf, 0);  // an infinite limit typed into the dialog: inf / inf
    m.AddPoint(50, 5, 1, 3);
    m.SetLimits(100, 10, 0, 0);
    m.AddPoint(std::nan(""), 5, 1, 4);
    EXPECT_EQ(m.PointCount(), 0u);
    EXPECT_EQ(m.SampleCount(), 4);
}

TEST(GraphModelTest, TypeEightIsAMarkerAtRowZero) {
    CGraphModel m;
    WithLimits(m, 100, 10);
    m.AddPoint(50, 1e9, kGraphMarkerBit, 1);      // y far above: still stored
    m.AddPoint(50, 1e9, kGraphMarkerBit | 1, 2);  // only exactly 8 moves to row 0
    ASSERT_EQ(m.PointCount(), 1u);
    EXPECT_EQ(m.PointAt(0).y, 0);
}

TEST(GraphModelTest, ClearResetsCountPointsAndExtents) {
    CGraphModel m;
    WithLimits(m, 100, 10);
    m.AddPoint(-3, 4, 1, 1);
    m.AddPoint(30, -4, 1, 1);
    EXPECT_EQ(m.Extents().smallestX, -3.0);
    EXPECT_EQ(m.Extents().smallestY, -4.0);
    const uint64_t before = m.Version();
    m.Clear();
    EXPECT_NE(m.Version(), before);
    EXPECT_EQ(m.SampleCount(), 0);
    EXPECT_EQ(m.PointCount(), 0u);
    EXPECT_EQ(m.Extents().smallestX, 0.0);
    EXPECT_EQ(m.Extents().largestY, 0.0);
    EXPECT_EQ(m.Limits(), (GraphLimits{0, 100, 0, 10}));  // limits stay
}

TEST(GraphModelTest, ZoomSnapsTheDraggedRegionToANiceStep) {
    // A 1000 x 1000 plot area: x 123 px in is 12.3 on a 0-100 axis.
    const GraphGeometry g{1150, 1150};
    CGraphModel m;
    WithLimits(m, 100, 10);
    m.AddPoint(30, 3, 1, 1);
    // Corners in any order; bottom y 875 is 2.0, top y 298 is 7.77.
    ASSERT_TRUE(m.ZoomTo(75 + 479, 298, 75 + 123, 875, g));
    const GraphLimits l = m.Limits();
    EXPECT_DOUBLE_EQ(l.minX, 12.0);
    EXPECT_DOUBLE_EQ(l.maxX, 47.5);
    EXPECT_DOUBLE_EQ(l.minY, 2.0);
    EXPECT_DOUBLE_EQ(l.maxY, 7.7);
    // (1075 x 1075) / (356 x 577) = 5.6: point size 4.
    EXPECT_EQ(m.PointSize(), 4);
    EXPECT_EQ(m.SampleCount(), 0) << "a zoom clears for the re-feed";
}

TEST(GraphModelTest, ZoomEdgesOutsideThePlotFallBack) {
    CGraphModel m;
    WithLimits(m, 100, 10);
    // No extents: the far edges fall back to 100, the near ones to 0.
    ASSERT_TRUE(m.ZoomTo(0, 0, 1174, 918, kOneToOne));
    EXPECT_EQ(m.Limits(), (GraphLimits{0, 100, 0, 100}));
    EXPECT_EQ(m.PointSize(), 2);  // a rectangle larger than the surface

    m.SetLimits(100, 10, 0, 0);
    m.AddPoint(10, 1, 1, 1);
    m.AddPoint(60, 4.2, 1, 2);  // extents x 0-60, y 0-4.2
    ASSERT_TRUE(m.ZoomTo(75 + 512, 10, 1174, 918 - 75 - 384, kOneToOne));
    const GraphLimits l = m.Limits();
    EXPECT_DOUBLE_EQ(l.minX, 50.0);
    EXPECT_DOUBLE_EQ(l.maxX, 60.0);
    // The largest Y (4.2) lies below the bottom edge (5.0): the step of an
    // inverted range is 1, and nothing is validated.
    EXPECT_DOUBLE_EQ(l.minY, 5.0);
    EXPECT_DOUBLE_EQ(l.maxY, 4.0);
}

TEST(GraphModelTest, ZoomIgnoresThinRectangles) {
    CGraphModel m;
    WithLimits(m, 100, 10);
    m.AddPoint(30, 3, 1, 1);
    EXPECT_FALSE(m.ZoomTo(200, 200, 203, 400, kOneToOne));
    EXPECT_FALSE(m.ZoomTo(200, 200, 400, 196 + 7, kOneToOne));
    EXPECT_EQ(m.SampleCount(), 1);
    EXPECT_EQ(m.Limits(), (GraphLimits{0, 100, 0, 10}));
}

TEST(GraphModelTest, UnzoomReturnsToTheDefaultMaximaOnlyWhenTheDataSaySo) {
    CGraphModel m;
    m.SetLimits(47.5, 7.7, 12.0, 2.0);
    // Right after a zoom nothing was fed yet: no extents, no change.
    EXPECT_FALSE(m.Unzoom(100, 10));
    m.AddPoint(20, 3, 1, 1);
    m.AddPoint(30, 5, 1, 2);
    ASSERT_TRUE(m.Unzoom(100, 47));
    EXPECT_EQ(m.Limits(), (GraphLimits{0, 100, 0, 47}));
    EXPECT_EQ(m.PointSize(), 2);
    EXPECT_EQ(m.SampleCount(), 0);

    // Minima at 0 and maxima equal to the largest values: nothing to undo.
    m.SetLimits(30, 5, 0, 0);
    m.AddPoint(30, 5, 1, 1);
    EXPECT_FALSE(m.Unzoom(100, 10));
    EXPECT_EQ(m.SampleCount(), 1);
}

TEST(GraphModelTest, HitTestFindsTheFirstPointWithinSevenCells) {
    CGraphModel m;
    m.SetLimits(1024, 768, 0, 0);  // data = raster
    m.AddPoint(600, 100, 1, 10);
    m.AddPoint(510, 384, 1, 20);
    m.AddPoint(512, 384, 2, 30);
    const auto at = [](int vx, int vy) { return std::pair{75 + vx, 918 - 75 - vy}; };
    auto [x, y] = at(512, 384);
    EXPECT_EQ(m.HitTest(x, y, kOneToOne), 20) << "list order, not distance";
    std::tie(x, y) = at(519, 391);
    EXPECT_EQ(m.HitTest(x, y, kOneToOne), 30);
    std::tie(x, y) = at(520, 384);
    EXPECT_EQ(m.HitTest(x, y, kOneToOne), -1);
    std::tie(x, y) = at(600, 93);
    EXPECT_EQ(m.HitTest(x, y, kOneToOne), 10);
    std::tie(x, y) = at(600, 92);
    EXPECT_EQ(m.HitTest(x, y, kOneToOne), -1);
    EXPECT_EQ(m.HitTest(-100000, 5, kOneToOne), -1);
    EXPECT_EQ(m.HitTest(10, 10, GraphGeometry{150, 150}), -1);
}

TEST(GraphModelTest, LimitsObserverHearsEveryChange) {
    CGraphModel m;
    int calls = 0;
    m.SetLimitsObserver([&] { ++calls; });
    m.SetLimits(100, 10, 0, 0);
    m.SetMaxY(47);
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(m.Limits(), (GraphLimits{0, 100, 0, 47}));
    m.SetLimitsObserver({});
    m.SetMaxY(50);
    EXPECT_EQ(calls, 2);
}

}  // namespace
}  // namespace vantrel
