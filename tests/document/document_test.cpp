#include "document/document.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "capture/scripted_driver_device.h"
#include "decode/template_snapshot.h"
#include "document/settings.h"
#include "document/string_table.h"

namespace vantrel {
namespace {

using testing::ScriptedDriverOpener;
using testing::RecordingPrompts;
using testing::ScriptedDriverState;

class DocumentTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir = std::filesystem::temp_directory_path() /
                ("vantrel_doc_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        std::filesystem::remove_all(m_dir);
        std::filesystem::create_directories(m_dir / "settings");
        m_old = std::filesystem::current_path();
        std::filesystem::current_path(m_dir);
        SetSettingsFolder((m_dir / "settings").string());
        m_driver = std::make_shared<ScriptedDriverState>();
        m_opener = ScriptedDriverOpener(m_driver);
    }
    void TearDown() override {
        SetSettingsFolder({});
        std::filesystem::current_path(m_old);
        std::filesystem::remove_all(m_dir);
    }
    std::filesystem::path m_dir, m_old;
    std::shared_ptr<ScriptedDriverState> m_driver;
    DriverOpener m_opener;
    RecordingPrompts m_prompts;
};

TEST_F(DocumentTest, OpensDriverAndCatalogueReadsAndStoresTheSettings) {
    ASSERT_TRUE(CCatalogue::Create("Vantrel.db", true));
    WriteRegistryNumber(ApplicationKey(), "filter", 0);
    WriteRegistryNumber(ApplicationKey(), "params", 5);
    PublishTemplates(std::make_shared<CTemplateSnapshot>());
    {
        CVantrelDoc doc;
        ASSERT_TRUE(doc.OnNewDocument(m_opener, m_prompts));
        EXPECT_TRUE(m_prompts.messages.empty());
        EXPECT_TRUE(doc.Link().IsOpen());
        EXPECT_TRUE(doc.Catalogue().IsOpen());
        EXPECT_EQ(doc.ProcessorSpeed(), 2400u);
        EXPECT_FALSE(doc.State().ShowAllDevices());
        EXPECT_EQ(doc.State().OutputFlags(), 5u);
        EXPECT_FALSE(CurrentTemplates()->RowsOf("DISK_GEOMETRY").empty());
        doc.State().SetShowAllDevices(true);
        doc.State().SetOutputFlags(0x21);
    }
    EXPECT_EQ(ReadRegistryNumber(ApplicationKey(), "filter"), 1);
    EXPECT_EQ(ReadRegistryNumber(ApplicationKey(), "params"), 0x21);
}

TEST_F(DocumentTest, MissingDriverEndsTheStartAndKeepsTheSettings) {
    m_opener = nullptr;
    WriteRegistryNumber(ApplicationKey(), "params", 7);
    {
        CVantrelDoc doc;
        EXPECT_FALSE(doc.OnNewDocument(m_opener, m_prompts));
        ASSERT_EQ(m_prompts.messages.size(), 1u);
        EXPECT_EQ(m_prompts.messages[0].first, IDS_DRIVER_NOT_LOADED);
    }
    EXPECT_EQ(ReadRegistryNumber(ApplicationKey(), "params"), 7);
    EXPECT_EQ(ReadRegistryNumber(ApplicationKey(), "filter"), -1);
}

TEST_F(DocumentTest, NoCatalogueChosenClosesTheDriverAndCreatesNothing) {
    CVantrelDoc doc;
    EXPECT_FALSE(doc.OnNewDocument(m_opener, m_prompts));  // the file dialog is cancelled
    EXPECT_FALSE(doc.Link().IsOpen());
    EXPECT_FALSE(doc.Catalogue().IsOpen());
    EXPECT_FALSE(std::filesystem::exists(m_dir / "Vantrel.db"));
}

}  // namespace
}  // namespace vantrel
