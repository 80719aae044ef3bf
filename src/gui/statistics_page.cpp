#include "gui/statistics_page.h"

#include <QHeaderView>
#include <QLabel>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace vantrel {
namespace {

// The least widths of the columns of kStatisticsHeadings.
constexpr int kColumnWidths[] = {200, 55, 120, 120, 80};
static_assert(std::size(kColumnWidths) == kStatisticsHeadings.size());

}  // namespace

CStatisticsPage::CStatisticsPage(AnalysisSource source, QWidget* parent)
    : QWidget(parent), m_source(std::move(source)), m_list(new QTreeWidget(this)) {
    // The page's caption for the tab view; never shown on the page itself.
    auto* caption = new QLabel(QStringLiteral("Statistics"), this);
    caption->setObjectName(QStringLiteral("caption"));
    caption->hide();

    m_list->setObjectName(QStringLiteral("statisticsList"));
    m_list->setAccessibleName(QStringLiteral("Statistics per major function"));
    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true);
    m_list->setAllColumnsShowFocus(true);
    m_list->setColumnCount(static_cast<int>(kStatisticsHeadings.size()));
    QStringList titles;
    for (std::string_view heading : kStatisticsHeadings)
        titles << QString::fromLatin1(heading.data(), static_cast<qsizetype>(heading.size()));
    m_list->setHeaderLabels(titles);
    m_list->header()->setStretchLastSection(false);
    m_list->header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    FitColumns();

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(15, 15, 15, 15);
    layout->addWidget(m_list);
    Recompute();
}

void CStatisticsPage::Recompute() {
    m_list->clear();
    if (!m_source.records || !m_source.columns) return;
    m_source.columns->Update(*m_source.records);
    const RecordSelection selection = m_source.selection ? m_source.selection() : RecordSelection{};
    const StatisticsTable table = m_calculator.Compute(*m_source.columns, selection, false);
    if (!table.listed) return;
    QList<QTreeWidgetItem*> items;
    for (size_t row = 0; row < kStatisticsRows; ++row) {
        QStringList texts;
        for (const std::string& cell : StatisticsCells(row, table.rows[row]))
            texts << QString::fromStdString(cell);
        items << new QTreeWidgetItem(texts);
    }
    m_list->addTopLevelItems(items);
    FitColumns();
}

void CStatisticsPage::FitColumns() {
    // The listed widths are minimums: a column widens to its heading and its
    // values in the font in use.
    for (int i = 0; i < static_cast<int>(std::size(kColumnWidths)); ++i) {
        m_list->resizeColumnToContents(i);
        if (m_list->columnWidth(i) < kColumnWidths[i]) m_list->setColumnWidth(i, kColumnWidths[i]);
    }
}

}  // namespace vantrel
