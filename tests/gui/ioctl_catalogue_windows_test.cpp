// The IOCTL Selector and the IOCTL Template Editor, offscreen: how the main
// frame's calls create, show and hide them, what the user's clicks publish,
// and the editor driven without a modal loop.

#include "gui/ioctl_catalogue_windows.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>
#include <deque>

#include "catalogue/catalogue.h"
#include "decode/text_block.h"
#include "document/string_table.h"
#include "record/irp_record.h"

using namespace vantrel;

namespace {

class ScriptedPrompts : public IPrompts {
public:
    std::vector<std::pair<uint32_t, BoxIcon>> byId;
    std::vector<std::string> texts;
    std::vector<std::pair<std::string, BoxIcon>> questions;
    std::deque<bool> answers;

    void MessageById(uint32_t id, BoxIcon icon) override { byId.emplace_back(id, icon); }
    void MessageText(std::string_view text, BoxIcon) override { texts.emplace_back(text); }
    std::optional<std::string> AskFile(const FileDialogRequest&) override { return std::nullopt; }
    bool AskYesNo(std::string_view text, BoxIcon icon) override {
        questions.emplace_back(std::string(text), icon);
        if (answers.empty()) return false;
        const bool yes = answers.front();
        answers.pop_front();
        return yes;
    }
};

class Host : public ISelectorHost {
public:
    IoctlFilterSelection selection;
    bool filter = false;
    int refreshes = 0;
    void PublishSelection(IoctlFilterSelection s) override { selection = std::move(s); }
    void SetIoctlFilter(bool on) override { filter = on; }
    bool IoctlFilter() const override { return filter; }
    void RequestRefresh() override { ++refreshes; }
};

constexpr uint32_t kToc = 0x00024000;
constexpr const char* kCdRom = "\\Device\\CdRom0";

template <class T>
T* Child(QWidget* parent, const char* name) {
    T* child = parent->findChild<T*>(QString::fromLatin1(name));
    if (!child) qFatal("no child %s", name);
    return child;
}

void Choose(QComboBox* combo, const QString& text) {
    const int index = combo->findText(text);
    QVERIFY2(index >= 0, qPrintable(text));
    combo->setCurrentIndex(index);
    emit combo->activated(index);
}

void SaveScreenshot(QWidget* window, const char* name) {
    const QString dir = qEnvironmentVariable("VANTREL_SCREENSHOT_DIR");
    if (dir.isEmpty()) return;
    window->show();
    window->grab().save(dir + QLatin1Char('/') + QLatin1String(name));
}

}  // namespace

class IoctlCatalogueWindowsTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    std::unique_ptr<CCatalogue> m_catalogue;
    std::unique_ptr<QWidget> m_frame;
    ScriptedPrompts m_prompts;
    Host m_host;
    std::shared_ptr<const CTemplateSnapshot> m_templates;  // as the printing thread has them

    std::unique_ptr<CIoctlCatalogueWindows> Windows(CCatalogue* catalogue) {
        return std::make_unique<CIoctlCatalogueWindows>(m_frame.get(), catalogue, m_host,
                                                        m_prompts);
    }
    size_t TemplateRows() { return m_catalogue->ReadTemplateRows().size(); }

private slots:
    void init() {
        m_catalogue = std::make_unique<CCatalogue>();
        const std::string path = m_dir.filePath(QStringLiteral("sample.db")).toStdString();
        QFile::remove(QString::fromStdString(path));
        QVERIFY(CCatalogue::Create(path, true));
        QVERIFY(m_catalogue->Open(path));
        m_catalogue->SetTemplatePublisher(
            [this](std::shared_ptr<const CTemplateSnapshot> s) { m_templates = std::move(s); });
        m_templates.reset();
        m_frame = std::make_unique<QWidget>();
        m_prompts = ScriptedPrompts{};
        m_host = Host{};
    }
    void cleanup() {
        m_frame.reset();
        m_catalogue.reset();
    }

    void selectorAppearsHiddenOnTheFirstDeviceControlAndToggles() {
        auto windows = Windows(m_catalogue.get());
        QVERIFY(!windows->Selector());
        windows->OnDeviceControl(kToc, kCdRom);
        windows->OnDeviceControl(kToc, kCdRom);
        QVERIFY(windows->Selector());
        QVERIFY(!windows->SelectorVisible());
        windows->ToggleSelector();
        QVERIFY(windows->SelectorVisible());
        auto* list = Child<QListWidget>(windows->Selector(), "ioctlList");
        QCOMPARE(list->count(), 1);
        QCOMPARE(list->item(0)->text(), QStringLiteral("IOCTL_CDROM_READ_TOC"));
        windows->ToggleSelector();
        QVERIFY(!windows->SelectorVisible());
        windows->OnDeviceControl(0x00024004, kCdRom);
        windows->ToggleSelector();
        QCOMPARE(list->count(), 2);
        QCOMPARE(list->item(1)->text(), QStringLiteral("0x00024004"));
        QVERIFY(m_prompts.texts.empty());
    }

    void chosenOutputTemplateReachesEveryBlockPrintedAfterwards() {
        auto windows = Windows(m_catalogue.get());
        windows->OnDeviceControl(kToc, kCdRom);
        windows->ToggleSelector();
        QWidget* w = windows->Selector();
        Child<QListWidget>(w, "ioctlList")->item(0)->setSelected(true);
        QCOMPARE(Child<QLabel>(w, "deviceObject")->text(), QStringLiteral("CdRom0"));
        QCOMPARE(Child<QLabel>(w, "deviceType")->text(), QStringLiteral("FILE_DEVICE_CD_ROM"));
        QCOMPARE(Child<QComboBox>(w, "outputBuffer")->currentText(), QStringLiteral("CDROM_TOC"));
        Choose(Child<QComboBox>(w, "outputBuffer"), QStringLiteral("DEMO_ALL_TYPES"));
        Child<QCheckBox>(w, "filterSelected")->click();
        QVERIFY(m_host.filter);
        QCOMPARE(m_host.selection.code, static_cast<int32_t>(kToc));
        QCOMPARE(m_host.selection.objectName, std::string(kCdRom));
        QCOMPARE(m_host.selection.inputTemplate, std::string("None"));
        QCOMPARE(m_host.selection.outputTemplate, std::string("DEMO_ALL_TYPES"));
        QCOMPARE(m_host.refreshes, 0);
        QTRY_COMPARE_WITH_TIMEOUT(m_host.refreshes, 1, 1000);

        // A block printed with what was published carries the section.
        CIrpRecord record;
        record.GetCapture().MajorFunction = IRP_MJ_DEVICE_CONTROL;
        record.GetCapture().SetParam32(par::IoControlCode, kToc);
        record.GetCapture().SetParam32(par::OutputBufferLength, 28);
        record.GetCapture().OutputData[4] = 'Q';
        record.SetObjectName(kCdRom);
        const auto snapshot = m_catalogue->ReadTemplateSnapshot();
        OutputSettings settings;
        settings.inputTemplate = m_host.selection.inputTemplate;
        settings.outputTemplate = m_host.selection.outputTemplate;
        settings.templates = snapshot.get();
        std::string block;
        FormatRecord(record, settings, block);
        QVERIFY(block.find("\r\n    Output Buffer Template {\r\n") != std::string::npos);
        QVERIFY(block.find("=\t'Q'\r\n") != std::string::npos);
        QVERIFY(block.find("} DEMO_ALL_TYPES\r\n") != std::string::npos);
        QVERIFY(block.find("Input Buffer Template") == std::string::npos);
        SaveScreenshot(w, "ioctl_selector.png");
    }

    void saveChangesRenamesTheEntryAtOnce() {
        auto windows = Windows(m_catalogue.get());
        windows->OnDeviceControl(0x00220000, "\\Device\\Usb0");
        QWidget* w = windows->Selector();
        Child<QListWidget>(w, "ioctlList")->item(0)->setSelected(true);
        auto* name = Child<QLineEdit>(w, "ioctlName");
        name->clear();
        QTest::keyClicks(name, "IOCTL_USB_THING");
        QTest::mouseClick(Child<QPushButton>(w, "saveChanges"), Qt::LeftButton);
        QCOMPARE(Child<QListWidget>(w, "ioctlList")->item(0)->text(),
                 QStringLiteral("IOCTL_USB_THING"));
        windows->ClearEntries();
        QCOMPARE(Child<QListWidget>(w, "ioctlList")->count(), 0);
        windows->OnDeviceControl(0x00220000, "\\Device\\Usb0");
        QCOMPARE(Child<QListWidget>(w, "ioctlList")->item(0)->text(),
                 QStringLiteral("IOCTL_USB_THING"));
    }

    void templateEditorIsRefusedWhileTheFilterIsOn() {
        auto windows = Windows(m_catalogue.get());
        bool ran = false;
        windows->SetEditorRunner([&](CTemplateEditorDialog&) { ran = true; });
        m_host.filter = true;
        windows->OpenTemplateEditor();
        QVERIFY(!ran);
        QCOMPARE(m_prompts.byId.size(), size_t{1});
        QCOMPARE(m_prompts.byId[0].first, uint32_t{IDS_UNCHECK_IOCTL_FILTER});
    }

    void cancelAfterAFirstAddStoresNoRow() {
        auto windows = Windows(m_catalogue.get());
        const size_t rows = TemplateRows();
        windows->SetEditorRunner([](CTemplateEditorDialog& d) {
            QTest::mouseClick(Child<QPushButton>(&d, "add"), Qt::LeftButton);
            QVERIFY(Child<QLineEdit>(&d, "valueName")->isEnabled());
            QTest::keyClicks(Child<QLineEdit>(&d, "valueName"), "Half");
            Choose(Child<QComboBox>(&d, "type"), QStringLiteral("int"));
            QTest::mouseClick(Child<QPushButton>(&d, "cancel"), Qt::LeftButton);
            QCOMPARE(d.result(), int(QDialog::Rejected));
        });
        windows->OpenTemplateEditor();
        QCOMPARE(TemplateRows(), rows);
        QVERIFY(!m_templates);
    }

    void okStoresANewTemplateAndTheSelectorListsIt() {
        auto windows = Windows(m_catalogue.get());
        windows->OnDeviceControl(kToc, kCdRom);
        windows->SetEditorRunner([](CTemplateEditorDialog& d) {
            QCOMPARE(Child<QComboBox>(&d, "templateList")->currentText(),
                     QStringLiteral("BEEP_SET_PARAMETERS"));
            QVERIFY(!Child<QLineEdit>(&d, "templateName")->isEnabled());
            QTest::mouseClick(Child<QPushButton>(&d, "add"), Qt::LeftButton);
            auto* name = Child<QLineEdit>(&d, "templateName");
            name->selectAll();
            QTest::keyClicks(name, "aaa_NEW");
            QCOMPARE(Child<QLineEdit>(&d, "offset")->text(), QStringLiteral("0"));
            QTest::keyClicks(Child<QLineEdit>(&d, "valueName"), "Flag");
            Choose(Child<QComboBox>(&d, "type"), QStringLiteral("SHORT"));
            QTest::mouseClick(Child<QPushButton>(&d, "ok"), Qt::LeftButton);
            QCOMPARE(d.result(), int(QDialog::Accepted));
        });
        windows->OpenTemplateEditor();
        const auto snapshot = m_catalogue->ReadTemplateSnapshot();
        const auto rows = snapshot->RowsOf("aaa_NEW");
        QCOMPARE(rows.size(), size_t{1});
        QCOMPARE(rows[0].type, std::string("SHORT"));
        QVERIFY(m_templates);
        QCOMPARE(m_templates->RowsOf("aaa_NEW").size(), size_t{1});
        auto* input = Child<QComboBox>(windows->Selector(), "inputBuffer");
        QCOMPARE(input->itemText(0), QStringLiteral("aaa_NEW"));
        QCOMPARE(input->currentText(), QStringLiteral("None"));
    }

    void editorButtonsAndTheDeleteQuestion() {
        auto windows = Windows(m_catalogue.get());
        windows->SetEditorRunner([&](CTemplateEditorDialog& d) {
            d.show();
            QToolButton* buttons[] = {
                Child<QToolButton>(&d, "moveFirst"), Child<QToolButton>(&d, "movePrevious"),
                Child<QToolButton>(&d, "moveNext"), Child<QToolButton>(&d, "moveLast")};
            for (int i = 0; i < 4; ++i) {
                QVERIFY(!buttons[i]->icon().isNull());
                if (i) QVERIFY(buttons[i]->x() > buttons[i - 1]->x());
            }
            QStringList types;
            auto* type = Child<QComboBox>(&d, "type");
            for (int i = 0; i < type->count(); ++i) types << type->itemText(i);
            QCOMPARE(types,
                     (QStringList{"BOOL", "char", "float", "int", "long", "PVOID", "SHORT"}));
            QTest::mouseClick(buttons[3], Qt::LeftButton);
            QCOMPARE(Child<QLineEdit>(&d, "valueName")->text(), QStringLiteral("Duration"));
            QTest::mouseClick(buttons[2], Qt::LeftButton);  // stays on the last row
            QCOMPARE(Child<QLineEdit>(&d, "offset")->text(), QStringLiteral("4"));
            QTest::mouseClick(Child<QPushButton>(&d, "delete"), Qt::LeftButton);
            SaveScreenshot(&d, "template_editor.png");
            d.reject();
        });
        windows->OpenTemplateEditor();
        QCOMPARE(m_prompts.questions.size(), size_t{1});
        QCOMPARE(m_prompts.questions[0].first,
                 std::string("Are you sure you want to delete the record:\r\n\r\nTemplate Name:  "
                             "BEEP_SET_PARAMETERS\r\nValue Name:  Duration"));
        QVERIFY(m_prompts.questions[0].second == BoxIcon::Question);
        QCOMPARE(m_catalogue->ReadTemplateSnapshot()->RowsOf("BEEP_SET_PARAMETERS").size(),
                 size_t{2});
    }

    void aMissingTableIsReportedAndTheWindowsStayEmpty() {
        const std::string path = m_dir.filePath(QStringLiteral("half.db")).toStdString();
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "half");
            db.setDatabaseName(QString::fromStdString(path));
            QVERIFY(db.open());
            QSqlQuery q(db);
            QVERIFY(
                q.exec("CREATE TABLE \"Ioctls\" (\"Ioctl\" INTEGER, \"Object\" TEXT, "
                       "\"Input Buffer\" TEXT, \"Output Buffer\" TEXT, \"Ioctl Name\" TEXT)"));
        }
        QSqlDatabase::removeDatabase("half");
        CCatalogue half;
        QVERIFY(half.Open(path));
        auto windows = Windows(&half);
        windows->OnDeviceControl(kToc, kCdRom);
        QCOMPARE(m_prompts.texts, std::vector<std::string>{"no such table: Templates"});
        QCOMPARE(Child<QComboBox>(windows->Selector(), "inputBuffer")->count(), 0);
        QCOMPARE(Child<QListWidget>(windows->Selector(), "ioctlList")->item(0)->text(),
                 QStringLiteral("0x00024000"));
        int listed = -1;
        windows->SetEditorRunner([&](CTemplateEditorDialog& d) {
            listed = Child<QComboBox>(&d, "templateList")->count();
            QTest::mouseClick(Child<QPushButton>(&d, "ok"), Qt::LeftButton);
        });
        windows->OpenTemplateEditor();
        QCOMPARE(listed, 0);
        QCOMPARE(m_prompts.texts.size(), size_t{2});
        QCOMPARE(m_prompts.texts[1], std::string("no such table: Templates"));
    }
};

QTEST_MAIN(IoctlCatalogueWindowsTest)
#include "ioctl_catalogue_windows_test.moc"
