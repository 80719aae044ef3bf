#include "catalogue/ioctl_code.h"

#include "decode/number_format.h"

namespace vantrel {
namespace {

constexpr std::string_view kDeviceTypeNames[kDeviceTypeNameCount] = {
    "FILE_DEVICE_BEEP",                 // 0x01
    "FILE_DEVICE_CD_ROM",               // 0x02
    "FILE_DEVICE_CD_ROM_FILE_SYSTEM",   // 0x03
    "FILE_DEVICE_CONTROLLER",           // 0x04
    "FILE_DEVICE_DATALINK",             // 0x05
    "FILE_DEVICE_DFS",                  // 0x06
    "FILE_DEVICE_DISK",                 // 0x07
    "FILE_DEVICE_DISK_FILE_SYSTEM",     // 0x08
    "FILE_DEVICE_FILE_SYSTEM",          // 0x09
    "FILE_DEVICE_INPORT_PORT",          // 0x0A
    "FILE_DEVICE_KEYBOARD",             // 0x0B
    "FILE_DEVICE_MAILSLOT",             // 0x0C
    "FILE_DEVICE_MIDI_IN",              // 0x0D
    "FILE_DEVICE_MIDI_OUT",             // 0x0E
    "FILE_DEVICE_MOUSE",                // 0x0F
    "FILE_DEVICE_MULTI_UNC_PROVIDER",   // 0x10
    "FILE_DEVICE_NAMED_PIPE",           // 0x11
    "FILE_DEVICE_NETWORK",              // 0x12
    "FILE_DEVICE_NETWORK_BROWSER",      // 0x13
    "FILE_DEVICE_NETWORK_FILE_SYSTEM",  // 0x14
    "FILE_DEVICE_NULL",                 // 0x15
    "FILE_DEVICE_PARALLEL_PORT",        // 0x16
    "FILE_DEVICE_PHYSICAL_NETCARD",     // 0x17
    "FILE_DEVICE_PRINTER",              // 0x18
    "FILE_DEVICE_SCANNER",              // 0x19
    "FILE_DEVICE_SERIAL_MOUSE_PORT",    // 0x1A
    "FILE_DEVICE_SERIAL_PORT",          // 0x1B
    "FILE_DEVICE_SCREEN",               // 0x1C
    "FILE_DEVICE_SOUND",                // 0x1D
    "FILE_DEVICE_STREAMS",              // 0x1E
    "FILE_DEVICE_TAPE",                 // 0x1F
    "FILE_DEVICE_TAPE_FILE_SYSTEM",     // 0x20
    "FILE_DEVICE_TRANSPORT",            // 0x21
    "FILE_DEVICE_UNKNOWN",              // 0x22
    "FILE_DEVICE_VIDEO",                // 0x23
    "FILE_DEVICE_VIRTUAL_DISK",         // 0x24
    "FILE_DEVICE_WAVE_IN",              // 0x25
    "FILE_DEVICE_WAVE_OUT",             // 0x26
    "FILE_DEVICE_8042_PORT",            // 0x27
    "FILE_DEVICE_NETWORK_REDIRECTOR",   // 0x28
    "FILE_DEVICE_BATTERY",              // 0x29
    "FILE_DEVICE_BUS_EXTENDER",         // 0x2A
    "FILE_DEVICE_MODEM",                // 0x2B
    "FILE_DEVICE_VDM",                  // 0x2C
    "FILE_DEVICE_MASS_STORAGE",         // 0x2D
    "FILE_DEVICE_SMB",                  // 0x2E
    "FILE_DEVICE_KS",                   // 0x2F
    "FILE_DEVICE_CHANGER",              // 0x30
    "FILE_DEVICE_SMARTCARD",            // 0x31
    "FILE_DEVICE_ACPI",                 // 0x32
    "FILE_DEVICE_DVD",                  // 0x33
    "FILE_DEVICE_FULLSCREEN_VIDEO",     // 0x34
    "FILE_DEVICE_DFS_FILE_SYSTEM",      // 0x35
    "FILE_DEVICE_DFS_VOLUME",           // 0x36
    "FILE_DEVICE_SERENUM",              // 0x37
};

std::string Hex(uint32_t value, int digits) {
    std::string s;
    AppendHex(s, value, digits);
    return s;
}

}  // namespace

std::string_view DeviceTypeName(uint32_t deviceType) {
    if (deviceType < 1 || deviceType > kDeviceTypeNameCount) return {};
    return kDeviceTypeNames[deviceType - 1];
}

std::string IoctlDeviceTypeText(uint32_t deviceType) {
    const std::string_view name = DeviceTypeName(deviceType);
    return name.empty() ? Hex(deviceType, 8) : std::string(name);
}

std::string IoctlFunctionText(uint32_t function) {
    return Hex(function, 4);
}

std::string IoctlAccessText(uint32_t access) {
    switch (access) {
        case 0:
            return "FILE_ANY_ACCESS";
        case 1:
            return "FILE_READ_ACCESS";
        case 2:
            return "FILE_WRITE_ACCESS";
        default:
            return Hex(access, 4);
    }
}

std::string IoctlMethodText(uint32_t method) {
    switch (method) {
        case 0:
            return "METHOD_BUFFERED";
        case 1:
            return "METHOD_IN_DIRECT";
        case 2:
            return "METHOD_OUT_DIRECT";
        case 3:
            return "METHOD_NEITHER";
        default:
            return Hex(method, 4);
    }
}

}  // namespace vantrel
