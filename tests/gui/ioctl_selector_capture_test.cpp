// The IOCTL selector end to end: a document capturing from the simulated
// driver with the sample catalogue, the selector fed as the main frame feeds
// it, and the blocks the results pane receives after the user's choices.

#include <QCheckBox>
#include <QComboBox>
#include <QListWidget>
#include <QtTest>

#include "driver/simulated_driver.h"
#include "gui/document_selector_host.h"
#include "gui/ioctl_catalogue_windows.h"
#include "support/document_fixture.h"

using namespace vantrel;

namespace {

// What the main frame does with the document's calls: device controls
// reach the selector on the GUI thread, for the current record list only.
class FrameView final : public IDocumentView {
public:
    FrameView(QObject* gui, CVantrelDoc& doc, CIoctlCatalogueWindows& windows)
        : m_gui(gui), m_doc(doc), m_windows(windows) {}

    void OnIoctlSeen(uint32_t code, std::string_view objectName, uint64_t generation) override {
        QMetaObject::invokeMethod(
            m_gui,
            [this, code, name = std::string(objectName), generation] {
                if (generation == m_doc.RecordGeneration()) m_windows.OnDeviceControl(code, name);
            },
            Qt::QueuedConnection);
    }
    void OnRecordsCleared() override { m_windows.ClearEntries(); }
    void RefreshCurrentView() override { ++refreshes; }

    std::atomic<int> refreshes{0};

private:
    QObject* m_gui;
    CVantrelDoc& m_doc;
    CIoctlCatalogueWindows& m_windows;
};

int FindRow(const QListWidget* list, const QString& text) {
    for (int i = 0; i < list->count(); ++i)
        if (list->item(i)->text() == text) return i;
    return -1;
}

}  // namespace

class IoctlSelectorCaptureTest : public QObject {
    Q_OBJECT

private slots:
    void chosenOutputTemplateIsInEveryBlockPrintedAfterwards() {
        testing::ScratchDir dir("selector_capture");
        const std::string catalogue = dir / "sample.db";
        QVERIFY(CCatalogue::Create(catalogue, true));
        SimulatedDriverOptions options;
        options.rate = 400;
        options.seed = 7;
        options.devices = {"\\Device\\Harddisk0\\DR0"};
        CSimulatedDriverSession driver(options);
        testing::DocumentParts parts;
        parts.Make(driver.Opener(), {}, CataloguePolicy::PathIfGiven, catalogue);
        CVantrelDoc& doc = *parts.doc;
        QVERIFY(doc.OnNewDocument());
        QVERIFY(doc.FillDeviceList());

        QWidget frame;
        CDocumentSelectorHost host(doc);
        CIoctlCatalogueWindows windows(&frame, &doc.Catalogue(), host, parts.prompts);
        FrameView view(&frame, doc, windows);
        doc.SetView(&view);

        std::vector<size_t> rows;
        for (size_t i = 0; i < doc.Devices().Count(); ++i) {
            if (doc.Devices().Row(i)->GetName().view() == "\\Device\\Harddisk0\\DR0")
                rows.push_back(i);
        }
        QCOMPARE(rows.size(), size_t{1});
        QCOMPARE(doc.AddFilter(1u << IRP_MJ_DEVICE_CONTROL, rows, false),
                 CVantrelDoc::AddOutcome::Added);

        // The first device control creates the selector, hidden.
        QTRY_VERIFY_WITH_TIMEOUT(windows.Selector(), 5000);
        QVERIFY(!windows.SelectorVisible());
        windows.ToggleSelector();
        auto* list = windows.Selector()->findChild<QListWidget*>("ioctlList");
        const QString name = QStringLiteral("IOCTL_DISK_GET_DRIVE_GEOMETRY");
        QTRY_VERIFY_WITH_TIMEOUT(FindRow(list, name) >= 0, 5000);
        list->item(FindRow(list, name))->setSelected(true);
        auto* output = windows.Selector()->findChild<QComboBox*>("outputBuffer");
        QCOMPARE(output->currentText(), QStringLiteral("DISK_GEOMETRY"));
        const int refreshes = view.refreshes;
        windows.Selector()->findChild<QCheckBox*>("filterSelected")->click();
        QVERIFY(doc.State().IoctlFilter());
        QCOMPARE(doc.IoctlSelection()->outputTemplate, std::string("DISK_GEOMETRY"));
        QTRY_COMPARE_WITH_TIMEOUT(view.refreshes.load(), refreshes + 1, 2000);

        // Blocks in flight at the click may still be printed without the
        // section; everything from a moment later carries it.
        QTest::qWait(150);
        const size_t mark = parts.pane.Ops().size();
        QTRY_VERIFY_WITH_TIMEOUT(parts.pane.Ops().size() >= mark + 10, 10000);
        doc.RemoveFilter();
        const std::vector<test::CRecordingSink::Op> ops = parts.pane.Ops();
        size_t blocks = 0;
        for (size_t i = mark; i < ops.size(); ++i) {
            if (ops[i].clear || ops[i].text.find("IRP_MJ_DEVICE_CONTROL") == std::string::npos)
                continue;
            ++blocks;
            QVERIFY2(ops[i].text.find("\r\n    Output Buffer Template {\r\n") != std::string::npos,
                     ops[i].text.c_str());
            QVERIFY(ops[i].text.find("    } DISK_GEOMETRY\r\n") != std::string::npos);
            QVERIFY(ops[i].text.find("Input Buffer Template") == std::string::npos);
        }
        QVERIFY(blocks >= 5);
        doc.SetView(nullptr);
    }
};

QTEST_MAIN(IoctlSelectorCaptureTest)
#include "ioctl_selector_capture_test.moc"
