#include "platform/debug_output.h"

#include <cstdio>
#include <mutex>

namespace vantrel {
namespace {
std::mutex g_mutex;
std::function<void(std::string_view)> g_sink;
}  // namespace

void DebugOutput(std::string_view text) {
    std::lock_guard lock(g_mutex);
    if (g_sink) {
        g_sink(text);
        return;
    }
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
}

void SetDebugOutputSink(std::function<void(std::string_view)> sink) {
    std::lock_guard lock(g_mutex);
    g_sink = std::move(sink);
}

}  // namespace vantrel
