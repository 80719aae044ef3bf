#pragma once
// The results sink seam: where text blocks and notices go. The results pane,
// the CLI and tests implement it. Calls come in order from one thread at a
// time (the printing thread, or the GUI thread for notices).

#include <cstdint>
#include <string_view>

namespace vantrel {

// RGB colour as 0x00BBGGRR; 0 marks an IRP text block, coloured by its status.
using Colour = uint32_t;
inline constexpr Colour kIrpBlockColour = 0;
inline constexpr Colour kNoticeGrey = 127u | (127u << 8) | (127u << 16);
inline constexpr Colour Rgb(uint32_t r, uint32_t g, uint32_t b) {
    return r | (g << 8) | (b << 16);
}

class IResultsSink {
public:
    virtual ~IResultsSink() = default;
    virtual void AppendText(std::string_view text, Colour colour) = 0;
    virtual void ClearText() = 0;
};

}  // namespace vantrel
