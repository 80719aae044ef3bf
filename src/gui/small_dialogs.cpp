#include "gui/small_dialogs.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <limits>

#include "document/prompts.h"
#include "document/string_table.h"
#include "gui/dialog_units.h"
#include "gui/qt_text.h"

namespace vantrel {
namespace {

// Output field boxes in tab order: the left column, then the right.
struct FieldBox {
    uint32_t bit;
    const char* text;
    int column;
    int row;
};
constexpr FieldBox kFieldBoxes[6] = {
    {0x01, "&Description", 0, 0}, {0x10, "&Object Name", 0, 1}, {0x04, "&Major Code", 0, 2},
    {0x08, "Mi&nor Code", 1, 0},  {0x02, "IRP &Latency", 1, 1}, {0x20, "IRP &Parameters", 1, 2},
};

constexpr int kOkIcon = 190;
constexpr int kCancelIcon = 191;
constexpr int kAboutIcon = 128;
const QSize kButtonIconSize(56, 34);

bool IsBlank(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// The OK and Cancel pictures, to the right under the dialog's contents.
QHBoxLayout* IconButtonRow(QDialog& dialog, QPushButton*& ok, QPushButton*& cancel) {
    ok = new QPushButton(&dialog);
    cancel = new QPushButton(&dialog);
    MakeIconButton(*ok, kOkIcon, QStringLiteral("OK"));
    MakeIconButton(*cancel, kCancelIcon, QStringLiteral("Cancel"));
    ok->setDefault(true);
    QObject::connect(ok, &QPushButton::clicked, &dialog, &QDialog::accept);
    QObject::connect(cancel, &QPushButton::clicked, &dialog, &QDialog::reject);
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(ok);
    row->addWidget(cancel);
    return row;
}

}  // namespace

int32_t DecimalTextValue(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    int64_t value = 0;
    const int64_t limit = negative ? -int64_t(std::numeric_limits<int32_t>::min())
                                   : int64_t(std::numeric_limits<int32_t>::max());
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = std::min(limit, value * 10 + (text[i] - '0'));
    }
    return int32_t(negative ? -value : value);
}

void MakeIconButton(QPushButton& button, int iconId, const QString& name) {
    button.setText(QString());
    button.setIcon(ResourceIcon(iconId));
    button.setIconSize(kButtonIconSize);
    button.setAccessibleName(name);
    button.setToolTip(name);
    const CDialogUnits units(button.font());
    button.setMinimumSize(std::max(units.X(50), kButtonIconSize.width() + 12),
                          std::max(units.Y(24), kButtonIconSize.height() + 6));
}

// ---------------------------------------------------------------------------

COutputPropertiesDlg::COutputPropertiesDlg(uint32_t outputFlags, QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("outputPropertiesDialog"));
    setWindowTitle(QStringLiteral("Output Properties"));
    setModal(true);

    auto* group = new QGroupBox(QStringLiteral("IRP Output Settings"), this);
    auto* grid = new QGridLayout(group);
    grid->setHorizontalSpacing(CDialogUnits(font()).X(15));
    for (int i = 0; i < 6; ++i) {
        const FieldBox& field = kFieldBoxes[i];
        auto* box = new QCheckBox(QString::fromLatin1(field.text), group);
        // The text stands to the left of the box.
        box->setLayoutDirection(Qt::RightToLeft);
        box->setChecked((outputFlags & field.bit) != 0);
        grid->addWidget(box, field.row, field.column, Qt::AlignLeft);
        m_boxes[i] = box;
    }

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addLayout(IconButtonRow(*this, m_ok, m_cancel));
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

uint32_t COutputPropertiesDlg::OutputFlags() const {
    uint32_t flags = 0;
    for (int i = 0; i < 6; ++i) {
        if (m_boxes[i]->isChecked()) flags |= kFieldBoxes[i].bit;
    }
    return flags;
}

QCheckBox* COutputPropertiesDlg::Box(uint32_t bit) const {
    for (int i = 0; i < 6; ++i) {
        if (kFieldBoxes[i].bit == bit) return m_boxes[i];
    }
    return nullptr;
}

// ---------------------------------------------------------------------------

CIrpRangeDlg::CIrpRangeDlg(IPrompts& prompts, QWidget* parent)
    : QDialog(parent), m_prompts(prompts) {
    setObjectName(QStringLiteral("irpRangeDialog"));
    setWindowTitle(QStringLiteral("View IRP Range"));
    setModal(true);

    const CDialogUnits units(font());
    auto* group = new QGroupBox(QStringLiteral("IRP Range"), this);
    auto* grid = new QGridLayout(group);
    grid->setHorizontalSpacing(units.X(15));
    const auto addRow = [&](int row, const QString& label, QLineEdit*& edit) {
        edit = new QLineEdit(group);
        edit->setAccessibleName(label);
        edit->setMinimumWidth(units.X(55));
        grid->addWidget(new QLabel(label, group), row, 0);
        grid->addWidget(edit, row, 1);
    };
    addRow(0, QStringLiteral("Start value"), m_start);
    addRow(1, QStringLiteral("End value"), m_end);
    m_start->setObjectName(QStringLiteral("startValue"));
    m_end->setObjectName(QStringLiteral("endValue"));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addLayout(IconButtonRow(*this, m_ok, m_cancel));
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void CIrpRangeDlg::SetTexts(const QString& start, const QString& end) {
    m_start->setText(start);
    m_end->setText(end);
}

QString CIrpRangeDlg::StartText() const {
    return m_start->text();
}
QString CIrpRangeDlg::EndText() const {
    return m_end->text();
}
int32_t CIrpRangeDlg::StartValue() const {
    return DecimalTextValue(m_start->text().toLatin1().toStdString());
}
int32_t CIrpRangeDlg::EndValue() const {
    return DecimalTextValue(m_end->text().toLatin1().toStdString());
}

void CIrpRangeDlg::accept() {
    const int32_t start = StartValue();
    if (start < 1 || EndValue() < start) {
        m_prompts.MessageById(IDS_BAD_RANGE, BoxIcon::Warning);
        return;
    }
    QDialog::accept();
}

// ---------------------------------------------------------------------------

CAboutBox::CAboutBox(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("aboutBox"));
    setWindowTitle(QStringLiteral("About Vantrel"));
    setModal(true);

    auto* icon = new QLabel(this);
    icon->setPixmap(ResourceIcon(kAboutIcon).pixmap(32, 32));
    icon->setAccessibleName(QStringLiteral("Vantrel icon"));
    m_ok = new QPushButton(QStringLiteral("OK"), this);
    m_ok->setDefault(true);
    connect(m_ok, &QPushButton::clicked, this, &QDialog::accept);

    const CDialogUnits units(font());
    auto* grid = new QGridLayout(this);
    grid->setHorizontalSpacing(units.X(8));
    grid->addWidget(icon, 0, 0, 2, 1, Qt::AlignTop);
    grid->addWidget(new QLabel(QStringLiteral("Vantrel"), this), 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("Release 1.2 08/09/99"), this), 1, 1);
    grid->setColumnMinimumWidth(2, units.X(30));
    grid->addWidget(m_ok, 1, 3, Qt::AlignBottom);
    grid->setSizeConstraint(QLayout::SetFixedSize);
}

// ---------------------------------------------------------------------------

std::optional<uint32_t> RunOutputProperties(IDialogRunner& runner, QWidget* parent,
                                            uint32_t outputFlags) {
    COutputPropertiesDlg dialog(outputFlags, parent);
    if (runner.Run(dialog) != QDialog::Accepted) return std::nullopt;
    return dialog.OutputFlags();
}

std::pair<QString, QString> ProposedRangeTexts(size_t recordCount) {
    const auto held = int32_t(uint32_t(recordCount));
    const int32_t start = recordCount > 1000 ? held - 1000 : 1;
    return {QString::number(start), QString::number(held)};
}

std::optional<IrpRangeChoice> RunIrpRange(IDialogRunner& runner, QWidget* parent, IPrompts& prompts,
                                          size_t recordCount) {
    CIrpRangeDlg dialog(prompts, parent);
    const auto [start, end] = ProposedRangeTexts(recordCount);
    dialog.SetTexts(start, end);
    if (runner.Run(dialog) != QDialog::Accepted) return std::nullopt;
    return IrpRangeChoice{dialog.StartValue(), dialog.EndValue()};
}

void RunAboutBox(IDialogRunner& runner, QWidget* parent) {
    CAboutBox dialog(parent);
    runner.Run(dialog);
}

}  // namespace vantrel
