#include "decode/parameters.h"

#include <span>
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

// One printed line of the section. A field line prints "TYPE Name" and its
// value; a group line prints "TYPE Name" alone and its members follow, each
// with its own label and value.
enum class LineKind : uint8_t { Field, Group, Member };
struct Line {
    LineKind kind;
    std::string_view type;   // of a member: the type its value is read as
    std::string_view name;   // of a member: the name it is known by
    std::string_view label;  // of a member: the text before its tabs
    std::string_view value;  // empty for a group
};

// Calls fn(const Line&) for each line of the field. The text section and the
// structured values both come from here, so they cannot drift apart.
template <typename Fn>
void VisitLines(const ParamField& f, const IRP_CAPTURE_RECORD& capture, Fn&& fn) {
    char buf[2 + 16] = {'0', 'x'};
    const auto hex = [&buf](uint64_t value, int digits) {
        WriteHex(buf + 2, value, digits);
        return std::string_view(buf, static_cast<size_t>(2 + digits));
    };
    switch (f.form) {
        case ParamForm::Typed:
            fn(Line{LineKind::Field,
                    f.type,
                    f.name,
                    {},
                    hex((capture.Param32(f.offset) >> f.shift) & f.mask, 8)});
            return;
        case ParamForm::UShort:
            fn(Line{LineKind::Field, f.type, f.name, {}, hex(capture.Param16(f.offset), 4)});
            return;
        case ParamForm::LargeInteger: {
            const uint64_t value =
                (uint64_t{capture.Param32(f.offset + 4)} << 32) | capture.Param32(f.offset);
            fn(Line{LineKind::Field, f.type, f.name, {}, hex(value, 16)});
            return;
        }
        case ParamForm::Boolean:
            fn(Line{LineKind::Field,
                    f.type,
                    f.name,
                    {},
                    capture.Param8(f.offset) != 0 ? "TRUE" : "FALSE"});
            return;
        case ParamForm::PowerSequence: {
            static constexpr std::string_view kMembers[] = {"SequenceD1", "SequenceD2",
                                                            "SequenceD3"};
            fn(Line{LineKind::Group, f.type, f.name, {}, {}});
            for (size_t i = 0; i < 3; ++i) {
                fn(Line{LineKind::Member, "ULONG", kMembers[i], kMembers[i],
                        hex(capture.Param32(f.offset + 4 * i), 8)});
            }
            return;
        }
        case ParamForm::PowerState: {
            // The state is a union of the two enumerations: one word, read as each.
            static constexpr std::string_view kReadings[] = {"SYSTEM_POWER_STATE",
                                                             "DEVICE_POWER_STATE"};
            fn(Line{LineKind::Group, f.type, f.name, {}, {}});
            const uint32_t state = capture.Param32(f.offset);
            for (std::string_view reading : kReadings) {
                fn(Line{LineKind::Member, reading, f.name, reading, hex(state, 8)});
            }
            return;
        }
    }
}

void AppendLine(std::string& out, const Line& line) {
    switch (line.kind) {
        case LineKind::Field:
            AppendLabel(out, line.type, line.name);
            break;
        case LineKind::Group:
            out.append(kIndent);
            out.append(line.type);
            out.push_back(' ');
            out.append(line.name);
            out.append("\r\n");
            return;
        case LineKind::Member:
            out.append(kMemberIndent);
            out.append(line.label);
            out.append(static_cast<size_t>(PadTabs(kMemberIndent.size() + line.label.size())),
                       '\t');
            break;
    }
    out.append("=\t");
    out.append(line.value);
    out.append("\r\n");
}

}  // namespace

bool HasParameterLayout(uint32_t major, uint32_t minor) {
    return FindParamLayout(major, minor) != nullptr;
}

void AppendParameterSection(std::string& out, const IRP_CAPTURE_RECORD& capture) {
    const ParamLayout* layout = FindParamLayout(capture.MajorFunction, capture.MinorFunction);
    if (layout == nullptr) return;
    out.append("\r\n    Parameters:\r\n    struct {\r\n");
    for (const ParamField& f : layout->fields) {
        VisitLines(f, capture, [&out](const Line& line) { AppendLine(out, line); });
    }
    out.append("    } ");
    out.append(layout->structName);
    out.append("\r\n");
}

bool VisitParameterValues(const IRP_CAPTURE_RECORD& capture,
                          void (*fn)(void* context, const ParameterValue& value), void* context) {
    const ParamLayout* layout = FindParamLayout(capture.MajorFunction, capture.MinorFunction);
    if (layout == nullptr) return false;
    for (const ParamField& f : layout->fields) {
        VisitLines(f, capture, [fn, context](const Line& line) {
            if (line.kind != LineKind::Group) fn(context, {line.type, line.name, line.value});
        });
    }
    return true;
}

}  // namespace vantrel
