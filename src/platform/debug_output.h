#pragma once
// Debugger output: one line of diagnostic text, written to stderr here.
// Tests can capture the lines instead.

#include <functional>
#include <string>
#include <string_view>

namespace vantrel {

void DebugOutput(std::string_view text);
// Replaces the sink (empty function: back to stderr).
void SetDebugOutputSink(std::function<void(std::string_view)> sink);

}  // namespace vantrel
