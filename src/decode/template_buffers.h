#pragma once
// Template-formatted buffer sections of the IRP text block: the input or
// output buffer bytes of a record, value by value, as a template describes them.

#include <string>
#include <string_view>

#include "decode/template_snapshot.h"
#include "record/capture_record.h"

namespace vantrel {

enum class BufferSection { Input, Output };

// Whether a template name switches its section on: not empty and not "None"
// (exact, case-sensitive).
inline bool TemplateNameIsOn(std::string_view name) {
    return !name.empty() && name != "None";
}

// Appends the whole section (header, value lines, closing line) for the
// template `name`, reading its rows from `templates`.
void AppendBufferSection(std::string& out, const IRP_CAPTURE_RECORD& capture, BufferSection which,
                         std::string_view name, const CTemplateSnapshot& templates);

}  // namespace vantrel
