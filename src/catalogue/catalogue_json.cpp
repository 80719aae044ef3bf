// The catalogue as one JSON object: writing it, and a small reader that keeps
// the line of every value so that a bad row can be named.

#include <set>

#include "catalogue/catalogue_exchange.h"
#include "catalogue/catalogue_exchange_rows.h"
#include "decode/text_encoding.h"

namespace vantrel {

namespace {

// ------------------------------------------------------------------ writing

void AppendMember(std::string& out, const char* key, std::string_view bytes) {
    out += '"';
    out += key;
    out += "\": ";
    AppendJsonString(out, bytes);
}

template <class Row, class Write>
void AppendArray(std::string& out, const char* key, const std::vector<Row>& rows, Write write) {
    out += "  \"";
    out += key;
    out += "\": [";
    for (size_t i = 0; i < rows.size(); ++i) {
        out += i ? ",\n    {" : "\n    {";
        write(out, rows[i]);
        out += '}';
    }
    out += rows.empty() ? "]" : "\n  ]";
}

// ------------------------------------------------------------------ reading

struct JsonValue {
    enum class Kind { Null, Bool, Number, String, Array, Object };
    Kind kind = Kind::Null;
    size_t line = 1;
    std::string text;  // a string's UTF-8, a number's token
    std::vector<JsonValue> items;
    // Member names and values side by side: a pair of an incomplete type
    // does not compile with every standard library.
    std::vector<std::string> memberNames;
    std::vector<JsonValue> members;
};

class JsonReader {
public:
    explicit JsonReader(std::string_view text) : m_text(text) {}

    bool ReadDocument(JsonValue& value, std::string& error) {
        if (!ReadValue(value, 0)) return Report(error);
        SkipBlanks();
        if (m_pos != m_text.size()) {
            m_fault = "text after the end of the JSON object";
            return Report(error);
        }
        return true;
    }

private:
    static constexpr int kMaxDepth = 16;

    bool Report(std::string& error) const {
        error = "line " + std::to_string(m_line) + ": " + m_fault;
        return false;
    }
    bool Fault(std::string what) {
        m_fault = std::move(what);
        return false;
    }

    void SkipBlanks() {
        while (m_pos < m_text.size()) {
            const char c = m_text[m_pos];
            if (c == '\n') {
                ++m_line;
            } else if (c != ' ' && c != '\t' && c != '\r') {
                return;
            }
            ++m_pos;
        }
    }

    bool Take(char c) {
        SkipBlanks();
        if (m_pos < m_text.size() && m_text[m_pos] == c) {
            ++m_pos;
            return true;
        }
        return false;
    }

    bool ReadValue(JsonValue& v, int depth) {
        if (depth > kMaxDepth) return Fault("the JSON is nested too deeply");
        SkipBlanks();
        v.line = m_line;
        if (m_pos >= m_text.size()) return Fault("the JSON ends too early");
        const char c = m_text[m_pos];
        if (c == '{') return ReadObject(v, depth);
        if (c == '[') return ReadArray(v, depth);
        if (c == '"') {
            v.kind = JsonValue::Kind::String;
            return ReadString(v.text);
        }
        if (c == '-' || (c >= '0' && c <= '9')) return ReadNumber(v);
        for (const auto& [word, kind] :
             {std::pair{"true", JsonValue::Kind::Bool}, std::pair{"false", JsonValue::Kind::Bool},
              std::pair{"null", JsonValue::Kind::Null}}) {
            if (m_text.substr(m_pos, std::string_view(word).size()) == word) {
                m_pos += std::string_view(word).size();
                v.kind = kind;
                v.text = word;
                return true;
            }
        }
        return Fault("a JSON value was expected");
    }

    bool ReadObject(JsonValue& v, int depth) {
        v.kind = JsonValue::Kind::Object;
        ++m_pos;
        if (Take('}')) return true;
        do {
            SkipBlanks();
            std::string key;
            if (m_pos >= m_text.size() || m_text[m_pos] != '"') return Fault("a key was expected");
            if (!ReadString(key)) return false;
            if (!Take(':')) return Fault("':' was expected after a key");
            JsonValue member;
            if (!ReadValue(member, depth + 1)) return false;
            v.memberNames.push_back(std::move(key));
            v.members.push_back(std::move(member));
        } while (Take(','));
        return Take('}') || Fault("',' or '}' was expected");
    }

    bool ReadArray(JsonValue& v, int depth) {
        v.kind = JsonValue::Kind::Array;
        ++m_pos;
        if (Take(']')) return true;
        do {
            JsonValue item;
            if (!ReadValue(item, depth + 1)) return false;
            v.items.push_back(std::move(item));
        } while (Take(','));
        return Take(']') || Fault("',' or ']' was expected");
    }

    bool ReadNumber(JsonValue& v) {
        v.kind = JsonValue::Kind::Number;
        const size_t start = m_pos;
        auto digits = [&] {
            const size_t from = m_pos;
            while (m_pos < m_text.size() && m_text[m_pos] >= '0' && m_text[m_pos] <= '9') ++m_pos;
            return m_pos > from;
        };
        if (m_text[m_pos] == '-') ++m_pos;
        if (!digits()) return Fault("a malformed number");
        if (m_pos < m_text.size() && m_text[m_pos] == '.') {
            ++m_pos;
            if (!digits()) return Fault("a malformed number");
        }
        if (m_pos < m_text.size() && (m_text[m_pos] == 'e' || m_text[m_pos] == 'E')) {
            ++m_pos;
            if (m_pos < m_text.size() && (m_text[m_pos] == '+' || m_text[m_pos] == '-')) ++m_pos;
            if (!digits()) return Fault("a malformed number");
        }
        v.text = std::string(m_text.substr(start, m_pos - start));
        return true;
    }

    bool Hex4(uint32_t& value) {
        if (m_pos + 4 > m_text.size()) return false;
        value = 0;
        for (int i = 0; i < 4; ++i) {
            const char c = m_text[m_pos++];
            const int d = c >= '0' && c <= '9'   ? c - '0'
                          : c >= 'a' && c <= 'f' ? c - 'a' + 10
                          : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                 : -1;
            if (d < 0) return false;
            value = value * 16 + static_cast<uint32_t>(d);
        }
        return true;
    }

    bool Escape(std::string& out) {
        if (m_pos >= m_text.size()) return Fault("a string that is never closed");
        const char c = m_text[m_pos++];
        static constexpr std::string_view kFrom = "\"\\/bfnrt", kTo = "\"\\/\b\f\n\r\t";
        if (const size_t at = kFrom.find(c); at != std::string_view::npos) {
            out += kTo[at];
            return true;
        }
        uint32_t cp = 0;
        if (c != 'u' || !Hex4(cp)) return Fault("a malformed escape in a string");
        if (cp >= 0xD800 && cp < 0xDC00) {
            uint32_t low = 0;
            if (m_text.substr(m_pos, 2) != "\\u") return Fault("a lone surrogate in a string");
            m_pos += 2;
            if (!Hex4(low) || low < 0xDC00 || low > 0xDFFF)
                return Fault("a lone surrogate in a string");
            cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
        } else if (cp >= 0xDC00 && cp < 0xE000) {
            return Fault("a lone surrogate in a string");
        }
        AppendCodePointAsUtf8(out, cp);
        return true;
    }

    bool ReadString(std::string& out) {
        ++m_pos;
        while (m_pos < m_text.size()) {
            const char c = m_text[m_pos++];
            if (c == '"') return true;
            if (static_cast<unsigned char>(c) < 0x20)
                return Fault("a control character or line break inside a string");
            if (c == '\\') {
                if (!Escape(out)) return false;
            } else {
                out += c;
            }
        }
        return Fault("a string that is never closed");
    }

    std::string_view m_text;
    size_t m_pos = 0;
    size_t m_line = 1;
    std::string m_fault;
};

// The fields of one row object, in `keys` order; every key exactly once.
bool RowFields(const JsonValue& row, const std::vector<const char*>& keys,
               std::vector<ExchangeField>& fields, std::string& error) {
    if (row.kind != JsonValue::Kind::Object)
        return FailAt(row.line, "a row must be an object", error);
    fields.assign(keys.size(), ExchangeField{});
    std::vector<bool> seen(keys.size(), false);
    for (size_t m = 0; m < row.members.size(); ++m) {
        const std::string& key = row.memberNames[m];
        const JsonValue& value = row.members[m];
        size_t i = 0;
        while (i < keys.size() && key != keys[i]) ++i;
        if (i == keys.size()) return FailAt(value.line, "unknown key \"" + key + "\"", error);
        if (seen[i]) return FailAt(value.line, "the key \"" + key + "\" appears twice", error);
        if (value.kind != JsonValue::Kind::String && value.kind != JsonValue::Kind::Number)
            return FailAt(value.line, "\"" + key + "\" must be a text or a number", error);
        seen[i] = true;
        fields[i] = {value.text, value.kind == JsonValue::Kind::String};
    }
    for (size_t i = 0; i < keys.size(); ++i) {
        if (!seen[i])
            return FailAt(row.line, "the row has no \"" + std::string(keys[i]) + "\"", error);
    }
    return true;
}

template <class Row, class Make>
bool ReadRows(const JsonValue& array, const std::vector<const char*>& keys, Make make,
              std::vector<Row>& rows, std::vector<size_t>& lines, std::string& error) {
    if (array.kind != JsonValue::Kind::Array)
        return FailAt(array.line, "a table must be an array of rows", error);
    std::vector<ExchangeField> fields;
    for (const JsonValue& item : array.items) {
        Row row;
        if (!RowFields(item, keys, fields, error) || !make(item.line, fields, row, error))
            return false;
        rows.push_back(std::move(row));
        lines.push_back(item.line);
    }
    return true;
}

// JSON keys in the order of the CSV header's columns.
const std::vector<const char*> kIoctlKeys = {"ioctl", "object", "ioctl_name", "input_buffer",
                                             "output_buffer"};
const std::vector<const char*> kTemplateKeys = {"name", "offset", "type", "value_name"};

}  // namespace

std::string CatalogueToJson(const std::vector<IoctlRow>& ioctls,
                            const std::vector<TemplateRow>& templates) {
    std::string out = "{\n";
    AppendArray(out, "ioctls", ioctls, [](std::string& o, const IoctlRow& r) {
        AppendMember(o, "ioctl", ExchangeCodeText(r.ioctl));
        o += ", ";
        AppendMember(o, "object", r.object);
        o += ", ";
        AppendMember(o, "ioctl_name", r.ioctlName);
        o += ", ";
        AppendMember(o, "input_buffer", r.inputBuffer);
        o += ", ";
        AppendMember(o, "output_buffer", r.outputBuffer);
    });
    out += ",\n";
    AppendArray(out, "templates", templates, [](std::string& o, const TemplateRow& r) {
        AppendMember(o, "name", r.name);
        o += ", \"offset\": " + std::to_string(r.offset) + ", ";
        AppendMember(o, "type", r.type);
        o += ", ";
        AppendMember(o, "value_name", r.valueName);
    });
    out += "\n}\n";
    return out;
}

bool ParseCatalogueJson(std::string_view text, CatalogueContents& out, std::string& error) {
    out = CatalogueContents{};
    JsonValue doc;
    if (!JsonReader(text).ReadDocument(doc, error)) return false;
    if (doc.kind != JsonValue::Kind::Object)
        return FailAt(doc.line, "the file must hold one JSON object", error);
    std::set<std::string> seen;
    for (size_t m = 0; m < doc.members.size(); ++m) {
        const std::string& key = doc.memberNames[m];
        const JsonValue& value = doc.members[m];
        if (!seen.insert(key).second)
            return FailAt(value.line, "the key \"" + key + "\" appears twice", error);
        std::vector<size_t> lines;
        if (key == "ioctls") {
            out.ioctls.emplace();
            if (!ReadRows(value, kIoctlKeys, MakeIoctlRow, *out.ioctls, lines, error) ||
                !CheckIoctlPairs(*out.ioctls, lines, error))
                return false;
        } else if (key == "templates") {
            out.templates.emplace();
            if (!ReadRows(value, kTemplateKeys, MakeTemplateRow, *out.templates, lines, error))
                return false;
        } else {
            return FailAt(value.line, "unknown table \"" + key + "\"", error);
        }
    }
    return true;
}

}  // namespace vantrel
