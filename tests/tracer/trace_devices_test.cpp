#include "devnodes/trace_devices.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace vantrel {
namespace {

namespace fs = std::filesystem;

// A private /sys/dev and /proc/devices under a temporary folder.
struct FakeTree {
    fs::path root = fs::temp_directory_path() /
                    ("vantrel_trace_" + std::to_string(getpid()) + "_" +
                     ::testing::UnitTest::GetInstance()->current_test_info()->name());
    FakeTree() {
        fs::remove_all(root);
        fs::create_directories(root / "dev");
        fs::create_directories(root / "sys");
    }
    ~FakeTree() { fs::remove_all(root); }
    void Uevent(const std::string& kind, const std::string& number, const std::string& text) {
        fs::create_directories(root / "sys" / kind / number);
        std::ofstream(root / "sys" / kind / number / "uevent") << text;
    }
    void ProcDevices(const std::string& text) { std::ofstream(root / "devices") << text; }
    TraceRoots Roots() const {
        return {(root / "dev").string(), (root / "sys").string(), (root / "devices").string()};
    }
};

constexpr char kProcDevices[] =
    "Character devices:\n  1 mem\n  4 /dev/vc/0\n  4 tty\n  5 /dev/tty\n136 pts\n\n"
    "Block devices:\n  7 loop\n  8 sd\n259 blkext\n";

TEST(TraceDeviceObjectTest, PacksBlockBitMajorAndMinor) {
    EXPECT_EQ(TraceDeviceObject(false, 1, 5), 0x00100005u);  // /dev/zero
    EXPECT_EQ(TraceDeviceObject(true, 8, 0), 0x80800000u);   // the first SCSI disk
    EXPECT_EQ(TraceDeviceObject(false, 136, 3), 0x08800003u);
    // Majors above 11 bits and minors above 20 bits are cut, never spill
    // into the block bit or the major.
    EXPECT_EQ(TraceDeviceObject(false, 0xFFF, 0x1FFFFF), 0x7FFFFFFFu);
    EXPECT_EQ(TraceDeviceObject(true, 0x800, 0x100000), 0x80000000u);
}

TEST(TraceDevicesTest, OneRowPerNumberNamedByTheKernelThenTheThreeCatchAllRows) {
    FakeTree t;
    t.ProcDevices(kProcDevices);
    t.Uevent("char", "1:5", "MAJOR=1\nMINOR=5\nDEVNAME=zero\nDEVMODE=0666\n");
    t.Uevent("char", "4:1", "MAJOR=4\nMINOR=1\nDEVNAME=tty1\n");
    t.Uevent("block", "8:0", "MAJOR=8\nMINOR=0\nDEVNAME=sda\nDEVTYPE=disk\n");
    const std::vector<TraceNode> nodes = {
        {false, 4, 1, "/x/console-alias"}, {true, 8, 0, "/x/disk/by-id/ata-1"},
        {false, 1, 5, "/x/zero"},          {false, 4, 1, "/x/tty1"},
        {false, 136, 3, "/x/pts/3"},       {true, 8, 0, "/x/sda"},
    };
    const std::vector<TraceDevice> rows = BuildTraceDevices(nodes, t.Roots());
    ASSERT_EQ(rows.size(), 7u);
    EXPECT_EQ(rows[0].deviceObject, 0x00100005u);
    EXPECT_EQ(rows[0].name, "/dev/zero");
    EXPECT_EQ(rows[0].description, "mem");
    EXPECT_EQ(rows[1].deviceObject, 0x00400001u);
    EXPECT_EQ(rows[1].name, "/dev/tty1");
    // The first name of a major in /proc/devices is its description.
    EXPECT_EQ(rows[1].description, "/dev/vc/0");
    // No uevent: the shortest path found stands in for the name.
    EXPECT_EQ(rows[2].deviceObject, 0x08800003u);
    EXPECT_EQ(rows[2].name, "/x/pts/3");
    EXPECT_EQ(rows[2].description, "pts");
    EXPECT_EQ(rows[3].deviceObject, 0x80800000u);
    EXPECT_EQ(rows[3].name, "/dev/sda");
    EXPECT_EQ(rows[3].description, "sd");  // from the block section, not a character major 8
    for (size_t i = 0; i < 4; ++i) EXPECT_EQ(rows[i].flag, 0u) << i;

    const std::pair<uint32_t, const char*> catchAll[] = {{0xFFFFFFF0, "(files)"},
                                                         {0xFFFFFFF1, "(pipes and sockets)"},
                                                         {0xFFFFFFF2, "(other device nodes)"}};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(rows[4 + i].deviceObject, catchAll[i].first);
        EXPECT_EQ(rows[4 + i].name, catchAll[i].second);
        EXPECT_EQ(rows[4 + i].description, "");
        EXPECT_NE(rows[4 + i].flag, 0u);
    }
}

TEST(TraceDevicesTest, MissingSysfsAndProcFilesLeaveNamesFromPathsAndNoDescription) {
    FakeTree t;  // neither uevent files nor /proc/devices
    const std::vector<TraceDevice> rows =
        BuildTraceDevices({{false, 10, 200, "/x/net/tun"}, {false, 10, 200, "/x/tun"}}, t.Roots());
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0].name, "/x/tun");
    EXPECT_EQ(rows[0].description, "");
}

TEST(TraceDevicesTest, WalkFindsNodesInSubfoldersAndSkipsLinksAndFiles) {
    FakeTree t;
    const fs::path dev = t.root / "dev";
    fs::create_directories(dev / "pts");
    if (mknod((dev / "null").c_str(), S_IFCHR | 0600, makedev(1, 3)) != 0)
        GTEST_SKIP() << "creating device nodes is not permitted here (mknod: "
                     << std::generic_category().message(errno) << ")";
    ASSERT_EQ(mknod((dev / "pts" / "7").c_str(), S_IFCHR | 0600, makedev(136, 7)), 0);
    ASSERT_EQ(mknod((dev / "loop0").c_str(), S_IFBLK | 0600, makedev(7, 0)), 0);
    fs::create_symlink(dev / "null", dev / "null-link");
    std::ofstream(dev / "plain") << "x";
    t.ProcDevices(kProcDevices);
    std::vector<TraceNode> nodes = FindDeviceNodes(dev.string());
    std::sort(nodes.begin(), nodes.end(),
              [](const TraceNode& a, const TraceNode& b) { return a.path < b.path; });
    ASSERT_EQ(nodes.size(), 3u);
    EXPECT_EQ(nodes[0].path, (dev / "loop0").string());
    EXPECT_TRUE(nodes[0].block);
    EXPECT_EQ(nodes[1].path, (dev / "null").string());
    EXPECT_EQ(nodes[1].major, 1u);
    EXPECT_EQ(nodes[1].minor, 3u);
    EXPECT_EQ(nodes[2].path, (dev / "pts" / "7").string());
    const std::vector<TraceDevice> rows = EnumerateTraceDevices(t.Roots());
    ASSERT_EQ(rows.size(), 6u);
    EXPECT_EQ(rows[2].deviceObject, 0x80700000u);
    EXPECT_EQ(rows[2].description, "loop");
}

TEST(TraceDevicesTest, TheMachinesOwnDevNullIsListed) {
    const std::vector<TraceDevice> rows = EnumerateTraceDevices();
    const auto null = std::find_if(rows.begin(), rows.end(), [](const TraceDevice& d) {
        return d.deviceObject == 0x00100003u;
    });
    if (null == rows.end()) GTEST_SKIP() << "this machine has no /dev/null node";
    EXPECT_EQ(null->name, "/dev/null");
    EXPECT_EQ(null->description, "mem");
}

}  // namespace
}  // namespace vantrel
