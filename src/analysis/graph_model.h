#pragma once
// CGraphModel: the latency graph without its window. It keeps the points in
// a fixed virtual raster of 1024 x 768 units, the axis limits, the extents of
// the data fed since the last clear and the sample count, and does the zoom,
// the unzoom and the double-click hit test. It knows nothing about IRPs: a
// host feeds it (x, y, type, tag) and feeds it again after a zoom.
//
// Threads:
//  - the axis limits may be set from any thread: the printing thread grows
//    the maximum Y while the GUI thread refreshes and paints. They sit behind
//    a mutex; a reader copies all four at once, and the limits observer is
//    told after every change on the thread that made it (it must not block:
//    it posts a repaint, no more);
//  - everything else (points, extents, feeding, zoom, hit test, texts) is
//    the GUI thread's alone.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "analysis/graph_scale.h"

namespace vantrel {

// Point types as the painter shows them.
inline constexpr int32_t kGraphPointRed = 1;
inline constexpr int32_t kGraphPointBlue = 2;
inline constexpr int32_t kGraphMarkerBit = 8;  // a green marker line; type 8 stores y 0

struct GraphExtents {
    double smallestX = 0.0;
    double largestX = 0.0;
    double smallestY = 0.0;
    double largestY = 0.0;
    bool HasX() const { return largestX > smallestX; }
    bool HasY() const { return largestY > smallestY; }
};

struct GraphTexts {
    std::string title;   // at most 255 characters
    std::string xTitle;  // at most 63
    std::string yTitle;  // at most 95
};

// One stored point: raster cell (x 0 to 1023, y 0 to 767), type and tag.
struct GraphPoint {
    int x = 0;
    int y = 0;
    int32_t type = 0;
    int32_t data = 0;
};

class CGraphModel {
public:
    static constexpr int kRasterWidth = GraphGeometry::kRasterWidth;
    static constexpr int kRasterHeight = GraphGeometry::kRasterHeight;
    static constexpr int kHitDistance = 7;
    static constexpr int kInitialPointSize = 2;

    CGraphModel() = default;
    CGraphModel(const GraphTexts& texts, uint32_t options) { SetTexts(texts, options); }
    CGraphModel(const CGraphModel&) = delete;
    CGraphModel& operator=(const CGraphModel&) = delete;

    // --- Any thread -------------------------------------------------------
    GraphLimits Limits() const;
    // The argument order of the system's set-limits call: maxima first.
    void SetLimits(double maxX, double maxY, double minX, double minY);
    void SetLimits(const GraphLimits& limits);
    // Y range growth: the maximum Y alone, the other three unchanged.
    void SetMaxY(double maxY);
    // Called after every change of the limits, on the changing thread,
    // outside the limits lock. Replacing the observer waits for a call in
    // progress to finish, so after SetLimitsObserver({}) returns no call is
    // running.
    void SetLimitsObserver(std::function<void()> observer);
    // Changes with every change of points or limits: a painter's cache key.
    uint64_t Version() const { return m_version.load(std::memory_order_acquire); }

    // --- GUI thread --------------------------------------------------------
    void SetTexts(const GraphTexts& texts, uint32_t options);
    const GraphTexts& Texts() const { return m_texts; }
    uint32_t Options() const { return m_options; }

    // Feeds one point: widens the extents, counts a sample, and stores the
    // point when its raster cell lies inside 1024 x 768. A point whose
    // raster coordinates are not finite (equal or infinite limits) is
    // counted and not stored.
    void AddPoint(double x, double y, int32_t type, int32_t data);

    // Feeds many points against one copy of the limits (one lock per feed,
    // not per point). Add gives the same result as AddPoint as long as the
    // limits do not change during the feed; a change made meanwhile shows at
    // the next feed. The model must outlive the feed.
    class Feed {
    public:
        explicit Feed(CGraphModel& model);
        ~Feed();
        Feed(const Feed&) = delete;
        Feed& operator=(const Feed&) = delete;
        void Add(double x, double y, int32_t type, int32_t data);
        void Reserve(size_t points);

    private:
        CGraphModel& m_model;
        GraphLimits m_limits;
    };

    // Sample count 0, no points, extents 0.0. The point memory is kept for
    // the next feed.
    void Clear();

    int32_t SampleCount() const { return m_samples; }
    GraphExtents Extents() const { return m_extents; }
    size_t PointCount() const { return m_cells.size(); }
    GraphPoint PointAt(size_t i) const;
    // The stored points as columns: cell = y * 1024 + x.
    const uint32_t* Cells() const { return m_cells.data(); }
    const int32_t* Types() const { return m_types.data(); }
    const int32_t* Data() const { return m_data.data(); }

    // Half the side of a point's square, in surface units.
    int PointSize() const { return m_pointSize; }

    // Zoom to the rectangle between two corners on a surface of the given
    // size. Returns true when the limits changed and the points were cleared:
    // the host then feeds the points again. Nothing happens for a rectangle
    // less than 4 units wide or high.
    bool ZoomTo(int x1, int y1, int x2, int y2, const GraphGeometry& surface);
    // Back toward the host's default maxima. True when the limits changed
    // and the points were cleared (feed again).
    bool Unzoom(double defaultMaxX, double defaultMaxY);
    // The tag of the first point (in feed order) within 7 raster units of the
    // surface point on both axes, or -1.
    int32_t HitTest(int x, int y, const GraphGeometry& surface) const;

private:
    void Store(const GraphLimits& limits, double x, double y, int32_t type, int32_t data);
    void Touch() { m_version.fetch_add(1, std::memory_order_acq_rel); }
    void NotifyLimits();

    mutable std::mutex m_limitsMutex;
    GraphLimits m_limits;
    std::mutex m_observerMutex;
    std::function<void()> m_observer;
    std::atomic<uint64_t> m_version{0};

    GraphTexts m_texts;
    uint32_t m_options = 0;
    int m_pointSize = kInitialPointSize;
    int32_t m_samples = 0;
    GraphExtents m_extents;
    std::vector<uint32_t> m_cells;
    std::vector<int32_t> m_types;
    std::vector<int32_t> m_data;
};

}  // namespace vantrel
