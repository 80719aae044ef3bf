#pragma once
// "IOCTL Template Editor": the modal dialog over CTemplateEditorCore. The
// navigation buttons carry icons 192 (first), 195 (previous), 194 (next) and
// 193 (last), left to right. Ok and Cancel (also Escape and the close
// button) tell the core before the dialog closes.

#include <QDialog>

#include "catalogue/template_editor_core.h"

class QComboBox;
class QLineEdit;
class QPushButton;
class QToolButton;

namespace vantrel {

class CTemplateEditorDialog : public QDialog, public ITemplateEditorView {
    Q_OBJECT
public:
    // Initialises the core (which may show a message) and shows its state.
    CTemplateEditorDialog(CTemplateEditorCore& core, QWidget* parent);
    ~CTemplateEditorDialog() override;

    CTemplateEditorCore& Core() { return m_core; }

    void accept() override;  // Ok: the current row is written back first
    void reject() override;  // Cancel: a new row in progress is dropped

    // ITemplateEditorView
    void ShowFields() override;
    void TemplateListChanged() override;

private:
    void BuildControls();
    QToolButton* NavigationButton(const char* name, int icon, void (CTemplateEditorCore::*move)());

    CTemplateEditorCore& m_core;
    QLineEdit* m_templateName = nullptr;
    QLineEdit* m_valueName = nullptr;
    QComboBox* m_type = nullptr;
    QLineEdit* m_offset = nullptr;
    QComboBox* m_templates = nullptr;
};

}  // namespace vantrel
