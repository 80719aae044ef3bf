#pragma once
// Text encoding for everything that leaves as UTF-8: the structured export
// of records and the catalogue's exchange files. Record and catalogue texts
// are bytes, one character each; they leave as Latin-1 decoded to Unicode
// and written as UTF-8, so that every byte survives and the output is
// always valid UTF-8.

#include <cstdint>
#include <string>
#include <string_view>

namespace vantrel {

// Appends the Latin-1 bytes as UTF-8 (bytes above 0x7F take two bytes).
void AppendLatin1AsUtf8(std::string& out, std::string_view latin1);
std::string Latin1ToUtf8(std::string_view latin1);
// Appends one Unicode code point (up to U+10FFFF) as UTF-8.
void AppendCodePointAsUtf8(std::string& out, uint32_t codePoint);
// The way back: false when the text is not UTF-8 or holds a character above
// U+00FF, which one byte cannot carry.
bool Utf8ToLatin1(std::string_view utf8, std::string& latin1);

// Whether a CSV field must be quoted: it holds a comma, a quote, a CR or an LF.
bool NeedsCsvQuotes(std::string_view field);

// Appends one CSV field (RFC 4180): as it is, or between double quotes with
// each quote doubled when it holds a comma, a quote, a CR or an LF.
void AppendCsvField(std::string& out, std::string_view latin1);

// Appends a JSON string (RFC 8259) with its quotes: the quote, the backslash
// and the control characters below 0x20 escaped, everything else as UTF-8.
void AppendJsonString(std::string& out, std::string_view latin1);
// The same without the quotes, for a string written in parts.
void AppendJsonStringContent(std::string& out, std::string_view latin1);

}  // namespace vantrel
