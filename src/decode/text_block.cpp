#include "decode/text_block.h"

#include <cstring>

#include "decode/name_tables.h"
#include "decode/number_format.h"
#include "decode/parameters.h"
#include "decode/template_buffers.h"

namespace vantrel {
namespace {

// Appends a line "<prefix>0x%.8x\r\n".
void AppendHexLine(std::string& out, std::string_view prefix, uint32_t value) {
    out.append(prefix);
    char buf[12] = {'0', 'x'};
    WriteHex(buf + 2, value, 8);
    buf[10] = '\r';
    buf[11] = '\n';
    out.append(buf, sizeof buf);
}

// Appends a line "<prefix><text>\r\n". The text is a C string to the
// reader: it ends at its first NUL, if it has one.
void AppendTextLine(std::string& out, std::string_view prefix, std::string_view text) {
    if (const void* nul = std::memchr(text.data(), '\0', text.size())) {
        text = text.substr(0, static_cast<size_t>(static_cast<const char*>(nul) - text.data()));
    }
    out.append(prefix);
    out.append(text);
    out.append("\r\n");
}

// A named code prints its name, an unnamed one its number.
void AppendCodeLine(std::string& out, std::string_view prefix, std::string_view name,
                    uint32_t value) {
    if (name.empty()) {
        AppendHexLine(out, prefix, value);
    } else {
        out.append(prefix);
        out.append(name);
        out.append("\r\n");
    }
}

}  // namespace

void FormatRecord(const CIrpRecord& record, const OutputSettings& settings, std::string& out) {
    const IRP_CAPTURE_RECORD& capture = record.GetCapture();
    const uint32_t flags = settings.outputFlags;

    out.append("IRP Monitor Data\r\n");
    AppendHexLine(out, "    PDEVICE_OBJECT:\t\t", capture.DeviceObject);
    AppendCodeLine(out, "    NTSTATUS:\t\t\t", StatusName(capture.Status), capture.Status);

    if (flags & kOutputDescription) {
        AppendTextLine(out, "    Description:\t\t", record.DescriptionView());
    }
    if (flags & kOutputObjectName) {
        AppendTextLine(out, "    Object Name:\t\t", record.ObjectNameView());
    }
    if (flags & kOutputMajorCode) {
        // A code past the table (never reported by the driver) prints its number.
        AppendCodeLine(out, "    Major Code:\t\t\t", MajorFunctionName(capture.MajorFunction),
                       capture.MajorFunction);
    }
    if (flags & kOutputMinorCode) {
        AppendCodeLine(out, "    Minor Code:\t\t\t",
                       MinorFunctionName(capture.MajorFunction, capture.MinorFunction),
                       capture.MinorFunction);
    }
    if (flags & kOutputLatency) {
        out.append("    Latency:\t\t\t");
        AppendFixed3(out, static_cast<double>(record.GetLatency()));
        out.append(" ms\r\n");
    }
    if (flags & kOutputParameters) AppendParameterSection(out, capture);

    if (settings.templates != nullptr) {
        if (TemplateNameIsOn(settings.inputTemplate)) {
            AppendBufferSection(out, capture, BufferSection::Input, settings.inputTemplate,
                                *settings.templates);
        }
        if (TemplateNameIsOn(settings.outputTemplate)) {
            AppendBufferSection(out, capture, BufferSection::Output, settings.outputTemplate,
                                *settings.templates);
        }
    }

    out.append("-------------------------------------------------\r\n");
}

}  // namespace vantrel
