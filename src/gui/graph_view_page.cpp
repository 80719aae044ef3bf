#include "gui/graph_view_page.h"

#include <QLabel>
#include <QPageSize>
#include <QPrintDialog>
#include <QPrinter>
#include <QVBoxLayout>

#include "gui/graph_properties_dialog.h"
#include "platform/tick.h"
#include "plot/graph_painter.h"

namespace vantrel {

CGraphViewPage::CGraphViewPage(CGraphModel& model, GraphViewSource source, QWidget* parent)
    : QWidget(parent), m_model(model), m_source(std::move(source)) {
    auto* caption = new QLabel(QStringLiteral("Graph View"), this);
    caption->setObjectName(QStringLiteral("caption"));
    caption->hide();

    const auto defaults = [this] {
        const auto [x, y] = m_source.defaultMaxima ? m_source.defaultMaxima()
                                                   : std::pair<int32_t, int32_t>{100, 10};
        return std::pair<double, double>{x, y};
    };
    m_model.SetTexts(GraphViewTexts(), kGraphViewOptions);
    const auto [maxX, maxY] = defaults();
    m_model.SetLimits(maxX, maxY, 0.0, 0.0);

    m_graph = new CGraphWidget(m_model, defaults, QString(), this);
    connect(m_graph, &CGraphWidget::limitsChanged, this, &CGraphViewPage::Refresh);
    connect(m_graph, &CGraphWidget::pointActivated, this, [this](int index) {
        if (m_source.showRecord) m_source.showRecord(index);
    });
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_graph);
}

void CGraphViewPage::Refresh() {
    const AnalysisSource& a = m_source.analysis;
    if (!a.records || !a.columns) {
        m_model.Clear();
        return;
    }
    const RecordSelection selection = a.selection ? a.selection() : RecordSelection{};
    const FilterTicks ticks = m_source.ticks ? m_source.ticks() : FilterTicks{};
    const uint32_t now = m_source.now ? m_source.now() : GetTickCount32();
    RefreshGraph(*a.columns, *a.records, selection, ticks, now, m_model);
    m_graph->update();
}

void CGraphViewPage::ShowProperties() {
    CGraphPropertiesDialog dialog(GraphPropertiesFor(m_model.Limits(), m_model.SampleCount()),
                                  this);
    if (m_runDialog(dialog) == QDialog::Accepted)
        m_model.SetLimits(LimitsFromProperties(dialog.Texts()));
    Refresh();
}

bool CGraphViewPage::Print(QPagedPaintDevice& device) {
    const QString title = m_source.title ? m_source.title() : QString();
    return PrintGraph(device, m_model, GraphLeftFooter(title), GraphRightFooter());
}

bool CGraphViewPage::PrintWithDialog() {
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageSize(QPageSize(QPageSize::A4));
    QPrintDialog dialog(&printer, this);
    if (m_runDialog(dialog) != QDialog::Accepted) return false;
    return Print(printer);
}

}  // namespace vantrel
