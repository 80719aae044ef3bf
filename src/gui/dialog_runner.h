#pragma once
// How a modal dialog is run. The program runs it with exec(); tests answer
// it in place (tick boxes, type, press OK) without a modal wait.

#include <QDialog>

namespace vantrel {

class IDialogRunner {
public:
    virtual ~IDialogRunner() = default;
    // Runs the dialog until it closes; QDialog::Accepted or Rejected.
    virtual int Run(QDialog& dialog) = 0;
};

class CModalDialogRunner final : public IDialogRunner {
public:
    int Run(QDialog& dialog) override { return dialog.exec(); }
};

}  // namespace vantrel
