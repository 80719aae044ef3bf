#pragma once
// The parameter section of the IRP text block: the stack-location
// parameters of a record laid out like a structure declaration, one field
// line per member, chosen by the major and minor function codes.

#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

#include "record/capture_record.h"

namespace vantrel {

// Whether (major, minor) has a parameter layout. Codes without one print
// nothing at all, not even the section header.
bool HasParameterLayout(uint32_t major, uint32_t minor);

// Appends the parameter section of the record (an empty line, "Parameters:",
// "struct {", the field lines, "} <structure name>"), or nothing when its
// codes have no layout. Reads only the 496 bytes of the record; values that
// are addresses are printed, never followed.
void AppendParameterSection(std::string& out, const IRP_CAPTURE_RECORD& capture);

// One value of the parameter section as data, for structured output. The
// section's field line "        ULONG Length\t...=\t0x00000200" gives the
// type "ULONG", the name "Length" and the value "0x00000200". The members of
// a group carry a type of their own: the two readings of a POWER_STATE give
// "SYSTEM_POWER_STATE State" and "DEVICE_POWER_STATE State", the members of a
// POWER_SEQUENCE "ULONG SequenceD1" to "ULONG SequenceD3". Views are valid
// only during the call.
struct ParameterValue {
    std::string_view type;
    std::string_view name;
    std::string_view value;  // exactly as the text block prints it
};

// Calls fn(context, value) for every value of the record's parameter section,
// in layout order, and returns whether its codes have a layout at all. Made
// from the same tables and value formatting as AppendParameterSection.
bool VisitParameterValues(const IRP_CAPTURE_RECORD& capture,
                          void (*fn)(void* context, const ParameterValue& value), void* context);

// The same with any callable taking a const ParameterValue&.
template <typename Fn>
bool ForEachParameterValue(const IRP_CAPTURE_RECORD& capture, Fn&& fn) {
    using F = std::remove_reference_t<Fn>;
    return VisitParameterValues(
        capture, [](void* c, const ParameterValue& v) { (*static_cast<F*>(c))(v); },
        const_cast<void*>(static_cast<const void*>(&fn)));
}

}  // namespace vantrel
