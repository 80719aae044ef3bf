#include "cli/cli_signals.h"

#include <unistd.h>

#include <atomic>
#include <cstring>
#include <iterator>

namespace vantrel::cli {
namespace {

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

// A signal handler can only reach the program through a static flag.
// NOLINTNEXTLINE(cppcoreguidelines-avoid-non-const-global-variables): see above
std::atomic<bool> g_stopRequested{false};

extern "C" void OnStopSignal(int) {
    g_stopRequested.store(true);
}

// The temporary file to remove, where a handler can read it; empty when
// none is claimed.
char g_partPath[4096];  // NOLINT(cppcoreguidelines-avoid-non-const-global-variables)

extern "C" void OnEndSignal(int signal) {
    if (g_partPath[0]) unlink(g_partPath);
    ::signal(signal, SIG_DFL);
    raise(signal);
}

}  // namespace

CRemovePartOnSignal::CRemovePartOnSignal(const std::string& tempPath) {
    if (tempPath.empty() || tempPath.size() >= sizeof g_partPath) return;
    std::memcpy(g_partPath, tempPath.c_str(), tempPath.size() + 1);
    struct sigaction action {};
    action.sa_handler = OnEndSignal;
    sigemptyset(&action.sa_mask);
    for (size_t i = 0; i < std::size(kStopSignals); ++i)
        sigaction(kStopSignals[i], &action, &m_previous[i]);
}

CRemovePartOnSignal::~CRemovePartOnSignal() {
    if (!g_partPath[0]) return;
    for (size_t i = 0; i < std::size(kStopSignals); ++i)
        sigaction(kStopSignals[i], &m_previous[i], nullptr);
    g_partPath[0] = '\0';
}

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
