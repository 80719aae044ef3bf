#pragma once
// The shell's small modal dialogs: Output Properties, View IRP Range and
// About. Each can be filled, read and accepted by its public members, so a
// test answers it through an IDialogRunner without a modal wait. GUI thread.

#include <QDialog>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <utility>

#include "gui/dialog_runner.h"

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace vantrel {

class IPrompts;

// The decimal conversion of the C library's strtol: leading blanks and one
// sign are taken, the digits up to the first other character are read, no
// digits give 0; values beyond 32 bits stop at the nearest limit.
int32_t DecimalTextValue(std::string_view text);

// OK and Cancel as pictures (a green tick, a red cross) with their names
// kept for the keyboard and the accessibility tree. Also for other dialogs
// with such buttons.
void MakeIconButton(QPushButton& button, int iconId, const QString& name);

class COutputPropertiesDlg : public QDialog {
    Q_OBJECT
public:
    // The six output fields; only these bits of the flags count.
    static constexpr uint32_t kAllFields = 0x3F;

    COutputPropertiesDlg(uint32_t outputFlags, QWidget* parent = nullptr);

    // The flags the ticked boxes give (the caller stores them after OK).
    uint32_t OutputFlags() const;
    // The box of one field bit (0x01 ... 0x20), or null.
    QCheckBox* Box(uint32_t bit) const;
    QPushButton* OkButton() const { return m_ok; }
    QPushButton* CancelButton() const { return m_cancel; }

private:
    QCheckBox* m_boxes[6] = {};
    QPushButton* m_ok = nullptr;
    QPushButton* m_cancel = nullptr;
};

class CIrpRangeDlg : public QDialog {
    Q_OBJECT
public:
    // Refusals go to the prompts as message 61461; the dialog stays open.
    explicit CIrpRangeDlg(IPrompts& prompts, QWidget* parent = nullptr);

    void SetTexts(const QString& start, const QString& end);
    QString StartText() const;
    QString EndText() const;
    // The two texts converted as OK converts them.
    int32_t StartValue() const;
    int32_t EndValue() const;

    QLineEdit* StartEdit() const { return m_start; }
    QLineEdit* EndEdit() const { return m_end; }
    QPushButton* OkButton() const { return m_ok; }
    QPushButton* CancelButton() const { return m_cancel; }

public slots:
    // Closes with OK only when 1 <= start <= end.
    void accept() override;

private:
    IPrompts& m_prompts;
    QLineEdit* m_start = nullptr;
    QLineEdit* m_end = nullptr;
    QPushButton* m_ok = nullptr;
    QPushButton* m_cancel = nullptr;
};

class CAboutBox : public QDialog {
    Q_OBJECT
public:
    explicit CAboutBox(QWidget* parent = nullptr);
    QPushButton* OkButton() const { return m_ok; }

private:
    QPushButton* m_ok = nullptr;
};

// The commands' use of the dialogs.

// Output Properties opened on the current flags: the new flags after OK,
// nothing after Cancel.
std::optional<uint32_t> RunOutputProperties(IDialogRunner& runner, QWidget* parent,
                                            uint32_t outputFlags);

struct IrpRangeChoice {
    int32_t start = 0;  // counted from 1
    int32_t end = 0;    // may lie past the records held; the caller limits it
};
// The texts proposed for `recordCount` records held: the last 1000, or from 1.
std::pair<QString, QString> ProposedRangeTexts(size_t recordCount);
// View IRP Range opened on the proposed texts: the accepted range, or nothing.
std::optional<IrpRangeChoice> RunIrpRange(IDialogRunner& runner, QWidget* parent, IPrompts& prompts,
                                          size_t recordCount);

void RunAboutBox(IDialogRunner& runner, QWidget* parent);

}  // namespace vantrel
