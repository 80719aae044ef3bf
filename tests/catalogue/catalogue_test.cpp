#include "catalogue/catalogue.h"

#include <gtest/gtest.h>

#include <QSqlDatabase>
#include <QSqlQuery>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <thread>
#include <utility>

#include "catalogue/ioctl_selector.h"
#include "document/prompts.h"
#include "support/scratch_dir.h"

namespace fs = std::filesystem;

namespace vantrel {
namespace {

using testing::ScratchDir;

class CatalogueTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_path = m_dir / "cat.db";
        std::string error;
        ASSERT_TRUE(CCatalogue::Create(m_path, false, &error)) << error;
        ASSERT_TRUE(m_cat.Open(m_path, &error)) << error;
    }

    void AddTemplateRow(const std::string& name, const std::string& type,
                        const std::string& valueName, int32_t offset) {
        CTemplateSet& t = m_cat.Templates();
        ASSERT_TRUE(t.AddNew());
        t.m_Name = name;
        t.m_Type = type;
        t.m_ValueName = valueName;
        t.m_Offset = offset;
        ASSERT_TRUE(t.Update()) << t.GetLastError();
    }

    std::vector<std::pair<int32_t, std::string>> SelectedRows(const std::string& name) {
        std::vector<std::pair<int32_t, std::string>> rows;
        EXPECT_TRUE(m_cat.SelectTemplate(name));
        CTemplateSet& t = m_cat.Templates();
        for (; !t.IsEOF(); t.MoveNext()) rows.emplace_back(t.m_Offset, t.m_ValueName);
        return rows;
    }

    size_t TemplateRowCount() { return m_cat.ReadTemplateSnapshot()->Rows().size(); }

    ScratchDir m_dir;
    std::string m_path;
    CCatalogue m_cat;
};

TEST_F(CatalogueTest, OffsetsComeBackInOrderAndEqualOffsetsInTableOrder) {
    AddTemplateRow("T", "int", "eight", 8);
    AddTemplateRow("T", "int", "zero", 0);
    AddTemplateRow("T", "int", "four", 4);
    AddTemplateRow("T", "SHORT", "four-again", 4);
    AddTemplateRow("U", "int", "other", 2);
    using Rows = std::vector<std::pair<int32_t, std::string>>;
    EXPECT_EQ(SelectedRows("T"), (Rows{{0, "zero"}, {4, "four"}, {4, "four-again"}, {8, "eight"}}));

    // The snapshot agrees: by name, then offset, then table order.
    auto snap = m_cat.ReadTemplateSnapshot();
    auto rows = snap->RowsOf("T");
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[1].valueName, "four");
    EXPECT_EQ(rows[2].valueName, "four-again");
    EXPECT_EQ(snap->Rows().back().name, "U");
}

TEST_F(CatalogueTest, HostileNamesAreMatchedExactlyAndChangeNothingElse) {
    const std::vector<std::string> names = {"a\"b",
                                            "it's",
                                            "x]y",
                                            "[Name]",
                                            "\"; DROP TABLE \"Templates\"; --",
                                            "' OR 1=1 --",
                                            "T\" OR \"1\"=\"1",
                                            "plain",
                                            "PLAIN"};
    auto valueName = [](size_t i) { return std::string(1, 'v') += std::to_string(i); };
    for (size_t i = 0; i < names.size(); ++i) {
        AddTemplateRow(names[i], "int", valueName(i), static_cast<int32_t>(i));
        ASSERT_TRUE(m_cat.SaveIoctl(0x1000 + static_cast<uint32_t>(i), names[i],
                                    std::string("n").append(names[i]), names[i], "None"));
    }
    for (size_t i = 0; i < names.size(); ++i) {
        SCOPED_TRACE(names[i]);
        auto rows = SelectedRows(names[i]);
        ASSERT_EQ(rows.size(), 1u);
        EXPECT_EQ(rows[0].second, valueName(i));
        ASSERT_TRUE(m_cat.FindIoctl(0x1000 + static_cast<uint32_t>(i), names[i]));
        EXPECT_EQ(m_cat.Ioctls().m_IoctlName, std::string("n").append(names[i]));
        EXPECT_EQ(m_cat.Ioctls().m_InputBuffer, names[i]);
        EXPECT_FALSE(m_cat.FindIoctl(0x1000 + static_cast<uint32_t>(i), names[i] + " "));
    }
    EXPECT_EQ(m_cat.TemplateNames(), names);

    // Both tables are whole, also seen through a second connection.
    CCatalogue other;
    ASSERT_TRUE(other.Open(m_path));
    EXPECT_EQ(other.ReadTemplateSnapshot()->Rows().size(), names.size());
    EXPECT_EQ(other.ReadIoctls().size(), names.size());
}

TEST_F(CatalogueTest, DeletingTheLastRowRemovesTheTemplate) {
    AddTemplateRow("Keep", "int", "k", 0);
    AddTemplateRow("Gone", "int", "a", 0);
    AddTemplateRow("Gone", "int", "b", 4);
    std::shared_ptr<const CTemplateSnapshot> published;
    m_cat.SetTemplatePublisher(
        [&](std::shared_ptr<const CTemplateSnapshot> t) { published = std::move(t); });
    EXPECT_EQ(published->RowsOf("Gone").size(), 2u);

    // The template editor's delete walk: delete, move next, back one at EOF.
    CTemplateSet& t = m_cat.Templates();
    ASSERT_TRUE(m_cat.SelectTemplate("Gone"));
    t.MoveLast();
    ASSERT_TRUE(t.Delete());
    EXPECT_EQ(published->RowsOf("Gone").size(), 1u);  // republished at once
    t.MoveNext();
    ASSERT_TRUE(t.IsEOF());
    t.MovePrev();
    ASSERT_FALSE(t.IsBOF());
    EXPECT_EQ(t.m_ValueName, "a");

    ASSERT_TRUE(t.Delete());
    if (!t.IsEOF()) t.MoveNext();
    if (t.IsEOF()) t.MovePrev();
    EXPECT_TRUE(t.IsBOF());  // nothing left of "Gone"

    EXPECT_EQ(m_cat.TemplateNames(), std::vector<std::string>{"Keep"});
    EXPECT_TRUE(published->RowsOf("Gone").empty());
    EXPECT_EQ(published->RowsOf("Keep").size(), 1u);
    m_cat.SetTemplatePublisher({});
}

TEST_F(CatalogueTest, NavigationOverEmptyAndSmallSets) {
    CTemplateSet& t = m_cat.Templates();
    ASSERT_TRUE(m_cat.SelectTemplate("none"));
    EXPECT_TRUE(t.IsBOF());
    EXPECT_TRUE(t.IsEOF());
    t.MoveNext();
    t.MovePrev();
    EXPECT_FALSE(t.Edit());
    EXPECT_FALSE(t.Delete());

    AddTemplateRow("N", "int", "a", 0);
    AddTemplateRow("N", "int", "b", 4);
    ASSERT_TRUE(m_cat.SelectTemplate("N"));
    EXPECT_EQ(t.m_ValueName, "a");
    t.MoveNext();
    t.MoveNext();
    EXPECT_TRUE(t.IsEOF());
    t.MoveNext();  // stays at EOF
    t.MovePrev();
    EXPECT_EQ(t.m_ValueName, "b");
    t.MoveFirst();
    t.MovePrev();
    EXPECT_TRUE(t.IsBOF());
    t.MoveLast();
    EXPECT_EQ(t.m_ValueName, "b");

    // Edit and update store the members; a new connection sees them.
    ASSERT_TRUE(t.Edit());
    t.m_Offset = 12;
    t.m_Type = "long";
    ASSERT_TRUE(t.Update());
    CCatalogue other;
    ASSERT_TRUE(other.Open(m_path));
    const auto snapshot = other.ReadTemplateSnapshot();
    auto rows = snapshot->RowsOf("N");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1].offset, 12);
    EXPECT_EQ(rows[1].type, "long");

    // A cancelled new row is not stored.
    ASSERT_TRUE(t.AddNew());
    t.m_Name = "N";
    t.CancelUpdate();
    EXPECT_EQ(t.m_ValueName, "b");
    EXPECT_EQ(TemplateRowCount(), 2u);
}

TEST_F(CatalogueTest, TextsLongerThan255AreRefused) {
    AddTemplateRow(std::string(255, 'n'), "int", std::string(255, 'v'), 0);
    CTemplateSet& t = m_cat.Templates();
    ASSERT_TRUE(t.AddNew());
    t.m_Name = "Long";
    t.m_Type = "int";
    t.m_ValueName = std::string(256, 'v');
    EXPECT_FALSE(t.Update());
    EXPECT_NE(t.GetLastError().find("Value Name"), std::string::npos) << t.GetLastError();
    EXPECT_NE(t.GetLastError().find("255"), std::string::npos);
    EXPECT_EQ(t.GetEditMode(), CRecordset::EditMode::Add);  // can be corrected
    t.CancelUpdate();
    EXPECT_EQ(TemplateRowCount(), 1u);

    std::string error;
    EXPECT_FALSE(m_cat.SaveIoctl(1, "obj", std::string(256, 'x'), "None", "None", &error));
    EXPECT_NE(error.find("Ioctl Name"), std::string::npos) << error;
    EXPECT_TRUE(m_cat.ReadIoctls().empty());
}

TEST_F(CatalogueTest, FiltersRefuseUnknownColumnsAndWrongTypes) {
    CTemplateSet& t = m_cat.Templates();
    EXPECT_FALSE(t.SetFilter({{"Name\" OR 1=1 --", std::string("x")}}));
    EXPECT_FALSE(t.SetFilter({{CTemplateSet::kOffset, std::string("0")}}));
    EXPECT_FALSE(t.SetSort({"Offset; DROP TABLE Templates"}));
    EXPECT_TRUE(t.GetFilter().empty());
    EXPECT_TRUE(t.GetSort().empty());
}

TEST_F(CatalogueTest, SaveIoctlEditsTheRowOfAPairAndNeverDuplicates) {
    ASSERT_TRUE(m_cat.SaveIoctl(0x00070000, "\\Device\\Harddisk0\\DR0", "first", "None", "A"));
    ASSERT_TRUE(m_cat.SaveIoctl(0x00070000, "\\Device\\Harddisk0\\DR0", "second", "B", "None"));
    ASSERT_TRUE(m_cat.SaveIoctl(0x00070000, "\\Device\\Harddisk1\\DR1", "other", "None", "None"));
    // A pair stored through another connection meanwhile is edited too.
    {
        CCatalogue other;
        ASSERT_TRUE(other.Open(m_path));
        ASSERT_TRUE(other.SaveIoctl(0x1234, "\\Device\\Beep", "from-other", "None", "None"));
    }
    ASSERT_TRUE(m_cat.SaveIoctl(0x1234, "\\Device\\Beep", "mine", "None", "None"));

    const std::vector<IoctlRow> rows = m_cat.ReadIoctls();
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].ioctlName, "second");
    EXPECT_EQ(rows[0].inputBuffer, "B");
    EXPECT_EQ(rows[0].outputBuffer, "None");
    EXPECT_EQ(rows[1].ioctlName, "other");
    EXPECT_EQ(rows[2].ioctlName, "mine");
}

TEST_F(CatalogueTest, CodesWithTheTopBitAreStoredNegative) {
    const uint32_t code = 0x80002004;
    ASSERT_TRUE(m_cat.SaveIoctl(code, "\\Device\\X", "HIGH", "None", "None"));
    ASSERT_TRUE(m_cat.SaveIoctl(code, "\\Device\\X", "HIGH2", "None", "None"));
    const std::vector<IoctlRow> rows = m_cat.ReadIoctls();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].ioctl, -2147475452);
    EXPECT_EQ(rows[0].ioctlName, "HIGH2");

    {  // The stored number itself is negative.
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "raw-check");
        db.setDatabaseName(QString::fromStdString(m_path));
        ASSERT_TRUE(db.open());
        QSqlQuery q(db);
        ASSERT_TRUE(q.exec("SELECT \"Ioctl\" FROM \"Ioctls\""));
        ASSERT_TRUE(q.next());
        EXPECT_EQ(q.value(0).toLongLong(), -2147475452LL);
    }
    QSqlDatabase::removeDatabase("raw-check");

    CIrpRecord record;
    record.GetCapture().MajorFunction = IRP_MJ_DEVICE_CONTROL;
    record.GetCapture().SetParam32(par::IoControlCode, code);
    record.SetObjectName("\\Device\\X");
    EXPECT_EQ(IoctlEntryLabel(&m_cat, record), "HIGH2");
    record.SetObjectName("\\Device\\x");
    EXPECT_EQ(IoctlEntryLabel(&m_cat, record), "0x80002004");
    EXPECT_EQ(IoctlEntryLabel(nullptr, record), "0x80002004");

    CCatalogue closed;
    std::string error;
    EXPECT_FALSE(SaveIoctl(&closed, record, "n", "None", "None", &error));
    EXPECT_EQ(IoctlEntryLabel(&closed, record), "0x80002004");
}

TEST(Catalogue, CreateRefusesAnExistingFileAndBuildsTheSample) {
    ScratchDir dir;
    const std::string path = dir / "sample.db";
    std::string error;
    ASSERT_TRUE(CCatalogue::Create(path, true, &error)) << error;
    const auto size = fs::file_size(path);
    EXPECT_FALSE(CCatalogue::Create(path, false, &error));
    EXPECT_NE(error.find("already exists"), std::string::npos);
    EXPECT_EQ(fs::file_size(path), size);

    CCatalogue cat;
    ASSERT_TRUE(cat.Open(path, &error)) << error;
    EXPECT_EQ(cat.ReadIoctls().size(), 13u);
    auto snap = cat.ReadTemplateSnapshot();
    EXPECT_EQ(snap->Rows().size(), 66u);
    EXPECT_EQ(snap->RowsOf("DEMO_ALL_TYPES").size(), 7u);
    ASSERT_TRUE(cat.FindIoctl(0x0007405C, "\\Device\\Harddisk0\\DR0"));
    EXPECT_EQ(cat.Ioctls().m_IoctlName, "IOCTL_DISK_GET_LENGTH_INFO");
    EXPECT_EQ(cat.Ioctls().m_OutputBuffer, "GET_LENGTH_INFORMATION");
    ASSERT_TRUE(cat.FindIoctl(0x00170002, "\\Device\\{B5F4D659-7DAA-4565-8E41-BE220ED60542}"));
    EXPECT_EQ(cat.Ioctls().m_InputBuffer, "NDIS_OID");
}

TEST(Catalogue, SplitSqlScriptKeepsSemicolonsInsideQuotes) {
    EXPECT_EQ(SplitSqlScript("-- c; c\nA 'x;''y'; B \"p;q\" [r;s]; /* ; */ ;\n  "),
              (std::vector<std::string>{"\nA 'x;''y'", " B \"p;q\" [r;s]"}));
}

TEST(Catalogue, SnapshotOfABadFileIsNull) {
    ScratchDir dir;
    std::string error;
    EXPECT_EQ(LoadTemplateSnapshot(dir / "missing.db", &error), nullptr);
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(fs::exists(dir / "missing.db"));
}

TEST(IoctlFilter, Test) {
    CIrpRecord rec;
    rec.GetCapture().MajorFunction = IRP_MJ_DEVICE_CONTROL;
    rec.GetCapture().SetParam32(par::IoControlCode, 0x001B0050);
    rec.SetObjectName("\\Device\\Serial0");
    CIrpRecord read = rec;
    read.GetCapture().MajorFunction = IRP_MJ_READ;

    IoctlFilterSelection none;
    IoctlFilterSelection serial{0x001B0050, "\\Device\\Serial0", "", ""};
    IoctlFilterSelection otherObject{0x001B0050, "\\Device\\serial0", "", ""};
    IoctlFilterSelection otherCode{0x001B0004, "\\Device\\Serial0", "", ""};

    EXPECT_FALSE(IoctlFilterTest(read, false, none));
    EXPECT_FALSE(IoctlFilterTest(read, true, serial));
    EXPECT_TRUE(IoctlFilterTest(rec, true, none));
    EXPECT_TRUE(IoctlFilterTest(rec, false, otherCode));
    EXPECT_TRUE(IoctlFilterTest(rec, true, serial));
    EXPECT_FALSE(IoctlFilterTest(rec, true, otherObject));
    EXPECT_FALSE(IoctlFilterTest(rec, true, otherCode));

    rec.GetCapture().SetParam32(par::IoControlCode, 0x80000000);
    EXPECT_TRUE(IoctlFilterTest(rec, true,
                                {static_cast<int32_t>(0x80000000u), "\\Device\\Serial0", "", ""}));
}

// ------------------------------------------------------------------ opening

class OpenForDocument : public ::testing::Test {
protected:
    void SetUp() override {
        m_saved = fs::current_path();
        fs::current_path(m_dir.Path());
    }
    void TearDown() override { fs::current_path(m_saved); }

    ScratchDir m_dir;
    fs::path m_saved;
    CCatalogue m_cat;
};

TEST_F(OpenForDocument, AFileThatIsNotADatabaseIsRefusedWithTheEnginesText) {
    {
        std::ofstream f("notes.db");
        f << std::string(4096, 'x');
    }
    std::string error;
    EXPECT_FALSE(m_cat.Open("notes.db", &error));
    EXPECT_EQ(error, "file is not a database");
    EXPECT_FALSE(m_cat.IsOpen());
    EXPECT_FALSE(m_cat.Open("missing.db", &error));
    EXPECT_FALSE(fs::exists("missing.db"));  // never created
}

TEST_F(OpenForDocument, AMissingTableOpensAndIsReportedByItsRecordset) {
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "half");
        db.setDatabaseName("half.db");
        ASSERT_TRUE(db.open());
        QSqlQuery q(db);
        ASSERT_TRUE(
            q.exec("CREATE TABLE \"Ioctls\" (\"Ioctl\" INTEGER, \"Object\" TEXT, "
                   "\"Input Buffer\" TEXT, \"Output Buffer\" TEXT, \"Ioctl Name\" TEXT)"));
    }
    QSqlDatabase::removeDatabase("half");
    std::shared_ptr<const CTemplateSnapshot> published;
    m_cat.SetTemplatePublisher(
        [&](std::shared_ptr<const CTemplateSnapshot> t) { published = std::move(t); });
    ASSERT_TRUE(m_cat.Open("half.db"));
    EXPECT_EQ(m_cat.RecordsetError(), "no such table: Templates");
    EXPECT_TRUE(m_cat.Ioctls().IsOpen());
    EXPECT_FALSE(m_cat.Templates().IsOpen());
    EXPECT_TRUE(m_cat.TemplateNames().empty());

    ASSERT_TRUE(CCatalogue::Create("good.db", true));
    ASSERT_TRUE(m_cat.Open("good.db"));
    EXPECT_EQ(m_cat.RecordsetError(), "");
    ASSERT_TRUE(published);
    EXPECT_EQ(published->RowsOf("DISK_GEOMETRY").size(), 6u);
}

TEST(Catalogue, EachThreadUsesItsOwnConnection) {
    ScratchDir dir;
    const std::string path = dir / "t.db";
    ASSERT_TRUE(CCatalogue::Create(path, true));
    CCatalogue gui;
    ASSERT_TRUE(gui.Open(path));
    size_t fromWorker = 0;
    std::thread worker([&] {
        auto snap = LoadTemplateSnapshot(path, nullptr);
        fromWorker = snap ? snap->Rows().size() : 0;
    });
    worker.join();
    EXPECT_EQ(fromWorker, 66u);
    EXPECT_EQ(gui.TemplateNames().size(), 14u);
}

}  // namespace
}  // namespace vantrel
