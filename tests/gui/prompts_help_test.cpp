// The Qt prompts (message boxes, Qt's own file dialog) and the help
// command: a missing or broken manual gives message 61457.

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QThread>
#include <QtTest>

#include "document/string_table.h"
#include "gui/help_window.h"
#include "gui/qt_prompts.h"
#include "support/gui_doubles.h"

using namespace vantrel;
using guitest::CScriptedPrompts;

namespace {

// Answers the next modal dialog once exec() runs its loop (an answer given
// while the dialog is still being shown would be lost), so that exec()
// returns. A dialog that is not answered, or stays open after its answer,
// is rejected after five seconds: the test fails rather than hangs.
template <typename Dialog>
void AnswerNextModal(std::function<void(Dialog&)> answer) {
    struct State {
        QElapsedTimer clock;
        bool answered = false;
        QPointer<Dialog> dialog;  // the one answered, until it goes
    };
    auto state = std::make_shared<State>();
    state->clock.start();
    auto* poll = new QTimer(qApp);  // goes with the application at the latest
    QObject::connect(poll, &QTimer::timeout, [poll, state, answer] {
        const bool late = state->clock.elapsed() > 5000;
        if (!state->answered) {
            auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
            if (dialog && QThread::currentThread()->loopLevel() > 0) {
                state->answered = true;
                state->dialog = dialog;
                answer(*dialog);
            }
            if (!late) return;
        } else if (state->dialog && state->dialog->isVisible() && !late) {
            return;
        }
        if (late) {
            qWarning() << "dialog not answered or still open";
            for (QWidget* widget : QApplication::topLevelWidgets()) {
                if (auto* open = qobject_cast<QDialog*>(widget); open && open->isVisible()) {
                    open->reject();
                }
            }
        }
        poll->stop();
        poll->deleteLater();
    });
    poll->start(20);
}

// Types a name into Qt's file dialog as the user would (selectFile leaves
// the name field alone while it has the focus).
void TypeFileName(QFileDialog& dialog, const QString& name) {
    auto* edit = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    QVERIFY(edit);
    edit->setText(name);
}

void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

}  // namespace

class PromptsHelpTest : public QObject {
    Q_OBJECT
private slots:
    void filtersBecomeQtNameFilters() {
        QCOMPARE(QtNameFilters("Vantrel Files (*.vtl)|*.vtl||"),
                 QStringList{QStringLiteral("Vantrel Files (*.vtl)")});
        QCOMPARE(QtNameFilters("Catalogue Files (*.db)|*.db||"),
                 QStringList{QStringLiteral("Catalogue Files (*.db)")});
        QCOMPARE(QtNameFilters("Logs (*.txt;*.log)|*.txt;*.log|Everything|*.*||"),
                 (QStringList{QStringLiteral("Logs (*.txt *.log)"),
                              QStringLiteral("Everything (*.*)")}));
        QCOMPARE(QtNameFilters(""), QStringList());
    }

    void fileDialogIsQtsOwnWithTheRequest() {
        QTemporaryDir dir;
        FileDialogRequest request;
        request.save = true;
        request.filter = "Vantrel Files (*.vtl)|*.vtl||";
        request.defaultExtension = ".vtl";
        request.initialPath =
            QFile::encodeName(dir.filePath(QStringLiteral("last.vtl"))).toStdString();
        const auto dialog = CQtPrompts::MakeFileDialog(nullptr, request);
        QVERIFY(dialog->testOption(QFileDialog::DontUseNativeDialog));
        QCOMPARE(dialog->acceptMode(), QFileDialog::AcceptSave);
        QCOMPARE(dialog->defaultSuffix(), QStringLiteral("vtl"));
        QCOMPARE(dialog->nameFilters(), QStringList{QStringLiteral("Vantrel Files (*.vtl)")});
        QCOMPARE(QFileInfo(dialog->directory().absolutePath()).canonicalFilePath(),
                 QFileInfo(dir.path()).canonicalFilePath());
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Save As"));

        request.save = false;
        request.initialPath = QFile::encodeName(dir.path()).toStdString();
        const auto open = CQtPrompts::MakeFileDialog(nullptr, request);
        QCOMPARE(open->acceptMode(), QFileDialog::AcceptOpen);
        QCOMPARE(open->fileMode(), QFileDialog::ExistingFile);
        QCOMPARE(open->windowTitle(), QStringLiteral("Open"));
    }

    void askFileGivesTheTypedNameWithItsExtension() {
        QTemporaryDir dir;
        CQtPrompts prompts;
        FileDialogRequest request{true, "Vantrel Files (*.vtl)|*.vtl||", ".vtl",
                                  QFile::encodeName(dir.path()).toStdString()};
        AnswerNextModal<QFileDialog>([](QFileDialog& dialog) {
            TypeFileName(dialog, QStringLiteral("capture one"));
            static_cast<QDialog&>(dialog).accept();  // QFileDialog keeps its own protected
        });
        const auto answer = prompts.AskFile(request);
        QVERIFY(answer.has_value());
        QCOMPARE(QFileInfo(QFile::decodeName(answer->c_str())).fileName(),
                 QStringLiteral("capture one.vtl"));

        AnswerNextModal<QFileDialog>([](QFileDialog& dialog) { dialog.reject(); });
        QCOMPARE(prompts.AskFile(request), std::nullopt);
    }

    void messageBoxesShowTheStringAsLines() {
        const auto box = CQtPrompts::MakeMessageBox(nullptr, QStringLiteral("a\nb"), BoxIcon::None);
        QCOMPARE(box->icon(), QMessageBox::NoIcon);
        QCOMPARE(box->windowTitle(), QStringLiteral("Vantrel"));
        QCOMPARE(box->standardButtons(), QMessageBox::Ok);
        QCOMPARE(CQtPrompts::MakeMessageBox(nullptr, {}, BoxIcon::Error)->icon(),
                 QMessageBox::Critical);
        QCOMPARE(CQtPrompts::MakeMessageBox(nullptr, {}, BoxIcon::Warning)->icon(),
                 QMessageBox::Warning);

        CQtPrompts prompts;
        QString shown;
        AnswerNextModal<QMessageBox>([&](QMessageBox& message) {
            shown = message.text();
            guitest::SaveShot(message, QStringLiteral("message_box"));
            message.accept();
        });
        prompts.MessageById(IDS_NO_DEVICE_SELECTED, BoxIcon::None);
        QCOMPARE(shown,
                 QStringLiteral(
                     "You must select at least one device object in the device\nobject pane."));
    }

    void questionsHaveYesAndNoWithNoAsTheDefault() {
        const auto box =
            CQtPrompts::MakeQuestionBox(nullptr, QStringLiteral("Go on?"), BoxIcon::Question);
        QCOMPARE(box->icon(), QMessageBox::Question);
        QCOMPARE(box->windowTitle(), QStringLiteral("Vantrel"));
        QCOMPARE(box->standardButtons(), QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(box->defaultButton(), qobject_cast<QPushButton*>(box->button(QMessageBox::No)));
        QCOMPARE(box->escapeButton(), box->button(QMessageBox::No));

        CQtPrompts prompts;
        QString shown;
        AnswerNextModal<QMessageBox>([&](QMessageBox& question) {
            shown = question.text();
            question.button(QMessageBox::Yes)->click();
        });
        QVERIFY(prompts.AskYesNo("The log file \"1.log\" cannot be created.\r\nCapture?",
                                 BoxIcon::Question));
        QCOMPARE(shown, QStringLiteral("The log file \"1.log\" cannot be created.\nCapture?"));
        // Enter takes the default button.
        AnswerNextModal<QMessageBox>(
            [](QMessageBox& question) { QTest::keyClick(&question, Qt::Key_Return); });
        QVERIFY(!prompts.AskYesNo("Capture?", BoxIcon::Question));
    }

    void missingHelpGivesMessage61457() {
        QCOMPARE(LoadString(IDS_HELP_FILE), std::string_view("Vantrel.html"));
        QCOMPARE(LoadString(IDS_HELP_MISSING),
                 std::string_view("The help file, Vantrel.html, is either corrupted, or could not "
                                  "be\nfound.  Make sure it's in the same directory as vantrel"));
        QTemporaryDir empty;
        CScriptedPrompts prompts;
        QWidget frame;
        QVERIFY(!ShowHelpContents(&frame, empty.path(), prompts));
        QCOMPARE(prompts.messages.size(), size_t(1));
        QCOMPARE(prompts.messages[0].first, uint32_t(IDS_HELP_MISSING));
        QVERIFY(!frame.findChild<CHelpWindow*>());

        // A file of that name that is no manual counts as corrupted.
        WriteFile(empty.filePath(QStringLiteral("Vantrel.html")), QByteArray(64, '\0'));
        QVERIFY(!ShowHelpContents(&frame, empty.path(), prompts));
        QCOMPARE(prompts.messages.size(), size_t(2));
    }

    void helpOpensOneWindowOnTheManual() {
        QTemporaryDir dir;
        WriteFile(dir.filePath(QStringLiteral("Vantrel.html")),
                  "<html><body><h1>Vantrel Help</h1><p>Contents</p></body></html>");
        CScriptedPrompts prompts;
        QWidget frame;
        QVERIFY(ShowHelpContents(&frame, dir.path(), prompts));
        QVERIFY(ShowHelpContents(&frame, dir.path(), prompts));
        QVERIFY(prompts.messages.empty());
        const auto windows = frame.findChildren<CHelpWindow*>();
        QCOMPARE(windows.size(), 1);
        QVERIFY(windows[0]->isVisible());
        QVERIFY(windows[0]->Browser()->toPlainText().contains(QStringLiteral("Vantrel Help")));
    }

    void theManualCoversTheCommands() {
        const QByteArray data = qgetenv("VANTREL_TEST_DATA");
        if (data.isEmpty()) QSKIP("VANTREL_TEST_DATA not set");
        const QString manual = QDir(QString::fromLocal8Bit(data))
                                   .filePath(QStringLiteral("../../resources/Vantrel.html"));
        CScriptedPrompts prompts;
        CHelpWindow window;
        window.ShowManual(manual);
        const QString text = window.Browser()->toPlainText();
        for (const char* topic :
             {"Add / Remove Filter", "Update Selection", "Save As...", "View data range...",
              "Auto-Update", "Log to file", "Output Properties", "IOCTL selector",
              "IOCTL Template Editor", "roundtrip IN.vtl OUT.vtl", "catalogue-create", "Statistics",
              "Graph View", ".log", "Vantrel.db"}) {
            QVERIFY2(text.contains(QString::fromLatin1(topic)), topic);
        }
        window.resize(720, 520);
        window.show();
        guitest::SaveShot(window, QStringLiteral("help"));
    }
};

QTEST_MAIN(PromptsHelpTest)
#include "prompts_help_test.moc"
