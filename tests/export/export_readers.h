#pragma once
// Readers for the export tests: a strict RFC 4180 CSV reader and a JSON Lines
// splitter that parses every line with QJsonDocument.

#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel::test {

using CsvRow = std::vector<std::string>;

// Rows end in CR LF; a quoted field may hold commas, CR LF and doubled
// quotes. A bare CR or LF outside quotes, a quote inside an unquoted field,
// text after a closing quote or a last row without CR LF fail the test.
inline std::vector<CsvRow> ReadCsv(std::string_view text) {
    std::vector<CsvRow> rows;
    CsvRow row;
    size_t i = 0;
    while (i < text.size()) {
        std::string field;
        if (text[i] == '"') {
            for (++i;; ++i) {
                if (i >= text.size()) {
                    ADD_FAILURE() << "unterminated quoted field";
                    return rows;
                }
                if (text[i] != '"') {
                    field.push_back(text[i]);
                } else if (i + 1 < text.size() && text[i + 1] == '"') {
                    field.push_back('"');
                    ++i;
                } else {
                    ++i;
                    break;
                }
            }
        } else {
            for (; i < text.size() && text[i] != ',' && text[i] != '\r' && text[i] != '\n'; ++i) {
                if (text[i] == '"') ADD_FAILURE() << "quote inside an unquoted field at " << i;
                field.push_back(text[i]);
            }
        }
        row.push_back(std::move(field));
        if (i < text.size() && text[i] == ',') {
            ++i;
            if (i == text.size()) ADD_FAILURE() << "text ends after a comma";
        } else if (text.substr(i, 2) == "\r\n") {
            i += 2;
            rows.push_back(std::move(row));
            row.clear();
        } else {
            ADD_FAILURE() << "expected a comma or CR LF at " << i;
            return rows;
        }
    }
    if (!row.empty()) ADD_FAILURE() << "last row without CR LF";
    return rows;
}

// Every line ends in "\n" and is one JSON object.
inline std::vector<QJsonObject> ReadJsonLines(std::string_view text,
                                              std::vector<std::string>* raw = nullptr) {
    std::vector<QJsonObject> objects;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            ADD_FAILURE() << "last line without a line feed";
            break;
        }
        const std::string_view line = text.substr(start, end - start);
        QJsonParseError error;
        const QJsonDocument doc = QJsonDocument::fromJson(
            QByteArray(line.data(), static_cast<qsizetype>(line.size())), &error);
        EXPECT_EQ(error.error, QJsonParseError::NoError)
            << error.errorString().toStdString() << " at " << error.offset << " in " << line;
        EXPECT_TRUE(doc.isObject()) << line;
        objects.push_back(doc.object());
        if (raw) raw->emplace_back(line);
        start = end + 1;
    }
    return objects;
}

}  // namespace vantrel::test
