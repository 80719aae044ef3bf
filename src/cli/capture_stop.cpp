#include "cli/capture_stop.h"

#include <atomic>
#include <iterator>

namespace vantrel::cli {
namespace {

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

// A signal handler can only reach the program through a static flag.
std::atomic<bool> g_stopRequested{
    false};  // NOLINT(cppcoreguidelines-avoid-non-const-global-variables)

extern "C" void OnStopSignal(int) {
    g_stopRequested.store(true);
}

}  // namespace

CCaptureStopSignals::CCaptureStopSignals() {
    g_stopRequested.store(false);
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    for (size_t i = 0; i < std::size(kStopSignals); ++i)
        sigaction(kStopSignals[i], &action, &m_previous[i]);
    // A closed standard output is a failed write from now on; the process
    // ends soon after the capture, so this is not undone.
    signal(SIGPIPE, SIG_IGN);
}

CCaptureStopSignals::~CCaptureStopSignals() {
    for (size_t i = 0; i < std::size(kStopSignals); ++i)
        sigaction(kStopSignals[i], &m_previous[i], nullptr);
}

bool CCaptureStopSignals::Requested() {
    return g_stopRequested.load();
}

}  // namespace vantrel::cli
