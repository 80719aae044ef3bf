#pragma once
// The per-IRP parameter layouts: for each (major, minor) that has one, the
// structure the driver copied into the 64-byte parameter area, how a test
// file stores it, and its members as the text block prints them. The test
// file's block sizes and the parameter decoding both read this one table.

#include <cstdint>
#include <span>
#include <string_view>

namespace vantrel {

// How a test file stores the parameter block of a layout.
enum class ParamBlockKind : uint8_t {
    // The first `storedSize` bytes of the parameter area: the members in
    // order, each at its own width, with no gaps.
    Prefix,
    // The 16 bytes of the four members, then the output bytes the output
    // length asks for (0 to 200).
    DeviceControl,
    // SystemContext, Type, State (as system state), State again (as device
    // state), ShutdownType: 20 bytes, the second State being the one kept.
    SetPower,
    // Size and Version, then one DWORD per bit field of the flag word, then
    // the area from Address to its end: 100 bytes.
    Capabilities,
};

// How a member is read from the area and printed.
enum class ParamForm : uint8_t {
    Typed,          // "        TYPE Name" = 0x%.8x of (u32 >> shift) & mask
    UShort,         // "        USHORT Name" = 0x%.4x of the u16
    LargeInteger,   // "        LARGE_INTEGER Name" = high then low u32, 16 digits
    Boolean,        // "        BOOLEAN Name" = TRUE / FALSE of the byte
    PowerSequence,  // header line, then SequenceD1..D3 from three u32
    PowerState,     // header line, then the state word as both enumerations
};

struct ParamField {
    ParamForm form;
    std::string_view type;
    std::string_view name;
    uint8_t offset;  // from the start of the parameter area
    uint8_t shift = 0;
    uint32_t mask = 0xFFFFFFFFu;  // a bit field when not all ones
};

// Bytes a member covers in the parameter area.
constexpr uint32_t ParamFieldWidth(ParamForm form) {
    switch (form) {
        case ParamForm::UShort:
            return 2;
        case ParamForm::Boolean:
            return 1;
        case ParamForm::LargeInteger:
            return 8;
        case ParamForm::PowerSequence:
            return 12;
        default:
            return 4;
    }
}

struct ParamLayout {
    std::string_view structName;
    ParamBlockKind kind;
    // Prefix: bytes of the area stored; the other kinds: their fixed part.
    uint8_t storedSize;
    std::span<const ParamField> fields;
};

// The layout of a (major, minor) pair, or null when the codes have none (the
// text block then has no parameter section and the test file no block).
// For majors other than IRP_MJ_POWER and IRP_MJ_PNP the minor is ignored.
const ParamLayout* FindParamLayout(uint32_t major, uint32_t minor);

}  // namespace vantrel
