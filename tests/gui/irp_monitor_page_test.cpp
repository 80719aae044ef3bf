// The IRP Monitor page: its list of major functions, the mask it reads and
// shows, its buttons, Esc and the list's height rule.

#include "gui/irp_monitor_page.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

#include "support/gui_doubles.h"

using namespace vantrel;

class IrpMonitorPageTest : public QObject {
    Q_OBJECT
private slots:
    void listHoldsTheMajorFunctionsInCodeOrder() {
        CIrpMonitorPage page;
        QListWidget* list = page.IrpList();
        QCOMPARE(list->count(), 28);
        QCOMPARE(list->item(0)->text(), QStringLiteral("IRP_MJ_CREATE"));
        QCOMPARE(list->item(3)->text(), QStringLiteral("IRP_MJ_READ"));
        QCOMPARE(list->item(14)->text(), QStringLiteral("IRP_MJ_DEVICE_CONTROL"));
        QCOMPARE(list->item(27)->text(), QStringLiteral("IRP_MJ_PNP"));
        QCOMPARE(list->selectionMode(), QAbstractItemView::ExtendedSelection);
        QCOMPARE(page.Title(), QStringLiteral("IRP Monitor"));
        QVERIFY(!page.findChild<QLabel*>(QStringLiteral("caption"))->isVisibleTo(&page));
    }

    void maskRoundTrip() {
        CIrpMonitorPage page;
        QCOMPARE(page.SelectedMask(), 0u);
        page.IrpList()->item(0)->setSelected(true);
        page.IrpList()->item(27)->setSelected(true);
        QCOMPARE(page.SelectedMask(), (1u << 0) | (1u << 27));

        page.ShowMask(0x00004008);  // exactly READ and DEVICE_CONTROL
        QCOMPARE(page.SelectedMask(), 0x00004008u);
        QVERIFY(!page.IrpList()->item(0)->isSelected());
        page.ShowMask(0x0FFFFFFF);
        QCOMPARE(page.IrpList()->selectedItems().size(), 28);
        // Bits past the list select nothing.
        page.ShowMask(0xF0000000);
        QCOMPARE(page.SelectedMask(), 0u);
    }

    void buttonsReportAndUpdateStartsDisabled() {
        CIrpMonitorPage page;
        page.show();
        QVERIFY(QTest::qWaitForWindowExposed(&page));
        QSignalSpy add(&page, &CIrpMonitorPage::addRemoveFilterClicked);
        QSignalSpy update(&page, &CIrpMonitorPage::updateSelectionClicked);
        QCOMPARE(page.AddRemoveButton()->text(), QStringLiteral("Add / Remove Filter"));
        QCOMPARE(page.UpdateButton()->text(), QStringLiteral("Update Selection"));
        QVERIFY(!page.IsUpdateEnabled());
        QTest::mouseClick(page.UpdateButton(), Qt::LeftButton);
        QCOMPARE(update.count(), 0);

        QTest::mouseClick(page.AddRemoveButton(), Qt::LeftButton);
        QCOMPARE(add.count(), 1);
        page.SetUpdateEnabled(true);
        QTest::mouseClick(page.UpdateButton(), Qt::LeftButton);
        QCOMPARE(update.count(), 1);
        // Button texts are whole.
        for (QPushButton* button : {page.AddRemoveButton(), page.UpdateButton()}) {
            QVERIFY(button->width() >= button->sizeHint().width());
        }
        guitest::SaveShot(page, QStringLiteral("irp_monitor_page"));
    }

    void escapeDoesNothing() {
        CIrpMonitorPage page;
        page.show();
        QVERIFY(QTest::qWaitForWindowExposed(&page));
        page.ShowMask(0x5);
        QTest::keyClick(&page, Qt::Key_Escape);
        QTest::keyClick(page.IrpList(), Qt::Key_Escape);
        QVERIFY(page.isVisible());
        QCOMPARE(page.SelectedMask(), 0x5u);
    }

    void listHeightFollowsThePage() {
        CIrpMonitorPage page;
        page.show();
        const int width = page.IrpList()->width();
        page.resize(500, 400 - 27);  // the pane 400 high
        QCOMPARE(page.IrpList()->height(), 400 - 60);
        QCOMPARE(page.IrpList()->width(), width);
        page.resize(500, 40 - 27);  // too small: no list at all
        QCOMPARE(page.IrpList()->height(), 0);
    }
};

QTEST_MAIN(IrpMonitorPageTest)
#include "irp_monitor_page_test.moc"
