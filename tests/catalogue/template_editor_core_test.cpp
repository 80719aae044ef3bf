#include "catalogue/template_editor_core.h"

#include <gtest/gtest.h>

#include <utility>

#include "catalogue_doubles.h"

namespace vantrel {
namespace {

using testing::RecordingUi;
using testing::ScratchDir;

using Row =
    std::tuple<std::string, int32_t, std::string, std::string>;  // name, offset, type, value

class EditorCoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string path = m_dir / "t.db";
        ASSERT_TRUE(CCatalogue::Create(path, false));
        ASSERT_TRUE(m_catalogue.Open(path));
        m_catalogue.SetTemplatePublisher([this](std::shared_ptr<const CTemplateSnapshot> s) {
            m_published.push_back(std::move(s));
        });
        m_published.clear();
    }

    void Store(const std::vector<TemplateRow>& rows) {
        ASSERT_TRUE(m_catalogue.ReplaceTables(nullptr, &rows));
        m_published.clear();
    }

    // The rows as the printing thread would see them: by name, then offset.
    std::vector<Row> Rows() {
        std::vector<Row> out;
        const auto snapshot = m_catalogue.ReadTemplateSnapshot();
        for (const TemplateRow& r : snapshot->Rows())
            out.emplace_back(r.name, r.offset, r.type, r.valueName);
        return out;
    }

    void Open() {
        m_editor = std::make_unique<CTemplateEditorCore>(&m_catalogue, m_ui);
        m_editor->Initialise();
    }
    CTemplateEditorCore& E() { return *m_editor; }
    std::string Shown() {
        return E().Fields().templateName + "/" + E().Fields().valueName + "@" +
               E().Fields().offset + ":" + E().Fields().type;
    }

    ScratchDir m_dir;
    CCatalogue m_catalogue;
    RecordingUi m_ui;
    // What the printing thread was given after each stored change.
    std::vector<std::shared_ptr<const CTemplateSnapshot>> m_published;
    std::unique_ptr<CTemplateEditorCore> m_editor;
};

TEST(EditorCore, OffsetTextAndTypeList) {
    EXPECT_EQ(OffsetFromText("12"), 12);
    EXPECT_EQ(OffsetFromText("12abc"), 12);
    EXPECT_EQ(OffsetFromText("abc"), 0);
    EXPECT_EQ(OffsetFromText(""), 0);
    EXPECT_EQ(OffsetFromText("  -4"), -4);
    EXPECT_EQ(OffsetFromText("99999999999"), 2147483647);
    EXPECT_EQ(OffsetFromText("-99999999999"), -2147483647 - 1);
    EXPECT_EQ(CTemplateEditorCore::TypeNames(),
              (std::vector<std::string>{"BOOL", "char", "float", "int", "long", "PVOID", "SHORT"}));
    EXPECT_EQ(ProposalTypeSize("short"), 2);
    EXPECT_EQ(ProposalTypeSize("Pvoid"), 4);
    EXPECT_EQ(ProposalTypeSize("double"), 0);
    EXPECT_EQ(ProposalTypeSize(""), 0);
}

TEST_F(EditorCoreTest, AddProposesOffsetsFromTheLastTypeAdded) {
    Open();
    EXPECT_TRUE(E().TemplateList().Empty());
    EXPECT_FALSE(E().NameFieldsEnabled());
    E().Add();
    EXPECT_TRUE(E().NameFieldsEnabled());
    EXPECT_EQ(E().Fields().offset, "0");
    E().EditTemplateName("PAIR");
    E().SetValueName("first");
    E().SetType("int");
    E().Add();
    EXPECT_FALSE(E().Adding());
    EXPECT_EQ(E().TemplateList().Items(), std::vector<std::string>{"PAIR"});
    EXPECT_EQ(E().TemplateList().SelectedText(), "PAIR");
    EXPECT_EQ(Shown(), "PAIR/first@0:int");

    E().Add();
    EXPECT_EQ(E().Fields().offset, "4");
    EXPECT_EQ(E().Fields().templateName, "PAIR");  // the new row joins the template shown
    EXPECT_EQ(E().Fields().type, "");
    E().SetValueName("second");
    E().SetType("SHORT");
    E().Add();
    E().Add();
    EXPECT_EQ(E().Fields().offset, "6");
    E().SetValueName("odd");
    E().SetType("double");  // unknown: size 0
    E().Add();
    E().Add();
    EXPECT_EQ(E().Fields().offset, "6");
    E().Cancel();
    EXPECT_EQ(Rows(), (std::vector<Row>{{"PAIR", 0, "int", "first"},
                                        {"PAIR", 4, "SHORT", "second"},
                                        {"PAIR", 6, "double", "odd"}}));
    ASSERT_EQ(m_published.size(), 3u);  // each stored row reaches the printing thread
    EXPECT_EQ(m_published.back()->RowsOf("PAIR").size(), 3u);
}

TEST_F(EditorCoreTest, TypingATemplateNameResetsTheProposal) {
    Store({{"T", "int", "a", 0}});
    Open();
    E().Add();
    EXPECT_EQ(E().Fields().offset, "0");  // a fresh dialog proposes 0
    E().SetType("long");
    E().SetOffsetText("8");
    E().Add();
    E().Add();
    EXPECT_EQ(E().Fields().offset, "12");
    E().EditTemplateName("U");
    EXPECT_EQ(E().Fields().offset, "0");
    EXPECT_EQ(E().LastOffset(), 0);
    E().Cancel();
}

TEST_F(EditorCoreTest, MovesWriteTheFieldsBackAndNextStaysOnTheLastRow) {
    Store(
        {{"T", "int", "c", 8}, {"T", "int", "a", 0}, {"T", "int", "b", 4}, {"Z", "char", "z", 0}});
    Open();
    EXPECT_EQ(Shown(), "T/a@0:int");
    E().SetType("long");
    E().MoveNext();  // the row left behind is written first
    EXPECT_EQ(Shown(), "T/b@4:int");
    E().MoveLast();
    EXPECT_EQ(Shown(), "T/c@8:int");
    E().SetValueName("c2");
    E().MoveNext();  // at the last row: stays, fields as they are
    EXPECT_EQ(Shown(), "T/c2@8:int");
    E().MovePrevious();
    EXPECT_EQ(Shown(), "T/b@4:int");
    E().MoveFirst();
    E().MovePrevious();
    EXPECT_EQ(Shown(), "T/a@0:long");
    E().MoveNext();
    EXPECT_EQ(Shown(), "T/b@4:int");
    E().Cancel();
    EXPECT_EQ(Rows(), (std::vector<Row>{{"T", 0, "long", "a"},
                                        {"T", 4, "int", "b"},
                                        {"T", 8, "int", "c2"},
                                        {"Z", 0, "char", "z"}}));
}

TEST_F(EditorCoreTest, OkStoresAnEditedOffsetAndCancelDoesNot) {
    Store({{"T", "int", "a", 0}, {"T", "int", "b", 4}});
    Open();
    E().SetOffsetText("12");
    E().Cancel();
    EXPECT_EQ(std::get<1>(Rows()[0]), 0);
    EXPECT_TRUE(m_published.empty());

    Open();
    E().SetOffsetText("12abc");
    E().Ok();
    EXPECT_EQ(Rows(), (std::vector<Row>{{"T", 4, "int", "b"}, {"T", 12, "int", "a"}}));
    ASSERT_EQ(m_published.size(), 1u);
}

TEST_F(EditorCoreTest, CancelAfterAFirstAddStoresNoRow) {
    Store({{"T", "int", "a", 0}});
    Open();
    E().Add();
    E().SetValueName("half");
    E().SetType("int");
    E().Cancel();
    EXPECT_EQ(Rows().size(), 1u);
    EXPECT_TRUE(m_published.empty());
}

TEST_F(EditorCoreTest, OkWhileAddingStoresTheNewRowEvenInAnEmptyTable) {
    Open();
    E().Add();
    E().EditTemplateName("NEW");
    E().SetValueName("v");
    E().SetType("BOOL");
    E().Ok();
    EXPECT_EQ(Rows(), (std::vector<Row>{{"NEW", 0, "BOOL", "v"}}));
}

TEST_F(EditorCoreTest, ChoosingAnotherTemplateWhileAddingDropsTheNewRow) {
    Store({{"A", "int", "a", 0}, {"B", "int", "b", 0}});
    Open();
    E().Add();
    E().SetValueName("pending");
    E().ChooseTemplate(1);
    EXPECT_FALSE(E().Adding());
    EXPECT_EQ(Shown(), "B/b@0:int");
    E().Ok();
    EXPECT_EQ(Rows().size(), 2u);
}

TEST_F(EditorCoreTest, DeletingTheOnlyRowFallsBackToTheFirstRemainingTemplate) {
    Store({{"B", "int", "y", 0}, {"A", "char", "x", 0}, {"B", "int", "z", 4}});
    Open();
    EXPECT_EQ(E().TemplateList().Items(), (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(Shown(), "A/x@0:char");

    E().Delete();  // answered No
    ASSERT_EQ(m_ui.questions.size(), 1u);
    EXPECT_EQ(m_ui.questions[0],
              "Are you sure you want to delete the record:\r\n\r\nTemplate Name:  A\r\nValue "
              "Name:  x");
    EXPECT_EQ(Rows().size(), 3u);

    m_ui.answers = {true, true, true};
    E().Delete();
    EXPECT_EQ(E().TemplateList().Items(), std::vector<std::string>{"B"});
    EXPECT_EQ(Shown(), "B/y@0:int");
    E().Delete();
    EXPECT_EQ(Shown(), "B/z@4:int");
    E().Delete();
    EXPECT_TRUE(E().TemplateList().Empty());
    EXPECT_FALSE(E().TemplateList().Selection());
    EXPECT_EQ(Shown(), "/@:");
    EXPECT_TRUE(Rows().empty());

    E().Delete();
    EXPECT_EQ(m_ui.messages, std::vector<uint32_t>{kMsgNoRecordsToDelete});
    EXPECT_EQ(m_ui.questions.size(), 4u);
    ASSERT_EQ(m_published.size(), 3u);
    EXPECT_TRUE(m_published.back()->Rows().empty());
}

TEST_F(EditorCoreTest, DeletingTheLastRowShowsThePreviousOne) {
    Store({{"T", "int", "a", 0}, {"T", "int", "b", 4}, {"T", "int", "c", 8}});
    Open();
    m_ui.answers = {true, true};
    E().MoveLast();
    E().Delete();
    EXPECT_EQ(Shown(), "T/b@4:int");
    E().MoveFirst();
    E().Delete();
    EXPECT_EQ(Shown(), "T/b@4:int");
    E().Cancel();
    EXPECT_EQ(Rows(), (std::vector<Row>{{"T", 4, "int", "b"}}));
}

TEST_F(EditorCoreTest, ATextTooLongIsReportedAndTheRowKept) {
    Store({{"T", "int", "a", 0}, {"T", "int", "b", 4}});
    Open();
    E().SetValueName(std::string(256, 'v'));
    E().MoveNext();
    ASSERT_EQ(m_ui.errors.size(), 1u);
    EXPECT_NE(m_ui.errors[0].find("at most 255 characters"), std::string::npos);
    EXPECT_EQ(Shown(), "T/b@4:int");
    E().Cancel();
    EXPECT_EQ(std::get<3>(Rows()[0]), "a");
}

TEST(EditorCoreMissingTable, ReportsTheEngineTextAndStaysEmpty) {
    ScratchDir dir;
    const std::string path = dir / "half.db";
    testing::CreateHalfCatalogue(path, true);
    CCatalogue catalogue;
    ASSERT_TRUE(catalogue.Open(path));
    RecordingUi ui;
    CTemplateEditorCore editor(&catalogue, ui);
    editor.Initialise();
    EXPECT_EQ(ui.errors, std::vector<std::string>{"no such table: Templates"});
    EXPECT_FALSE(editor.HasCatalogueData());
    editor.Add();
    EXPECT_FALSE(editor.Adding());
    editor.MoveNext();
    editor.MoveLast();
    editor.Delete();
    EXPECT_EQ(ui.messages, std::vector<uint32_t>{kMsgNoRecordsToDelete});
    editor.Ok();
    EXPECT_EQ(ui.errors.size(), 1u);
}

}  // namespace
}  // namespace vantrel
