#pragma once
// Splitting a device I/O control code into device type, required access,
// function and transfer method, and the text shown for each.

#include <cstdint>
#include <string>
#include <string_view>

namespace vantrel {

struct IoctlCodeParts {
    uint32_t deviceType;  // bits 31-16, vendor bit included
    uint32_t access;      // bits 15-14
    uint32_t function;    // bits 13-2, custom bit included
    uint32_t method;      // bits 1-0
};

constexpr IoctlCodeParts SplitIoctlCode(uint32_t code) {
    return {code >> 16, (code >> 14) & 3, (code >> 2) & 0xFFF, code & 3};
}

// Number of named device types: the values 1 to 55.
inline constexpr uint32_t kDeviceTypeNameCount = 55;

// The FILE_DEVICE_* name of a device type, or an empty view for 0 and any
// value above 55.
std::string_view DeviceTypeName(uint32_t deviceType);

// The texts of the four parts.
std::string IoctlDeviceTypeText(uint32_t deviceType);  // name, else "0x%.8x"
std::string IoctlFunctionText(uint32_t function);      // "0x%.4x"
std::string IoctlAccessText(uint32_t access);          // FILE_*_ACCESS, else "0x%.4x"
std::string IoctlMethodText(uint32_t method);          // METHOD_*, else "0x%.4x"

}  // namespace vantrel
