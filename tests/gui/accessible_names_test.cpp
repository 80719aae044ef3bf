// Every control of the panes, the page and the dialogs shows a text or
// carries an accessible name, so the accessibility tree names each one.

#include <QtTest>

#include "gui/device_list_view.h"
#include "gui/help_window.h"
#include "gui/irp_monitor_page.h"
#include "gui/results_pane.h"
#include "gui/small_dialogs.h"
#include "support/gui_doubles.h"

using namespace vantrel;

class AccessibleNamesTest : public QObject {
    Q_OBJECT
private slots:
    void everyControlIsNamed() {
        guitest::CScriptedPrompts prompts;
        QWidget root;
        new CMyEditView(&root);
        new CMyListView(&root);
        new CIrpMonitorPage(&root);
        new COutputPropertiesDlg(0x3F, &root);
        new CIrpRangeDlg(prompts, &root);
        new CAboutBox(&root);
        new CHelpWindow(&root);
        QCOMPARE(guitest::UnnamedControls(root), QStringList());
    }

    void anUnnamedControlIsFound() {
        QWidget root;
        auto* edit = new QLineEdit(&root);
        edit->setObjectName(QStringLiteral("anonymous"));
        QCOMPARE(guitest::UnnamedControls(root), QStringList{QStringLiteral("anonymous")});
    }
};

QTEST_MAIN(AccessibleNamesTest)
#include "accessible_names_test.moc"
