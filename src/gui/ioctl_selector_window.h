#pragma once
// "IOCTL Selector": the tool window over CIoctlSelectorCore. It shows what
// the core holds and hands it the user's actions; the core decides
// everything else. Non-modal, owned by the main frame, hidden and shown on
// command; the refresh timer (one shot) lives here.

#include <QDialog>
#include <QTimer>

#include "catalogue/ioctl_selector_core.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace vantrel {

class CIoctlSelectorWindow : public QDialog, public ISelectorView {
    Q_OBJECT
public:
    // Shows the core's state at once; the core must outlive the window.
    CIoctlSelectorWindow(CIoctlSelectorCore& core, QWidget* owner);
    ~CIoctlSelectorWindow() override;

    CIoctlSelectorCore& Core() { return m_core; }
    bool RefreshPending() const { return m_refresh.isActive(); }

    // ISelectorView
    void EntriesChanged() override;
    void TemplateListsChanged() override;
    void ShowFields() override;
    void StartRefreshTimer(unsigned milliseconds) override;

private:
    void BuildControls();
    void OnListSelection();

    CIoctlSelectorCore& m_core;
    QTimer m_refresh;
    QListWidget* m_list = nullptr;
    QLineEdit* m_name = nullptr;
    QLabel* m_deviceObject = nullptr;
    QLabel* m_function = nullptr;
    QLabel* m_deviceType = nullptr;
    QLabel* m_access = nullptr;
    QLabel* m_method = nullptr;
    QComboBox* m_input = nullptr;
    QComboBox* m_output = nullptr;
    QCheckBox* m_filter = nullptr;
    QPushButton* m_save = nullptr;
    QPushButton* m_hide = nullptr;
};

}  // namespace vantrel
