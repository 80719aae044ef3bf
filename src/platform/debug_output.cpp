#include "platform/debug_output.h"

#include <cstdio>

namespace vantrel {

void CDebugOutput::Write(std::string_view line) const {
    if (m_sink) {
        m_sink(line);
        return;
    }
    // One fwrite a line: stdio keeps the lines of two threads whole.
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

}  // namespace vantrel
