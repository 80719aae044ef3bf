#pragma once
// CStatisticsPage: the tab page that lists, per major function, the number
// of taken records, their average and total latency and the share that
// succeeded. It keeps no totals: every Recompute starts from the record
// list under the record selection of that moment.

#include <QWidget>

#include "analysis/statistics.h"
#include "gui/analysis_source.h"

class QTreeWidget;

namespace vantrel {

class CStatisticsPage : public QWidget {
    Q_OBJECT
public:
    explicit CStatisticsPage(AnalysisSource source, QWidget* parent = nullptr);

    // Empties the list and fills it again: 28 rows, or none in the
    // selected-device case without a selected device or a taken record.
    void Recompute();

    QTreeWidget* List() const { return m_list; }

private:
    void FitColumns();
    AnalysisSource m_source;
    CStatisticsCalculator m_calculator;
    QTreeWidget* m_list;
};

}  // namespace vantrel
