#pragma once
// CJsonWriter: a small streaming JSON writer that appends to a string. It
// places the commas and colons, escapes strings (see decode/text_encoding.h) and
// prints numbers; the caller says what comes in which order. No document is
// ever built, so a record costs only the bytes it writes.

#include <cstdint>
#include <string>
#include <string_view>

namespace vantrel {

class CJsonWriter {
public:
    explicit CJsonWriter(std::string& out) : m_out(out) {}

    void BeginObject();
    void EndObject();
    // The key of the next member. Inside an object, each value needs one.
    void Key(std::string_view latin1);

    // Keys and strings known to need no escaping: printable ASCII without a
    // quote or a backslash, as the program's own names and hex digits are.
    // They skip the byte-by-byte scan that most of a line's text would
    // otherwise cost. The second form joins two parts with one space
    // ("ULONG" "Length").
    void PlainKey(std::string_view ascii);
    void PlainKey(std::string_view first, std::string_view second);
    void PlainString(std::string_view ascii);

    void String(std::string_view latin1);
    void Number(uint64_t value);
    // The shortest decimal that reads back as the same single-precision
    // value (0.1f gives 0.1). JSON has no infinity or NaN: those are null.
    void Number(float value);
    void Null();

private:
    // A comma before every member but the first of its object.
    void Separate();

    std::string& m_out;
    // One bit per open object, innermost lowest: set once it has a member.
    uint64_t m_hasMember = 0;
};

}  // namespace vantrel
