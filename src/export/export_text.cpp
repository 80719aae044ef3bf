#include "export/export_text.h"

#include <array>
#include <cstdint>

namespace vantrel {
namespace {

// What a byte needs inside a JSON string: nothing, a short escape, a \u00XX
// escape, or two UTF-8 bytes.
enum class JsonByte : uint8_t { Plain, Short, Unicode, Latin1 };

constexpr std::array<JsonByte, 256> MakeJsonClasses() {
    std::array<JsonByte, 256> t{};
    for (int b = 0; b < 0x20; ++b) t[b] = JsonByte::Unicode;
    for (int b : {'\b', '\f', '\n', '\r', '\t', '"', '\\'}) t[b] = JsonByte::Short;
    for (int b = 0x80; b < 0x100; ++b) t[b] = JsonByte::Latin1;
    return t;
}
constexpr std::array<JsonByte, 256> kJsonClass = MakeJsonClasses();

constexpr char ShortEscape(char c) {
    switch (c) {
        case '\b':
            return 'b';
        case '\f':
            return 'f';
        case '\n':
            return 'n';
        case '\r':
            return 'r';
        case '\t':
            return 't';
        default:
            return c;  // '"' and '\\' escape as themselves
    }
}

void AppendLatin1Byte(std::string& out, uint8_t b) {
    const char utf8[2] = {static_cast<char>(0xC0 | (b >> 6)), static_cast<char>(0x80 | (b & 0x3F))};
    out.append(utf8, 2);
}

bool NeedsCsvQuotes(std::string_view s) {
    return s.find_first_of(",\"\r\n") != std::string_view::npos;
}

}  // namespace

void AppendLatin1AsUtf8(std::string& out, std::string_view latin1) {
    size_t run = 0;  // start of the pending run of ASCII bytes
    for (size_t i = 0; i < latin1.size(); ++i) {
        const auto b = static_cast<uint8_t>(latin1[i]);
        if (b < 0x80) continue;
        out.append(latin1.data() + run, i - run);
        AppendLatin1Byte(out, b);
        run = i + 1;
    }
    out.append(latin1.data() + run, latin1.size() - run);
}

void AppendCsvField(std::string& out, std::string_view latin1) {
    if (!NeedsCsvQuotes(latin1)) {
        AppendLatin1AsUtf8(out, latin1);
        return;
    }
    out.push_back('"');
    for (size_t start = 0;;) {
        const size_t quote = latin1.find('"', start);
        AppendLatin1AsUtf8(out, latin1.substr(start, quote - start));
        if (quote == std::string_view::npos) break;
        out.append("\"\"");
        start = quote + 1;
    }
    out.push_back('"');
}

void AppendJsonString(std::string& out, std::string_view latin1) {
    out.push_back('"');
    AppendJsonStringContent(out, latin1);
    out.push_back('"');
}

void AppendJsonStringContent(std::string& out, std::string_view latin1) {
    static constexpr char kHex[] = "0123456789abcdef";
    size_t run = 0;
    for (size_t i = 0; i < latin1.size(); ++i) {
        const auto b = static_cast<uint8_t>(latin1[i]);
        const JsonByte kind = kJsonClass[b];
        if (kind == JsonByte::Plain) continue;
        out.append(latin1.data() + run, i - run);
        run = i + 1;
        switch (kind) {
            case JsonByte::Short: {
                const char escape[2] = {'\\', ShortEscape(static_cast<char>(b))};
                out.append(escape, 2);
                break;
            }
            case JsonByte::Unicode: {
                const char escape[6] = {'\\', 'u', '0', '0', kHex[b >> 4], kHex[b & 0xF]};
                out.append(escape, 6);
                break;
            }
            case JsonByte::Latin1:
                AppendLatin1Byte(out, b);
                break;
            case JsonByte::Plain:
                break;
        }
    }
    out.append(latin1.data() + run, latin1.size() - run);
}

}  // namespace vantrel
