#pragma once
// The CLI's document: the chosen driver (options from the environment and
// the command line), no settings, a catalogue only when one is named,
// messages on stderr.

#include <memory>
#include <optional>
#include <string>

#include "capture/results_sink.h"
#include "cli/cli_prompts.h"
#include "document/document.h"
#include "driver/replay_driver.h"
#include "driver/simulated_driver.h"
#include "endpoint/source_choice.h"
#include "tracer/trace_driver.h"

namespace vantrel::cli {

// Writes every text to a stream; the pane's clears mean nothing here.
class CStreamSink final : public IResultsSink {
public:
    explicit CStreamSink(std::FILE* stream) : m_stream(stream) {}
    void AppendText(std::string_view text, Colour) override {
        std::fwrite(text.data(), 1, text.size(), m_stream);
    }
    void ClearText() override {}

private:
    std::FILE* m_stream;
};

struct CliDocument {
    CCliPrompts prompts;
    CStreamSink out{stdout};
    CStreamSink notices{stderr};
    // The session of the chosen driver; the others are null.
    std::unique_ptr<CSimulatedDriverSession> driver;  // sim or none
    std::unique_ptr<CTraceDriverSession> trace;
    std::unique_ptr<CReplayDriverSession> replay;
    std::unique_ptr<CVantrelDoc> doc;
};

// What a command opens the driver with.
struct CliSource {
    SourceChoice choice;
    SimulatedDriverOptions sim;  // sim (none: `absent`)
    TraceDriverOptions trace;    // trace: the command starts with the first filter
    std::optional<double> rate;  // replay: records a second instead of the saved spacing
};

// Creates the chosen driver's session and opens the document
// (OnNewDocument); null after the message of the document or of the replay
// (the caller exits 2). `cataloguePath` empty: no catalogue.
std::unique_ptr<CliDocument> OpenCliDocument(CliSource source, const std::string& cataloguePath,
                                             DocumentServices extra = {});

}  // namespace vantrel::cli
