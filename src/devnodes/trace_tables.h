#pragma once
// The trace driver's translation tables: which system calls become which
// IRPs (and where their descriptor, path, flags, lengths and offsets are
// among the arguments), the errno to NTSTATUS table, and the buffer sizes of
// the classic tty and socket requests that carry no size bits.

#include <cstdint>
#include <span>

namespace vantrel {

// What the tracer does with a system call.
enum class TraceCall : uint8_t {
    Open,        // a new descriptor from a path: IRP_MJ_CREATE
    Close,       // IRP_MJ_CLEANUP then IRP_MJ_CLOSE; the descriptor goes
    Transfer,    // IRP_MJ_READ or IRP_MJ_WRITE
    Ioctl,       // IRP_MJ_DEVICE_CONTROL
    Plain,       // one IRP with fixed parameters (flush, query, set, lock)
    Fcntl,       // a duplicate, a lock or a close-on-exec change, by command
    Dup,         // dup, dup2, dup3: no IRP, the descriptor table changes
    CloseRange,  // no IRP, a range of descriptors goes
};

inline constexpr int8_t kNoArg = -1;

struct SyscallRule {
    long number;
    TraceCall call;
    uint8_t major;        // the IRP's major function (Close: the first of the two)
    int8_t fdArg;         // the descriptor (Open: the folder, kNoArg for the cwd)
    int8_t pathArg;       // Open: the path
    int8_t flagsArg;      // Open: the open flags (kNoArg: creat's fixed flags)
    int8_t modeArg;       // Open: the mode
    int8_t lengthArg;     // Transfer: the byte count, or the iovec count when `vector`
    bool vector;          // Transfer: the buffer argument is an iovec array
    int8_t offsetArg;     // Transfer: the explicit offset; kNoArg = the file position
    uint32_t infoClass;   // Plain: the information class
    uint32_t infoLength;  // Plain: the Length parameter (the caller's structure size)
};

// The rule for a system call number of this machine, or null.
const SyscallRule* FindSyscallRule(long number);
// Every rule (the seccomp filter traces exactly these numbers).
std::span<const SyscallRule> SyscallRules();

// NTSTATUS for a failed call's errno; 0 for 0.
uint32_t StatusFromErrno(int error);

// The input and output buffer lengths of an ioctl request: from its
// direction and size bits, or from the table of classic requests.
struct IoctlLengths {
    uint32_t input = 0;
    uint32_t output = 0;
};
IoctlLengths IoctlBufferLengths(uint32_t request);
// The classic requests whose lengths come from the table, not the code.
std::span<const uint32_t> ClassicIoctlRequests();

}  // namespace vantrel
