#include "tracer/trace_memory.h"

#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

namespace vantrel {
namespace {

constexpr uint64_t kPage = 4096;

}  // namespace

size_t ReadTraceeMemory(pid_t pid, uint64_t address, void* out, size_t length) {
    auto* dst = static_cast<uint8_t*>(out);
    size_t done = 0;
    while (done < length) {
        const uint64_t at = address + done;
        const size_t chunk = std::min<uint64_t>(length - done, kPage - at % kPage);
        iovec local{dst + done, chunk};
        // An address in the other process, never dereferenced here.
        iovec remote{reinterpret_cast<void*>(at), chunk};  // NOLINT(performance-no-int-to-ptr)
        const ssize_t n = process_vm_readv(pid, &local, 1, &remote, 1, 0);
        if (n <= 0) break;
        done += static_cast<size_t>(n);
        if (static_cast<size_t>(n) < chunk) break;
    }
    return done;
}

std::string ReadTraceeString(pid_t pid, uint64_t address, size_t limit) {
    std::string text;
    char buffer[256];
    while (text.size() < limit) {
        const size_t want = std::min(sizeof buffer, limit - text.size());
        const size_t got = ReadTraceeMemory(pid, address + text.size(), buffer, want);
        if (got == 0) break;
        const void* nul = std::memchr(buffer, 0, got);
        if (nul) {
            text.append(buffer, static_cast<const char*>(nul) - buffer);
            return text;
        }
        text.append(buffer, got);
        if (got < want) break;
    }
    return text;
}

}  // namespace vantrel
