#include "gui/graph_properties_dialog.h"

#include <QFile>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace vantrel {
namespace {

QString Fixed2(double v) {
    return QString::asprintf("%.2f", v);
}

// A button showing one of the program's icons at 56 x 34 pixels, with its
// word as the accessible name (and as the face when the icon is missing).
QPushButton* IconButton(const QString& icon, const QString& word, QWidget* parent) {
    auto* button = new QPushButton(parent);
    button->setFixedSize(56, 34);
    button->setAccessibleName(word);
    button->setToolTip(word);
    if (QFile::exists(icon)) {
        button->setIcon(QIcon(icon));
        button->setIconSize(QSize(32, 24));
    } else {
        button->setText(word);
    }
    return button;
}

}  // namespace

GraphPropertiesTexts GraphPropertiesFor(const GraphLimits& l, int32_t samples) {
    return GraphPropertiesTexts{QString::asprintf("%i", samples), Fixed2(l.maxX), Fixed2(l.maxY),
                                Fixed2(l.minX), Fixed2(l.minY)};
}

GraphLimits LimitsFromProperties(const GraphPropertiesTexts& t) {
    const auto number = [](const QString& s) { return TextToNumber(s.toStdString()); };
    return GraphLimits{number(t.minX), number(t.maxX), number(t.minY), number(t.maxY)};
}

CGraphPropertiesDialog::CGraphPropertiesDialog(const GraphPropertiesTexts& texts, QWidget* parent)
    : QDialog(parent),
      m_samples(new QLineEdit(texts.samples, this)),
      m_maxX(new QLineEdit(texts.maxX, this)),
      m_maxY(new QLineEdit(texts.maxY, this)),
      m_minX(new QLineEdit(texts.minX, this)),
      m_minY(new QLineEdit(texts.minY, this)),
      m_ok(IconButton(QStringLiteral(":/icons/icon190.svg"), tr("OK"), this)),
      m_cancel(IconButton(QStringLiteral(":/icons/icon191.svg"), tr("Cancel"), this)) {
    setWindowTitle(QStringLiteral("Graph Properties"));
    m_samples->setReadOnly(true);

    auto* axes = new QGroupBox(QStringLiteral("Y-Axis"), this);
    auto* axesForm = new QFormLayout(axes);
    axesForm->addRow(QStringLiteral("Maximum X-axis value"), m_maxX);
    axesForm->addRow(QStringLiteral("Maximum Y-axis value"), m_maxY);
    axesForm->addRow(QStringLiteral("Minimum X-axis value"), m_minX);
    axesForm->addRow(QStringLiteral("Minimum Y-axis value"), m_minY);

    auto* statistics = new QGroupBox(QStringLiteral("Statistics"), this);
    auto* statisticsForm = new QFormLayout(statistics);
    statisticsForm->addRow(QStringLiteral("Number of samples"), m_samples);

    m_ok->setDefault(true);
    connect(m_ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_ok);
    buttons->addWidget(m_cancel);
    buttons->addStretch();

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(axes);
    layout->addWidget(statistics);
    layout->addLayout(buttons);
    // The dialog opens on the first value the user can change; the sample
    // count is only read.
    setTabOrder(m_minY, m_samples);
    m_maxX->setFocus(Qt::OtherFocusReason);
}

GraphPropertiesTexts CGraphPropertiesDialog::Texts() const {
    return GraphPropertiesTexts{m_samples->text(), m_maxX->text(), m_maxY->text(), m_minX->text(),
                                m_minY->text()};
}

QLineEdit* CGraphPropertiesDialog::Field(int id) const {
    switch (id) {
        case kSamples:
            return m_samples;
        case kMaxX:
            return m_maxX;
        case kMaxY:
            return m_maxY;
        case kMinX:
            return m_minX;
        case kMinY:
            return m_minY;
        default:
            return nullptr;
    }
}

}  // namespace vantrel
