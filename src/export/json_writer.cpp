#include "export/json_writer.h"

#include <charconv>
#include <cmath>

#include "export/export_text.h"

namespace vantrel {

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

void CJsonWriter::Key(std::string_view first, std::string_view second) {
    Separate();
    m_out.push_back('"');
    AppendJsonStringContent(m_out, first);
    m_out.push_back(' ');
    AppendJsonStringContent(m_out, second);
    m_out.append("\":");
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
