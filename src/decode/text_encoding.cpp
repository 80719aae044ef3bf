#include "decode/text_encoding.h"

#include <array>
#include <cstdint>

namespace vantrel {
namespace {

// What a byte becomes inside a JSON string: 0 itself, kUnicode a \u00XX
// escape, kLatin1 two UTF-8 bytes, any other value that letter after a
// backslash.
constexpr char kUnicode = 'u';
constexpr char kLatin1 = '8';

constexpr std::array<char, 256> MakeJsonEscapes() {
    std::array<char, 256> t{};
    for (int b = 0; b < 0x20; ++b) t[b] = kUnicode;
    t['\b'] = 'b';
    t['\f'] = 'f';
    t['\n'] = 'n';
    t['\r'] = 'r';
    t['\t'] = 't';
    t['"'] = '"';
    t['\\'] = '\\';
    for (int b = 0x80; b < 0x100; ++b) t[b] = kLatin1;
    return t;
}
constexpr std::array<char, 256> kJsonEscape = MakeJsonEscapes();

void AppendLatin1Byte(std::string& out, uint8_t b) {
    const char utf8[2] = {static_cast<char>(0xC0 | (b >> 6)), static_cast<char>(0x80 | (b & 0x3F))};
    out.append(utf8, 2);
}

constexpr std::array<bool, 256> MakeCsvSpecials() {
    std::array<bool, 256> t{};
    for (unsigned char b : {',', '"', '\r', '\n'}) t[b] = true;
    return t;
}
constexpr std::array<bool, 256> kCsvSpecial = MakeCsvSpecials();

}  // namespace

// A table look-up per byte: find_first_of with a set of four searches the set
// once per byte, which was the largest cost of a CSV export.
bool NeedsCsvQuotes(std::string_view field) {
    for (char c : field) {
        if (kCsvSpecial[static_cast<uint8_t>(c)]) return true;
    }
    return false;
}

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

void AppendCodePointAsUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

std::string Latin1ToUtf8(std::string_view latin1) {
    std::string out;
    out.reserve(latin1.size());
    AppendLatin1AsUtf8(out, latin1);
    return out;
}

bool Utf8ToLatin1(std::string_view utf8, std::string& latin1) {
    latin1.clear();
    for (size_t i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<uint8_t>(utf8[i]);
        if (c < 0x80) {
            latin1 += static_cast<char>(c);
            continue;
        }
        // Only U+0080 to U+00FF fit: lead bytes C2 and C3.
        if ((c != 0xC2 && c != 0xC3) || i + 1 >= utf8.size()) return false;
        const auto next = static_cast<uint8_t>(utf8[++i]);
        if ((next & 0xC0) != 0x80) return false;
        latin1 += static_cast<char>(((c & 0x1F) << 6) | (next & 0x3F));
    }
    return true;
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
    size_t run = 0;  // start of the pending run of bytes that stay as they are
    for (size_t i = 0; i < latin1.size(); ++i) {
        const auto b = static_cast<uint8_t>(latin1[i]);
        const char escape = kJsonEscape[b];
        if (escape == 0) continue;
        out.append(latin1.data() + run, i - run);
        run = i + 1;
        if (escape == kLatin1) {
            AppendLatin1Byte(out, b);
        } else if (escape == kUnicode) {
            const char code[6] = {'\\', 'u', '0', '0', kHex[b >> 4], kHex[b & 0xF]};
            out.append(code, 6);
        } else {
            const char code[2] = {'\\', escape};
            out.append(code, 2);
        }
    }
    out.append(latin1.data() + run, latin1.size() - run);
}

}  // namespace vantrel
