// The catalogue as CSV (RFC 4180): one table a file, its header line naming
// the table.

#include "catalogue/catalogue_exchange.h"
#include "catalogue/catalogue_exchange_rows.h"
#include "decode/text_encoding.h"

namespace vantrel {

std::string IoctlsToCsv(const std::vector<IoctlRow>& rows) {
    std::string out = std::string(kIoctlsCsvHeader) + "\r\n";
    for (const IoctlRow& r : rows) {
        out += ExchangeCodeText(r.ioctl);
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

}  // namespace vantrel
