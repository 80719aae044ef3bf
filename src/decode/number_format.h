#pragma once
// Small allocation-free number formatters for the text output: the "0x%.8x"
// and "0x%.4x" forms (lower-case digits, zero-filled to at least the given
// width, wider values printed in full), decimal and "%.3f".

#include <charconv>
#include <cstdint>
#include <string>

namespace vantrel {

// Writes value in lower-case hexadecimal, at least minDigits digits, and
// returns the end. buf needs room for max(minDigits, 16) characters.
inline char* WriteHex(char* buf, uint64_t value, int minDigits) {
    static constexpr char kDigits[] = "0123456789abcdef";
    int digits = 1;
    for (uint64_t v = value >> 4; v != 0; v >>= 4) ++digits;
    if (digits < minDigits) digits = minDigits;
    for (int i = digits - 1; i >= 0; --i) {
        buf[i] = kDigits[value & 0xF];
        value >>= 4;
    }
    return buf + digits;
}

// Appends "0x" and exactly eight hex digits of a 32-bit value ("0x%.8x").
inline void AppendHex8(std::string& out, uint32_t value) {
    char buf[10] = {'0', 'x'};
    WriteHex(buf + 2, value, 8);
    out.append(buf, sizeof buf);
}

// Appends "0x" and at least minDigits hex digits ("0x%.4x" with 4).
inline void AppendHex(std::string& out, uint64_t value, int minDigits) {
    char buf[2 + 32] = {'0', 'x'};
    char* end = WriteHex(buf + 2, value, minDigits > 32 ? 32 : minDigits);
    out.append(buf, static_cast<size_t>(end - buf));
}

// Appends a decimal number ("%u" / "%i").
inline void AppendDecimal(std::string& out, int64_t value) {
    char buf[24];
    auto res = std::to_chars(buf, buf + sizeof buf, value);
    out.append(buf, static_cast<size_t>(res.ptr - buf));
}

// Appends a double with three decimals, as "%.3f" prints it in the C locale
// (the same digits, rounding, "inf" and "nan" spellings).
inline void AppendFixed3(std::string& out, double value) {
    char buf[400];  // the largest double in fixed notation has 309 integer digits
    auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, 3);
    out.append(buf, static_cast<size_t>(res.ptr - buf));
}

}  // namespace vantrel
