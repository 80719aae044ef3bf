#include "decode/template_buffers.h"

#include <algorithm>
#include <bit>
#include <charconv>

#include "decode/field_line.h"
#include "decode/number_format.h"
#include "decode/template_types.h"
#include "record/le.h"

namespace vantrel {

namespace {

void AppendValue(std::string& out, TemplateValueType type, const uint8_t* p) {
    switch (type) {
        case TemplateValueType::Bool:
            out.append(le::U32(p) != 0 ? "=\tTRUE\r\n" : "=\tFALSE\r\n");
            return;
        case TemplateValueType::Char:
            out.append("=\t'");
            out.push_back(p[0] != 0 ? static_cast<char>(p[0]) : '0');
            out.append("'\r\n");
            return;
        case TemplateValueType::Float: {
            const float f = std::bit_cast<float>(le::U32(p));
            char buf[64];
            const auto r = std::to_chars(buf, buf + sizeof buf, static_cast<double>(f),
                                         std::chars_format::fixed, 2);
            out.append("=\t");
            out.append(buf, static_cast<size_t>(r.ptr - buf));
            out.append("\r\n");
            return;
        }
        case TemplateValueType::Int: {
            char buf[16];
            const auto r = std::to_chars(buf, buf + sizeof buf, static_cast<int32_t>(le::U32(p)));
            out.append("=\t");
            out.append(buf, static_cast<size_t>(r.ptr - buf));
            out.append("\r\n");
            return;
        }
        case TemplateValueType::Long:
        case TemplateValueType::Pvoid:
            out.append("=\t");
            AppendHex(out, le::U32(p), 8);
            out.append("\r\n");
            return;
        case TemplateValueType::Short: {
            // Sign-extended first: a negative value shows all eight digits.
            const auto v = static_cast<int16_t>(le::U16(p));
            out.append("=\t");
            AppendHex(out, static_cast<uint32_t>(static_cast<int32_t>(v)), 4);
            out.append("\r\n");
            return;
        }
    }
}

}  // namespace

void AppendBufferSection(std::string& out, const IRP_CAPTURE_RECORD& capture, BufferSection which,
                         std::string_view name, const CTemplateSnapshot& templates) {
    const bool input = which == BufferSection::Input;
    out.append(input ? "\r\n    Input Buffer Template {\r\n"
                     : "\r\n    Output Buffer Template {\r\n");

    // The length word of the section, capped at the bytes the record holds.
    const uint32_t length =
        capture.Param32(input ? par::InputBufferLength : par::OutputBufferLength);
    const uint32_t available = std::min<uint32_t>(length, static_cast<uint32_t>(rec::DataSize));
    const uint8_t* bytes = input ? capture.InputData : capture.OutputData;

    for (const TemplateRow& row : templates.RowsOf(name)) {
        const TemplateTypeInfo* type = FindTemplateType(row.type);
        if (!type || row.offset < 0) continue;
        const uint32_t offset = static_cast<uint32_t>(row.offset);
        if (static_cast<uint64_t>(offset) + type->size > available) continue;

        const size_t labelStart = out.size();
        out.append("        ");
        out.append(row.type);
        out.push_back(' ');
        out.append(row.valueName);
        out.append(static_cast<size_t>(PadTabs(out.size() - labelStart)), '\t');
        AppendValue(out, type->type, bytes + offset);
    }

    out.append("    } ");
    out.append(name);
    out.append("\r\n");
}

}  // namespace vantrel
