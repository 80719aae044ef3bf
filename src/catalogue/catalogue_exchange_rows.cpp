// The checks that both exchange formats apply to each row they read.

#include "catalogue/catalogue_exchange_rows.h"

#include <charconv>
#include <cstdio>
#include <map>

#include "decode/text_encoding.h"

namespace vantrel {

namespace {

std::string LinePrefix(size_t line) {
    return "line " + std::to_string(line) + ": ";
}

// The IOCTL code of a file: a string in decimal or 0x hexadecimal, or a JSON
// number, of at most 32 bits.
bool ParseCode(const ExchangeField& f, uint32_t& code) {
    std::string_view t = f.text;
    int base = 10;
    if (f.isString && t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) {
        t.remove_prefix(2);
        base = 16;
    }
    if (t.empty()) return false;
    uint64_t v = 0;
    auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), v, base);
    if (ec != std::errc() || end != t.data() + t.size() || v > 0xFFFFFFFFull) return false;
    code = static_cast<uint32_t>(v);
    return true;
}

bool ParseOffset(const ExchangeField& f, int32_t& offset) {
    std::string_view t = f.text;
    if (t.empty() || (t[0] == '+')) return false;
    auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), offset, 10);
    return ec == std::errc() && end == t.data() + t.size();
}

// A text field of the catalogue: a string of at most 255 characters, each
// up to U+00FF.
bool TextField(size_t line, const char* name, const ExchangeField& f, std::string& out,
               std::string& error) {
    if (!f.isString) return FailAt(line, std::string(name) + " must be a text", error);
    if (!Utf8ToLatin1(f.text, out)) {
        return FailAt(line,
                      std::string(name) +
                          " holds a character that the catalogue cannot store (above U+00FF, or "
                          "not UTF-8)",
                      error);
    }
    if (out.size() > kMaxCatalogueText) {
        return FailAt(line,
                      std::string(name) + " is " + std::to_string(out.size()) +
                          " characters long; at most 255 characters are allowed",
                      error);
    }
    return true;
}

}  // namespace

bool FailAt(size_t line, const std::string& what, std::string& error) {
    error = LinePrefix(line) + what;
    return false;
}

std::string ExchangeCodeText(int32_t stored) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%.8x", IoctlCodeFromStored(stored));
    return text;
}

bool MakeIoctlRow(size_t line, const std::vector<ExchangeField>& f, IoctlRow& row,
                  std::string& error) {
    uint32_t code = 0;
    if (!ParseCode(f[0], code))
        return FailAt(line, "the IOCTL code \"" + f[0].text + "\" is not a 32-bit number", error);
    row.ioctl = StoredIoctlCode(code);
    return TextField(line, "the object name", f[1], row.object, error) &&
           TextField(line, "the IOCTL name", f[2], row.ioctlName, error) &&
           TextField(line, "the input buffer template", f[3], row.inputBuffer, error) &&
           TextField(line, "the output buffer template", f[4], row.outputBuffer, error);
}

bool MakeTemplateRow(size_t line, const std::vector<ExchangeField>& f, TemplateRow& row,
                     std::string& error) {
    if (!TextField(line, "the template name", f[0], row.name, error)) return false;
    if (!ParseOffset(f[1], row.offset))
        return FailAt(line, "the offset \"" + f[1].text + "\" is not a 32-bit integer", error);
    return TextField(line, "the type", f[2], row.type, error) &&
           TextField(line, "the value name", f[3], row.valueName, error);
}

bool CheckIoctlPairs(const std::vector<IoctlRow>& rows, const std::vector<size_t>& lines,
                     std::string& error) {
    std::map<std::pair<int32_t, std::string>, size_t> seen;
    for (size_t i = 0; i < rows.size(); ++i) {
        const auto [at, fresh] = seen.emplace(std::pair(rows[i].ioctl, rows[i].object), lines[i]);
        if (fresh) continue;
        return FailAt(lines[i],
                      "a second row for IOCTL " + ExchangeCodeText(rows[i].ioctl) + " on \"" +
                          Latin1ToUtf8(rows[i].object) + "\" (the first is on line " +
                          std::to_string(at->second) + ")",
                      error);
    }
    return true;
}

}  // namespace vantrel
