#pragma once
// The parameter section of the IRP text block: the stack-location
// parameters of a record laid out like a structure declaration, one field
// line per member, chosen by the major and minor function codes.

#include <cstdint>
#include <string>

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

}  // namespace vantrel
