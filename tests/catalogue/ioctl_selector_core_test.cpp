#include "catalogue/ioctl_selector_core.h"

#include <gtest/gtest.h>

#include "catalogue/sorted_list.h"
#include "catalogue_doubles.h"

namespace vantrel {
namespace {

using testing::RecordingHost;
using testing::RecordingSelectorView;
using testing::RecordingUi;
using testing::ScratchDir;

constexpr uint32_t kGeometry = 0x00070000;  // sample: None / DISK_GEOMETRY on DR0
constexpr uint32_t kLength = 0x0007405C;
constexpr const char* kDisk = "\\Device\\Harddisk0\\DR0";

class SelectorCoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string path = m_dir / "sample.db";
        ASSERT_TRUE(CCatalogue::Create(path, true));
        ASSERT_TRUE(m_catalogue.Open(path));
        m_core.SetView(&m_view);
        m_core.Initialise();
        ASSERT_TRUE(m_core.HasCatalogueData());
    }

    size_t IoctlRows() { return m_catalogue.ReadIoctls().size(); }

    ScratchDir m_dir;
    CCatalogue m_catalogue;
    RecordingHost m_host;
    RecordingUi m_ui;
    RecordingSelectorView m_view;
    CIoctlSelectorCore m_core{&m_catalogue, m_host, m_ui};
};

TEST(SortedList, CaseInsensitiveWithTiesInCaseSensitiveOrder) {
    CSortedList list;
    for (const char* s : {"b", "None", "B", "a", "NDIS_OID", "_x", "Ab", "aB"}) list.Insert(s);
    EXPECT_EQ(list.Items(),
              (std::vector<std::string>{"_x", "a", "Ab", "aB", "B", "b", "NDIS_OID", "None"}));
    list.Select(4);
    list.Insert("0");  // inserting before the selection keeps it on "B"
    EXPECT_EQ(list.SelectedText(), "B");
    list.Remove(0);
    EXPECT_EQ(list.SelectedText(), "B");
    list.Remove(*list.Selection());
    EXPECT_FALSE(list.Selection());
    EXPECT_FALSE(list.SelectText("none"));  // exact match only
}

TEST_F(SelectorCoreTest, EntriesAreKeyedByCodeAndExactObjectName) {
    EXPECT_TRUE(m_core.Offer(kGeometry, kDisk));
    EXPECT_TRUE(m_core.Offer(kGeometry, "\\Device\\Harddisk1\\DR1"));
    EXPECT_FALSE(m_core.Offer(kGeometry, kDisk));
    EXPECT_TRUE(m_core.Offer(kGeometry, "\\device\\harddisk0\\dr0"));
    EXPECT_TRUE(m_core.Offer(kLength, kDisk));
    // Object names that only differ after the code bytes never collide.
    EXPECT_TRUE(m_core.Offer(0x00000041, std::string("\0\0\0", 3)));
    EXPECT_TRUE(m_core.Offer(0, std::string("A\0\0\0", 4)));
    ASSERT_EQ(m_core.Entries().Size(), 6u);
    EXPECT_EQ(m_core.Entries().At(0).label, "IOCTL_DISK_GET_DRIVE_GEOMETRY");
    EXPECT_EQ(m_core.Entries().At(1).label, "0x00070000");
    EXPECT_EQ(m_core.Entries().At(2).label, "0x00070000");  // names compare case-sensitively
    EXPECT_EQ(m_core.Entries().At(3).label, "IOCTL_DISK_GET_LENGTH_INFO");
}

TEST_F(SelectorCoreTest, SelectingShowsTheDecodedCodeAndTheCataloguesTemplates) {
    m_core.Offer(kGeometry, kDisk);
    m_core.Offer(0x80002003, "Beep");
    m_core.SelectEntry(0);
    const SelectorFields& f = m_core.Fields();
    EXPECT_EQ(f.ioctlName, "IOCTL_DISK_GET_DRIVE_GEOMETRY");
    EXPECT_EQ(f.deviceObject, "DR0");
    EXPECT_EQ(f.function, "0x0000");
    EXPECT_EQ(f.deviceType, "FILE_DEVICE_DISK");
    EXPECT_EQ(f.access, "FILE_ANY_ACCESS");
    EXPECT_EQ(f.method, "METHOD_BUFFERED");
    EXPECT_EQ(m_core.InputList().SelectedText(), "None");
    EXPECT_EQ(m_core.OutputList().SelectedText(), "DISK_GEOMETRY");
    // With the box off nothing is published and no refresh is due.
    EXPECT_TRUE(m_host.published.empty());
    EXPECT_TRUE(m_view.timers.empty());

    m_core.SelectEntry(1);  // a name without a backslash shows whole
    EXPECT_EQ(m_core.Fields().deviceObject, "Beep");
    EXPECT_EQ(m_core.Fields().ioctlName, "0x80002003");
    EXPECT_EQ(m_core.Fields().deviceType, "0x00008000");
    EXPECT_EQ(m_core.Fields().function, "0x0800");
    EXPECT_EQ(m_core.Fields().method, "METHOD_NEITHER");
    EXPECT_EQ(m_core.InputList().SelectedText(), "None");
    EXPECT_EQ(m_core.OutputList().SelectedText(), "None");
    // The entry that lost the selection reset the selection values.
    ASSERT_EQ(m_host.published.size(), 1u);
    EXPECT_EQ(m_host.published[0].code, -1);
    EXPECT_EQ(m_host.published[0].outputTemplate, "");
}

TEST_F(SelectorCoreTest, BoxWithNothingSelectedTurnsTheFilterOnWithoutRefresh) {
    m_core.Offer(kGeometry, kDisk);
    m_core.SetFilterBox(true);
    EXPECT_TRUE(m_host.filter);
    EXPECT_TRUE(m_host.published.empty());
    EXPECT_TRUE(m_view.timers.empty());
    EXPECT_EQ(m_core.Selection().code, -1);  // every device control passes
}

TEST_F(SelectorCoreTest, SelectingWithTheBoxOnPublishesAndRefreshesAfter50ms) {
    m_core.Offer(kGeometry, kDisk);
    m_core.Offer(0x001B0050, "\\Device\\Serial0");
    m_core.SetFilterBox(true);
    m_core.SelectEntry(0);
    ASSERT_EQ(m_host.published.size(), 1u);
    const IoctlFilterSelection& s = m_host.published[0];
    EXPECT_EQ(s.code, 0x00070000);
    EXPECT_EQ(s.objectName, kDisk);
    EXPECT_EQ(s.inputTemplate, "None");
    EXPECT_EQ(s.outputTemplate, "DISK_GEOMETRY");
    ASSERT_EQ(m_view.timers, std::vector<unsigned>{50});
    EXPECT_EQ(m_host.refreshes, 0);
    m_core.OnRefreshTimer();
    EXPECT_EQ(m_host.refreshes, 1);

    // Moving to another entry: the old one loses the selection first.
    m_core.SelectEntry(1);
    ASSERT_EQ(m_host.published.size(), 3u);
    EXPECT_EQ(m_host.published[1].code, -1);
    EXPECT_EQ(m_host.published[2].code, 0x001B0050);
    EXPECT_EQ(m_host.published[2].inputTemplate, "None");
    EXPECT_EQ(m_host.published[2].outputTemplate, "SERIAL_BAUD_RATE");

    // Box off: no IOCTL, no templates, a refresh.
    m_core.SetFilterBox(false);
    EXPECT_FALSE(m_host.filter);
    EXPECT_EQ(m_host.published.back().code, -1);
    EXPECT_EQ(m_host.published.back().inputTemplate, "");
    EXPECT_EQ(m_host.published.back().outputTemplate, "");
    EXPECT_EQ(m_view.timers.size(), 4u);
}

TEST_F(SelectorCoreTest, BoxOnPublishesTheTextsChosenInTheLists) {
    m_core.Offer(kGeometry, kDisk);
    m_core.SelectEntry(0);
    m_core.ChooseInput(m_core.InputList().Find("CDROM_TOC"));
    m_core.SetFilterBox(true);
    ASSERT_EQ(m_host.published.size(), 1u);
    EXPECT_EQ(m_host.published[0].inputTemplate, "CDROM_TOC");
    EXPECT_EQ(m_host.published[0].outputTemplate, "DISK_GEOMETRY");
    EXPECT_EQ(m_view.timers.size(), 1u);
}

TEST_F(SelectorCoreTest, CatalogueTextMissingFromTheListsSelectsNoneAndPublishesEmpty) {
    ASSERT_TRUE(m_catalogue.SaveIoctl(0x1234, "\\Device\\X", "X_IOCTL", "GONE", "CDROM_TOC"));
    m_core.Offer(0x1234, "\\Device\\X");
    m_core.SetFilterBox(true);
    m_core.SelectEntry(0);
    EXPECT_EQ(m_core.InputList().SelectedText(), "None");
    EXPECT_EQ(m_core.OutputList().SelectedText(), "CDROM_TOC");
    ASSERT_EQ(m_host.published.size(), 1u);
    EXPECT_EQ(m_host.published[0].inputTemplate, "");
    EXPECT_EQ(m_host.published[0].outputTemplate, "CDROM_TOC");
}

TEST_F(SelectorCoreTest, SaveChangesNamesTheEntryAtOnceAndTheNameSurvivesAReset) {
    m_core.Offer(0x00220004, "\\Device\\Usb0");
    m_core.Offer(kGeometry, kDisk);
    m_core.SetFilterBox(true);
    m_core.SelectEntry(0);
    const size_t published = m_host.published.size();
    const size_t timers = m_view.timers.size();
    const size_t rows = IoctlRows();

    m_core.SetIoctlNameField("IOCTL_USB_GET_THING");
    m_core.ChooseOutput(m_core.OutputList().Find("NDIS_OID_VALUE"));
    m_core.SaveChanges();
    EXPECT_EQ(m_core.Entries().At(0).label, "IOCTL_USB_GET_THING");
    EXPECT_EQ(IoctlRows(), rows + 1);
    // The relabelling is not a new selection: nothing republished, no refresh.
    EXPECT_EQ(m_host.published.size(), published);
    EXPECT_EQ(m_view.timers.size(), timers);
    // ... and the next real selection change is handled.
    m_core.SelectEntry(1);
    EXPECT_EQ(m_core.Fields().ioctlName, "IOCTL_DISK_GET_DRIVE_GEOMETRY");

    // Saving again edits the same row.
    m_core.SelectEntry(0);
    EXPECT_EQ(m_core.OutputList().SelectedText(), "NDIS_OID_VALUE");
    m_core.SetIoctlNameField("IOCTL_USB_RENAMED");
    m_core.SaveChanges();
    EXPECT_EQ(IoctlRows(), rows + 1);

    m_core.Clear();  // a capture reset
    EXPECT_EQ(m_core.Entries().Size(), 0u);
    EXPECT_EQ(m_core.Fields().ioctlName, "");
    EXPECT_EQ(m_core.InputList().SelectedText(), "None");
    m_core.Offer(0x00220004, "\\Device\\Usb0");
    EXPECT_EQ(m_core.Entries().At(0).label, "IOCTL_USB_RENAMED");
}

TEST_F(SelectorCoreTest, SaveChangesNeedsAnEntryAndBothListSelections) {
    m_core.Offer(0x00220004, "\\Device\\Usb0");
    const size_t rows = IoctlRows();
    m_core.SaveChanges();  // nothing selected
    m_core.SelectEntry(0);
    m_core.ChooseInput(std::nullopt);
    m_core.SaveChanges();
    EXPECT_EQ(IoctlRows(), rows);
    EXPECT_EQ(m_core.Entries().At(0).label, "0x00220004");
}

TEST_F(SelectorCoreTest, ReloadListsEveryTemplateOnceSortedAndDeselects) {
    const std::vector<std::string>& items = m_core.InputList().Items();
    ASSERT_EQ(items.size(), 15u);  // None and the 14 sample templates
    EXPECT_EQ(items.front(), "BEEP_SET_PARAMETERS");
    EXPECT_EQ(items[9], "None");
    EXPECT_EQ(m_core.OutputList().Items(), items);
    EXPECT_EQ(m_core.InputList().SelectedText(), "None");

    m_core.Offer(kGeometry, kDisk);
    m_core.SelectEntry(0);
    m_core.ReloadTemplates();
    EXPECT_FALSE(m_core.SelectedEntry());
    EXPECT_EQ(m_core.Fields().ioctlName, "");
    ASSERT_EQ(m_host.published.size(), 1u);
    EXPECT_EQ(m_host.published[0].code, -1);
}

TEST_F(SelectorCoreTest, ReloadOverAnEmptyFilteredTemplateSetLeavesOnlyNoneUnselected) {
    m_catalogue.SelectTemplate("no such template");  // as the editor leaves it
    m_core.ReloadTemplates();
    EXPECT_EQ(m_core.InputList().Items(), std::vector<std::string>{"None"});
    EXPECT_FALSE(m_core.InputList().Selection());
    EXPECT_FALSE(m_core.OutputList().Selection());
    // The catalogue's DISK_GEOMETRY is not in the list: "None" is shown.
    m_core.Offer(kGeometry, kDisk);
    m_core.SelectEntry(0);
    EXPECT_EQ(m_core.OutputList().SelectedText(), "None");
}

TEST(SelectorCoreMissingTable, ReportsTheEngineTextAndStaysWithoutCatalogueData) {
    for (const bool withIoctls : {true, false}) {
        ScratchDir dir;
        const std::string path = dir / "half.db";
        testing::CreateHalfCatalogue(path, withIoctls);
        CCatalogue catalogue;
        ASSERT_TRUE(catalogue.Open(path));  // no refusal at start-up
        RecordingHost host;
        RecordingUi ui;
        CIoctlSelectorCore core(&catalogue, host, ui);
        core.Initialise();
        ASSERT_EQ(ui.errors.size(), 1u);
        EXPECT_EQ(ui.errors[0], withIoctls ? "no such table: Templates" : "no such table: Ioctls");
        EXPECT_FALSE(core.HasCatalogueData());
        EXPECT_TRUE(core.InputList().Empty());
        core.Offer(kGeometry, kDisk);
        EXPECT_EQ(core.Entries().At(0).label, "0x00070000");
        core.SelectEntry(0);
        core.SaveChanges();
        EXPECT_EQ(ui.errors.size(), 1u);
        EXPECT_EQ(core.Fields().deviceObject, "DR0");
    }
}

TEST(SelectorCoreNoCatalogue, ListsStayEmptyAndLabelsAreNumeric) {
    RecordingHost host;
    RecordingUi ui;
    CIoctlSelectorCore core(nullptr, host, ui);
    core.Initialise();
    EXPECT_TRUE(ui.errors.empty());
    core.Offer(0xFFFFFFFF, "\\Device\\Null");
    EXPECT_EQ(core.Entries().At(0).label, "0xffffffff");
    core.SetFilterBox(true);
    core.SelectEntry(0);
    ASSERT_EQ(host.published.size(), 1u);
    EXPECT_EQ(host.published[0].code, -1);  // 0xFFFFFFFF is stored as -1 too
    EXPECT_EQ(host.published[0].objectName, "\\Device\\Null");
}

}  // namespace
}  // namespace vantrel
