#include "plot/graph_painter.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <random>

namespace vantrel {
namespace {

void EnsureApp() {
    static int argc = 1;
    static char name[] = "graph_painter_test";
    static char* argv[] = {name, nullptr};
    static QGuiApplication app(argc, argv);
}

QImage Blank(int w, int h) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(QColor(240, 240, 240));
    return image;
}

// Every point in list order, the way the graph was always drawn.
void PaintEveryPoint(QPainter& p, const CGraphModel& m, const GraphGeometry& g) {
    for (size_t i = 0; i < m.PointCount(); ++i) {
        const GraphPoint pt = m.PointAt(i);
        const int x = g.SurfaceX(pt.x), y = g.SurfaceY(pt.y), s = m.PointSize();
        if (pt.type & kGraphMarkerBit) {
            p.setPen(QPen(QColor(0, 255, 0), 0));
            p.drawLine(x, g.height - 75, x, 70);
            p.drawLine(x - 1, 70, x + 1, 70);
        } else {
            const QColor c = pt.type == 1 ? Qt::red : pt.type == 2 ? Qt::blue : Qt::black;
            p.fillRect(x - s, y - s, 2 * s, 2 * s, c);
        }
    }
}

class GraphPainterTest : public ::testing::Test {
protected:
    void SetUp() override { EnsureApp(); }
};

TEST_F(GraphPainterTest, OneSquarePerCellGivesTheSamePictureAsEveryPoint) {
    std::mt19937 rng(5);
    for (const GraphGeometry g : {GraphGeometry{700, 500}, GraphGeometry{1920, 1080}}) {
        CGraphModel m;
        m.SetLimits(100, 100, 0, 0);
        // Crowded: many points per cell, colours and markers interleaved.
        for (int i = 0; i < 20000; ++i) {
            const int32_t types[] = {1, 2, 3, 8, 9};
            m.AddPoint(rng() % 200 / 50.0 + 40, rng() % 200 / 50.0 + 40, types[rng() % 5], i);
        }
        QImage fast = Blank(g.width, g.height), slow = fast;
        CGraphPainter painter;
        {
            QPainter p(&fast);
            painter.PaintPoints(p, m, g);
        }
        {
            QPainter p(&slow);
            PaintEveryPoint(p, m, g);
        }
        EXPECT_LT(painter.LastDrawnCount(), m.PointCount() / 2);
        EXPECT_TRUE(fast == slow) << g.width << "x" << g.height;
    }
}

TEST_F(GraphPainterTest, ScreenAxesAreEtchedAndPrintAxesBlack) {
    CGraphModel m(GraphTexts{"T", "X", "Y"}, 1);
    m.SetLimits(100, 10, 0, 0);
    CGraphPainter painter;
    QImage screen = Blank(600, 400);
    {
        QPainter p(&screen);
        painter.Paint(p, m, 600, 400, GraphPaintStyle{});
    }
    // Between the grid lines, on the Y axis band and the X axis band.
    EXPECT_EQ(screen.pixelColor(75, 200), QColor(0, 0, 0));
    EXPECT_EQ(screen.pixelColor(74, 200), QColor(128, 128, 128));
    EXPECT_EQ(screen.pixelColor(72, 200), QColor(255, 255, 255));
    EXPECT_EQ(screen.pixelColor(300, 400 - 75), QColor(255, 255, 255));
    EXPECT_EQ(screen.pixelColor(300, 400 - 73), QColor(128, 128, 128));
    EXPECT_EQ(screen.pixelColor(300, 400 - 72), QColor(0, 0, 0));

    GraphPaintStyle print;
    print.print = true;
    QImage paper = Blank(600, 400);
    {
        QPainter p(&paper);
        painter.Paint(p, m, 600, 400, print);
    }
    EXPECT_EQ(paper.pixelColor(74, 200), QColor(240, 240, 240)) << "no grey, no background";
    EXPECT_EQ(paper.pixelColor(72, 200), QColor(0, 0, 0));
    EXPECT_EQ(paper.pixelColor(300, 400 - 75), QColor(0, 0, 0));
}

TEST_F(GraphPainterTest, GridLinesAtTheYTicks) {
    CGraphModel m;
    m.SetLimits(100, 10, 0, 0);  // Y step 2 (raw 1.25): ticks 2 to 10
    CGraphPainter painter;
    QImage image = Blank(1174, 918);  // plot area 1024 x 768
    {
        QPainter p(&image);
        painter.Paint(p, m, 1174, 918, GraphPaintStyle{});
    }
    for (int v = 1; v <= 10; ++v) {
        const int r = 918 - static_cast<int>(v / 10.0 * 768) - 75;
        const bool tick = v % 2 == 0;
        EXPECT_EQ(image.pixelColor(600, r), tick ? QColor(128, 128, 128) : QColor(240, 240, 240))
            << v;
        EXPECT_EQ(image.pixelColor(600, r + 1),
                  tick ? QColor(255, 255, 255) : QColor(240, 240, 240))
            << v;
    }
    // X ticks (step 10) hang from the axis.
    EXPECT_EQ(image.pixelColor(75 + 512, 918 - 66), QColor(0, 0, 0));
}

TEST_F(GraphPainterTest, PrintedPageMapsTheRasterOntoTheMiddleOfThePage) {
    CGraphModel m(GraphTexts{"T", "X", "Y"}, 1);
    m.SetLimits(100, 10, 0, 0);
    m.AddPoint(50, 5, kGraphPointBlue, 1);
    const int PW = 1600, PH = 2200;
    QImage page(PW, PH, QImage::Format_RGB32);
    page.fill(Qt::white);
    {
        QPainter p(&page);
        PaintGraphPage(p, m, "left", "right");
    }
    // w = 1400, the graph 1400 x 1050 at (100, 575): one logical unit is
    // 1400/1024 device pixels. The point (512, 384) is at logical
    // (75 + 512 * 874 / 1024, 768 - 75 - 384 * 618 / 768) = (512, 384).
    const auto device = [&](double lx, double ly) {
        return QPoint(static_cast<int>(100 + lx * 1400 / 1024),
                      static_cast<int>(575 + ly * 1050 / 768));
    };
    EXPECT_EQ(page.pixelColor(device(512, 384)), QColor(0, 0, 255));
    EXPECT_EQ(page.pixelColor(device(75, 400)), QColor(0, 0, 0)) << "the Y axis";
    EXPECT_EQ(page.pixelColor(device(600, 100)), QColor(255, 255, 255));
    // Footer text somewhere in the bottom tenth, none elsewhere below the graph.
    bool footer = false;
    for (int y = PH - PH / 10; y < PH && !footer; ++y)
        for (int x = 0; x < PW && !footer; ++x) footer = page.pixelColor(x, y) != QColor(Qt::white);
    EXPECT_TRUE(footer);
}

TEST_F(GraphPainterTest, FooterTexts) {
    EXPECT_EQ(GraphLeftFooter(""), "Untitled");
    EXPECT_EQ(GraphLeftFooter("run1.vtl"), "run1.vtl");
    EXPECT_FALSE(GraphRightFooter().isEmpty());
}

}  // namespace
}  // namespace vantrel
