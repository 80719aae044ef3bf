#include "gui/irp_monitor_page.h"

#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <algorithm>
#include <vector>

#include "capture/filter_control.h"
#include "decode/name_tables.h"
#include "gui/dialog_units.h"
#include "gui/qt_text.h"

namespace vantrel {

CIrpMonitorPage::CIrpMonitorPage(QWidget* parent)
    : QWidget(parent),
      m_title(new QLabel(QStringLiteral("IRP Monitor"), this)),
      m_list(new QListWidget(this)),
      m_addRemove(new QPushButton(QStringLiteral("Add / Remove Filter"), this)),
      m_update(new QPushButton(QStringLiteral("Update Selection"), this)) {
    setObjectName(QStringLiteral("irpMonitorPage"));
    m_title->setObjectName(QStringLiteral("caption"));
    m_title->hide();

    m_list->setObjectName(QStringLiteral("irpList"));
    m_list->setAccessibleName(QStringLiteral("IRP major functions"));
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_list->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    for (uint32_t major = 0; major < kMajorFunctionCount; ++major) {
        m_list->addItem(FromBytes(MajorFunctionName(major)));
    }

    m_addRemove->setObjectName(QStringLiteral("addRemoveFilter"));
    m_update->setObjectName(QStringLiteral("updateSelection"));
    m_update->setEnabled(false);
    connect(m_addRemove, &QPushButton::clicked, this, &CIrpMonitorPage::addRemoveFilterClicked);
    connect(m_update, &QPushButton::clicked, this, &CIrpMonitorPage::updateSelectionClicked);

    const CDialogUnits units(font());
    units.Place(*m_title, 105, 0, 40, 10);
    m_list->setGeometry(units.Rect(10, 10, 160, 170));
    units.Place(*m_addRemove, 175, 10, 75, 20);
    units.Place(*m_update, 175, 35, 75, 20);
    m_update->resize(std::max(m_update->width(), m_addRemove->width()), m_update->height());
    m_addRemove->resize(m_update->width(), m_addRemove->height());
    resize(units.X(360), units.Y(200));
}

QString CIrpMonitorPage::Title() const {
    return m_title->text();
}

uint32_t CIrpMonitorPage::SelectedMask() const {
    std::vector<int> entries;
    for (int i = 0; i < m_list->count(); ++i) {
        if (m_list->item(i)->isSelected()) entries.push_back(i);
    }
    return MaskFromSelection(entries);
}

void CIrpMonitorPage::ShowMask(uint32_t mask) {
    for (int i = 0; i < m_list->count(); ++i) {
        m_list->item(i)->setSelected((mask >> i) & 1u);
    }
}

void CIrpMonitorPage::SetUpdateEnabled(bool enabled) {
    m_update->setEnabled(enabled);
}

bool CIrpMonitorPage::IsUpdateEnabled() const {
    return m_update->isEnabled();
}

void CIrpMonitorPage::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    m_list->resize(m_list->width(), std::max(0, height() - kListBottomMargin));
}

void CIrpMonitorPage::keyPressEvent(QKeyEvent* event) {
    // Esc does nothing here: the page never closes or resets itself.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

}  // namespace vantrel
