#include "gui/tab_view.h"

#include <QLabel>

#include "gui/graph_view_page.h"
#include "gui/irp_monitor_page.h"
#include "gui/qt_text.h"
#include "gui/statistics_page.h"

namespace vantrel {

QString PageTitle(const QWidget& page) {
    const auto* caption =
        page.findChild<QLabel*>(QStringLiteral("caption"), Qt::FindDirectChildrenOnly);
    return caption ? caption->text() : QString();
}

CMyTabView::CMyTabView(QWidget* parent) : QTabWidget(parent) {
    setObjectName(QStringLiteral("tabView"));
    setAccessibleName(QStringLiteral("Views"));
    setIconSize(QSize(16, 16));
    // The tabs and their pages in the small dialog font, 8 points (the
    // system's sans-serif face where "MS Sans Serif" is missing).
    QFont small = font();
    small.setFamilies({QStringLiteral("MS Sans Serif"), small.family()});
    small.setWeight(QFont::Normal);
    small.setPointSize(8);
    setFont(small);
    connect(this, &QTabWidget::currentChanged, this, [this](int tab) {
        if (tab >= 0 && count() == 3) emit pageShown(tab);
    });
}

void CMyTabView::SetPages(CIrpMonitorPage* irpMonitor, CStatisticsPage* statistics,
                          CGraphViewPage* graphView) {
    m_irpMonitor = irpMonitor;
    m_statistics = statistics;
    m_graphView = graphView;
    constexpr int kIcons[] = {140, 166, 153};
    QWidget* pages[] = {irpMonitor, statistics, graphView};
    for (int i = 0; i < 3; ++i) addTab(pages[i], ResourceIcon(kIcons[i]), PageTitle(*pages[i]));
    setCurrentIndex(kIrpMonitorTab);
    emit pageShown(kIrpMonitorTab);
}

}  // namespace vantrel
