#include "decode/template_buffers.h"

namespace vantrel {

void AppendBufferSection(std::string& out, const IRP_CAPTURE_RECORD& capture, BufferSection which,
                         std::string_view name, const CTemplateSnapshot& templates) {
    out.append(which == BufferSection::Input ? "\r\n    Input Buffer Template {\r\n"
                                             : "\r\n    Output Buffer Template {\r\n");
    // Value lines come with the catalogue.
    out.append("    } ");
    out.append(name);
    out.append("\r\n");
}

}  // namespace vantrel
