#include "decode/parameters.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vantrel {
namespace {

// Parameter byte i holds i + 1, so every word shows where it was read from:
// u32 at 0 is 0x04030201, u16 at 8 is 0x0a09, and so on.
IRP_CAPTURE_RECORD PatternRecord(uint32_t major, uint32_t minor) {
    IRP_CAPTURE_RECORD r;
    r.MajorFunction = major;
    r.MinorFunction = minor;
    for (size_t i = 0; i < rec::ParametersSize; ++i) r.Parameters[i] = static_cast<uint8_t>(i + 1);
    return r;
}

std::string Section(const std::string& fields, const std::string& structName) {
    return "\r\n    Parameters:\r\n    struct {\r\n" + fields + "    } " + structName + "\r\n";
}

std::string Params(const IRP_CAPTURE_RECORD& r) {
    std::string out;
    AppendParameterSection(out, r);
    return out;
}

struct LayoutCase {
    const char* title;
    uint32_t major;
    uint32_t minor;
    const char* fields;
    const char* structName;
};

const std::string kConfigFields =
    "        ULONG WhichSpace\t\t\t=\t0x04030201\r\n"
    "        PVOID Buffer\t\t\t\t=\t0x08070605\r\n"
    "        ULONG Offset\t\t\t\t=\t0x0c0b0a09\r\n"
    "        ULONG Length\t\t\t\t=\t0x100f0e0d\r\n";

const std::string kSetQueryPowerFields =
    "        ULONG SystemContext\t\t=\t0x04030201\r\n"
    "        POWER_STATE_TYPE Type\t\t=\t0x08070605\r\n"
    "        POWER_STATE State\r\n"
    "            SYSTEM_POWER_STATE\t\t=\t0x0c0b0a09\r\n"
    "            DEVICE_POWER_STATE\t\t=\t0x0c0b0a09\r\n"
    "        POWER_ACTION ShutdownType\t=\t0x100f0e0d\r\n";

const LayoutCase kLayouts[] = {
    {"Create", 0x00, 0,
     "        PVOID SecurityContext\t\t=\t0x04030201\r\n"
     "        ULONG Options\t\t\t\t=\t0x08070605\r\n"
     "        USHORT FileAttributes\t\t=\t0x0a09\r\n"
     "        USHORT ShareAccess\t\t\t=\t0x0c0b\r\n"
     "        ULONG EaLength\t\t\t=\t0x100f0e0d\r\n",
     "Create"},
    {"Read", 0x03, 0,
     "        ULONG Length\t\t\t\t=\t0x04030201\r\n"
     "        ULONG Key\t\t\t\t=\t0x08070605\r\n"
     "        LARGE_INTEGER ByteOffset\t=\t0x100f0e0d0c0b0a09\r\n",
     "Read"},
    {"Write", 0x04, 7,
     "        ULONG Length\t\t\t\t=\t0x04030201\r\n"
     "        ULONG Key\t\t\t\t=\t0x08070605\r\n"
     "        LARGE_INTEGER ByteOffset\t=\t0x100f0e0d0c0b0a09\r\n",
     "Write"},
    {"QueryFile", 0x05, 0,
     "        ULONG Length\t\t\t\t=\t0x04030201\r\n"
     "        FILE_INFORMATION_CLASS FileInformationClass=\t0x08070605\r\n",
     "QueryFile"},
    {"SetFile", 0x06, 0,
     "        ULONG Length\t\t\t\t=\t0x04030201\r\n"
     "        FILE_INFORMATION_CLASS FileInformationClass=\t0x08070605\r\n"
     "        PVOID FileObject\t\t\t=\t0x0c0b0a09\r\n",
     "SetFile"},
    {"QueryVolume", 0x0A, 0,
     "        ULONG Length\t\t\t\t=\t0x04030201\r\n"
     "        FSINFOCLASS FsInformationClass=\t0x08070605\r\n",
     "QueryVolume"},
    {"DeviceIoControl", 0x0E, 0,
     "        ULONG OutputBufferLength\t=\t0x04030201\r\n"
     "        ULONG InputBufferLength\t\t=\t0x08070605\r\n"
     "        ULONG IoControlCode\t\t=\t0x0c0b0a09\r\n"
     "        PVOID Type3InputBuffer\t\t=\t0x100f0e0d\r\n",
     "DeviceIoControl"},
    {"WaitWake", 0x16, 0, "        SYSTEM_POWER_STATE PowerState\t=\t0x04030201\r\n", "WaitWake"},
    {"PowerSequence", 0x16, 1,
     "        POWER_SEQUENCE PowerSequence\r\n"
     "            SequenceD1\t\t\t=\t0x04030201\r\n"
     "            SequenceD2\t\t\t=\t0x08070605\r\n"
     "            SequenceD3\t\t\t=\t0x0c0b0a09\r\n",
     "PowerSequence"},
    {"SetPower", 0x16, 2, kSetQueryPowerFields.c_str(), "SetPower"},
    {"QueryPower", 0x16, 3, kSetQueryPowerFields.c_str(), "QueryPower"},
    {"StartDevice", 0x1B, 0x00,
     "        PVOID AllocatedResources\t=\t0x04030201\r\n"
     "        PVOID AllocatedResourcesTranslated=\t0x08070605\r\n",
     "StartDevice"},
    {"QueryDeviceRelations", 0x1B, 0x07, "        DEVICE_RELATION_TYPE Type\t=\t0x04030201\r\n",
     "QueryDeviceRelations"},
    {"QueryInterface", 0x1B, 0x08,
     "        CONST GUID *InterfaceType\t=\t0x04030201\r\n"
     "        USHORT Size\t\t\t\t=\t0x0605\r\n"
     "        USHORT Version\t\t\t=\t0x0807\r\n"
     "        PVOID Interface\t\t\t=\t0x0c0b0a09\r\n"
     "        PVOID InterfaceSpecificData\t=\t0x100f0e0d\r\n",
     "QueryInterface"},
    {"DeviceCapabilities", 0x1B, 0x09,
     "        USHORT Size\t\t\t\t=\t0x0201\r\n"
     "        USHORT Version\t\t\t=\t0x0403\r\n"
     "        ULONG Spare1:2\t\t\t=\t0x00000001\r\n"
     "        ULONG LockSupported:1\t\t=\t0x00000001\r\n"
     "        ULONG EjectSupported:1\t\t=\t0x00000000\r\n"
     "        ULONG Removable:1\t\t\t=\t0x00000000\r\n"
     "        ULONG DockDevice:1\t\t\t=\t0x00000000\r\n"
     "        ULONG UniqueID:1\t\t\t=\t0x00000000\r\n"
     "        ULONG SilentInstall:1\t\t=\t0x00000000\r\n"
     "        ULONG RawDeviceOK:1\t\t=\t0x00000000\r\n"
     "        ULONG SurpriseRemovalOK:1\t=\t0x00000001\r\n"
     "        ULONG Reserved:22\t\t\t=\t0x000201c1\r\n"
     "        ULONG Address\t\t\t\t=\t0x0c0b0a09\r\n"
     "        ULONG UINumber\t\t\t=\t0x100f0e0d\r\n"
     "        DEVICE_POWER_STATE DeviceState[0]=\t0x14131211\r\n"
     "        DEVICE_POWER_STATE DeviceState[1]=\t0x18171615\r\n"
     "        DEVICE_POWER_STATE DeviceState[2]=\t0x1c1b1a19\r\n"
     "        DEVICE_POWER_STATE DeviceState[3]=\t0x201f1e1d\r\n"
     "        DEVICE_POWER_STATE DeviceState[4]=\t0x24232221\r\n"
     "        DEVICE_POWER_STATE DeviceState[5]=\t0x28272625\r\n"
     "        DEVICE_POWER_STATE DeviceState[6]=\t0x2c2b2a29\r\n"
     "        SYSTEM_POWER_STATE SystemWake\t=\t0x302f2e2d\r\n"
     "        DEVICE_POWER_STATE DeviceWake\t=\t0x34333231\r\n"
     "        ULONG D1Latency\t\t\t=\t0x38373635\r\n"
     "        ULONG D2Latency\t\t\t=\t0x3c3b3a39\r\n"
     "        ULONG D3Latency\t\t\t=\t0x403f3e3d\r\n",
     "DeviceCapabilities"},
    {"QueryDeviceText", 0x1B, 0x0C,
     "        DEVICE_TEXT_TYPE DeviceTextType=\t0x04030201\r\n"
     "        LCID LocaleId\t\t\t\t=\t0x08070605\r\n",
     "QueryDeviceText"},
    {"FilterResourceRequirements", 0x1B, 0x0D,
     "        PVOID IoResourceRequirementList=\t0x04030201\r\n", "FilterResourceRequirements"},
    {"ReadConfig", 0x1B, 0x0F, kConfigFields.c_str(), "ReadConfig"},
    {"WriteConfig", 0x1B, 0x10, kConfigFields.c_str(), "ReadConfig"},
    {"SetLock", 0x1B, 0x12, "        BOOLEAN Lock\t\t\t\t=\tTRUE\r\n", "SetLock"},
    {"QueryId", 0x1B, 0x13, "        BUS_QUERY_ID_TYPE IdType\t=\t0x04030201\r\n", "QueryId"},
    {"UsageNotification", 0x1B, 0x16,
     "        BOOLEAN InPath\t\t\t=\tTRUE\r\n"
     "        BOOLEAN Reserved[0]\t\t=\tTRUE\r\n"
     "        BOOLEAN Reserved[1]\t\t=\tTRUE\r\n"
     "        BOOLEAN Reserved[2]\t\t=\tTRUE\r\n"
     "        DEVICE_USAGE_NOTIFICATION_TYPE Type=\t0x08070605\r\n",
     "UsageNotification"},
};

TEST(Parameters, EveryLayoutPrintsItsFieldsExactly) {
    for (const LayoutCase& c : kLayouts) {
        SCOPED_TRACE(c.title);
        EXPECT_TRUE(HasParameterLayout(c.major, c.minor));
        EXPECT_EQ(Params(PatternRecord(c.major, c.minor)), Section(c.fields, c.structName));
    }
}

TEST(Parameters, CodesWithoutLayoutPrintNothing) {
    const std::pair<uint32_t, uint32_t> none[] = {
        {IRP_MJ_CLOSE, 0},
        {IRP_MJ_INTERNAL_DEVICE_CONTROL, 0},
        {IRP_MJ_SYSTEM_CONTROL, 0},
        {IRP_MJ_PNP, 0x01},
        {IRP_MJ_PNP, 0x0A},
        {IRP_MJ_PNP, 0x0E},
        {IRP_MJ_PNP, 0x11},
        {IRP_MJ_PNP, 0x17},
        {IRP_MJ_PNP, 0xFFFFFFFF},
        {IRP_MJ_POWER, 0x04},
        {IRP_MJ_POWER, 0xFFFFFFFF},
        {0x1C, 0},
        {30, 0},
        {0xFFFFFFFF, 0},
    };
    for (auto [major, minor] : none) {
        SCOPED_TRACE(testing::Message() << major << "/" << minor);
        EXPECT_FALSE(HasParameterLayout(major, minor));
        EXPECT_EQ(Params(PatternRecord(major, minor)), "");
    }
}

TEST(Parameters, BooleanIsTrueForAnyNonZeroByte) {
    IRP_CAPTURE_RECORD r = PatternRecord(0x1B, 0x16);
    r.Parameters[0] = 0x02;
    r.Parameters[1] = 0x00;
    r.Parameters[2] = 0x80;
    r.Parameters[3] = 0x00;
    const std::string out = Params(r);
    EXPECT_NE(out.find("        BOOLEAN InPath\t\t\t=\tTRUE\r\n"), std::string::npos);
    EXPECT_NE(out.find("        BOOLEAN Reserved[0]\t\t=\tFALSE\r\n"), std::string::npos);
    EXPECT_NE(out.find("        BOOLEAN Reserved[1]\t\t=\tTRUE\r\n"), std::string::npos);
    EXPECT_NE(out.find("        BOOLEAN Reserved[2]\t\t=\tFALSE\r\n"), std::string::npos);

    IRP_CAPTURE_RECORD lock = PatternRecord(0x1B, 0x12);
    lock.Parameters[0] = 0;  // only the byte counts, not the word around it
    EXPECT_EQ(Params(lock), Section("        BOOLEAN Lock\t\t\t\t=\tFALSE\r\n", "SetLock"));
}

TEST(Parameters, CapabilitiesWithAllFlagBitsSet) {
    IRP_CAPTURE_RECORD r;
    r.MajorFunction = IRP_MJ_PNP;
    r.MinorFunction = 0x09;
    r.SetParam32(par::CapFlags, 0xFFFFFFFF);
    const std::string out = Params(r);
    EXPECT_NE(out.find("        ULONG Spare1:2\t\t\t=\t0x00000003\r\n"), std::string::npos);
    for (const char* one : {"LockSupported:1\t\t", "EjectSupported:1\t\t", "Removable:1\t\t\t",
                            "DockDevice:1\t\t\t", "UniqueID:1\t\t\t", "SilentInstall:1\t\t",
                            "RawDeviceOK:1\t\t", "SurpriseRemovalOK:1\t"}) {
        EXPECT_NE(out.find(std::string("        ULONG ") + one + "=\t0x00000001\r\n"),
                  std::string::npos)
            << one;
    }
    EXPECT_NE(out.find("        ULONG Reserved:22\t\t\t=\t0x003fffff\r\n"), std::string::npos);
    EXPECT_NE(out.find("        USHORT Size\t\t\t\t=\t0x0000\r\n"), std::string::npos);
}

TEST(Parameters, SetPowerPrintsTheStateOnBothMembers) {
    IRP_CAPTURE_RECORD r;
    r.MajorFunction = IRP_MJ_POWER;
    r.MinorFunction = 0x02;
    r.SetParam32(par::State, 4);
    EXPECT_EQ(Params(r), Section("        ULONG SystemContext\t\t=\t0x00000000\r\n"
                                 "        POWER_STATE_TYPE Type\t\t=\t0x00000000\r\n"
                                 "        POWER_STATE State\r\n"
                                 "            SYSTEM_POWER_STATE\t\t=\t0x00000004\r\n"
                                 "            DEVICE_POWER_STATE\t\t=\t0x00000004\r\n"
                                 "        POWER_ACTION ShutdownType\t=\t0x00000000\r\n",
                                 "SetPower"));
}

TEST(Parameters, UsageNotificationTypeLabelOf43CharactersGetsNoTab) {
    IRP_CAPTURE_RECORD r;
    r.MajorFunction = IRP_MJ_PNP;
    r.MinorFunction = 0x16;
    r.SetParam32(par::UsageType, 3);
    const std::string label = "        DEVICE_USAGE_NOTIFICATION_TYPE Type";
    ASSERT_EQ(label.size(), 43u);
    EXPECT_NE(Params(r).find(label + "=\t0x00000003\r\n"), std::string::npos);
}

TEST(Parameters, AppendsToWhatIsThere) {
    std::string out = "before";
    AppendParameterSection(out, PatternRecord(0x16, 0));
    EXPECT_EQ(out, "before" + Section("        SYSTEM_POWER_STATE PowerState\t=\t0x04030201\r\n",
                                      "WaitWake"));
}

}  // namespace
}  // namespace vantrel
