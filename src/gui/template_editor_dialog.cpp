#include "gui/template_editor_dialog.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QToolButton>
#include <QVBoxLayout>

#include "gui/catalogue_text.h"

namespace vantrel {

CTemplateEditorDialog::CTemplateEditorDialog(CTemplateEditorCore& core, QWidget* parent)
    : QDialog(parent), m_core(core) {
    setWindowTitle(QStringLiteral("IOCTL Template Editor"));
    setModal(true);
    BuildControls();
    m_core.SetView(this);
    m_core.Initialise();
    TemplateListChanged();
    ShowFields();
}

CTemplateEditorDialog::~CTemplateEditorDialog() {
    m_core.SetView(nullptr);
}

QToolButton* CTemplateEditorDialog::NavigationButton(const char* name, int icon,
                                                     void (CTemplateEditorCore::*move)()) {
    auto* button = new QToolButton(this);
    button->setObjectName(QString::fromLatin1(name));
    button->setIcon(QIcon(QStringLiteral(":/icons/icon%1.svg").arg(icon)));
    button->setIconSize(QSize(16, 16));
    // The slot holds the core itself, not the dialog's this: GCC 12 with
    // -fsanitize=vptr miscompiles a member function pointer call on a member
    // reached through a captured this (the non-virtual path reads this from
    // a register it never loaded), and the sanitizer build then stops on a
    // null this. The connection ends with the dialog, which the core outlives.
    connect(button, &QToolButton::clicked, this, [&core = m_core, move] { (core.*move)(); });
    return button;
}

void CTemplateEditorDialog::BuildControls() {
    auto* navigation = new QHBoxLayout;
    navigation->addWidget(NavigationButton("moveFirst", 192, &CTemplateEditorCore::MoveFirst));
    navigation->addWidget(
        NavigationButton("movePrevious", 195, &CTemplateEditorCore::MovePrevious));
    navigation->addWidget(NavigationButton("moveNext", 194, &CTemplateEditorCore::MoveNext));
    navigation->addWidget(NavigationButton("moveLast", 193, &CTemplateEditorCore::MoveLast));
    navigation->addStretch();

    m_templateName = new QLineEdit(this);
    m_templateName->setObjectName(QStringLiteral("templateName"));
    connect(m_templateName, &QLineEdit::textEdited, this,
            [this](const QString& t) { m_core.EditTemplateName(FromScreenText(t)); });
    m_valueName = new QLineEdit(this);
    m_valueName->setObjectName(QStringLiteral("valueName"));
    connect(m_valueName, &QLineEdit::textEdited, this,
            [this](const QString& t) { m_core.SetValueName(FromScreenText(t)); });
    m_type = new QComboBox(this);
    m_type->setObjectName(QStringLiteral("type"));
    for (const std::string& name : CTemplateEditorCore::TypeNames())
        m_type->addItem(ToScreenText(name));
    connect(m_type, &QComboBox::activated, this,
            [this](int i) { m_core.SetType(FromScreenText(m_type->itemText(i))); });
    m_offset = new QLineEdit(this);
    m_offset->setObjectName(QStringLiteral("offset"));
    connect(m_offset, &QLineEdit::textEdited, this,
            [this](const QString& t) { m_core.SetOffsetText(FromScreenText(t)); });

    auto* group = new QGroupBox(QStringLiteral("Template Parameters"), this);
    auto* fields = new QGridLayout(group);
    const std::pair<const char*, QWidget*> rows[] = {{"Template Name:", m_templateName},
                                                     {"Value Name:", m_valueName},
                                                     {"Type:", m_type},
                                                     {"Offset:", m_offset}};
    int row = 0;
    for (const auto& [text, widget] : rows) {
        widget->setMinimumWidth(200);
        fields->addWidget(new QLabel(QString::fromLatin1(text), group), row, 0);
        fields->addWidget(widget, row++, 1);
    }

    m_templates = new QComboBox(this);
    m_templates->setObjectName(QStringLiteral("templateList"));
    connect(m_templates, &QComboBox::activated, this, [this](int i) {
        if (i >= 0) m_core.ChooseTemplate(static_cast<size_t>(i));
    });
    auto* add = new QPushButton(QStringLiteral("&Add"), this);
    add->setObjectName(QStringLiteral("add"));
    add->setDefault(true);
    connect(add, &QPushButton::clicked, this, [this] { m_core.Add(); });
    auto* remove = new QPushButton(QStringLiteral("&Delete"), this);
    remove->setObjectName(QStringLiteral("delete"));
    connect(remove, &QPushButton::clicked, this, [this] { m_core.Delete(); });
    auto* ok = new QPushButton(QStringLiteral("&Ok"), this);
    ok->setObjectName(QStringLiteral("ok"));
    ok->setAutoDefault(false);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    auto* cancel = new QPushButton(QStringLiteral("&Cancel"), this);
    cancel->setObjectName(QStringLiteral("cancel"));
    cancel->setAutoDefault(false);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* left = new QVBoxLayout;
    left->addLayout(navigation);
    left->addWidget(group);
    auto* right = new QVBoxLayout;
    right->addWidget(new QLabel(QStringLiteral("Template Name:"), this));
    right->addWidget(m_templates);
    for (QPushButton* b : {add, remove, ok, cancel}) right->addWidget(b);
    right->addStretch();
    auto* top = new QHBoxLayout(this);
    top->addLayout(left, 2);
    top->addLayout(right, 1);
}

void CTemplateEditorDialog::accept() {
    m_core.Ok();
    QDialog::accept();
}

void CTemplateEditorDialog::reject() {
    m_core.Cancel();
    QDialog::reject();
}

void CTemplateEditorDialog::ShowFields() {
    const TemplateEditorFields& f = m_core.Fields();
    auto show = [](QLineEdit* edit, const std::string& text) {
        const QString screen = ToScreenText(text);
        if (edit->text() != screen) edit->setText(screen);
    };
    show(m_templateName, f.templateName);
    show(m_valueName, f.valueName);
    show(m_offset, f.offset);
    {
        const QSignalBlocker block(m_type);
        m_type->setCurrentIndex(
            m_type->findText(ToScreenText(f.type), Qt::MatchExactly | Qt::MatchCaseSensitive));
    }
    m_templateName->setEnabled(m_core.NameFieldsEnabled());
    m_valueName->setEnabled(m_core.NameFieldsEnabled());
    const CSortedList& list = m_core.TemplateList();
    const QSignalBlocker block(m_templates);
    m_templates->setCurrentIndex(list.Selection() ? static_cast<int>(*list.Selection()) : -1);
}

void CTemplateEditorDialog::TemplateListChanged() {
    {
        const QSignalBlocker block(m_templates);
        m_templates->clear();
        for (const std::string& name : m_core.TemplateList().Items())
            m_templates->addItem(ToScreenText(name));
    }
    ShowFields();
}

}  // namespace vantrel
