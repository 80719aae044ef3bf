#include "decode/parameters.h"

#include <string_view>

#include "decode/field_line.h"
#include "decode/number_format.h"
#include "record/param_layout.h"

namespace vantrel {
namespace {

constexpr std::string_view kIndent = "        ";
constexpr std::string_view kMemberIndent = "            ";

// Appends "        TYPE Name" and its tabs.
void AppendLabel(std::string& out, std::string_view type, std::string_view name) {
    const size_t length = kIndent.size() + type.size() + 1 + name.size();
    out.append(kIndent);
    out.append(type);
    out.push_back(' ');
    out.append(name);
    out.append(static_cast<size_t>(PadTabs(length)), '\t');
}

// Appends "=\t0x%.8x\r\n".
void AppendValue8(std::string& out, uint32_t value) {
    char buf[14] = {'=', '\t', '0', 'x'};
    WriteHex(buf + 4, value, 8);
    buf[12] = '\r';
    buf[13] = '\n';
    out.append(buf, sizeof buf);
}

void AppendHeader(std::string& out, std::string_view type, std::string_view name) {
    out.append(kIndent);
    out.append(type);
    out.push_back(' ');
    out.append(name);
    out.append("\r\n");
}

void AppendField(std::string& out, const ParamField& f, const IRP_CAPTURE_RECORD& capture) {
    switch (f.form) {
        case ParamForm::Typed:
            AppendLabel(out, f.type, f.name);
            AppendValue8(out, (capture.Param32(f.offset) >> f.shift) & f.mask);
            return;
        case ParamForm::UShort: {
            AppendLabel(out, f.type, f.name);
            char buf[10] = {'=', '\t', '0', 'x'};
            WriteHex(buf + 4, capture.Param16(f.offset), 4);
            buf[8] = '\r';
            buf[9] = '\n';
            out.append(buf, sizeof buf);
            return;
        }
        case ParamForm::LargeInteger: {
            AppendLabel(out, f.type, f.name);
            char buf[22] = {'=', '\t', '0', 'x'};
            WriteHex(buf + 4, capture.Param32(f.offset + 4), 8);
            WriteHex(buf + 12, capture.Param32(f.offset), 8);
            buf[20] = '\r';
            buf[21] = '\n';
            out.append(buf, sizeof buf);
            return;
        }
        case ParamForm::Boolean:
            AppendLabel(out, f.type, f.name);
            out.append(capture.Param8(f.offset) != 0 ? "=\tTRUE\r\n" : "=\tFALSE\r\n");
            return;
        case ParamForm::PowerSequence: {
            static constexpr std::string_view kMembers[] = {"SequenceD1", "SequenceD2",
                                                            "SequenceD3"};
            AppendHeader(out, f.type, f.name);
            for (size_t i = 0; i < 3; ++i) {
                const size_t length = kMemberIndent.size() + kMembers[i].size();
                out.append(kMemberIndent);
                out.append(kMembers[i]);
                out.append(static_cast<size_t>(PadTabs(length)), '\t');
                AppendValue8(out, capture.Param32(f.offset + 4 * i));
            }
            return;
        }
        case ParamForm::PowerState: {
            // The state is a union of the two enumerations: one word, printed twice.
            static constexpr std::string_view kMembers[] = {"SYSTEM_POWER_STATE",
                                                            "DEVICE_POWER_STATE"};
            AppendHeader(out, f.type, f.name);
            const uint32_t state = capture.Param32(f.offset);
            for (std::string_view member : kMembers) {
                const size_t length = kMemberIndent.size() + member.size();
                out.append(kMemberIndent);
                out.append(member);
                out.append(static_cast<size_t>(PadTabs(length)), '\t');
                AppendValue8(out, state);
            }
            return;
        }
    }
}

}  // namespace

bool HasParameterLayout(uint32_t major, uint32_t minor) {
    return FindParamLayout(major, minor) != nullptr;
}

void AppendParameterSection(std::string& out, const IRP_CAPTURE_RECORD& capture) {
    const ParamLayout* layout = FindParamLayout(capture.MajorFunction, capture.MinorFunction);
    if (layout == nullptr) return;
    out.append("\r\n    Parameters:\r\n    struct {\r\n");
    for (const ParamField& f : layout->fields) AppendField(out, f, capture);
    out.append("    } ");
    out.append(layout->structName);
    out.append("\r\n");
}

}  // namespace vantrel
