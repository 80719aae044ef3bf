// The device list pane: columns and rows from the device list, red rows
// for masks, the selection reports and the selected rows in list order.

#include "gui/device_list_view.h"

#include <QHeaderView>
#include <QSignalSpy>
#include <QtTest>

#include "capture/device_list.h"
#include "gui/qt_text.h"
#include "support/gui_doubles.h"

using namespace vantrel;
using guitest::FakeDevice;

namespace {

std::vector<FakeDevice> SomeDevices() {
    return {
        {0x8A3E6030, "\\Device\\HarddiskVolume1", "Disk drive", 0},
        {0x8A3E7000, "\\Device\\Serial0", "Communications Port", 1},
        {0x8A3E8000, "\\Device\\KeyboardClass0", "Keyboard", 0},
        {0x8A3E6030, "\\Device\\HarddiskVolume1", "Disk drive (again)", 0},
    };
}

QImage IconImage(const QIcon& icon) {
    return icon.pixmap(16, 16).toImage();
}

// Pixels of red text (a filtered row's colour, smoothed at the edges) in a
// row's name and description, away from the picture.
int RedPixels(CMyListView& view, int row) {
    QRect rect = view.visualItemRect(view.topLevelItem(row));
    rect.setLeft(view.header()->sectionViewportPosition(CMyListView::kNameColumn));
    const QImage image = view.viewport()->grab(rect).toImage();
    int red = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            red += c.red() > 200 && c.green() < 90 && c.blue() < 90;
        }
    }
    return red;
}

// The first and the last row reported; -1 when none was.
int FirstReported(const QSignalSpy& spy) {
    return spy.isEmpty() ? -1 : spy.first().at(0).toInt();
}
int LastReported(const QSignalSpy& spy) {
    return spy.isEmpty() ? -1 : spy.last().at(0).toInt();
}

void Click(CMyListView& view, int row, Qt::KeyboardModifiers modifiers = {}) {
    const QRect rect = view.visualItemRect(view.topLevelItem(row));
    QTest::mouseClick(view.viewport(), Qt::LeftButton, modifiers, rect.center());
}

}  // namespace

class DeviceListViewTest : public QObject {
    Q_OBJECT
private slots:
    void init() {
        m_list = guitest::MakeDeviceList(SomeDevices());
        QCOMPARE(m_list->Count(), size_t(4));
    }

    void columnsAndRowsFollowTheDeviceList() {
        CMyListView view;
        view.Fill(*m_list);
        QCOMPARE(view.columnCount(), 3);
        const QStringList headings = {QStringLiteral("Device Object"),
                                      QStringLiteral("Device Object Name"),
                                      QStringLiteral("Description")};
        const int widths[] = {100, 120, 150};
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(view.headerItem()->text(i), headings[i]);
            // Wider only where the heading would be cut.
            QVERIFY(view.header()->sectionSize(i) >= widths[i]);
            QVERIFY(view.header()->sectionSize(i) >= view.header()->sectionSizeHint(i));
        }
        QCOMPARE(view.RowCount(), 4);
        QCOMPARE(view.topLevelItem(0)->text(0), QStringLiteral("0x8a3e6030"));
        QCOMPARE(view.topLevelItem(0)->text(1), QStringLiteral("\\Device\\HarddiskVolume1"));
        QCOMPARE(view.topLevelItem(0)->text(2), QStringLiteral("Disk drive"));
        // A flagged device: the other picture and no description.
        QCOMPARE(view.topLevelItem(1)->text(2), QString());
        QCOMPARE(IconImage(view.topLevelItem(0)->icon(0)), IconImage(ResourceIcon(132)));
        QCOMPARE(IconImage(view.topLevelItem(1)->icon(0)), IconImage(ResourceIcon(134)));
        QVERIFY(IconImage(ResourceIcon(132)) != IconImage(ResourceIcon(134)));
        QCOMPARE(view.RowInfo(3), m_list->Row(3));
        QCOMPARE(view.RowInfo(4), nullptr);
    }

    void rowsWithAMaskAreRedAtTheNextRepaint() {
        CMyListView view;
        view.resize(400, 200);
        view.Fill(*m_list);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QCOMPARE(RedPixels(view, 2), 0);

        m_list->Row(2)->SetIrpMask(1u << 3);
        view.RefreshRowColours();
        QCOMPARE(view.RowTextColour(2), QColor(255, 0, 0));
        QCOMPARE(view.RowTextColour(1), QColor(0, 0, 0));
        QVERIFY(RedPixels(view, 2) > 20);
        QCOMPARE(RedPixels(view, 1), 0);
        guitest::SaveShot(view, QStringLiteral("device_list"));

        m_list->Row(2)->SetIrpMask(0);
        view.RefreshRowColours();
        QCOMPARE(RedPixels(view, 2), 0);
    }

    void aRowScrolledOutAndBackIsStillRed() {
        std::vector<FakeDevice> many;
        for (uint32_t i = 0; i < 80; ++i)
            many.push_back({0x81000000 + i * 0x100, "\\Device\\D", "", 0});
        auto list = guitest::MakeDeviceList(many);
        CMyListView view;
        view.resize(400, 160);
        view.Fill(*list);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        list->Row(70)->SetIrpMask(0x0FFFFFFF);
        view.scrollToItem(view.topLevelItem(70));
        QCoreApplication::processEvents();
        QVERIFY(RedPixels(view, 70) > 20);
        view.scrollToTop();
        view.scrollToItem(view.topLevelItem(70));
        QCoreApplication::processEvents();
        QVERIFY(RedPixels(view, 70) > 20);
    }

    void selectionReportsNameTheRowLast() {
        CMyListView view;
        view.resize(400, 200);
        view.Fill(*m_list);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QSignalSpy spy(&view, &CMyListView::rowSelectionChanged);

        Click(view, 2);
        QCOMPARE(LastReported(spy), 2);
        QCOMPARE(view.SelectedRows(), std::vector<int>{2});

        spy.clear();
        Click(view, 0);  // row 2 loses the selection first, row 0 is named last
        QCOMPARE(FirstReported(spy), 2);
        QCOMPARE(LastReported(spy), 0);

        spy.clear();
        Click(view, 3, Qt::ControlModifier);
        QCOMPARE(LastReported(spy), 3);
        QCOMPARE(view.SelectedRows(), (std::vector<int>{0, 3}));
        QCOMPARE(view.SelectedRowInfos(),
                 (std::vector<const CDeviceObjectInfo*>{m_list->Row(0), m_list->Row(3)}));

        // A row that loses its selection is named too.
        spy.clear();
        Click(view, 3, Qt::ControlModifier);
        QCOMPARE(LastReported(spy), 3);
        QCOMPARE(view.SelectedRows(), std::vector<int>{0});

        spy.clear();
        QTest::keyClick(&view, Qt::Key_Up);
        QCOMPARE(LastReported(spy), 2);
        QCOMPARE(view.SelectedRows(), std::vector<int>{2});
    }

    void selectedRowsComeInListOrder() {
        CMyListView view;
        view.Fill(*m_list);
        view.topLevelItem(3)->setSelected(true);
        view.topLevelItem(1)->setSelected(true);
        QCOMPARE(view.SelectedRows(), (std::vector<int>{1, 3}));
    }

    void fillingReportsNothing() {
        CMyListView view;
        QSignalSpy spy(&view, &CMyListView::rowSelectionChanged);
        view.Fill(*m_list);
        view.setCurrentItem(view.topLevelItem(1));
        QCOMPARE(spy.count(), 1);
        view.Fill(*m_list);  // the old rows go without a report
        QCOMPARE(spy.count(), 1);
        QVERIFY(view.SelectedRows().empty());
        view.setCurrentItem(view.topLevelItem(1));
        QCOMPARE(LastReported(spy), 1);
    }

private:
    std::unique_ptr<CDeviceList> m_list;
};

QTEST_MAIN(DeviceListViewTest)
#include "device_list_view_test.moc"
