#pragma once
// The CLI's document: the chosen driver (options from the environment and
// the command line), no settings, a catalogue only when one is named,
// messages on stderr.

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "capture/results_sink.h"
#include "cli/cli_prompts.h"
#include "decode/template_snapshot.h"
#include "document/document.h"
#include "driver/replay_driver.h"
#include "driver/simulated_driver.h"
#include "endpoint/source_choice.h"
#include "tracer/trace_driver.h"

namespace vantrel::cli {

// Writes every text to a stream; the pane's clears mean nothing here. The
// first failed write is kept (its errno), and nothing more is written.
class CStreamSink final : public IResultsSink {
public:
    explicit CStreamSink(std::FILE* stream) : m_stream(stream) {}
    void AppendText(std::string_view text, Colour) override {
        if (m_error.load(std::memory_order_relaxed) != 0) return;
        if (std::fwrite(text.data(), 1, text.size(), m_stream) != text.size())
            m_error.store(errno ? errno : EIO);
    }
    void ClearText() override {}
    // Hands the buffered text on; a failure is kept as a write's.
    void Flush() {
        if (m_error.load() == 0 && std::fflush(m_stream) != 0) m_error.store(errno ? errno : EIO);
    }
    // The errno of the first failed write, or 0.
    int Error() const { return m_error.load(); }

private:
    std::FILE* m_stream;
    std::atomic<int> m_error{0};
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

// Reads the templates of `cataloguePath` for the named input and output
// templates and checks that each name that is on (not empty, not "None")
// is one of them. Empty when they are; otherwise the one line that says
// which file or which name is wrong.
std::string CheckTemplateNames(const std::string& cataloguePath, const std::string& inputTemplate,
                               const std::string& outputTemplate,
                               std::shared_ptr<const CTemplateSnapshot>* snapshot = nullptr);

}  // namespace vantrel::cli
