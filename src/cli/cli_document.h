#pragma once
// The CLI's document: the simulated driver (options from the environment
// and the command line), no settings, a catalogue only when one is named,
// messages on stderr.

#include <memory>
#include <string>

#include "capture/results_sink.h"
#include "cli/cli_prompts.h"
#include "document/document.h"
#include "driver/simulated_driver.h"
#include "remote/remote_source.h"
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
    std::unique_ptr<CSimulatedDriverSession> driver;  // null on the trace driver
    std::unique_ptr<CTraceDriverSession> trace;       // null on the simulated driver
    std::unique_ptr<remote::CRemoteSession> remote;   // a source on another machine
    std::unique_ptr<CVantrelDoc> doc;
};

// Creates and opens the document (OnNewDocument); null after the document's
// message (the caller exits 2). `cataloguePath` empty: no catalogue.
std::unique_ptr<CliDocument> OpenCliDocument(const SimulatedDriverOptions& options,
                                             const std::string& cataloguePath,
                                             DocumentServices extra = {});
// The same on a source served by another machine, connected already.
std::unique_ptr<CliDocument> OpenCliRemoteDocument(std::unique_ptr<remote::CRemoteSession> session,
                                                   const std::string& cataloguePath,
                                                   DocumentServices extra = {});
// The same on the trace driver: its command starts with the first filter.
std::unique_ptr<CliDocument> OpenCliTraceDocument(const TraceDriverOptions& options,
                                                  const std::string& cataloguePath,
                                                  DocumentServices extra = {});

}  // namespace vantrel::cli
