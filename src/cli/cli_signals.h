#pragma once
// Signals that end a command. What ends a live capture from outside: Ctrl-C (SIGINT), SIGTERM (as
// `timeout` sends) and SIGHUP (a closed terminal) all end it the same way,
// with the filters removed and the records printed and saved. SIGPIPE is
// ignored while a capture runs: a standard output closed by its reader then
// shows as a failed write, which ends the capture too.

#include <signal.h>

#include <string>

namespace vantrel::cli {

class CCaptureStopSignals {
public:
    CCaptureStopSignals();
    ~CCaptureStopSignals();
    CCaptureStopSignals(const CCaptureStopSignals&) = delete;
    CCaptureStopSignals& operator=(const CCaptureStopSignals&) = delete;

    // Whether one of the signals came since construction.
    static bool Requested();

private:
    struct sigaction m_previous[3]{};
};

}  // namespace vantrel::cli

namespace vantrel::cli {

// For the commands that write one file and end: while alive, SIGINT,
// SIGTERM and SIGHUP remove the temporary file at `tempPath` (a claimed
// output's), then end the program by the same signal as before.
class CRemovePartOnSignal {
public:
    explicit CRemovePartOnSignal(const std::string& tempPath);
    ~CRemovePartOnSignal();
    CRemovePartOnSignal(const CRemovePartOnSignal&) = delete;
    CRemovePartOnSignal& operator=(const CRemovePartOnSignal&) = delete;

private:
    struct sigaction m_previous[3]{};
};

}  // namespace vantrel::cli
