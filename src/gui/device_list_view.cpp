#include "gui/device_list_view.h"

#include <QHeaderView>
#include <QStyledItemDelegate>
#include <algorithm>

#include "capture/device_list.h"
#include "gui/qt_text.h"

namespace vantrel {
namespace {

struct ColumnSpec {
    const char* heading;
    int width;
};
constexpr ColumnSpec kColumns[] = {
    {"Device Object", 100},
    {"Device Object Name", 120},
    {"Description", 150},
};

const QColor kFilteredRow(255, 0, 0);
const QColor kPlainRow(0, 0, 0);
const QColor kFilteredSelection(255, 220, 220);

// Draws each row in the colour its mask gives at the moment of painting.
class CRowColourDelegate final : public QStyledItemDelegate {
public:
    explicit CRowColourDelegate(CMyListView* view) : QStyledItemDelegate(view), m_view(view) {}

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        const QColor colour = m_view->RowTextColour(index.row());
        option->palette.setColor(QPalette::Text, colour);
        option->palette.setColor(QPalette::WindowText, colour);
        if (colour == kFilteredRow) {
            // A selected filtered row stays red: its text keeps the colour
            // on a light selection instead of turning white on blue.
            option->palette.setColor(QPalette::HighlightedText, colour);
            option->palette.setColor(QPalette::Highlight, kFilteredSelection);
        }
    }

private:
    CMyListView* m_view;
};

QString DeviceObjectText(uint32_t deviceObject) {
    return QStringLiteral("0x%1").arg(deviceObject, 8, 16, QLatin1Char('0'));
}

}  // namespace

CMyListView::CMyListView(QWidget* parent) : QTreeWidget(parent) {
    setObjectName(QStringLiteral("deviceList"));
    setAccessibleName(QStringLiteral("Device objects"));
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setIconSize(QSize(16, 16));
    setItemDelegate(new CRowColourDelegate(this));

    QStringList headings;
    for (const ColumnSpec& column : kColumns) headings << QString::fromLatin1(column.heading);
    setColumnCount(int(headings.size()));
    setHeaderLabels(headings);
    header()->setStretchLastSection(false);
    header()->setSectionsMovable(false);
    header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    for (int i = 0; i < int(std::size(kColumns)); ++i) {
        header()->resizeSection(i, std::max(kColumns[i].width, header()->sectionSizeHint(i)));
    }

    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &CMyListView::ReportStateChanges);
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this,
            &CMyListView::ReportStateChanges);
}

void CMyListView::Clear() {
    m_filling = true;
    clear();
    m_rows.clear();
    m_states.clear();
    m_filling = false;
}

void CMyListView::Fill(const CDeviceList& list) {
    Clear();
    m_filling = true;
    const QIcon device = ResourceIcon(132);
    const QIcon other = ResourceIcon(134);
    QList<QTreeWidgetItem*> items;
    for (size_t i = 0; i < list.Count(); ++i) {
        const CDeviceObjectInfo* info = list.Row(i);
        if (!info) break;
        auto* item = new QTreeWidgetItem;
        item->setText(kDeviceObjectColumn, DeviceObjectText(info->GetDeviceObject()));
        item->setIcon(kDeviceObjectColumn, info->GetFlag() == 0 ? device : other);
        item->setText(kNameColumn, FromBytes(info->GetName().view()));
        item->setText(kDescriptionColumn, FromBytes(info->GetDescription().view()));
        items.append(item);
        m_rows.push_back(info);
    }
    addTopLevelItems(items);
    // Every device object text has the same width: the column shows it whole.
    header()->resizeSection(kDeviceObjectColumn,
                            std::max(header()->sectionSize(kDeviceObjectColumn),
                                     sizeHintForColumn(kDeviceObjectColumn)));
    m_states = CurrentStates();
    m_filling = false;
}

const CDeviceObjectInfo* CMyListView::RowInfo(int row) const {
    return row >= 0 && row < RowCount() ? m_rows[size_t(row)] : nullptr;
}

std::vector<int> CMyListView::SelectedRows() const {
    std::vector<int> rows;
    for (int i = 0; i < topLevelItemCount(); ++i) {
        if (topLevelItem(i)->isSelected()) rows.push_back(i);
    }
    return rows;
}

std::vector<const CDeviceObjectInfo*> CMyListView::SelectedRowInfos() const {
    std::vector<const CDeviceObjectInfo*> infos;
    for (int row : SelectedRows()) infos.push_back(RowInfo(row));
    return infos;
}

QColor CMyListView::RowTextColour(int row) const {
    const CDeviceObjectInfo* info = RowInfo(row);
    return info && info->GetIrpMask() != 0 ? kFilteredRow : kPlainRow;
}

void CMyListView::RefreshRowColours() {
    viewport()->update();
}

std::vector<CMyListView::RowState> CMyListView::CurrentStates() const {
    std::vector<RowState> states(static_cast<size_t>(topLevelItemCount()));
    const int current = currentIndex().isValid() ? currentIndex().row() : -1;
    for (int i = 0; i < int(states.size()); ++i) {
        states[size_t(i)] = {topLevelItem(i)->isSelected(), i == current};
    }
    return states;
}

void CMyListView::ReportStateChanges() {
    std::vector<RowState> now = CurrentStates();
    std::vector<RowState> before = std::move(m_states);
    m_states = now;
    if (m_filling) return;
    before.resize(now.size());

    std::vector<int> lost;
    std::vector<int> gained;
    int focused = -1;
    for (int i = 0; i < int(now.size()); ++i) {
        const RowState& was = before[size_t(i)];
        const RowState& is = now[size_t(i)];
        if (was == is) continue;
        const bool gain = (is.selected && !was.selected) || (is.focused && !was.focused);
        if (!gain) {
            lost.push_back(i);
        } else if (is.focused) {
            focused = i;
        } else {
            gained.push_back(i);
        }
    }
    for (int row : lost) emit rowSelectionChanged(row);
    for (int row : gained) emit rowSelectionChanged(row);
    if (focused >= 0) emit rowSelectionChanged(focused);
}

}  // namespace vantrel
