// The desktop program as a user meets it: the start, the window's placement
// and splitters, the command table with its states, the panes and the keys,
// and one whole capture on the simulated driver from Add to Open.

#include "gui/main_frame.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPrintDialog>
#include <QPrinter>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QSplitter>
#include <QStatusBar>
#include <QTextBlock>
#include <QToolBar>
#include <QTreeWidget>
#include <QtTest>
#include <set>

#include "catalogue/catalogue.h"
#include "document/document.h"
#include "document/settings.h"
#include "driver/simulated_driver.h"
#include "gui/command_table.h"
#include "gui/device_list_view.h"
#include "gui/graph_view_page.h"
#include "gui/ioctl_selector_window.h"
#include "gui/irp_monitor_page.h"
#include "gui/results_pane.h"
#include "gui/small_dialogs.h"
#include "gui/statistics_page.h"
#include "gui/tab_view.h"
#include "gui/vantrel_app.h"
#include "record/test_file.h"
#include "support/cli_runner.h"
#include "support/document_fixture.h"
#include "support/gui_doubles.h"
#include "support/program_run.h"

using namespace vantrel;
using guitest::Enabled;
using guitest::ProgramRun;
using guitest::SelectRows;
using guitest::SubMenu;
using guitest::TopMenu;

namespace {

// ThreadSanitizer cannot follow a fork from a process that runs threads:
// there the saved file goes through the same load and store in process.
#if defined(__SANITIZE_THREAD__)
constexpr bool kForkAllowed = false;
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
constexpr bool kForkAllowed = false;
#else
constexpr bool kForkAllowed = true;
#endif
#else
constexpr bool kForkAllowed = true;
#endif

QStringList EntryTexts(const QMenu* menu) {
    QStringList texts;
    for (const QAction* a : menu->actions())
        texts << (a->isSeparator() ? QStringLiteral("-") : a->text());
    return texts;
}

// The majors named on the "Major Code" lines of the pane's text.
std::set<QString> MajorsShown(const CMyEditView& pane) {
    static const QRegularExpression line(QStringLiteral("Major Code:\\s+(IRP_MJ_\\w+)"));
    std::set<QString> majors;
    auto it = line.globalMatch(pane.toPlainText());
    while (it.hasNext()) majors.insert(it.next().captured(1));
    return majors;
}

// The text colour at the start of the first line containing `needle`.
QColor ColourOfLine(const CMyEditView& pane, const QString& needle) {
    for (QTextBlock b = pane.document()->begin(); b.isValid(); b = b.next()) {
        if (!b.text().contains(needle)) continue;
        QTextCursor c(b);
        c.movePosition(QTextCursor::NextCharacter, QTextCursor::KeepAnchor);
        return c.charFormat().foreground().color();
    }
    return {};
}

}  // namespace

class MainFrameTest : public QObject {
    Q_OBJECT

private slots:
    void init() { m_dir = std::make_unique<testing::ScratchDir>("main_frame"); }
    void cleanup() { m_dir.reset(); }

    void firstStartTakesTheDefaults() {
        testing::InFolder here(m_dir->Path());
        QVERIFY(CCatalogue::Create(*m_dir / "Vantrel.db", true));
        ProgramRun run(*m_dir);
        QVERIFY(run.Start());
        CMainFrame& frame = run.Frame();
        QVERIFY(frame.isVisible());
        QCOMPARE(frame.windowTitle(), QStringLiteral("Vantrel"));
        QCOMPARE(frame.InnerSplitter()->sizes().value(0), 260);
        // No stored "yoffset": the upper row takes 45 % of the splitter,
        // and keeps that share as the window grows.
        const auto upperShare = [&frame] {
            const QList<int> rows = frame.OuterSplitter()->sizes();
            return double(rows.value(0)) / (rows.value(0) + rows.value(1));
        };
        QVERIFY(std::abs(upperShare() - 0.45) < 0.01);
        frame.resize(1900, 1040);
        QTRY_VERIFY(std::abs(upperShare() - 0.45) < 0.01);
        QVERIFY(frame.OuterSplitter()->mapTo(&frame, QPoint(0, frame.GetResultsPane()->y())).y() >=
                0.42 * frame.height());
        QVERIFY(frame.AutoUpdate());
        QVERIFY(!frame.LogToFile());
        frame.UpdateCommandStates();
        QVERIFY(frame.Command(cmd::kAutoUpdate)->isChecked());
        QVERIFY(!frame.Command(cmd::kLogToFile)->isChecked());
        QVERIFY(frame.Command(cmd::kAllDevices)->isChecked());
        QCOMPARE(frame.GetTabView()->currentIndex(), 0);
        QVERIFY(frame.GetTabView()->IrpMonitorPage()->isVisible());
        QVERIFY(!frame.GetTabView()->StatisticsPage()->isVisible());
        QVERIFY(!frame.GetTabView()->GraphViewPage()->isVisible());
        QVERIFY(frame.GetDeviceListPane()->RowCount() > 0);
        QCOMPARE(frame.GetIoctlSelector(), nullptr);
        QVERIFY(run.prompts.messages.empty());
        guitest::SaveShot(frame, QStringLiteral("main_frame"));
        // Ending the program with the window still shown is safe too.
        run.app.reset();
    }

    void placementAndSplittersComeBack() {
        testing::InFolder here(m_dir->Path());
        QVERIFY(CCatalogue::Create(*m_dir / "Vantrel.db", true));
        {
            ProgramRun run(*m_dir);
            QVERIFY(run.Start());
            run.Frame().setGeometry(100, 120, 800, 600);
            run.Frame().InnerSplitter()->setSizes({200, 580});
            run.Frame().OuterSplitter()->setSizes({250, 300});
            run.Frame().showMaximized();
            QTRY_VERIFY(run.Frame().isMaximized());
            run.End();
            QCOMPARE(run.Stored("showCmd"), 3);
            QCOMPARE(run.Stored("flags"), 2);
            QCOMPARE(run.Stored("left"), 100);
            QCOMPARE(run.Stored("top"), 120);
            QCOMPARE(run.Stored("right"), 900);
            QCOMPARE(run.Stored("bottom"), 720);
            QCOMPARE(run.Stored("minx"), -1);
            QCOMPARE(run.Stored("xoffset"), 200);
            QCOMPARE(run.Stored("yoffset"), 250);
        }
        {
            // A normal start restores the maximised window and its splitters.
            ProgramRun run(*m_dir);
            QVERIFY(run.Start());
            QVERIFY(run.Frame().isMaximized());
            QCOMPARE(run.Frame().normalGeometry(), QRect(100, 120, 800, 600));
            QCOMPARE(run.Frame().InnerSplitter()->sizes().value(0), 200);
            QCOMPARE(run.Frame().OuterSplitter()->sizes().value(0), 250);
            run.Frame().showNormal();
            run.Frame().showMinimized();
            QTRY_VERIFY(run.Frame().isMinimized());
            run.End();
            QCOMPARE(run.Stored("showCmd"), 2);
            QCOMPARE(run.Stored("flags"), 1);
        }
        {
            ProgramRun run(*m_dir);
            QVERIFY(run.Start());
            QVERIFY(run.Frame().isMinimized());
        }
    }

    void aShowCommandReplacesTheStoredOne() {
        testing::InFolder here(m_dir->Path());
        QVERIFY(CCatalogue::Create(*m_dir / "Vantrel.db", true));
        ProgramRun run(*m_dir);
        WindowPlacement p;
        p.showCmd = kShowNormal;
        p.left = 50, p.top = 60, p.right = 850, p.bottom = 660;
        WriteWindowPlacement(p, 260, 300, run.settings);
        QVERIFY(run.Start({}, kShowMinimized));
        QVERIFY(run.Frame().isMinimized());
        QCOMPARE(run.Frame().normalGeometry(), QRect(50, 60, 800, 600));
    }

    void menusToolbarAndContextMenuAreAsListed() {
        testing::InFolder here(m_dir->Path());
        QVERIFY(CCatalogue::Create(*m_dir / "Vantrel.db", true));
        ProgramRun run(*m_dir);
        QVERIFY(run.Start());
        CMainFrame& frame = run.Frame();
        QStringList top;
        for (QAction* a : frame.menuBar()->actions()) top << a->text();
        QCOMPARE(top, (QStringList{"&File", "&Edit", "&View", "&Help"}));
        QCOMPARE(EntryTexts(TopMenu(frame, "&File")),
                 (QStringList{"&New", "&Open...", "-", "Save &As...", "&Export...", "-", "E&xit"}));
        QCOMPARE(
            EntryTexts(TopMenu(frame, "&Edit")),
            (QStringList{"&Undo\tCtrl+Z", "-", "Cu&t\tCtrl+X", "&Copy\tCtrl+C", "&Paste\tCtrl+V"}));
        QMenu* view = TopMenu(frame, "&View");
        QCOMPARE(EntryTexts(view),
                 (QStringList{"&Toolbar", "&Status Bar", "-", "&IOCTL selector", "IOCTL te&mplates",
                              "-", "&Data", "-", "&Results Pane", "&Graph", "St&atistics"}));
        QCOMPARE(EntryTexts(SubMenu(view, "&Data")),
                 (QStringList{"&Selected device", "&All devices"}));
        const QStringList pane{"&Properties...", "&View data range...", "-",
                               "&Auto-Update",   "&Log to file",        "-",
                               "&Clear"};
        QCOMPARE(EntryTexts(SubMenu(view, "&Results Pane")), pane);
        QCOMPARE(EntryTexts(frame.ContextMenu()), pane);
        QCOMPARE(EntryTexts(SubMenu(view, "&Graph")),
                 (QStringList{"&Properties...", "&Refresh", "-", "Pr&int..."}));
        QCOMPARE(EntryTexts(SubMenu(view, "St&atistics")), QStringList{"&Refresh"});
        QCOMPARE(EntryTexts(TopMenu(frame, "&Help")),
                 (QStringList{"&Contents...", "&About Vantrel..."}));

        QStringList buttons;
        for (QAction* a : frame.ToolBar()->actions())
            buttons << (a->isSeparator() ? QStringLiteral("-")
                                         : QString::number(a->property("commandId").toInt()));
        QCOMPARE(buttons, (QStringList{"32788", "-", "32787", "32799", "-", "32783", "32792",
                                       "32795", "-", "32796"}));
        for (QAction* a : frame.ToolBar()->actions())
            if (!a->isSeparator()) QVERIFY2(!a->icon().isNull(), qPrintable(a->objectName()));

        QAction* save = frame.findChild<QAction*>(QStringLiteral("cmd32799"));
        QVERIFY(save);
        QCOMPARE(save->property("commandId").toInt(), 32799);
        QCOMPARE(save->statusTip(), QStringLiteral("Save Vantrel test"));
        QCOMPARE(save->toolTip(), QStringLiteral("Save Vantrel test"));
        QCOMPARE(save->shortcut(), QKeySequence(QStringLiteral("Ctrl+S")));
        QCOMPARE(frame.Command(cmd::kUndo)->shortcuts(),
                 (QList<QKeySequence>{QKeySequence("Ctrl+Z"), QKeySequence("Alt+Backspace")}));
        for (const CommandInfo& info : CommandTable())
            QVERIFY(frame.findChild<QAction*>(QStringLiteral("cmd%1").arg(info.id)));

        // The status bar: the idle text and the three lock indicators.
        QCOMPARE(frame.statusBar()->findChild<QLabel*>("messagePane")->text(), QString("Ready"));
        for (const char* name : {"CAP", "NUM", "SCRL"})
            QVERIFY(frame.statusBar()->findChild<QLabel*>(name));
        // Offscreen there is no keyboard state: every lock reads off.
        QCOMPARE(frame.statusBar()->findChild<QLabel*>("CAP")->text(), QString());
    }

    void commandsGreyWhenTheyCannotRun() {
        testing::InFolder here(m_dir->Path());
        QVERIFY(CCatalogue::Create(*m_dir / "Vantrel.db", true));
        SimulatedDriverOptions options;
        options.rate = 2000;
        ProgramRun run(*m_dir, options);
        QVERIFY(run.Start());
        CMainFrame& frame = run.Frame();
        QVERIFY(!Enabled(frame, cmd::kSaveAs));
        QVERIFY(!Enabled(frame, cmd::kViewDataRange));
        QVERIFY(!Enabled(frame, cmd::kClear));
        QVERIFY(!Enabled(frame, cmd::kGraphProperties));
        frame.GetTabView()->setCurrentIndex(CMyTabView::kGraphViewTab);
        QVERIFY(Enabled(frame, cmd::kGraphProperties));
        frame.GetTabView()->setCurrentIndex(CMyTabView::kIrpMonitorTab);
        QVERIFY(!Enabled(frame, cmd::kGraphProperties));

        // Filtering greys Log to file; records enable Save As and the range.
        SelectRows(*frame.GetDeviceListPane(), {0});
        frame.GetTabView()->IrpMonitorPage()->ShowMask(0xFFFFFFF);
        QTest::mouseClick(frame.GetTabView()->IrpMonitorPage()->AddRemoveButton(), Qt::LeftButton);
        QVERIFY(run.Doc().State().FilterActive());
        QVERIFY(!Enabled(frame, cmd::kLogToFile));
        QTRY_VERIFY_WITH_TIMEOUT(Enabled(frame, cmd::kSaveAs), 10000);
        QVERIFY(Enabled(frame, cmd::kViewDataRange));
        QTRY_VERIFY_WITH_TIMEOUT(Enabled(frame, cmd::kClear), 10000);
        QTest::mouseClick(frame.GetTabView()->IrpMonitorPage()->AddRemoveButton(), Qt::LeftButton);
        QVERIFY(!run.Doc().State().FilterActive());
        QVERIFY(Enabled(frame, cmd::kLogToFile));

        frame.ExecuteCommand(cmd::kClear);
        QCOMPARE(frame.GetResultsPane()->TextLength(), 0);
        QVERIFY(!Enabled(frame, cmd::kClear));

        // A loaded test greys the data scope until New.
        const std::string file = *m_dir / "scope.vtl";
        QVERIFY(run.Doc().SaveFile(file));
        QVERIFY(run.Doc().OpenFile(file));
        QVERIFY(!Enabled(frame, cmd::kSelectedDevice));
        QVERIFY(!Enabled(frame, cmd::kAllDevices));
        frame.ExecuteCommand(cmd::kNew);
        QVERIFY(Enabled(frame, cmd::kSelectedDevice));
        QVERIFY(Enabled(frame, cmd::kAllDevices));
        QVERIFY(!Enabled(frame, cmd::kSaveAs));

        frame.ExecuteCommand(cmd::kSelectedDevice);
        QVERIFY(!run.Doc().State().ShowAllDevices());
        frame.UpdateCommandStates();
        QVERIFY(frame.Command(cmd::kSelectedDevice)->isChecked());
        QVERIFY(!frame.Command(cmd::kAllDevices)->isChecked());
    }

    // One capture followed from Add to Open, each step checked as it comes.
    // NOLINTNEXTLINE(readability-function-size)
    void aCaptureFromAddToOpen() {
        testing::InFolder here(m_dir->Path());
        QVERIFY(CCatalogue::Create(*m_dir / "Vantrel.db", true));
        SimulatedDriverOptions options;
        // Slow enough that the whole run stays under the pane's 250-block clear.
        options.rate = 600;
        options.seed = 11;
        ProgramRun run(*m_dir, options);
        QVERIFY(run.Start());
        CMainFrame& frame = run.Frame();
        CMyEditView& pane = *frame.GetResultsPane();
        CIrpMonitorPage& page = *frame.GetTabView()->IrpMonitorPage();

        SelectRows(*frame.GetDeviceListPane(), {0, 1});
        const std::set<QString> chosen{"IRP_MJ_CREATE", "IRP_MJ_READ", "IRP_MJ_WRITE"};
        page.IrpList()->clearSelection();
        for (int major : {0, 3, 4}) page.IrpList()->item(major)->setSelected(true);
        QTest::mouseClick(page.AddRemoveButton(), Qt::LeftButton);
        QVERIFY(run.Doc().State().FilterActive());
        QVERIFY(page.IsUpdateEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(pane.toPlainText().count("IRP Monitor Data") >= 3, 10000);

        // Update Selection narrows the capture to reads.
        page.IrpList()->clearSelection();
        page.IrpList()->item(3)->setSelected(true);
        QTest::mouseClick(page.UpdateButton(), Qt::LeftButton);
        QTRY_VERIFY(pane.toPlainText().contains("has been updated"));
        QTest::mouseClick(page.AddRemoveButton(), Qt::LeftButton);
        QVERIFY(!run.Doc().State().FilterActive());
        QVERIFY(!page.IsUpdateEnabled());
        // The notices are grey (checked as they show: blocks printed after
        // them may reach the 250-block clear).
        QTRY_COMPARE(ColourOfLine(pane, "No longer filtering"), QColor(127, 127, 127));
        pane.ApplyPendingNow();
        const std::set<QString> shown = MajorsShown(pane);
        QVERIFY(!shown.empty());
        for (const QString& major : shown) QVERIFY2(chosen.count(major), qPrintable(major));
        // Headers are green or red.
        const QColor header = ColourOfLine(pane, "IRP Monitor Data");
        QVERIFY(header == QColor(0, 127, 0) || header == QColor(255, 0, 0));
        const size_t captured = run.Doc().RecordCount();
        QVERIFY(captured > 0);

        // Save As through the file dialog, then New, then Open.
        const std::string file = *m_dir / "run1.vtl";
        run.prompts.fileAnswers.push_back(file);
        frame.ExecuteCommand(cmd::kSaveAs);
        QCOMPARE(frame.windowTitle(), QStringLiteral("Vantrel - run1.vtl"));
        frame.ExecuteCommand(cmd::kNew);
        QCOMPARE(run.Doc().RecordCount(), size_t{0});
        QCOMPARE(frame.windowTitle(), QStringLiteral("Vantrel"));
        pane.ApplyPendingNow();
        QVERIFY(!pane.toPlainText().contains("IRP Monitor Data"));
        run.prompts.fileAnswers.push_back(file);
        frame.ExecuteCommand(cmd::kOpen);
        QCOMPARE(frame.windowTitle(), QStringLiteral("Vantrel - run1.vtl"));
        QCOMPARE(run.Doc().RecordCount(), captured);
        // Auto-Update prints the loaded records again: the pane ends with the
        // blocks printed since its last clear at the 250-block limit.
        QVERIFY(run.Doc().Pipeline().WaitPrinted(10000));
        QTRY_COMPARE_WITH_TIMEOUT(pane.toPlainText().count("IRP Monitor Data"),
                                  qsizetype(run.Doc().Pipeline().PrintedBlockCount()), 10000);
        QVERIFY(run.Doc().Pipeline().RangeBlocksPrinted() >= captured);

        // The saved file loads and stores again byte for byte.
        const std::string again = *m_dir / "again.vtl";
        if (kForkAllowed) {
            QProcess cli;
            cli.start(QStringLiteral(VANTREL_CLI),
                      {QStringLiteral("roundtrip"), QString::fromStdString(file),
                       QString::fromStdString(again)});
            QVERIFY(cli.waitForFinished(30000));
            QCOMPARE(cli.exitCode(), 0);
        } else {
            TestFileHeader header;
            CRecordList loaded;
            QVERIFY(LoadTestFile(file, header, loaded, nullptr));
            QVERIFY(StoreTestFile(again, header, loaded, nullptr));
        }
        QCOMPARE(testing::ReadFileBytes(again), testing::ReadFileBytes(file));

        // The recent-file list holds the file, newest first.
        QCOMPARE(run.app->RecentFiles().Files().front(), file);
    }

    void aRefusedStartShowsNoWindow() {
        testing::InFolder here(m_dir->Path());
        QVERIFY(CCatalogue::Create(*m_dir / "Vantrel.db", true));
        {
            SimulatedDriverOptions options = ProgramRun::Quiet();
            options.absent = true;
            ProgramRun run(*m_dir, options);
            QVERIFY(!run.Start());
            QCOMPARE(run.app->MainFrame(), nullptr);
            QCOMPARE(run.prompts.messages.size(), size_t{1});
            QCOMPARE(run.prompts.messages[0].first, 61452u);
        }
        for (QWidget* w : QApplication::topLevelWidgets()) QVERIFY(!w->isVisible());
        {
            // No "Vantrel.db" here, and the user cancels the question.
            QDir().remove(QString::fromStdString(*m_dir / "Vantrel.db"));
            ProgramRun run(*m_dir);
            QVERIFY(!run.Start());
            QCOMPARE(run.prompts.fileRequests.size(), size_t{1});
            QCOMPARE(run.app->MainFrame(), nullptr);
        }
        for (QWidget* w : QApplication::topLevelWidgets()) QVERIFY(!w->isVisible());
    }

    void theCommandLineOpensATestAndTheRecentListKeepsFour() {
        testing::InFolder here(m_dir->Path());
        QVERIFY(CCatalogue::Create(*m_dir / "Vantrel.db", true));
        std::vector<std::string> files;
        {
            SimulatedDriverOptions options;
            options.rate = 4000;
            ProgramRun run(*m_dir, options);
            QVERIFY(run.Start());
            SelectRows(*run.Frame().GetDeviceListPane(), {0});
            run.Frame().GetTabView()->IrpMonitorPage()->ShowMask(0xFFFFFFF);
            run.Frame().GetTabView()->IrpMonitorPage()->AddRemoveButton()->click();
            QTRY_VERIFY_WITH_TIMEOUT(run.Doc().RecordCount() >= 3, 10000);
            run.Frame().GetTabView()->IrpMonitorPage()->AddRemoveButton()->click();
            for (int i = 1; i <= 5; ++i) {
                files.push_back(*m_dir / ("t" + std::to_string(i) + ".vtl"));
                run.prompts.fileAnswers.push_back(files.back());
                run.Frame().ExecuteCommand(cmd::kSaveAs);
            }
            QCOMPARE(run.app->RecentFiles().Files(),
                     (std::vector<std::string>{files[4], files[3], files[2], files[1]}));
        }
        {
            ProgramRun run(*m_dir);
            QVERIFY(run.Start({QString::fromStdString(files[0])}));
            QCOMPARE(run.Frame().windowTitle(), QStringLiteral("Vantrel - t1.vtl"));
            QVERIFY(run.Doc().State().FileLoaded());
            QVERIFY(run.Doc().RecordCount() >= 3);
            const auto profile = run.settings.OpenFrameworkProfile();
            profile->beginGroup("Recent File List");
            QCOMPARE(profile->value("File1").toString().toStdString(), files[0]);
            QCOMPARE(profile->value("File2").toString().toStdString(), files[4]);
            QCOMPARE(profile->value("File4").toString().toStdString(), files[2]);
            QVERIFY(!profile->contains("File5"));
        }
        {
            ProgramRun run(*m_dir);
            QVERIFY(!run.Start({QString::fromStdString(*m_dir / "missing.vtl")}));
            QCOMPARE(run.app->MainFrame(), nullptr);
        }
    }

    void f6MovesBetweenThePanesAndEditFollowsTheFocus() {
        testing::InFolder here(m_dir->Path());
        QVERIFY(CCatalogue::Create(*m_dir / "Vantrel.db", true));
        ProgramRun run(*m_dir);
        QVERIFY(run.Start());
        CMainFrame& frame = run.Frame();
        frame.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&frame));
        CMyEditView& pane = *frame.GetResultsPane();
        frame.GetDeviceListPane()->setFocus();
        QTest::keyClick(&frame, Qt::Key_F6);
        QCOMPARE(QApplication::focusWidget(), frame.GetTabView()->IrpMonitorPage()->IrpList());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_F6);
        QCOMPARE(QApplication::focusWidget(), &pane);
        QTest::keyClick(&pane, Qt::Key_F6);
        QCOMPARE(QApplication::focusWidget(), frame.GetDeviceListPane());
        QTest::keyClick(frame.GetDeviceListPane(), Qt::Key_F6, Qt::ShiftModifier);
        QCOMPARE(QApplication::focusWidget(), &pane);

        // The Edit commands act on the pane while it has the focus.
        pane.AppendText("some text\r\n", 0x7F7F7F);
        pane.ApplyPendingNow();
        pane.selectAll();
        QVERIFY(Enabled(frame, cmd::kCopy));
        frame.GetDeviceListPane()->setFocus();
        QVERIFY(!Enabled(frame, cmd::kCopy));
        QVERIFY(!Enabled(frame, cmd::kPaste));
        QVERIFY(!Enabled(frame, cmd::kUndo));
    }

    void dialogsHelpSelectorAndNames() {
        testing::InFolder here(m_dir->Path());
        QVERIFY(CCatalogue::Create(*m_dir / "Vantrel.db", true));
        ProgramRun run(*m_dir);
        QVERIFY(run.Start());
        CMainFrame& frame = run.Frame();
        QCOMPARE(guitest::UnnamedControls(frame).join(","), QString());

        // Output Properties: OK with "Description" unticked.
        run.dialogs.script = [](QDialog& d) {
            auto& dlg = static_cast<COutputPropertiesDlg&>(d);
            dlg.Box(0x01)->setChecked(false);
            dlg.OkButton()->click();
        };
        frame.ExecuteCommand(cmd::kOutputProperties);
        QCOMPARE(run.Doc().State().OutputFlags(), 0x3Eu);
        run.dialogs.script = [](QDialog& d) {
            static_cast<COutputPropertiesDlg&>(d).CancelButton()->click();
        };
        frame.ExecuteCommand(cmd::kOutputProperties);
        QCOMPARE(run.Doc().State().OutputFlags(), 0x3Eu);

        // About, and Help with no manual beside the program.
        run.dialogs.script = [](QDialog& d) { d.accept(); };
        frame.ExecuteCommand(cmd::kAbout);
        QCOMPARE(run.dialogs.runs, 3);
        frame.ExecuteCommand(cmd::kHelpContents);
        QCOMPARE(run.prompts.messages.back().first, 61457u);

        // The selector: made and shown, hidden, shown again.
        frame.ExecuteCommand(cmd::kIoctlSelector);
        QVERIFY(frame.GetIoctlSelector());
        QVERIFY(frame.GetIoctlSelector()->isVisible());
        frame.UpdateCommandStates();
        QVERIFY(frame.Command(cmd::kIoctlSelector)->isChecked());
        frame.ExecuteCommand(cmd::kIoctlSelector);
        QVERIFY(!frame.GetIoctlSelector()->isVisible());
        frame.UpdateCommandStates();
        QVERIFY(!frame.Command(cmd::kIoctlSelector)->isChecked());

        // The template editor: refused while the IOCTL filter is on, modal otherwise.
        run.Doc().SetIoctlFilter(true);
        const int runs = run.dialogs.runs;
        frame.ExecuteCommand(cmd::kIoctlTemplates);
        QCOMPARE(run.prompts.messages.back().first, 61463u);
        QCOMPARE(run.dialogs.runs, runs);
        run.Doc().SetIoctlFilter(false);
        run.dialogs.script = [](QDialog& d) { d.reject(); };
        frame.ExecuteCommand(cmd::kIoctlTemplates);
        QCOMPARE(run.dialogs.runs, runs + 1);

        // Auto-Update and Log to file toggle and are stored at the end.
        frame.ExecuteCommand(cmd::kAutoUpdate);
        frame.ExecuteCommand(cmd::kLogToFile);
        QVERIFY(!frame.AutoUpdate());
        QVERIFY(frame.LogToFile());
        run.End();
        QCOMPARE(run.Stored("AutoUpdate"), 0);
        QCOMPARE(run.Stored("LogToFile"), 1);
    }

    void exportPrintAndTheSelectorOfACapture() {
        testing::InFolder here(m_dir->Path());
        QVERIFY(CCatalogue::Create(*m_dir / "Vantrel.db", true));
        SimulatedDriverOptions options;
        options.rate = 3000;
        options.devices = {"\\Device\\Harddisk0\\DR0"};
        ProgramRun run(*m_dir, options);
        QVERIFY(run.Start());
        CMainFrame& frame = run.Frame();
        QVERIFY(!Enabled(frame, cmd::kExport));

        // The first device control makes the selector, hidden, with its IOCTL.
        SelectRows(*frame.GetDeviceListPane(), {0});
        frame.GetTabView()->IrpMonitorPage()->ShowMask(0xFFFFFFF);
        frame.GetTabView()->IrpMonitorPage()->AddRemoveButton()->click();
        QTRY_VERIFY_WITH_TIMEOUT(frame.GetIoctlSelector() != nullptr, 10000);
        QVERIFY(!frame.GetIoctlSelector()->isVisible());
        // The entries come as the device controls do: at least two of them.
        const QListWidget* entries = frame.GetIoctlSelector()->findChild<QListWidget*>();
        QTRY_VERIFY_WITH_TIMEOUT(run.Doc().RecordCount() >= 30 && entries->count() > 1, 10000);
        frame.GetTabView()->IrpMonitorPage()->AddRemoveButton()->click();
        QVERIFY(!run.Doc().State().FilterActive());
        frame.ExecuteCommand(cmd::kIoctlSelector);
        QVERIFY(frame.GetIoctlSelector()->isVisible());
        QVERIFY(entries->count() > 1);

        // Export: every record of the scope, with the header row.
        QVERIFY(Enabled(frame, cmd::kExport));
        const std::string csv = *m_dir / "out.csv";
        run.prompts.fileAnswers.push_back(csv);
        frame.ExecuteCommand(cmd::kExport);
        QTRY_VERIFY_WITH_TIMEOUT(!frame.ExportRunning(), 10000);
        const std::string text = testing::ReadFileBytes(csv);
        QVERIFY(text.starts_with("index,tick,device_object,"));
        QVERIFY(size_t(std::count(text.begin(), text.end(), '\n')) >= run.Doc().RecordCount() + 1);
        QVERIFY(run.prompts.fileRequests.back().save);

        // A cancelled export leaves no file.
        frame.SetExportProgressThreshold(0);
        QTimer::singleShot(0, &frame, [&frame] {
            if (auto* progress = frame.findChild<QProgressDialog*>()) progress->cancel();
        });
        const std::string cancelled = *m_dir / "cancelled.jsonl";
        run.prompts.fileAnswers.push_back(cancelled);
        frame.ExecuteCommand(cmd::kExport);
        QTRY_VERIFY_WITH_TIMEOUT(!frame.ExportRunning(), 10000);
        QVERIFY(!QFile::exists(QString::fromStdString(cancelled)));

        // Print: on the Graph View tab only, through the print dialog.
        QVERIFY(!Enabled(frame, cmd::kPrintGraph));
        frame.GetTabView()->setCurrentIndex(CMyTabView::kGraphViewTab);
        QVERIFY(Enabled(frame, cmd::kPrintGraph));
        const QString pdf = QString::fromStdString(*m_dir / "graph.pdf");
        run.dialogs.script = [pdf](QDialog& d) {
            auto& dialog = dynamic_cast<QPrintDialog&>(d);
            dialog.printer()->setOutputFormat(QPrinter::PdfFormat);
            dialog.printer()->setOutputFileName(pdf);
            dialog.setResult(QDialog::Accepted);
        };
        frame.ExecuteCommand(cmd::kPrintGraph);
        QVERIFY(testing::ReadFileBytes(pdf.toStdString()).starts_with("%PDF-"));
    }

    void aLogThatCannotBeCreatedAsksFirst() {
        testing::InFolder here(m_dir->Path());
        QVERIFY(CCatalogue::Create(*m_dir / "Vantrel.db", true));
        SimulatedDriverOptions options;
        options.rate = 3000;
        ProgramRun run(*m_dir, options);
        QVERIFY(run.Start());
        CMainFrame& frame = run.Frame();
        CIrpMonitorPage& page = *frame.GetTabView()->IrpMonitorPage();
        CMyEditView& pane = *frame.GetResultsPane();
        SelectRows(*frame.GetDeviceListPane(), {0});
        page.ShowMask(0xFFFFFFF);
        page.AddRemoveButton()->click();
        QTRY_VERIFY_WITH_TIMEOUT(run.Doc().RecordCount() >= 10, 10000);
        page.AddRemoveButton()->click();
        QVERIFY(run.Doc().Pipeline().WaitPrinted(10000));
        pane.ApplyPendingNow();
        const QString text = pane.toPlainText();
        const size_t records = run.Doc().RecordCount();
        const uint64_t generation = run.Doc().RecordGeneration();
        const bool updateEnabled = page.IsUpdateEnabled();

        // Log to file on, in a folder where no file can be made.
        frame.ExecuteCommand(cmd::kLogToFile);
        QVERIFY(frame.LogToFile());
        testing::InFolder proc("/proc");
        run.prompts.yesNoAnswers = {false};
        page.ShowMask(0xFFFFFFF);  // the removal showed the row's mask, now 0
        page.AddRemoveButton()->click();
        QCOMPARE(run.prompts.questions.size(), size_t{1});
        QVERIFY(QString::fromStdString(run.prompts.questions[0]).contains("cannot be created"));
        QCoreApplication::processEvents();
        pane.ApplyPendingNow();
        QCOMPARE(pane.toPlainText(), text);
        QCOMPARE(run.Doc().RecordCount(), records);
        QCOMPARE(run.Doc().RecordGeneration(), generation);
        QVERIFY(!run.Doc().State().FilterActive());
        QCOMPARE(run.Doc().Devices().Row(0)->GetIrpMask(), 0u);
        QCOMPARE(frame.GetDeviceListPane()->RowTextColour(0), QColor(0, 0, 0));
        QCOMPARE(page.IsUpdateEnabled(), updateEnabled);

        // Yes: the capture goes on without the log.
        run.prompts.yesNoAnswers = {true};
        page.AddRemoveButton()->click();
        QCOMPARE(run.prompts.questions.size(), size_t{2});
        QVERIFY(run.Doc().State().FilterActive());
        QVERIFY(!run.Doc().LogToFileOpen());
        QTRY_VERIFY_WITH_TIMEOUT(run.Doc().RecordCount() >= 5, 10000);
        page.AddRemoveButton()->click();
        QVERIFY(!run.Doc().State().FilterActive());
    }

private:
    std::unique_ptr<testing::ScratchDir> m_dir;
};

QTEST_MAIN(MainFrameTest)
#include "main_frame_test.moc"
