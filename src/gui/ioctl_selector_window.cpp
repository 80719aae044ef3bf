#include "gui/ioctl_selector_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <algorithm>

#include "gui/catalogue_text.h"

namespace vantrel {

namespace {

void FillCombo(QComboBox* combo, const CSortedList& list) {
    const QSignalBlocker block(combo);
    combo->clear();
    for (const std::string& item : list.Items()) combo->addItem(ToScreenText(item));
}

void ShowSelection(QComboBox* combo, const CSortedList& list) {
    const QSignalBlocker block(combo);
    combo->setCurrentIndex(list.Selection() ? static_cast<int>(*list.Selection()) : -1);
}

std::optional<size_t> ComboIndex(int index) {
    if (index < 0) return std::nullopt;
    return static_cast<size_t>(index);
}

}  // namespace

CIoctlSelectorWindow::CIoctlSelectorWindow(CIoctlSelectorCore& core, QWidget* owner)
    : QDialog(owner, Qt::Tool | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                         Qt::WindowCloseButtonHint),
      m_core(core) {
    setWindowTitle(QStringLiteral("IOCTL Selector"));
    setModal(false);
    BuildControls();
    m_refresh.setSingleShot(true);
    connect(&m_refresh, &QTimer::timeout, this, [this] { m_core.OnRefreshTimer(); });
    m_core.SetView(this);
    TemplateListsChanged();
    EntriesChanged();
    ShowFields();
}

CIoctlSelectorWindow::~CIoctlSelectorWindow() {
    m_core.SetView(nullptr);
}

void CIoctlSelectorWindow::BuildControls() {
    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("ioctlList"));
    m_list->setViewMode(QListView::ListMode);
    m_list->setFlow(QListView::TopToBottom);
    // One column that scrolls sideways: a long IOCTL name is never cut.
    m_list->setWrapping(false);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    connect(m_list, &QListWidget::itemSelectionChanged, this,
            &CIoctlSelectorWindow::OnListSelection);

    auto value = [this](const char* name) {
        auto* label = new QLabel(this);
        label->setObjectName(QString::fromLatin1(name));
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        return label;
    };
    m_name = new QLineEdit(this);
    m_name->setObjectName(QStringLiteral("ioctlName"));
    connect(m_name, &QLineEdit::textEdited, this,
            [this](const QString& text) { m_core.SetIoctlNameField(FromScreenText(text)); });
    m_deviceObject = value("deviceObject");
    m_function = value("function");
    m_deviceType = value("deviceType");
    m_access = value("access");
    m_method = value("method");
    m_input = new QComboBox(this);
    m_input->setObjectName(QStringLiteral("inputBuffer"));
    connect(m_input, &QComboBox::activated, this,
            [this](int index) { m_core.ChooseInput(ComboIndex(index)); });
    m_output = new QComboBox(this);
    m_output->setObjectName(QStringLiteral("outputBuffer"));
    connect(m_output, &QComboBox::activated, this,
            [this](int index) { m_core.ChooseOutput(ComboIndex(index)); });
    m_filter = new QCheckBox(this);
    m_filter->setObjectName(QStringLiteral("filterSelected"));
    connect(m_filter, &QCheckBox::clicked, this, [this](bool on) { m_core.SetFilterBox(on); });
    m_save = new QPushButton(QStringLiteral("&Save Changes"), this);
    m_save->setObjectName(QStringLiteral("saveChanges"));
    connect(m_save, &QPushButton::clicked, this, [this] { m_core.SaveChanges(); });
    m_hide = new QPushButton(QStringLiteral("&Hide"), this);
    m_hide->setObjectName(QStringLiteral("hide"));
    connect(m_hide, &QPushButton::clicked, this, &QWidget::hide);

    auto* fields = new QGridLayout;
    const std::pair<const char*, QWidget*> rows[] = {{"IOCTL Name:", m_name},
                                                     {"Device Object:", m_deviceObject},
                                                     {"Function:", m_function},
                                                     {"Device Type:", m_deviceType},
                                                     {"Access:", m_access},
                                                     {"Method:", m_method},
                                                     {"Input Buffer:", m_input},
                                                     {"Output Buffer:", m_output},
                                                     {"Filter Selected IOCTL:", m_filter}};
    int row = 0;
    for (const auto& [text, widget] : rows) {
        fields->addWidget(new QLabel(QString::fromLatin1(text), this), row, 0);
        fields->addWidget(widget, row++, 1);
    }
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_save);
    buttons->addWidget(m_hide);

    auto* left = new QVBoxLayout;
    left->addWidget(new QLabel(QStringLiteral("IOCTL Names:"), this));
    left->addWidget(m_list);
    auto* right = new QVBoxLayout;
    right->addLayout(fields);
    right->addStretch();
    right->addLayout(buttons);
    auto* top = new QHBoxLayout(this);
    top->addLayout(left, 1);
    top->addLayout(right, 1);
    resize(560, 300);
}

void CIoctlSelectorWindow::OnListSelection() {
    const QList<QListWidgetItem*> selected = m_list->selectedItems();
    std::optional<size_t> row;
    if (!selected.isEmpty()) row = static_cast<size_t>(m_list->row(selected.front()));
    m_core.SelectEntry(row);
}

void CIoctlSelectorWindow::EntriesChanged() {
    const QSignalBlocker block(m_list);
    const CIoctlEntryList& entries = m_core.Entries();
    const int count = static_cast<int>(entries.Size());
    while (m_list->count() > count) delete m_list->takeItem(m_list->count() - 1);
    for (int i = 0; i < count; ++i) {
        const QString label = ToScreenText(entries.At(static_cast<size_t>(i)).label);
        if (i >= m_list->count()) m_list->addItem(QString());
        QListWidgetItem* item = m_list->item(i);
        // A name wider than the list shows in full as the entry's tooltip.
        if (item->text() != label) {
            item->setText(label);
            item->setToolTip(label);
        }
    }
    // The list widens to its longest name (within reason; past that it
    // scrolls sideways and the tooltip shows the name).
    constexpr int kWidestList = 360;
    const int wanted = m_list->sizeHintForColumn(0) + 2 * m_list->frameWidth() +
                       m_list->verticalScrollBar()->sizeHint().width();
    m_list->setMinimumWidth(std::min(wanted, kWidestList));
    const std::optional<size_t> selected = m_core.SelectedEntry();
    for (int i = 0; i < count; ++i) {
        const bool on = selected && *selected == static_cast<size_t>(i);
        if (m_list->item(i)->isSelected() != on) m_list->item(i)->setSelected(on);
    }
    if (!selected) m_list->setCurrentItem(nullptr, QItemSelectionModel::NoUpdate);
}

void CIoctlSelectorWindow::TemplateListsChanged() {
    FillCombo(m_input, m_core.InputList());
    FillCombo(m_output, m_core.OutputList());
}

void CIoctlSelectorWindow::ShowFields() {
    const SelectorFields& f = m_core.Fields();
    if (m_name->text() != ToScreenText(f.ioctlName)) {
        m_name->setText(ToScreenText(f.ioctlName));
        m_name->setCursorPosition(0);  // a long name shows from its start
    }
    m_name->setToolTip(m_name->text());
    m_deviceObject->setText(ToScreenText(f.deviceObject));
    m_function->setText(ToScreenText(f.function));
    m_deviceType->setText(ToScreenText(f.deviceType));
    m_access->setText(ToScreenText(f.access));
    m_method->setText(ToScreenText(f.method));
    ShowSelection(m_input, m_core.InputList());
    ShowSelection(m_output, m_core.OutputList());
    const QSignalBlocker block(m_filter);
    m_filter->setChecked(m_core.FilterBox());
}

void CIoctlSelectorWindow::StartRefreshTimer(unsigned milliseconds) {
    m_refresh.start(static_cast<int>(milliseconds));
}

}  // namespace vantrel
