#pragma once
// The field-line layout shared by the parameter section and the template
// buffer sections: a label part padded with tabs by its length, then the
// value part, which always starts with "=\t" and ends with "\r\n".

#include <string>
#include <string_view>

namespace vantrel {

// Tabs added after a label part of `length` characters.
constexpr int PadTabs(size_t length) {
    if (length <= 15) return 5;
    if (length <= 21) return 4;
    if (length <= 26) return 3;
    if (length <= 31) return 2;
    if (length <= 37) return 1;
    return 0;
}

// Appends the label followed by its tabs (the pad-label operation).
inline void AppendPadded(std::string& out, std::string_view label) {
    out.append(label);
    out.append(static_cast<size_t>(PadTabs(label.size())), '\t');
}

}  // namespace vantrel
