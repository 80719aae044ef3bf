#pragma once
// The desktop program's prompts: message boxes titled with the program's
// name, and Qt's own file dialog (not the platform's, so that it behaves the
// same everywhere and can be typed into from outside). GUI thread only.

#include <QString>
#include <memory>

#include "document/prompts.h"

class QFileDialog;
class QMessageBox;
class QWidget;

namespace vantrel {

class CQtPrompts final : public IPrompts {
public:
    explicit CQtPrompts(QWidget* parent = nullptr) : m_parent(parent) {}
    // The window the boxes and dialogs belong to (the main frame, once it exists).
    void SetParent(QWidget* parent) { m_parent = parent; }

    void MessageById(uint32_t stringId, BoxIcon icon) override;
    void MessageText(std::string_view text, BoxIcon icon) override;
    std::optional<std::string> AskFile(const FileDialogRequest& request) override;
    // A Yes/No box; No is the default button, so Enter never says Yes by accident.
    bool AskYesNo(std::string_view text, BoxIcon icon) override;

    // The boxes and dialogs as they are shown, for tests and for callers
    // that run them their own way.
    static std::unique_ptr<QMessageBox> MakeMessageBox(QWidget* parent, const QString& text,
                                                       BoxIcon icon);
    static std::unique_ptr<QMessageBox> MakeQuestionBox(QWidget* parent, const QString& text,
                                                        BoxIcon icon);
    static std::unique_ptr<QFileDialog> MakeFileDialog(QWidget* parent,
                                                       const FileDialogRequest& request);

private:
    QWidget* m_parent = nullptr;
};

// "Name (*.a)|*.a|Other (*.b;*.c)|*.b;*.c||" as Qt's name filters.
QStringList QtNameFilters(std::string_view filter);

}  // namespace vantrel
