#include "decode/template_buffers.h"

#include <algorithm>
#include <charconv>
#include <cstring>

#include "decode/field_line.h"

namespace vantrel {

namespace {

enum class ValueType { None, Bool, Char, Float, Int, Long, Pvoid, Short };

// The seven type names, exact and case-sensitive.
ValueType Classify(std::string_view t) {
    switch (t.size()) {
        case 3:
            return t == "int" ? ValueType::Int : ValueType::None;
        case 4:
            if (t == "BOOL") return ValueType::Bool;
            if (t == "char") return ValueType::Char;
            if (t == "long") return ValueType::Long;
            return ValueType::None;
        case 5:
            if (t == "float") return ValueType::Float;
            if (t == "PVOID") return ValueType::Pvoid;
            if (t == "SHORT") return ValueType::Short;
            return ValueType::None;
        default:
            return ValueType::None;
    }
}

constexpr uint32_t SizeOf(ValueType t) {
    switch (t) {
        case ValueType::Char: return 1;
        case ValueType::Short: return 2;
        case ValueType::None: return 0;
        default: return 4;
    }
}

uint32_t Load32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// "0x" and at least `minDigits` lower-case hexadecimal digits.
void AppendHex(std::string& out, uint32_t v, int minDigits) {
    static constexpr char kDigits[] = "0123456789abcdef";
    char buf[10];
    int n = 0;
    do {
        buf[9 - n++] = kDigits[v & 0xF];
        v >>= 4;
    } while (v != 0);
    while (n < minDigits) buf[9 - n++] = '0';
    buf[9 - n++] = 'x';
    buf[9 - n++] = '0';
    out.append(buf + 10 - n, static_cast<size_t>(n));
}

void AppendValue(std::string& out, ValueType type, const uint8_t* p) {
    switch (type) {
        case ValueType::Bool:
            out.append(Load32(p) != 0 ? "=\tTRUE\r\n" : "=\tFALSE\r\n");
            return;
        case ValueType::Char:
            out.append("=\t'");
            out.push_back(p[0] != 0 ? static_cast<char>(p[0]) : '0');
            out.append("'\r\n");
            return;
        case ValueType::Float: {
            float f;
            const uint32_t bits = Load32(p);
            std::memcpy(&f, &bits, sizeof f);
            char buf[64];
            const auto r = std::to_chars(buf, buf + sizeof buf, static_cast<double>(f),
                                         std::chars_format::fixed, 2);
            out.append("=\t");
            out.append(buf, static_cast<size_t>(r.ptr - buf));
            out.append("\r\n");
            return;
        }
        case ValueType::Int: {
            char buf[16];
            const auto r = std::to_chars(buf, buf + sizeof buf, static_cast<int32_t>(Load32(p)));
            out.append("=\t");
            out.append(buf, static_cast<size_t>(r.ptr - buf));
            out.append("\r\n");
            return;
        }
        case ValueType::Long:
        case ValueType::Pvoid:
            out.append("=\t");
            AppendHex(out, Load32(p), 8);
            out.append("\r\n");
            return;
        case ValueType::Short: {
            // Sign-extended first: a negative value shows all eight digits.
            const auto v = static_cast<int16_t>(static_cast<uint16_t>(p[0] | (p[1] << 8)));
            out.append("=\t");
            AppendHex(out, static_cast<uint32_t>(static_cast<int32_t>(v)), 4);
            out.append("\r\n");
            return;
        }
        case ValueType::None:
            return;
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
        const ValueType type = Classify(row.type);
        if (type == ValueType::None || row.offset < 0) continue;
        const uint32_t offset = static_cast<uint32_t>(row.offset);
        if (static_cast<uint64_t>(offset) + SizeOf(type) > available) continue;

        const size_t labelStart = out.size();
        out.append("        ");
        out.append(row.type);
        out.push_back(' ');
        out.append(row.valueName);
        out.append(static_cast<size_t>(PadTabs(out.size() - labelStart)), '\t');
        AppendValue(out, type, bytes + offset);
    }

    out.append("    } ");
    out.append(name);
    out.append("\r\n");
}

}  // namespace vantrel
