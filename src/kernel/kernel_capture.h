#pragma once
// CKernelCapture: the kernel programs of the kernel source, loaded and
// attached for as long as the object lives, and the reader of their ring
// buffer. The programs are attached through links this process owns and
// pins nowhere, so the kernel removes them when the process ends, however
// it ends.
//
// Filters are kernel maps: SetFilter changes them while the programs run.
// SetKnown and SetFilter are serialised by the caller; Poll may run on
// another thread at the same time (it shares nothing with them but the
// kernel's maps). Poll hands over every record the programs produced: the
// caller checks each against its own filter table, which is the one that
// counts while a change is on its way into the kernel.

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "record/capture_record.h"

namespace vantrel {

inline constexpr uint32_t kKernelDefaultRingBytes = 8u << 20;
inline constexpr double kKernelDefaultExpirySeconds = 30;

struct KernelCaptureOptions {
    uint32_t ringBytes = kKernelDefaultRingBytes;  // a power of two, at least a page
    std::vector<pid_t> pids;                       // only these processes (empty: all)
    std::string comm;                              // only threads of this name (empty: all)
    double expirySeconds = kKernelDefaultExpirySeconds;
    uint32_t pendingRequests = 16384;  // block requests waiting for completion, at most
};

struct KernelCounts {
    uint64_t dropped = 0;     // records the kernel could not put into the ring
    uint64_t unfinished = 0;  // requests expired waiting for completion, or finding no room
};

// Why the kernel source cannot run on this machine now (empty: it can try).
std::string KernelSourceProblem();

class CKernelCapture {
public:
    // Loads and attaches the programs; null with `error` set otherwise.
    static std::unique_ptr<CKernelCapture> Open(const KernelCaptureOptions& options,
                                                std::string& error);
    ~CKernelCapture();
    CKernelCapture(const CKernelCapture&) = delete;
    CKernelCapture& operator=(const CKernelCapture&) = delete;

    // The device objects the device list offers; calls on other device
    // nodes go to the "other device nodes" row when that is filtered.
    void SetKnown(const std::vector<uint32_t>& deviceObjects);
    // The majors wanted on a device object (0 removes its filter).
    void SetFilter(uint32_t deviceObject, uint32_t majorMask);

    // Reads what the ring holds, waiting up to `timeoutMs` for a wake-up,
    // and hands each record to `sink` (a close gives both of its records); expires old requests
    // about once a second. Returns the records handed over.
    using Sink = std::function<void(const IRP_CAPTURE_RECORD&)>;
    size_t Poll(int timeoutMs, const Sink& sink);

    // Drops every pending request issued more than `expirySeconds` before
    // `nowNs` (the monotonic clock), counting each.
    void Expire(uint64_t nowNs);
    KernelCounts Counts() const;

    // The block request table's entries (for tests of expiry).
    size_t PendingRequests() const;
    // Puts a request into the table as if issued at `startNs` on
    // `deviceObject` and never completed (for tests of expiry).
    bool AddPendingRequestForTest(uint64_t key, uint64_t startNs, uint32_t deviceObject);

private:
    struct Impl;
    explicit CKernelCapture(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> m_impl;
};

}  // namespace vantrel
