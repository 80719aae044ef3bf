#pragma once
// The kernel driver: the kernel source behind the driver protocol. Its
// device objects are the trace driver's (one per character or block device
// number with a node under /dev, then "(other device nodes)"); its records
// come from the kernel programs (kernel_capture.h), which see every process
// on the machine. The programs are loaded when the driver is opened and go
// when it is closed or the process ends. IOCTL_PROCSPEED answers 1000: a
// tick is a nanosecond of the monotonic clock, as with the trace driver.
//
// A full application ring makes the reader wait; meanwhile the kernel's
// ring fills, and what the kernel cannot put into it is the driver's drop
// count.

#include <cstdint>
#include <memory>
#include <string>

#include "devnodes/trace_devices.h"
#include "kernel/kernel_capture.h"
#include "record/driver_device.h"

namespace vantrel {

inline constexpr uint32_t kKernelProcessorSpeed = 1000;

struct KernelDriverOptions {
    KernelCaptureOptions capture;
    TraceRoots roots;
};

struct KernelDriverStatus {
    std::string error;  // why the programs could not be loaded
    uint64_t written = 0;
    uint64_t dropped = 0;     // records the kernel's ring had no room for
    uint64_t unfinished = 0;  // block requests seen without completion
};

// CKernelDriverSession: the kernel driver as one creator installs it. Any
// thread may call.
class CKernelDriverSession {
public:
    explicit CKernelDriverSession(KernelDriverOptions options);
    ~CKernelDriverSession();
    CKernelDriverSession(const CKernelDriverSession&) = delete;
    CKernelDriverSession& operator=(const CKernelDriverSession&) = delete;

    // Opens "\\.\KLAVDRIVER" (in any case) as a new kernel driver bound to
    // this session; null for any other path or when the programs could not
    // be loaded (Status says why).
    DriverOpener Opener() const;
    // The driver this session opened last (it may be closed by now).
    KernelDriverStatus Status() const;

private:
    struct State;
    std::shared_ptr<State> m_state;
};

}  // namespace vantrel
