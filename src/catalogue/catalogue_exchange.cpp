// The parts of the catalogue exchange formats that JSON and CSV share: text
// encoding, the check of each field, and the CSV format itself.

#include "catalogue/catalogue_exchange.h"

#include <charconv>
#include <cstdio>
#include <map>

namespace vantrel {

namespace {

std::string LinePrefix(size_t line) {
    return "line " + std::to_string(line) + ": ";
}

bool FailAt(size_t line, const std::string& what, std::string& error) {
    error = LinePrefix(line) + what;
    return false;
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

void AppendCsvField(std::string& out, std::string_view bytes) {
    const std::string text = Latin1ToUtf8(bytes);
    if (text.find_first_of(",\"\r\n") == std::string::npos) {
        out += text;
        return;
    }
    out += '"';
    for (char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
}

std::string CodeText(int32_t stored) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%.8x", IoctlCodeFromStored(stored));
    return text;
}

}  // namespace

std::string Latin1ToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x80) {
            out += ch;
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

bool Utf8ToLatin1(std::string_view utf8, std::string& bytes) {
    bytes.clear();
    for (size_t i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x80) {
            bytes += static_cast<char>(c);
            continue;
        }
        // Only U+0080 to U+00FF fit: lead bytes C2 and C3.
        if ((c != 0xC2 && c != 0xC3) || i + 1 >= utf8.size()) return false;
        const auto next = static_cast<unsigned char>(utf8[++i]);
        if ((next & 0xC0) != 0x80) return false;
        bytes += static_cast<char>(((c & 0x1F) << 6) | (next & 0x3F));
    }
    return true;
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
                      "a second row for IOCTL " + CodeText(rows[i].ioctl) + " on \"" +
                          Latin1ToUtf8(rows[i].object) + "\" (the first is on line " +
                          std::to_string(at->second) + ")",
                      error);
    }
    return true;
}

// ------------------------------------------------------------------- CSV

std::string IoctlsToCsv(const std::vector<IoctlRow>& rows) {
    std::string out = std::string(kIoctlsCsvHeader) + "\r\n";
    for (const IoctlRow& r : rows) {
        out += CodeText(r.ioctl);
        for (const std::string* field :
             {&r.object, &r.ioctlName, &r.inputBuffer, &r.outputBuffer}) {
            out += ',';
            AppendCsvField(out, *field);
        }
        out += "\r\n";
    }
    return out;
}

std::string TemplatesToCsv(const std::vector<TemplateRow>& rows) {
    std::string out = std::string(kTemplatesCsvHeader) + "\r\n";
    for (const TemplateRow& r : rows) {
        AppendCsvField(out, r.name);
        out += ',' + std::to_string(r.offset) + ',';
        AppendCsvField(out, r.type);
        out += ',';
        AppendCsvField(out, r.valueName);
        out += "\r\n";
    }
    return out;
}

namespace {

// Reads CSV records: fields separated by commas, records by CR LF or LF,
// fields with commas, quotes or line breaks quoted, a quote inside doubled.
class CsvReader {
public:
    explicit CsvReader(std::string_view text) : m_text(text) {}

    bool AtEnd() const { return m_pos >= m_text.size(); }
    // The line on which the next record starts.
    size_t Line() const { return m_line; }

    bool Next(std::vector<std::string>& fields, std::string& error) {
        fields.assign(1, std::string());
        while (m_pos < m_text.size()) {
            const char c = m_text[m_pos];
            if (c == '"') {
                if (!fields.back().empty() || m_inField)
                    return FailAt(m_line, "a quote inside a field that does not start with one",
                                  error);
                if (!Quoted(fields.back(), error)) return false;
                m_inField = true;
                continue;
            }
            ++m_pos;
            if (c == ',') {
                fields.emplace_back();
                m_inField = false;
            } else if (c == '\n' || (c == '\r' && Peek('\n'))) {
                if (c == '\r') ++m_pos;
                ++m_line;
                break;
            } else if (m_inField) {
                return FailAt(m_line, "text after the closing quote of a field", error);
            } else {
                fields.back() += c;
            }
        }
        m_inField = false;
        return true;
    }

private:
    bool Peek(char c) const { return m_pos < m_text.size() && m_text[m_pos] == c; }

    bool Quoted(std::string& field, std::string& error) {
        const size_t startLine = m_line;
        ++m_pos;
        while (m_pos < m_text.size()) {
            const char c = m_text[m_pos++];
            if (c == '"') {
                if (!Peek('"')) return true;
                ++m_pos;
            } else if (c == '\n') {
                ++m_line;
            }
            field += c;
        }
        return FailAt(startLine, "a quoted field that is never closed", error);
    }

    std::string_view m_text;
    size_t m_pos = 0;
    size_t m_line = 1;
    bool m_inField = false;  // the current field was quoted and is closed
};

template <class Row, class Make>
bool ReadCsvRows(CsvReader& reader, size_t columns, Make make, std::vector<Row>& rows,
                 std::vector<size_t>& lines, std::string& error) {
    std::vector<std::string> texts;
    std::vector<ExchangeField> fields;
    while (!reader.AtEnd()) {
        const size_t line = reader.Line();
        if (!reader.Next(texts, error)) return false;
        if (texts.size() != columns) {
            return FailAt(line,
                          "expected " + std::to_string(columns) + " fields, found " +
                              std::to_string(texts.size()),
                          error);
        }
        fields.clear();
        for (std::string& t : texts) fields.push_back({std::move(t), true});
        Row row;
        if (!make(line, fields, row, error)) return false;
        rows.push_back(std::move(row));
        lines.push_back(line);
    }
    return true;
}

}  // namespace

bool ParseCatalogueCsv(std::string_view text, CatalogueContents& out, std::string& error) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    CsvReader reader(text);
    std::vector<std::string> header;
    if (reader.AtEnd()) {
        error = "the file is empty";
        return false;
    }
    if (!reader.Next(header, error)) return false;
    std::string joined;
    for (size_t i = 0; i < header.size(); ++i) joined += (i ? "," : "") + header[i];
    std::vector<size_t> lines;
    out = CatalogueContents{};
    if (joined == kIoctlsCsvHeader) {
        out.ioctls.emplace();
        return ReadCsvRows(reader, 5, MakeIoctlRow, *out.ioctls, lines, error) &&
               CheckIoctlPairs(*out.ioctls, lines, error);
    }
    if (joined == kTemplatesCsvHeader) {
        out.templates.emplace();
        return ReadCsvRows(reader, 4, MakeTemplateRow, *out.templates, lines, error);
    }
    return FailAt(1,
                  "the header is neither \"" + std::string(kIoctlsCsvHeader) + "\" nor \"" +
                      kTemplatesCsvHeader + "\"",
                  error);
}

bool ParseCatalogueFile(std::string_view text, CatalogueContents& out, std::string& error) {
    // JSON is told by its first character after blanks (and a UTF-8
    // byte-order mark); a file of blanks alone is an empty JSON text.
    std::string_view body = text;
    if (body.substr(0, 3) == "\xEF\xBB\xBF") body.remove_prefix(3);
    const size_t first = body.find_first_not_of(" \t\r\n");
    if (body.empty()) return ParseCatalogueCsv(body, out, error);  // "the file is empty"
    if (first == std::string_view::npos || body[first] == '{' || body[first] == '[')
        return ParseCatalogueJson(body, out, error);
    return ParseCatalogueCsv(text, out, error);
}

}  // namespace vantrel
