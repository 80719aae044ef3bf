#pragma once
// CGraphWidget: the latency graph's window. It paints what its CGraphModel
// holds, zooms to a rectangle dragged with the left button, zooms back out
// on a right-button release, and reports a double-clicked point. A band
// lives only while the left button is held: a click without movement, a
// right click, Escape and a dialog coming up each end it. It knows
// nothing about IRPs: after a zoom or an unzoom it emits limitsChanged()
// and its host feeds the points again.
//
// The model's limits may change on another thread (Y range growth on the
// printing thread): the widget is the model's limits observer and only
// posts itself a repaint from there. The model must outlive the widget.

#include <QImage>
#include <QPoint>
#include <QString>
#include <QWidget>
#include <functional>
#include <utility>

#include "analysis/graph_model.h"
#include "plot/graph_painter.h"

namespace vantrel {

// The axis-limit profile: an INI file whose section is the graph's title,
// with the keys "MaxX", "MaxY" (default "1000.0"), "MinX" and "MinY" (default
// "0.0"). An empty file name reads and writes nothing.
bool ReadGraphProfile(const QString& file, const QString& section, GraphLimits& limits);
void WriteGraphProfile(const QString& file, const QString& section, const GraphLimits& limits);

class CGraphWidget : public QWidget {
    Q_OBJECT
public:
    // The host's default maxima (X, Y), read at each unzoom.
    using DefaultMaxima = std::function<std::pair<double, double>()>;

    // Reads the limits from the profile (a non-empty `profileFile`) into the
    // model; the destructor writes them back.
    CGraphWidget(CGraphModel& model, DefaultMaxima defaults, const QString& profileFile = {},
                 QWidget* parent = nullptr);
    ~CGraphWidget() override;

    CGraphModel& Model() { return m_model; }
    // The surface the model's zoom and hit test work on: the widget's size.
    GraphGeometry Surface() const { return GraphGeometry{width(), height()}; }

signals:
    // A zoom or an unzoom changed the limits and cleared the points.
    void limitsChanged();
    // A double click: the tag of the point hit, or -1.
    void pointActivated(int index);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool event(QEvent* event) override;

private:
    void RenderCache();
    void CancelBand();

    CGraphModel& m_model;
    DefaultMaxima m_defaults;
    QString m_profileFile;

    // The painted graph, redrawn when the model or the size changed; the
    // rubber band is drawn over it.
    CGraphPainter m_painter;
    QImage m_cache;
    uint64_t m_cacheVersion = 0;

    // Rubber band: a drag runs from a left press to its release.
    bool m_dragging = false;
    bool m_rightCancelled = false;  // the right button's press ended a band
    bool m_drawn = false;
    QPoint m_start;
    QPoint m_corner;
};

}  // namespace vantrel
