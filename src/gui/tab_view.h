#pragma once
// The tab view: the upper right pane with the IRP Monitor, Statistics and
// Graph View pages, one shown at a time. Each tab takes its title from its
// page's hidden "caption" label (none: an empty title). When a tab becomes
// the current one the view asks its page to bring itself up to date
// (pageShown); what that means for each page is its host's business.
// GUI thread only.

#include <QTabWidget>

namespace vantrel {

class CIrpMonitorPage;
class CStatisticsPage;
class CGraphViewPage;

class CMyTabView : public QTabWidget {
    Q_OBJECT
public:
    enum Tab { kIrpMonitorTab = 0, kStatisticsTab = 1, kGraphViewTab = 2 };

    // Empty until SetPages (the pane's first update).
    explicit CMyTabView(QWidget* parent = nullptr);
    // Takes the three pages, in tab order, and shows the first.
    void SetPages(CIrpMonitorPage* irpMonitor, CStatisticsPage* statistics,
                  CGraphViewPage* graphView);

    CIrpMonitorPage* IrpMonitorPage() const { return m_irpMonitor; }
    CStatisticsPage* StatisticsPage() const { return m_statistics; }
    CGraphViewPage* GraphViewPage() const { return m_graphView; }

signals:
    // The page of `tab` became the shown one.
    void pageShown(int tab);

private:
    CIrpMonitorPage* m_irpMonitor = nullptr;
    CStatisticsPage* m_statistics = nullptr;
    CGraphViewPage* m_graphView = nullptr;
};

// The text of the page's hidden "caption" label, empty without one.
QString PageTitle(const QWidget& page);

}  // namespace vantrel
