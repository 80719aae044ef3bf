#include "catalogue/ioctl_code.h"

#include <gtest/gtest.h>

namespace vantrel {
namespace {

const char* const kDeviceTypes[55] = {
    "FILE_DEVICE_BEEP",
    "FILE_DEVICE_CD_ROM",
    "FILE_DEVICE_CD_ROM_FILE_SYSTEM",
    "FILE_DEVICE_CONTROLLER",
    "FILE_DEVICE_DATALINK",
    "FILE_DEVICE_DFS",
    "FILE_DEVICE_DISK",
    "FILE_DEVICE_DISK_FILE_SYSTEM",
    "FILE_DEVICE_FILE_SYSTEM",
    "FILE_DEVICE_INPORT_PORT",
    "FILE_DEVICE_KEYBOARD",
    "FILE_DEVICE_MAILSLOT",
    "FILE_DEVICE_MIDI_IN",
    "FILE_DEVICE_MIDI_OUT",
    "FILE_DEVICE_MOUSE",
    "FILE_DEVICE_MULTI_UNC_PROVIDER",
    "FILE_DEVICE_NAMED_PIPE",
    "FILE_DEVICE_NETWORK",
    "FILE_DEVICE_NETWORK_BROWSER",
    "FILE_DEVICE_NETWORK_FILE_SYSTEM",
    "FILE_DEVICE_NULL",
    "FILE_DEVICE_PARALLEL_PORT",
    "FILE_DEVICE_PHYSICAL_NETCARD",
    "FILE_DEVICE_PRINTER",
    "FILE_DEVICE_SCANNER",
    "FILE_DEVICE_SERIAL_MOUSE_PORT",
    "FILE_DEVICE_SERIAL_PORT",
    "FILE_DEVICE_SCREEN",
    "FILE_DEVICE_SOUND",
    "FILE_DEVICE_STREAMS",
    "FILE_DEVICE_TAPE",
    "FILE_DEVICE_TAPE_FILE_SYSTEM",
    "FILE_DEVICE_TRANSPORT",
    "FILE_DEVICE_UNKNOWN",
    "FILE_DEVICE_VIDEO",
    "FILE_DEVICE_VIRTUAL_DISK",
    "FILE_DEVICE_WAVE_IN",
    "FILE_DEVICE_WAVE_OUT",
    "FILE_DEVICE_8042_PORT",
    "FILE_DEVICE_NETWORK_REDIRECTOR",
    "FILE_DEVICE_BATTERY",
    "FILE_DEVICE_BUS_EXTENDER",
    "FILE_DEVICE_MODEM",
    "FILE_DEVICE_VDM",
    "FILE_DEVICE_MASS_STORAGE",
    "FILE_DEVICE_SMB",
    "FILE_DEVICE_KS",
    "FILE_DEVICE_CHANGER",
    "FILE_DEVICE_SMARTCARD",
    "FILE_DEVICE_ACPI",
    "FILE_DEVICE_DVD",
    "FILE_DEVICE_FULLSCREEN_VIDEO",
    "FILE_DEVICE_DFS_FILE_SYSTEM",
    "FILE_DEVICE_DFS_VOLUME",
    "FILE_DEVICE_SERENUM",
};

TEST(IoctlCode, DeviceTypeNamesOneTo55) {
    for (uint32_t type = 1; type <= 55; ++type) {
        EXPECT_EQ(IoctlDeviceTypeText(type), kDeviceTypes[type - 1]) << type;
    }
    EXPECT_EQ(IoctlDeviceTypeText(0x22), "FILE_DEVICE_UNKNOWN");
    EXPECT_EQ(IoctlDeviceTypeText(0x37), "FILE_DEVICE_SERENUM");
}

TEST(IoctlCode, UnnamedDeviceTypesPrintEightDigits) {
    EXPECT_EQ(IoctlDeviceTypeText(0), "0x00000000");
    EXPECT_EQ(IoctlDeviceTypeText(56), "0x00000038");
    EXPECT_EQ(IoctlDeviceTypeText(0x8000), "0x00008000");
    EXPECT_EQ(IoctlDeviceTypeText(0xFFFF), "0x0000ffff");
    EXPECT_TRUE(DeviceTypeName(0).empty());
    EXPECT_TRUE(DeviceTypeName(56).empty());
}

TEST(IoctlCode, SplitKeepsVendorAndCustomBits) {
    constexpr IoctlCodeParts p = SplitIoctlCode(0xFFFFFFFF);
    static_assert(p.deviceType == 0xFFFF && p.access == 3 && p.function == 0xFFF && p.method == 3);
    constexpr IoctlCodeParts q = SplitIoctlCode(0x0022020C);
    static_assert(q.deviceType == 0x22 && q.access == 0 && q.function == 0x83 && q.method == 0);
}

TEST(IoctlCode, TextsOfTheFourParts) {
    const IoctlCodeParts p = SplitIoctlCode(0x0022020C);
    EXPECT_EQ(IoctlDeviceTypeText(p.deviceType), "FILE_DEVICE_UNKNOWN");
    EXPECT_EQ(IoctlFunctionText(p.function), "0x0083");
    EXPECT_EQ(IoctlAccessText(p.access), "FILE_ANY_ACCESS");
    EXPECT_EQ(IoctlMethodText(p.method), "METHOD_BUFFERED");

    EXPECT_EQ(IoctlFunctionText(0xFFF), "0x0fff");
    EXPECT_EQ(IoctlFunctionText(0), "0x0000");

    EXPECT_EQ(IoctlAccessText(1), "FILE_READ_ACCESS");
    EXPECT_EQ(IoctlAccessText(2), "FILE_WRITE_ACCESS");
    EXPECT_EQ(IoctlAccessText(SplitIoctlCode(0xC000).access), "0x0003");

    EXPECT_EQ(IoctlMethodText(1), "METHOD_IN_DIRECT");
    EXPECT_EQ(IoctlMethodText(2), "METHOD_OUT_DIRECT");
    EXPECT_EQ(IoctlMethodText(3), "METHOD_NEITHER");
    EXPECT_EQ(IoctlMethodText(4), "0x0004");
}

}  // namespace
}  // namespace vantrel
