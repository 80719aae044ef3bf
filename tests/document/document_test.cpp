#include "document/document.h"

#include <gtest/gtest.h>

#include <QSqlDatabase>
#include <QSqlQuery>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "document/string_table.h"
#include "driver/simulated_driver.h"
#include "support/document_fixture.h"

namespace vantrel {
namespace {

using testing::DocumentParts;
using testing::InFolder;
using testing::ScratchDir;
using testing::ScriptedDriverState;
using testing::ScriptedOpener;
namespace pr = protocol;

// Four device objects; rows 1 and 2 share one device object value.
constexpr uint32_t kDevices[] = {0x8A000010, 0x8A000020, 0x8A000020, 0x8A000040};

std::shared_ptr<ScriptedDriverState> FourDevices() {
    auto state = std::make_shared<ScriptedDriverState>();
    state->enumerate = [](uint8_t* b, size_t call) {
        if (call < std::size(kDevices)) {
            le::Put32(b + pr::kEnumDeviceObject, kDevices[call]);
            le::Put32(b + pr::kEnumState, 1);
            const std::string name = "\\Device\\D" + std::to_string(call);
            std::memcpy(b + pr::kEnumObjectName, name.c_str(), name.size() + 1);
        } else {
            le::Put32(b + pr::kEnumState, 0);
        }
        return true;
    };
    return state;
}

class DocumentTest : public ::testing::Test {
protected:
    ScratchDir dir{std::string("doc_") +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name()};
    InFolder here{dir.Path()};
    DocumentParts parts;
    CVantrelDoc& doc() { return *parts.doc; }
};

TEST_F(DocumentTest, CreationOpensDriverAndCatalogueAndReadsThenStoresTheSettings) {
    ASSERT_TRUE(CCatalogue::Create("Vantrel.db", true));
    const std::string settings = dir / "settings";
    {
        CQtSettingsStore store(settings);
        store.WriteNumber(ApplicationKey(), "filter", 0);
        store.WriteNumber(ApplicationKey(), "params", 5);
    }
    parts.Make(ScriptedOpener(FourDevices()), settings, CataloguePolicy::DefaultOrAsk);
    ASSERT_TRUE(doc().OnNewDocument());
    EXPECT_TRUE(parts.prompts.messages.empty());
    EXPECT_TRUE(doc().Catalogue().IsOpen());
    EXPECT_EQ(doc().ProcessorSpeed(), 2400u);
    EXPECT_FALSE(doc().State().ShowAllDevices());
    EXPECT_EQ(doc().State().OutputFlags(), 5u);
    EXPECT_FALSE(doc().Templates()->RowsOf("DISK_GEOMETRY").empty());
    doc().SetShowAllDevices(true);
    doc().SetOutputFlags(0x21);
    parts.doc.reset();
    CQtSettingsStore store(settings);
    EXPECT_EQ(store.ReadNumber(ApplicationKey(), "filter"), 1);
    EXPECT_EQ(store.ReadNumber(ApplicationKey(), "params"), 0x21);
}

TEST_F(DocumentTest, MissingDriverEndsTheStartAndKeepsTheSettings) {
    const std::string settings = dir / "settings";
    CQtSettingsStore(settings).WriteNumber(ApplicationKey(), "params", 7);
    parts.Make(ScriptedOpener(nullptr), settings, CataloguePolicy::DefaultOrAsk);
    EXPECT_FALSE(doc().OnNewDocument());
    ASSERT_EQ(parts.prompts.messages.size(), 1u);
    EXPECT_EQ(parts.prompts.messages[0].first, IDS_DRIVER_NOT_LOADED);
    EXPECT_EQ(parts.prompts.messages[0].second, BoxIcon::Error);
    EXPECT_TRUE(parts.prompts.fileRequests.empty());
    parts.doc.reset();
    CQtSettingsStore store(settings);
    EXPECT_EQ(store.ReadNumber(ApplicationKey(), "params"), 7);
    EXPECT_EQ(store.ReadNumber(ApplicationKey(), "filter"), -1);
}

TEST_F(DocumentTest, CatalogueIsAskedForAndACancelEndsTheStart) {
    { std::ofstream("Vantrel.db") << "not a database at all, but long enough to be read"; }
    parts.Make(ScriptedOpener(FourDevices()), {}, CataloguePolicy::DefaultOrAsk);
    EXPECT_FALSE(doc().OnNewDocument());  // the file dialog is cancelled
    ASSERT_EQ(parts.prompts.fileRequests.size(), 1u);
    EXPECT_EQ(parts.prompts.fileRequests[0].defaultExtension, ".db");
    EXPECT_TRUE(parts.prompts.messages.empty());  // the broken default is not reported
    EXPECT_FALSE(doc().Catalogue().IsOpen());

    ASSERT_TRUE(CCatalogue::Create(dir / "chosen.db", false));
    DocumentParts again;
    again.prompts.fileAnswers.push_back(dir / "chosen.db");
    again.Make(ScriptedOpener(FourDevices()), {}, CataloguePolicy::DefaultOrAsk);
    EXPECT_TRUE(again.doc->OnNewDocument());
    EXPECT_EQ(again.doc->Catalogue().GetPath(), dir / "chosen.db");
}

TEST_F(DocumentTest, ACatalogueWithoutItsTablesStillOpensAndSaysWhyLater) {
    // An SQLite file with some other table: the engine opens it.
    ASSERT_TRUE(CCatalogue::Create("full.db", false));
    {
        CCatalogue c;
        ASSERT_TRUE(c.Open("full.db"));
    }
    std::filesystem::copy_file("full.db", "Vantrel.db");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "drop-templates");
        db.setDatabaseName("Vantrel.db");
        ASSERT_TRUE(db.open());
        QSqlQuery(db).exec("DROP TABLE Templates");
        db.close();
    }
    QSqlDatabase::removeDatabase("drop-templates");
    parts.Make(ScriptedOpener(FourDevices()), {}, CataloguePolicy::DefaultOrAsk);
    ASSERT_TRUE(doc().OnNewDocument());
    EXPECT_TRUE(parts.prompts.fileRequests.empty());
    EXPECT_TRUE(doc().Catalogue().IsOpen());
    EXPECT_NE(doc().Catalogue().RecordsetError().find("Templates"), std::string::npos)
        << doc().Catalogue().RecordsetError();
}

TEST_F(DocumentTest, DeviceSelectionKeepsTheRowAndFollowsTheScope) {
    parts.Make(ScriptedOpener(FourDevices()));
    ASSERT_TRUE(doc().OnNewDocument());
    ASSERT_TRUE(doc().FillDeviceList());
    // All devices: only the selection changes.
    doc().OnDeviceSelected(2);
    EXPECT_EQ(doc().State().SelectedRow(), 2u);
    EXPECT_EQ(doc().State().SelectedDevice()->deviceObject, kDevices[2]);
    EXPECT_TRUE(parts.view.Events().empty());
    // Selected device: a refresh; while filtering also the row's mask.
    doc().SetShowAllDevices(false);
    parts.view.Forget();
    ASSERT_EQ(doc().UpdateSelection(0x5, {1}), true);
    parts.view.Forget();
    doc().OnDeviceSelected(1);
    EXPECT_EQ(parts.view.Events(), (std::vector<std::string>{"refresh", "mask 5"}));
    // Row 2 has the same device object value but is its own row.
    parts.view.Forget();
    doc().OnDeviceSelected(2);
    EXPECT_EQ(doc().State().SelectedRow(), 2u);
    EXPECT_EQ(parts.view.Events(), (std::vector<std::string>{"refresh", "mask 0"}));
    // Button 1002 removes while filtering, then shows the selected row's mask.
    parts.view.Forget();
    EXPECT_EQ(doc().AddRemoveFilter(0x1, {0}, false), std::optional<bool>(false));
    EXPECT_FALSE(doc().State().FilterActive());
    EXPECT_EQ(parts.view.Events(), (std::vector<std::string>{"mask 0", "rows"}));
}

TEST_F(DocumentTest, ViewRangeProposesAndRefuses) {
    parts.Make(ScriptedOpener(FourDevices()));
    ASSERT_TRUE(doc().OnNewDocument());
    CRecordList loaded;
    for (int i = 0; i < 2500; ++i) loaded.Append(CIrpRecord());
    doc().Pipeline().ReplaceRecords(loaded);
    EXPECT_EQ(doc().ViewRangeProposal().start, "1500");
    EXPECT_EQ(doc().ViewRangeProposal().end, "2500");
    for (const char* start : {"0", "-3", "abc"}) {
        EXPECT_FALSE(doc().RequestViewRange(start, "10")) << start;
    }
    EXPECT_FALSE(doc().RequestViewRange("7", "6"));
    EXPECT_EQ(parts.prompts.Ids(), std::vector<uint32_t>(4, IDS_BAD_RANGE));
    EXPECT_TRUE(doc().RequestViewRange(" 5", "5"));
    EXPECT_TRUE(doc().RequestViewRange("1", "99999"));
}

TEST_F(DocumentTest, SaveAsAndOpenCarryTheTestAndItsTitle) {
    const std::string settings = dir / "settings";
    parts.Make(ScriptedOpener(FourDevices()), settings);
    ASSERT_TRUE(doc().OnNewDocument());
    CRecordList loaded;
    for (uint32_t i = 0; i < 3; ++i) {
        CIrpRecord r;
        r.GetCapture().MajorFunction =
            i == 1 ? uint32_t{IRP_MJ_DEVICE_CONTROL} : uint32_t{IRP_MJ_READ};
        r.GetCapture().Parameters[8] = 0x44;  // IoControlCode 0x44
        r.SetObjectName("\\Device\\Serial0");
        loaded.Append(r);
    }
    doc().Pipeline().ReplaceRecords(loaded);

    EXPECT_FALSE(doc().SaveAs());  // cancelled
    parts.prompts.fileAnswers.push_back(dir / "missing-folder/x.vtl");
    EXPECT_FALSE(doc().SaveAs());
    EXPECT_EQ(parts.prompts.Ids().back(), IDS_CANNOT_OPEN_FILE);
    parts.prompts.fileAnswers.push_back(dir / "t.vtl");
    ASSERT_TRUE(doc().SaveAs());
    EXPECT_EQ(doc().Title(), "Vantrel - t.vtl");

    doc().New();
    EXPECT_EQ(doc().Title(), "Vantrel");
    EXPECT_EQ(doc().RecordCount(), 0u);
    parts.view.Forget();
    parts.pane.Forget();
    parts.prompts.fileAnswers.push_back(dir / "t.vtl");
    ASSERT_TRUE(doc().Open());
    EXPECT_EQ(parts.prompts.fileRequests.back().initialPath, dir / "t.vtl");
    EXPECT_EQ(doc().RecordCount(), 3u);
    EXPECT_TRUE(doc().State().FileLoaded());
    EXPECT_EQ(doc().Title(), "Vantrel - t.vtl");
    EXPECT_EQ(parts.view.Ioctls(),
              (std::vector<std::pair<uint32_t, std::string>>{{0x44, "\\Device\\Serial0"}}));
    const auto events = parts.view.Events();
    ASSERT_GE(events.size(), 4u);
    EXPECT_EQ(events[0], "cleared");
    // The graph is reset before the refresh feeds it the loaded points.
    EXPECT_EQ(events[1], "graph 100 10");
    EXPECT_EQ(events[2], "refresh");
    EXPECT_EQ(events[3], "title Vantrel - t.vtl");
    // Loaded records are never printed as new ones.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(parts.pane.Appends(), 0u);

    // A file that is not a test: its reason; one that is missing: 61454.
    { std::ofstream("bad.vtl") << "xy"; }
    EXPECT_FALSE(doc().OpenFile("bad.vtl"));
    EXPECT_EQ(parts.prompts.Ids().back(), 0u);
    EXPECT_FALSE(doc().OpenFile("nothing-here.vtl"));
    EXPECT_EQ(parts.prompts.Ids().back(), IDS_CANNOT_OPEN_FILE);
    EXPECT_EQ(doc().RecordCount(), 3u);
}

TEST_F(DocumentTest, OpenIsRefusedWhileFiltering) {
    parts.Make(ScriptedOpener(FourDevices()));
    ASSERT_TRUE(doc().OnNewDocument());
    ASSERT_TRUE(doc().FillDeviceList());
    ASSERT_TRUE(doc().UpdateSelection(1, {0}));
    EXPECT_FALSE(doc().Open());
    EXPECT_EQ(parts.prompts.Ids().back(), IDS_REMOVE_FILTER_FIRST);
    EXPECT_TRUE(parts.prompts.fileRequests.empty());
}

}  // namespace
}  // namespace vantrel
