#pragma once
// The device list pane: one row per device object of a CDeviceList, in the
// list's order. Rows whose IRP mask is not 0 are drawn in red; the mask is
// read at every repaint, so RefreshRowColours after a filter change is all
// it takes.
//
// Selection: every row whose selection or focus changes is reported with
// rowSelectionChanged, the rows that lost their state first and the row
// that gained the focus last, so the last report names the row the user
// chose. Nothing is reported while the list is being filled.
//
// GUI thread only. The view keeps pointers to the rows of the CDeviceList
// it was filled from; that list must outlive the rows shown (refill or
// Clear before it changes).

#include <QTreeWidget>
#include <vector>

namespace vantrel {

class CDeviceList;
class CDeviceObjectInfo;

class CMyListView : public QTreeWidget {
    Q_OBJECT
public:
    enum Column { kDeviceObjectColumn = 0, kNameColumn = 1, kDescriptionColumn = 2 };

    explicit CMyListView(QWidget* parent = nullptr);

    // Replaces the rows with those of the list.
    void Fill(const CDeviceList& list);
    void Clear();

    int RowCount() const { return int(m_rows.size()); }
    // The row's device record; null when out of range.
    const CDeviceObjectInfo* RowInfo(int row) const;
    // Selected rows in list order.
    std::vector<int> SelectedRows() const;
    std::vector<const CDeviceObjectInfo*> SelectedRowInfos() const;
    bool IsFilling() const { return m_filling; }

    // Repaints the rows, taking each row's colour from its current mask.
    void RefreshRowColours();
    // Text colour of a row as the next repaint draws it.
    QColor RowTextColour(int row) const;

signals:
    void rowSelectionChanged(int row);

private:
    struct RowState {
        bool selected = false;
        bool focused = false;
        bool operator==(const RowState&) const = default;
    };

    void ReportStateChanges();
    std::vector<RowState> CurrentStates() const;

    std::vector<const CDeviceObjectInfo*> m_rows;
    std::vector<RowState> m_states;  // as last reported
    bool m_filling = false;
};

}  // namespace vantrel
