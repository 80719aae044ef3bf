#include "plot/graph_painter.h"

#include <QDateTime>
#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QLocale>
#include <QPagedPaintDevice>
#include <QPainter>
#include <algorithm>
#include <array>
#include <cmath>
#include <optional>

namespace vantrel {
namespace {

const QColor kBlack(0, 0, 0);
const QColor kGrey(128, 128, 128);
const QColor kWhite(255, 255, 255);
const QColor kRed(255, 0, 0);
const QColor kBlue(0, 0, 255);
const QColor kGreen(0, 255, 0);

constexpr int kMarkerTop = 70;
// More ticks than any sensible limits give; an infinite limit stops here.
constexpr int kMaxTicks = 1000;

enum class Align { Left, Centre, Right };

// Text with its reference point as GDI places it: x at the left, centre or
// right end; y at the top of the text or on its baseline.
void Text(QPainter& p, int x, int y, const QString& s, Align align, bool top) {
    const QFontMetrics fm = p.fontMetrics();
    const int w = fm.horizontalAdvance(s);
    const int left = align == Align::Left ? x : align == Align::Centre ? x - w / 2 : x - w;
    p.drawText(left, top ? y + fm.ascent() : y, s);
}

QString Q(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<int>(s.size()));
}

QFont ArialFont(int pixelSize, bool bold) {
    QFont f(QStringLiteral("Arial"));
    f.setPixelSize(std::max(1, pixelSize));
    f.setWeight(bold ? QFont::Bold : QFont::Normal);
    return f;
}

// The pens of the etched axes. In print mode white becomes black and grey
// lines are not drawn.
struct Pens {
    bool print;
    bool Line(QPainter& p, const QColor& c) const {
        if (print && c == kGrey) return false;
        p.setPen(QPen(print ? kBlack : c, 0));
        return true;
    }
};

void Line(QPainter& p, const Pens& pens, const QColor& c, int x1, int y1, int x2, int y2) {
    if (pens.Line(p, c)) p.drawLine(x1, y1, x2, y2);
}

void Polyline(QPainter& p, const Pens& pens, const QColor& c, std::initializer_list<QPoint> pts) {
    if (!pens.Line(p, c)) return;
    const std::vector<QPoint> v(pts);
    p.drawPolyline(v.data(), static_cast<int>(v.size()));
}

// The tick values k x step (k >= 1) above `low` and up to `high`.
template <typename Each>
void ForEachTick(double low, double high, double step, Each&& each) {
    double k = std::isfinite(low) && low > 0.0 ? std::floor(low / step) : 0.0;
    if (k < 0.0) k = 0.0;
    for (int n = 0; n < kMaxTicks; ++n) {
        k += 1.0;
        const double v = k * step;
        if (!(v <= high)) return;
        if (v > low) each(v);
    }
}

void Axes(QPainter& p, const Pens& pens, int W, int H) {
    Line(p, pens, kBlack, 75, 37, 75, H - 75);
    Line(p, pens, kGrey, 74, 37, 74, H - 74);
    Line(p, pens, kWhite, 72, 37, 72, H - 72);
    Line(p, pens, kWhite, 75, H - 75, W - 37, H - 75);
    Line(p, pens, kGrey, 74, H - 73, W - 37, H - 73);
    Line(p, pens, kBlack, 73, H - 72, W - 37, H - 72);
    Polyline(p, pens, kBlack, {{75, 37}, {78, 37}, {74, 23}});
    Polyline(p, pens, kBlack, {{72, 37}, {70, 37}});
    Polyline(p, pens, kWhite, {{69, 37}, {73, 23}});
    Polyline(p, pens, kWhite, {{W - 37, H - 75}, {W - 37, H - 78}, {W - 23, H - 74}});
    Polyline(p, pens, kBlack, {{W - 37, H - 72}, {W - 37, H - 69}, {W - 23, H - 73}});
}

const QColor& SquareColour(int32_t type) {
    return type == kGraphPointRed ? kRed : type == kGraphPointBlue ? kBlue : kBlack;
}

// The image under the painter when squares may be written straight into its
// pixels: a 32-bit image drawn on without transform, clip, opacity or
// blending, where a filled rectangle of an opaque colour is exactly a run of
// equal pixels per row. QPainter's raster engine draws at once, so pixels
// written here keep their order with what it drew before and after. About
// 20 ns a square against some 200 ns through fillRect.
QImage* DirectTarget(QPainter& p) {
    QPaintDevice* device = p.device();
    if (!device || device->devType() != QInternal::Image) return nullptr;
    auto* image = static_cast<QImage*>(device);
    const QImage::Format f = image->format();
    if (f != QImage::Format_RGB32 && f != QImage::Format_ARGB32 &&
        f != QImage::Format_ARGB32_Premultiplied)
        return nullptr;
    if (image->devicePixelRatio() != 1.0 || !p.combinedTransform().isIdentity() ||
        p.hasClipping() || p.opacity() != 1.0 ||
        p.compositionMode() != QPainter::CompositionMode_SourceOver)
        return nullptr;
    return image;
}

// The pixels of a direct target, taken once (scanLine() checks for a detach
// on every call).
struct Pixels {
    uchar* bits;
    qsizetype stride;
    int width, height;
    explicit Pixels(QImage& image)
        : bits(image.bits()),
          stride(image.bytesPerLine()),
          width(image.width()),
          height(image.height()) {}
    void Fill(int left, int top, int side, QRgb colour) const {
        const int x0 = std::max(left, 0), x1 = std::min(left + side, width);
        const int y0 = std::max(top, 0), y1 = std::min(top + side, height);
        for (int y = y0; y < y1; ++y) {
            QRgb* row = reinterpret_cast<QRgb*>(bits + y * stride);
            for (int x = x0; x < x1; ++x) row[x] = colour;
        }
    }
};

}  // namespace

void CGraphPainter::Paint(QPainter& p, const CGraphModel& model, int width, int height,
                          const GraphPaintStyle& style) {
    const GraphGeometry surface{width, height};
    if (!style.print && style.background.isValid())
        p.fillRect(0, 0, width, height, style.background);
    PaintFrame(p, model, surface, style);
    PaintXLabels(p, model, surface, style);
    PaintPoints(p, model, surface);
}

void CGraphPainter::PaintFrame(QPainter& p, const CGraphModel& model, const GraphGeometry& g,
                               const GraphPaintStyle& style) {
    const int W = g.width, H = g.height;
    const Pens pens{style.print};
    const GraphLimits l = model.Limits();
    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setBackgroundMode(Qt::TransparentMode);
    Axes(p, pens, W, H);

    p.setFont(ArialFont(style.fontPixelSize, false));
    const int half = p.fontMetrics().height() / 2;
    const auto yLabel = [&](double v, int r) {
        p.setPen(kBlack);
        Text(p, 70, r - half, Q(GraphYLabel(v, model.Options())), Align::Right, true);
    };
    yLabel(l.minY, H - 75);
    ForEachTick(l.minY, l.maxY, NiceStep(l.minY, l.maxY, 8), [&](double v) {
        const int r = g.TickY(v, l);
        Line(p, pens, kGrey, 76, r, W - 75, r);
        Line(p, pens, kWhite, 76, r + 1, W - 75, r + 1);
        yLabel(v, r);
    });
    PaintXLabels(p, model, g, style);

    const GraphTexts& texts = model.Texts();
    p.setPen(kBlack);
    Text(p, W / 2, H - 37, Q(texts.xTitle), Align::Centre, true);
    p.save();
    p.translate(QPoint(18, H / 2));
    p.rotate(-90);
    Text(p, 0, 0, Q(texts.yTitle), Align::Centre, true);
    p.restore();
    p.setFont(ArialFont(style.fontPixelSize * 4 / 3, true));
    Text(p, W / 2, 10, Q(texts.title), Align::Centre, true);
    p.restore();
}

void CGraphPainter::PaintXLabels(QPainter& p, const CGraphModel& model, const GraphGeometry& g,
                                 const GraphPaintStyle& style) {
    const int H = g.height;
    const GraphLimits l = model.Limits();
    const Pens pens{style.print};
    p.save();
    p.setBackgroundMode(Qt::TransparentMode);
    p.setFont(ArialFont(style.fontPixelSize, false));
    p.setPen(kBlack);
    Text(p, 75, H - 65, Q(GraphValueLabel(l.minX)), Align::Centre, true);
    ForEachTick(l.minX, l.maxX, NiceStep(l.minX, l.maxX, 10), [&](double v) {
        const int x = g.TickX(v, l);
        Line(p, pens, kBlack, x, H - 72, x, H - 65);
        p.setPen(kBlack);
        Text(p, x, H - 65, Q(GraphValueLabel(v)), Align::Centre, true);
    });
    p.restore();
}

void CGraphPainter::PaintPoints(QPainter& p, const CGraphModel& model, const GraphGeometry& g) {
    constexpr int kW = CGraphModel::kRasterWidth, kH = CGraphModel::kRasterHeight;
    const size_t n = model.PointCount();
    const uint32_t* cells = model.Cells();
    const int32_t* types = model.Types();
    m_lastInCell.resize(size_t{kW} * kH);
    m_lastMarker.resize(kW);
    for (size_t i = 0; i < n; ++i) {
        if (types[i] & kGraphMarkerBit)
            m_lastMarker[cells[i] % kW] = static_cast<int32_t>(i);
        else
            m_lastInCell[cells[i]] = static_cast<int32_t>(i);
    }

    std::array<int, kW> sx;
    std::array<int, kH> sy;
    for (int x = 0; x < kW; ++x) sx[x] = g.SurfaceX(x);
    for (int y = 0; y < kH; ++y) sy[y] = g.SurfaceY(y);
    const int size = model.PointSize();
    const int axisY = g.height - 75;

    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QPen(kGreen, 0));
    QImage* target = DirectTarget(p);
    std::optional<Pixels> direct;
    if (target) direct.emplace(*target);
    m_drawn = 0;
    for (size_t i = 0; i < n; ++i) {
        const uint32_t cell = cells[i];
        const int x = sx[cell % kW];
        if (types[i] & kGraphMarkerBit) {
            if (m_lastMarker[cell % kW] != static_cast<int32_t>(i)) continue;
            p.drawLine(x, axisY, x, kMarkerTop);
            p.drawLine(x - 1, kMarkerTop, x + 1, kMarkerTop);
        } else {
            if (m_lastInCell[cell] != static_cast<int32_t>(i)) continue;
            const QColor& colour = SquareColour(types[i]);
            if (direct)
                direct->Fill(x - size, sy[cell / kW] - size, 2 * size, colour.rgb());
            else
                p.fillRect(x - size, sy[cell / kW] - size, 2 * size, 2 * size, colour);
        }
        ++m_drawn;
    }
    p.restore();
}

void PaintGraphPage(QPainter& p, const CGraphModel& model, const QString& leftFooter,
                    const QString& rightFooter, int fontPixelSize) {
    const int PW = p.device()->width();
    const int PH = p.device()->height();
    const int w = PW - PW / 8;
    GraphPaintStyle style;
    style.print = true;
    style.fontPixelSize = fontPixelSize;

    p.save();
    p.setWindow(0, 0, 1024, 768);
    p.setViewport(PW / 16, (PH - w * 3 / 4) / 2, w, w * 3 / 4);
    CGraphPainter painter;
    const GraphGeometry page{1024, 768};
    painter.PaintFrame(p, model, page, style);
    painter.PaintXLabels(p, model, page, style);
    painter.PaintPoints(p, model, page);

    // The footers sit along the bottom tenth of the page, in the axis
    // labels' size (the graph's 1024-unit width mapped onto the page), and
    // share its width: the right one (the date) whole, the left one (the
    // title) elided in the middle to what is left, so they never overlap.
    p.setViewTransformEnabled(false);
    const int footerHeight = PH / 10;
    const double scale = w / 1024.0;
    p.setFont(ArialFont(static_cast<int>(std::lround(fontPixelSize * scale)), false));
    p.setPen(kBlack);
    p.setBackgroundMode(Qt::TransparentMode);
    const QFontMetrics fm = p.fontMetrics();
    const int baseline = PH - footerHeight + footerHeight * 31 / 32;
    const int rightWidth = rightFooter.isEmpty() ? 0 : fm.horizontalAdvance(rightFooter);
    const int gap = rightFooter.isEmpty() ? 0 : 2 * fm.horizontalAdvance(QLatin1Char('M'));
    const QString left =
        fm.elidedText(leftFooter, Qt::ElideMiddle, std::max(0, w - rightWidth - gap));
    if (!left.isEmpty()) Text(p, PW / 16, baseline, left, Align::Left, false);
    if (!rightFooter.isEmpty()) Text(p, PW / 16 + w, baseline, rightFooter, Align::Right, false);
    p.restore();
}

bool PrintGraph(QPagedPaintDevice& device, const CGraphModel& model, const QString& leftFooter,
                const QString& rightFooter) {
    QPainter painter;
    if (!painter.begin(&device)) return false;
    PaintGraphPage(painter, model, leftFooter, rightFooter);
    return painter.end();
}

QString GraphLeftFooter(const QString& title) {
    return title.isEmpty() ? QStringLiteral("Untitled") : title;
}

QString GraphRightFooter() {
    return QLocale().toString(QDateTime::currentDateTime(), QLocale::ShortFormat);
}

}  // namespace vantrel
