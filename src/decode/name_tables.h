#pragma once
// The kernel names that the text output prints: the major-function table,
// the minor-function names of power, WMI and Plug and Play IRPs, and the
// completion status names. Constant data; nothing is loaded at run time.

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace vantrel {

// The major-function table: 30 fixed rows of 128 characters, each holding
// one NUL-terminated name, indexed by the major code. Rows 0x00 to 0x1B are
// the real major functions; rows 0x1C and 0x1D hold the alias names
// IRP_MJ_PNP_POWER and IRP_MJ_MAXIMUM_FUNCTION, which no record selects.
inline constexpr size_t kMajorFunctionRows = 30;
inline constexpr size_t kMajorFunctionRowWidth = 128;
// Lists of major functions (filter list, statistics rows) stop here.
inline constexpr size_t kMajorFunctionCount = 28;
extern const char kMajorFunctionTable[kMajorFunctionRows][kMajorFunctionRowWidth];

// The row text of a major code, or an empty view for a code of 30 or more
// (the table is never read outside its rows); the caller then prints the
// number.
std::string_view MajorFunctionName(uint32_t major);

// The minor-function name of (major, minor), or an empty view when the pair
// has none: any major other than IRP_MJ_POWER, IRP_MJ_SYSTEM_CONTROL and
// IRP_MJ_PNP, a minor past the end of its list, and the Plug and Play minor
// 0x0E.
std::string_view MinorFunctionName(uint32_t major, uint32_t minor);

// The name of a completion status, or an empty view when it is not one of
// the named values. The whole 32-bit value is compared.
std::string_view StatusName(uint32_t status);

}  // namespace vantrel
