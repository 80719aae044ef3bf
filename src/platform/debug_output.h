#pragma once
// Debugger output: lines of diagnostic text, written to stderr unless the
// owner (the document, a test) gives a sink of its own.
//
// Thread contract: Write may be called from any thread. The sink is fixed
// when the object is made and is called on the writer's thread with no lock
// of ours held, so a sink may take its own locks or write out at leisure; a
// sink that several threads share must guard itself.

#include <functional>
#include <string_view>
#include <utility>

namespace vantrel {

class CDebugOutput {
public:
    using Sink = std::function<void(std::string_view line)>;

    // Lines go to stderr.
    CDebugOutput() = default;
    // Lines go to `sink` (empty: stderr).
    explicit CDebugOutput(Sink sink) : m_sink(std::move(sink)) {}

    void Write(std::string_view line) const;

private:
    Sink m_sink;
};

}  // namespace vantrel
