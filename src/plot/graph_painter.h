#pragma once
// The latency graph's painter: draws a CGraphModel with QPainter on any
// paint device (a widget, an image, a PDF file, a printer).
//
// Screen mode draws on a surface of the given width and height in device
// units: a button-face background, etched axes with arrowheads in black,
// grey and white, grid lines, tick labels, the titles and the points.
// Print mode draws in the 1024 x 768 logical space that PaintGraphPage maps
// onto the page: no background, every white line black, no grey.
//
// Points: each stored point is a filled square (red type 1, blue type 2,
// black otherwise) of side 2 x point size around its raster cell's surface
// position, and a type with bit 8 is a green marker line instead. A square
// covers exactly what an earlier square of the same cell covered, and a
// marker what an earlier marker of the same column covered, so only the
// last of each is drawn, in list order: the picture is the one that drawing
// every point in turn would give, at the cost of at most one square per
// raster cell.

#include <QColor>
#include <QString>
#include <cstdint>
#include <vector>

#include "analysis/graph_model.h"

class QPainter;
class QPagedPaintDevice;

namespace vantrel {

struct GraphPaintStyle {
    bool print = false;
    // Screen mode fills the surface with it first; an invalid colour leaves
    // the surface as it is.
    QColor background = QColor(240, 240, 240);
    // Height of the "Arial" text in logical units; the title is 4/3 of it.
    int fontPixelSize = 13;
};

class CGraphPainter {
public:
    // The whole graph on a surface of width x height logical units: the
    // frame, the X tick labels again, then the points.
    void Paint(QPainter& painter, const CGraphModel& model, int width, int height,
               const GraphPaintStyle& style);

    void PaintFrame(QPainter& painter, const CGraphModel& model, const GraphGeometry& surface,
                    const GraphPaintStyle& style);
    void PaintXLabels(QPainter& painter, const CGraphModel& model, const GraphGeometry& surface,
                      const GraphPaintStyle& style);
    void PaintPoints(QPainter& painter, const CGraphModel& model, const GraphGeometry& surface);

    // Number of squares and markers the last PaintPoints drew.
    size_t LastDrawnCount() const { return m_drawn; }

private:
    // Scratch kept between paints: the last point of each raster cell and
    // of each marker column. Stale entries are harmless: only cells and
    // columns of current points are read, after they were written.
    std::vector<int32_t> m_lastInCell;
    std::vector<int32_t> m_lastMarker;
    size_t m_drawn = 0;
};

// Draws one printed page on an active painter whose device is the page:
// the graph in print mode, mapped from 1024 x 768 onto the page's width less
// an eighth, centred, then the footers (left text left-aligned, right text
// right-aligned) along the bottom tenth. Either footer may be empty.
void PaintGraphPage(QPainter& painter, const CGraphModel& model, const QString& leftFooter,
                    const QString& rightFooter, int fontPixelSize = 13);

// Prints the graph as one page of `device` (a QPrinter or a QPdfWriter set
// up by the caller). False when no painter could be started on it.
bool PrintGraph(QPagedPaintDevice& device, const CGraphModel& model, const QString& leftFooter,
                const QString& rightFooter);

// The footer texts of a printed graph: the test's title, or "Untitled"
// without one; the local date and time.
QString GraphLeftFooter(const QString& title);
QString GraphRightFooter();

}  // namespace vantrel
