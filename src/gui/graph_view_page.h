#pragma once
// CGraphViewPage: the tab page with the latency graph ("IRP Latencies vs.
// Filter Duration"). Each taken record is a point at (its arrival in percent
// of the filter's active period, its latency in ms), blue for status 0, red
// otherwise, tagged with its position in the record list. The page draws
// only at Refresh; capturing alone adds no points.

#include <QString>
#include <QWidget>
#include <functional>
#include <utility>

#include "analysis/graph_model.h"
#include "gui/analysis_source.h"
#include "gui/graph_widget.h"

class QPagedPaintDevice;

namespace vantrel {

struct GraphViewSource {
    AnalysisSource analysis;
    // The filter's start tick and stop tick (0 while it is active).
    std::function<FilterTicks()> ticks;
    // The tick count now; empty: the system's tick count.
    std::function<uint32_t()> now;
    // The default axis maxima (X, Y): the axes at creation and after an unzoom.
    std::function<std::pair<int32_t, int32_t>()> defaultMaxima;
    // A double-clicked point: the record's position, or -1 (show nothing).
    std::function<void(int32_t)> showRecord;
    // The document's title for the printed footer; empty: "Untitled".
    std::function<QString()> title;
};

class CGraphViewPage : public QWidget {
    Q_OBJECT
public:
    // Gives the model the Graph View's texts and the axes 0 to the default
    // maxima. The model must outlive the page.
    CGraphViewPage(CGraphModel& model, GraphViewSource source, QWidget* parent = nullptr);

    // Clears the graph and feeds it every taken record again.
    void Refresh();
    // The Graph Properties dialog: shows the limits and the sample count; OK
    // sets the limits as typed. Refreshes after OK and after Cancel.
    void ShowProperties();
    // Prints the graph as one page with the footers (the title, the date
    // and time). False when the device could not be drawn on.
    bool Print(QPagedPaintDevice& device);
    // Opens the print dialog on an A4 printer and prints on OK. True when
    // a page was printed.
    bool PrintWithDialog();

    // How dialogs run (default: modally). Tests fill and accept them.
    void SetDialogRunner(DialogRunner runner) { m_runDialog = std::move(runner); }

    CGraphWidget* Graph() const { return m_graph; }
    CGraphModel& Model() const { return m_model; }

private:
    CGraphModel& m_model;
    GraphViewSource m_source;
    CGraphWidget* m_graph;
    DialogRunner m_runDialog = RunModal;
};

}  // namespace vantrel
