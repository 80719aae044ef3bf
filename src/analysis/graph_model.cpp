#include "analysis/graph_model.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace vantrel {
namespace {

// trunc(value) when it names a raster column or row below `size`; -1 for
// anything else, a non-finite value included (never converted to int).
int RasterIndex(double value, int size) {
    const double t = std::trunc(value);
    return t >= 0.0 && t < size ? static_cast<int>(t) : -1;
}

int PointSizeForRatio(double q) {
    if (q <= 1.0) return 2;
    if (q <= 5.0) return 3;
    if (q <= 8.0) return 4;
    return 5;
}

// Whether any of the cells lies within the hit distance: (column + biasX)
// and (row + biasY) at most twice the distance, unsigned, so that one
// comparison tests both sides.
uint32_t AnyNear(const uint32_t* cells, size_t count, uint32_t biasX, uint32_t biasY) {
    constexpr uint32_t kSpan = 2 * CGraphModel::kHitDistance;
    uint32_t any = 0;
    for (size_t i = 0; i < count; ++i) {
        const uint32_t c = cells[i];
        any |= static_cast<uint32_t>((c % CGraphModel::kRasterWidth) + biasX <= kSpan) &
               static_cast<uint32_t>((c / CGraphModel::kRasterWidth) + biasY <= kSpan);
    }
    return any;
}

// Snaps a zoom bound down to a multiple of the step, toward zero.
double Snap(double value, double step) {
    return std::trunc(value / step) * step;
}

}  // namespace

GraphLimits CGraphModel::Limits() const {
    std::lock_guard lock(m_limitsMutex);
    return m_limits;
}

void CGraphModel::SetLimits(double maxX, double maxY, double minX, double minY) {
    SetLimits(GraphLimits{minX, maxX, minY, maxY});
}

void CGraphModel::SetLimits(const GraphLimits& limits) {
    {
        std::lock_guard lock(m_limitsMutex);
        m_limits = limits;
    }
    Touch();
    NotifyLimits();
}

void CGraphModel::SetMaxY(double maxY) {
    {
        std::lock_guard lock(m_limitsMutex);
        m_limits.maxY = maxY;
    }
    Touch();
    NotifyLimits();
}

void CGraphModel::SetLimitsObserver(std::function<void()> observer) {
    std::lock_guard lock(m_observerMutex);
    m_observer = std::move(observer);
}

void CGraphModel::NotifyLimits() {
    std::lock_guard lock(m_observerMutex);
    if (m_observer) m_observer();
}

void CGraphModel::SetTexts(const GraphTexts& texts, uint32_t options) {
    m_texts.title = texts.title.substr(0, 255);
    m_texts.xTitle = texts.xTitle.substr(0, 63);
    m_texts.yTitle = texts.yTitle.substr(0, 95);
    m_options = options;
    Touch();
}

void CGraphModel::Store(const GraphLimits& l, double x, double y, int32_t type, int32_t data) {
    GraphExtents& e = m_extents;
    if (!(x >= e.smallestX)) e.smallestX = x;
    if (x > e.largestX) e.largestX = x;
    if (!(y >= e.smallestY)) e.smallestY = y;
    if (y > e.largestY) e.largestY = y;
    ++m_samples;

    const int vx = RasterIndex((x - l.minX) / (l.maxX - l.minX) * kRasterWidth, kRasterWidth);
    const int vy =
        type == kGraphMarkerBit
            ? 0
            : RasterIndex((y - l.minY) / (l.maxY - l.minY) * kRasterHeight, kRasterHeight);
    if (vx < 0 || vy < 0) return;
    m_cells.push_back(static_cast<uint32_t>(vy) * kRasterWidth + static_cast<uint32_t>(vx));
    m_types.push_back(type);
    m_data.push_back(data);
}

void CGraphModel::AddPoint(double x, double y, int32_t type, int32_t data) {
    Store(Limits(), x, y, type, data);
    Touch();
}

CGraphModel::Feed::Feed(CGraphModel& model) : m_model(model), m_limits(model.Limits()) {}

CGraphModel::Feed::~Feed() {
    m_model.Touch();
}

void CGraphModel::Feed::Add(double x, double y, int32_t type, int32_t data) {
    m_model.Store(m_limits, x, y, type, data);
}

void CGraphModel::Feed::Reserve(size_t points) {
    m_model.m_cells.reserve(points);
    m_model.m_types.reserve(points);
    m_model.m_data.reserve(points);
}

void CGraphModel::Clear() {
    m_samples = 0;
    m_cells.clear();
    m_types.clear();
    m_data.clear();
    m_extents = GraphExtents{};
    Touch();
}

GraphPoint CGraphModel::PointAt(size_t i) const {
    const uint32_t cell = m_cells[i];
    return GraphPoint{static_cast<int>(cell % kRasterWidth), static_cast<int>(cell / kRasterWidth),
                      m_types[i], m_data[i]};
}

bool CGraphModel::ZoomTo(int x1, int y1, int x2, int y2, const GraphGeometry& surface) {
    const int left = std::min(x1, x2), right = std::max(x1, x2);
    const int top = std::min(y1, y2), bottom = std::max(y1, y2);
    const int width = right - left, height = bottom - top;
    if (width < 4 || height < 4) return false;

    const double q = static_cast<double>(surface.width - 75) * (surface.height - 75) /
                     (static_cast<double>(width) * height);
    m_pointSize = PointSizeForRatio(q);

    const GraphLimits old = Limits();
    const GraphExtents& e = m_extents;
    const double lowX = surface.DataX(left, old).value_or(0.0);
    const double highX = surface.DataX(right, old).value_or(e.HasX() ? e.largestX : 100.0);
    const double lowY = surface.DataY(bottom, old).value_or(0.0);
    const double highY = surface.DataY(top, old).value_or(e.HasY() ? e.largestY : 100.0);

    const double sx = NiceStep(lowX, highX, 100);
    const double sy = NiceStep(lowY, highY, 100);
    SetLimits(GraphLimits{Snap(lowX, sx), Snap(highX, sx), Snap(lowY, sy), Snap(highY, sy)});
    Clear();
    return true;
}

bool CGraphModel::Unzoom(double defaultMaxX, double defaultMaxY) {
    if (m_pointSize != kInitialPointSize) {
        m_pointSize = kInitialPointSize;
        Touch();
    }
    GraphLimits l = Limits();
    bool changed = false;
    if (m_extents.HasX()) {
        if (l.minX != 0.0) {
            l.minX = 0.0;
            changed = true;
        }
        if (l.maxX != m_extents.largestX) changed = true;
    }
    if (m_extents.HasY()) {
        if (l.minY != 0.0) {
            l.minY = 0.0;
            changed = true;
        }
        if (l.maxY != m_extents.largestY) changed = true;
    }
    if (!changed) return false;
    l.maxX = defaultMaxX;
    l.maxY = defaultMaxY;
    SetLimits(l);
    Clear();
    return true;
}

int32_t CGraphModel::HitTest(int x, int y, const GraphGeometry& surface) const {
    const auto cx = surface.VirtualX(x);
    const auto cy = surface.VirtualY(y);
    if (!cx || !cy) return -1;
    // A centre far outside the raster matches nothing.
    if (std::abs(*cx) > 4 * kRasterWidth || std::abs(*cy) > 4 * kRasterHeight) return -1;
    const uint32_t biasX = static_cast<uint32_t>(kHitDistance - *cx);
    const uint32_t biasY = static_cast<uint32_t>(kHitDistance - *cy);
    // Blocks without a branch per point (the compiler vectorises them); the
    // first block with a hit is searched point by point.
    constexpr size_t kBlock = 256;
    const uint32_t* cells = m_cells.data();
    const size_t n = m_cells.size();
    for (size_t start = 0; start < n; start += kBlock) {
        const size_t count = std::min(kBlock, n - start);
        if (!AnyNear(cells + start, count, biasX, biasY)) continue;
        for (size_t i = start; i < start + count; ++i)
            if (AnyNear(cells + i, 1, biasX, biasY)) return m_data[i];
    }
    return -1;
}

}  // namespace vantrel
