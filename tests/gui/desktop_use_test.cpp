// The desktop program as a person meets it: what the menus, the graph, the
// filter notices and the status bar show after the steps a user takes.

#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPushButton>
#include <QRegularExpression>
#include <QSplitter>
#include <QStatusBar>
#include <QtTest>
#include <map>

#include "catalogue/catalogue.h"
#include "gui/command_table.h"
#include "gui/device_list_view.h"
#include "gui/graph_properties_dialog.h"
#include "gui/graph_view_page.h"
#include "gui/graph_widget.h"
#include "gui/ioctl_selector_window.h"
#include "gui/irp_monitor_page.h"
#include "gui/results_pane.h"
#include "gui/small_dialogs.h"
#include "gui/tab_view.h"
#include "plot/graph_painter.h"
#include "record/le.h"
#include "record/protocol.h"
#include "support/program_run.h"

using namespace vantrel;
using guitest::ProgramRun;
using guitest::SelectRows;

namespace {

// A driver that refuses IOCTL_ACTIVATE_FILTER for one device object and
// passes everything else on.
class CRefusingDevice final : public IDriverDevice {
public:
    CRefusingDevice(std::unique_ptr<IDriverDevice> inner, uint32_t refused)
        : m_inner(std::move(inner)), m_refused(refused) {}
    bool DeviceIoControl(uint32_t code, uint8_t* buffer, uint32_t in, uint32_t out) override {
        if (code == protocol::IOCTL_ACTIVATE_FILTER && buffer &&
            le::U32(buffer + protocol::kActivateDeviceObject) == m_refused)
            return false;
        return m_inner->DeviceIoControl(code, buffer, in, out);
    }

private:
    std::unique_ptr<IDriverDevice> m_inner;
    uint32_t m_refused;
};

// The letters marked with "&" in these texts that more than one uses.
QStringList SharedMnemonics(const QStringList& texts) {
    std::map<QChar, QStringList> users;
    static const QRegularExpression marked(QStringLiteral("&([^&])"));
    for (const QString& text : texts) {
        const auto m = marked.match(text);
        if (m.hasMatch()) users[m.captured(1).at(0).toLower()] << text;
    }
    QStringList shared;
    for (const auto& [letter, list] : users)
        if (list.size() > 1) shared << list.join(QStringLiteral(" / "));
    return shared;
}

void CollectMenuClashes(const QMenu* menu, QStringList& clashes) {
    QStringList texts;
    for (QAction* a : menu->actions()) {
        texts << a->text();
        if (a->menu()) CollectMenuClashes(a->menu(), clashes);
    }
    for (const QString& c : SharedMnemonics(texts))
        clashes << menu->title() + QStringLiteral(": ") + c;
}

// Texts with mnemonics in a dialog: buttons, labels and group boxes.
QStringList DialogClashes(QWidget& dialog) {
    QStringList texts;
    for (auto* b : dialog.findChildren<QAbstractButton*>()) texts << b->text();
    for (auto* l : dialog.findChildren<QLabel*>()) texts << l->text();
    for (auto* g : dialog.findChildren<QGroupBox*>()) texts << g->title();
    return SharedMnemonics(texts);
}

// The rubber band is drawn inverted over the graph: a grab shows it.
QImage Grab(QWidget& w) {
    return w.grab().toImage();
}

}  // namespace

class DesktopUseTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        m_dir = std::make_unique<testing::ScratchDir>("desktop_use");
        m_here = std::make_unique<testing::InFolder>(m_dir->Path());
        QVERIFY(CCatalogue::Create(*m_dir / "Vantrel.db", true));
    }
    void cleanup() {
        m_here.reset();
        m_dir.reset();
    }

    void openingATestFillsTheGraphShown() {
        SimulatedDriverOptions options;
        options.rate = 3000;
        ProgramRun run(*m_dir, options);
        QVERIFY(run.Start());
        CMainFrame& frame = run.Frame();
        SelectRows(*frame.GetDeviceListPane(), {0});
        frame.GetTabView()->IrpMonitorPage()->ShowMask(0xFFFFFFF);
        frame.GetTabView()->IrpMonitorPage()->AddRemoveButton()->click();
        QTRY_VERIFY_WITH_TIMEOUT(run.Doc().RecordCount() >= 20, 10000);
        frame.GetTabView()->IrpMonitorPage()->AddRemoveButton()->click();
        const std::string file = *m_dir / "graph.vtl";
        run.prompts.fileAnswers.push_back(file);
        frame.ExecuteCommand(cmd::kSaveAs);
        frame.ExecuteCommand(cmd::kNew);
        frame.GetTabView()->setCurrentIndex(CMyTabView::kGraphViewTab);
        CGraphViewPage& graph = *frame.GetTabView()->GraphViewPage();
        QCOMPARE(graph.Model().SampleCount(), 0);
        run.prompts.fileAnswers.push_back(file);
        frame.ExecuteCommand(cmd::kOpen);
        QCOMPARE(size_t(graph.Model().SampleCount()), run.Doc().RecordCount());
    }

    void altEOpensAnEditMenuForThePane() {
        ProgramRun run(*m_dir);
        QVERIFY(run.Start());
        CMainFrame& frame = run.Frame();
        frame.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&frame));
        CMyEditView& pane = *frame.GetResultsPane();
        pane.AppendText("selected text\r\n", 0x7F7F7F);
        pane.ApplyPendingNow();
        pane.setFocus();
        pane.selectAll();
        QMenu* edit = guitest::TopMenu(frame, QStringLiteral("&Edit"));
        QVERIFY(edit);
        QTest::keyClick(&frame, Qt::Key_E, Qt::AltModifier);
        QTRY_VERIFY(edit->isVisible());
        QVERIFY(frame.Command(cmd::kCopy)->isEnabled());
        edit->close();
        // The focus back on another pane: Copy follows it.
        frame.GetDeviceListPane()->setFocus();
        QVERIFY(!guitest::Enabled(frame, cmd::kCopy));
    }

    void theRubberBandLivesOnlyWhileTheButtonIsHeld() {
        ProgramRun run(*m_dir);
        QVERIFY(run.Start());
        CMainFrame& frame = run.Frame();
        frame.GetTabView()->setCurrentIndex(CMyTabView::kGraphViewTab);
        CGraphWidget& graph = *frame.GetTabView()->GraphViewPage()->Graph();
        QTRY_VERIFY(graph.isVisible());
        const QImage plain = Grab(graph);
        const QPoint a(60, 60), b(160, 120);
        // A click without movement, then the pointer moves on: no band.
        QTest::mouseClick(&graph, Qt::LeftButton, {}, a);
        QTest::mouseMove(&graph, b);
        QCOMPARE(Grab(graph), plain);
        // A band being dragged is drawn; Escape, a right click and a dialog
        // each take it back.
        const auto startBand = [&] {
            QTest::mousePress(&graph, Qt::LeftButton, {}, a);
            QMouseEvent move(QEvent::MouseMove, QPointF(b), graph.mapToGlobal(QPointF(b)),
                             Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(&graph, &move);
            return Grab(graph) != plain;
        };
        QVERIFY(startBand());
        QTest::keyClick(&graph, Qt::Key_Escape);
        QCOMPARE(Grab(graph), plain);
        QTest::mouseRelease(&graph, Qt::LeftButton, {}, b);
        const GraphLimits before = graph.Model().Limits();
        QVERIFY(startBand());
        QTest::mouseClick(&graph, Qt::RightButton, {}, b);
        QCOMPARE(Grab(graph), plain);
        QCOMPARE(graph.Model().Limits().maxX, before.maxX);
        QTest::mouseRelease(&graph, Qt::LeftButton, {}, b);
        QVERIFY(startBand());
        run.dialogs.script = [&](QDialog& d) {
            QCOMPARE(Grab(graph), plain);
            d.reject();
        };
        frame.ExecuteCommand(cmd::kAbout);
        QCOMPARE(Grab(graph), plain);
    }

    void noMnemonicIsUsedTwice() {
        ProgramRun run(*m_dir);
        QVERIFY(run.Start());
        CMainFrame& frame = run.Frame();
        QStringList clashes;
        QStringList top;
        for (QAction* a : frame.menuBar()->actions()) {
            top << a->text();
            if (a->menu()) CollectMenuClashes(a->menu(), clashes);
        }
        clashes << SharedMnemonics(top);
        CollectMenuClashes(frame.ContextMenu(), clashes);
        clashes << DialogClashes(*frame.GetTabView()->IrpMonitorPage());
        QCOMPARE(frame.Command(cmd::kPrintGraph)->text(), QStringLiteral("Pr&int..."));
        // Every dialog the commands open.
        run.dialogs.script = [&clashes](QDialog& d) {
            clashes << DialogClashes(d);
            d.reject();
        };
        frame.ExecuteCommand(cmd::kOutputProperties);
        frame.ExecuteCommand(cmd::kAbout);
        frame.ExecuteCommand(cmd::kIoctlTemplates);
        frame.GetTabView()->setCurrentIndex(CMyTabView::kGraphViewTab);
        frame.ExecuteCommand(cmd::kGraphProperties);
        QTRY_COMPARE(run.dialogs.runs, 4);
        frame.ExecuteCommand(cmd::kIoctlSelector);
        clashes << DialogClashes(*frame.GetIoctlSelector());
        QCOMPARE(clashes.join(QStringLiteral("\n")), QString());
    }

    void graphPropertiesOpensOnTheFirstEditableField() {
        ProgramRun run(*m_dir);
        QVERIFY(run.Start());
        CMainFrame& frame = run.Frame();
        frame.GetTabView()->setCurrentIndex(CMyTabView::kGraphViewTab);
        QString focused;
        run.dialogs.script = [&](QDialog& d) {
            QWidget* focus = QApplication::focusWidget();
            QLineEdit* maxX =
                static_cast<CGraphPropertiesDialog&>(d).Field(CGraphPropertiesDialog::kMaxX);
            focused = focus == maxX ? QStringLiteral("Maximum X") : QStringLiteral("another field");
            d.reject();
        };
        frame.ExecuteCommand(cmd::kGraphProperties);
        QTRY_COMPARE(run.dialogs.runs, 1);
        QCOMPARE(focused, QStringLiteral("Maximum X"));
    }

    void aRefusedFilterIsNeitherReportedNorMarked() {
        ProgramRun run(*m_dir);
        QVERIFY(run.Start());
        const uint32_t refused = run.Doc().Devices().Row(1)->GetDeviceObject();
        run.End();
        run.wrapOpener = [refused](const DriverOpener& inner) -> DriverOpener {
            return [inner, refused](const std::string& path) -> std::unique_ptr<IDriverDevice> {
                auto device = inner(path);
                if (!device) return device;
                return std::make_unique<CRefusingDevice>(std::move(device), refused);
            };
        };
        QVERIFY(run.Start());
        CMainFrame& frame = run.Frame();
        CIrpMonitorPage& page = *frame.GetTabView()->IrpMonitorPage();
        CMyEditView& pane = *frame.GetResultsPane();
        SelectRows(*frame.GetDeviceListPane(), {0, 1});
        page.ShowMask(0x1);
        page.AddRemoveButton()->click();
        const QString refusal =
            QString::asprintf("No filter on PDEVICE_OBJECT 0x%.8x: the driver refused it", refused);
        const QString updated =
            QString::asprintf("Filter for PDEVICE_OBJECT 0x%.8x has been updated", refused);
        // Twice: by Add, then by Update Selection.
        page.UpdateButton()->click();
        QTRY_COMPARE(pane.toPlainText().count(refusal), 2);
        QVERIFY(!pane.toPlainText().contains(updated));
        QCOMPARE(run.Doc().Devices().Row(1)->GetIrpMask(), 0u);
        QCOMPARE(frame.GetDeviceListPane()->RowTextColour(1), QColor(0, 0, 0));
        QVERIFY(run.Doc().Devices().Row(0)->GetIrpMask() != 0);
        QCOMPARE(frame.GetDeviceListPane()->RowTextColour(0), QColor(255, 0, 0));
    }

    void theRemovalNoticeIsTheLastThingShown() {
        SimulatedDriverOptions options;
        options.rate = 20000;
        ProgramRun run(*m_dir, options);
        QVERIFY(run.Start());
        CMainFrame& frame = run.Frame();
        CIrpMonitorPage& page = *frame.GetTabView()->IrpMonitorPage();
        CMyEditView& pane = *frame.GetResultsPane();
        SelectRows(*frame.GetDeviceListPane(), {0});
        page.ShowMask(0xFFFFFFF);
        page.AddRemoveButton()->click();
        QTRY_VERIFY_WITH_TIMEOUT(run.Doc().RecordCount() >= 2000, 10000);
        page.AddRemoveButton()->click();
        QVERIFY(run.Doc().Pipeline().WaitPrinted(10000));
        pane.ApplyPendingNow();
        const QString last = pane.toPlainText().trimmed().split(QLatin1Char('\n')).last();
        QVERIFY2(last.startsWith(QStringLiteral("No longer filtering PDEVICE_OBJECT")),
                 qPrintable(last));
    }

    void printedFootersNeverOverlap() {
        // An A4 page at 100 dpi; the footers' ink in the bottom tenth.
        QImage page(827, 1169, QImage::Format_RGB32);
        page.fill(Qt::white);
        CGraphModel model;
        model.SetLimits(100, 10, 0, 0);
        const QString title =
            QStringLiteral("Vantrel - a capture of thirty characters and more.vtl");
        {
            QPainter p(&page);
            PaintGraphPage(p, model, title, QStringLiteral("12/10/2026 11:31"));
        }
        guitest::SaveImage(page, QStringLiteral("printed-page"));
        const int top = page.height() - page.height() / 10;
        std::vector<bool> inked(size_t(page.width()), false);
        int inkTop = page.height(), inkBottom = 0;
        for (int y = top; y < page.height(); ++y)
            for (int x = 0; x < page.width(); ++x)
                if (qGray(page.pixel(x, y)) < 128) {
                    inked[size_t(x)] = true;
                    inkTop = std::min(inkTop, y);
                    inkBottom = std::max(inkBottom, y);
                }
        // Two runs of ink with a clear gap between them, as high as the
        // axis labels' text (13 units of 1024 across the graph's width).
        const int first = int(std::find(inked.begin(), inked.end(), true) - inked.begin());
        const int last = int(inked.rend() - std::find(inked.rbegin(), inked.rend(), true)) - 1;
        int widestGap = 0, gap = 0;
        for (int x = first; x <= last; ++x) {
            gap = inked[size_t(x)] ? 0 : gap + 1;
            widestGap = std::max(widestGap, gap);
        }
        QVERIFY2(widestGap >= 10, qPrintable(QString::number(widestGap)));
        const double labelHeight = 13.0 * (page.width() * 7.0 / 8) / 1024.0;
        QVERIFY2(inkBottom - inkTop + 1 <= 2 * labelHeight,
                 qPrintable(QString::number(inkBottom - inkTop + 1)));
    }

    void theStatusBarCountsTheRecords() {
        SimulatedDriverOptions options;
        options.rate = 3000;
        ProgramRun run(*m_dir, options);
        QVERIFY(run.Start());
        CMainFrame& frame = run.Frame();
        auto* figures = frame.statusBar()->findChild<QLabel*>(QStringLiteral("recordFigures"));
        QVERIFY(figures);
        QCOMPARE(figures->text(), QStringLiteral("0 records, 0 KB"));
        SelectRows(*frame.GetDeviceListPane(), {0});
        frame.GetTabView()->IrpMonitorPage()->ShowMask(0xFFFFFFF);
        frame.GetTabView()->IrpMonitorPage()->AddRemoveButton()->click();
        QTRY_VERIFY_WITH_TIMEOUT(run.Doc().RecordCount() >= 20, 10000);
        frame.GetTabView()->IrpMonitorPage()->AddRemoveButton()->click();
        const QString count = QString::number(run.Doc().RecordCount());
        static const QRegularExpression shape(QStringLiteral("^[0-9,]+ records, [0-9]+ KB$"));
        QTRY_VERIFY2(
            figures->text().section(QLatin1Char(' '), 0, 0).remove(QLatin1Char(',')) == count,
            qPrintable(figures->text() + QStringLiteral(" / ") + count));
        QVERIFY2(shape.match(figures->text()).hasMatch(), qPrintable(figures->text()));
    }

private:
    std::unique_ptr<testing::ScratchDir> m_dir;
    std::unique_ptr<testing::InFolder> m_here;
};

QTEST_MAIN(DesktopUseTest)
#include "desktop_use_test.moc"
