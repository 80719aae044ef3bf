#pragma once
// What ends a live capture from outside: Ctrl-C (SIGINT), SIGTERM (as
// `timeout` sends) and SIGHUP (a closed terminal) all end it the same way,
// with the filters removed and the records printed and saved. SIGPIPE is
// ignored while a capture runs: a standard output closed by its reader then
// shows as a failed write, which ends the capture too.

#include <signal.h>

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
