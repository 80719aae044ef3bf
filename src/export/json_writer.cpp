#include "export/json_writer.h"

#include <cassert>
#include <charconv>
#include <cmath>

#include "decode/text_encoding.h"

namespace vantrel {
namespace {

[[maybe_unused]] bool IsPlain(std::string_view s) {
    for (char c : s) {
        if (c < 0x20 || c > 0x7E || c == '"' || c == '\\') return false;
    }
    return true;
}

}  // namespace

void CJsonWriter::Separate() {
    if (m_hasMember & 1) m_out.push_back(',');
    m_hasMember |= 1;
}

void CJsonWriter::BeginObject() {
    m_out.push_back('{');
    m_hasMember <<= 1;
}

void CJsonWriter::EndObject() {
    m_out.push_back('}');
    m_hasMember >>= 1;
}

void CJsonWriter::Key(std::string_view latin1) {
    Separate();
    AppendJsonString(m_out, latin1);
    m_out.push_back(':');
}

void CJsonWriter::PlainKey(std::string_view ascii) {
    assert(IsPlain(ascii));
    Separate();
    m_out.push_back('"');
    m_out.append(ascii);
    m_out.append("\":");
}

void CJsonWriter::PlainKey(std::string_view first, std::string_view second) {
    assert(IsPlain(first) && IsPlain(second));
    Separate();
    m_out.push_back('"');
    m_out.append(first);
    m_out.push_back(' ');
    m_out.append(second);
    m_out.append("\":");
}

void CJsonWriter::PlainString(std::string_view ascii) {
    assert(IsPlain(ascii));
    m_out.push_back('"');
    m_out.append(ascii);
    m_out.push_back('"');
}

void CJsonWriter::String(std::string_view latin1) {
    AppendJsonString(m_out, latin1);
}

void CJsonWriter::Number(uint64_t value) {
    char buf[20];
    const auto res = std::to_chars(buf, buf + sizeof buf, value);
    m_out.append(buf, static_cast<size_t>(res.ptr - buf));
}

void CJsonWriter::Number(float value) {
    if (!std::isfinite(value)) {
        Null();
        return;
    }
    char buf[32];
    const auto res = std::to_chars(buf, buf + sizeof buf, value);
    m_out.append(buf, static_cast<size_t>(res.ptr - buf));
}

void CJsonWriter::Null() {
    m_out.append("null");
}

}  // namespace vantrel
