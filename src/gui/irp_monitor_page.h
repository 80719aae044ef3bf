#pragma once
// The IRP Monitor page: the list of the 28 major functions to capture and
// the two filter buttons. The page only shows and reports; the filter work
// itself (the masks, the driver requests, the notices) is the document's.
// GUI thread only.

#include <QWidget>
#include <cstdint>

class QLabel;
class QListWidget;
class QPushButton;

namespace vantrel {

class CIrpMonitorPage : public QWidget {
    Q_OBJECT
public:
    // Between the list's bottom and the page's bottom, as the tab view
    // leaves it: the list is the pane's height minus 60, the page the pane's
    // height minus 27.
    static constexpr int kListBottomMargin = 60 - 27;

    explicit CIrpMonitorPage(QWidget* parent = nullptr);

    // "IRP Monitor": the tab's title.
    QString Title() const;

    // Bit i set for each selected entry i.
    uint32_t SelectedMask() const;
    // Selects entry i exactly when bit i is set (0 to 27).
    void ShowMask(uint32_t mask);
    void SetUpdateEnabled(bool enabled);
    bool IsUpdateEnabled() const;

    QListWidget* IrpList() const { return m_list; }
    QPushButton* AddRemoveButton() const { return m_addRemove; }
    QPushButton* UpdateButton() const { return m_update; }

signals:
    void addRemoveFilterClicked();
    void updateSelectionClicked();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QLabel* m_title;
    QListWidget* m_list;
    QPushButton* m_addRemove;
    QPushButton* m_update;
};

}  // namespace vantrel
