#include "devnodes/trace_tables.h"

#include <asm/ioctls.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/syscall.h>

#include <array>
#include <cerrno>

#include "record/capture_record.h"
#include "record/ntstatus.h"

namespace vantrel {
namespace {

constexpr uint32_t kFileStandardInformation = 5;
constexpr uint32_t kFileAllocationInformation = 19;
constexpr uint32_t kFileEndOfFileInformation = 20;
constexpr uint32_t kFileFsSizeInformation = 3;
constexpr uint32_t kLargeIntegerSize = 8;

constexpr SyscallRule OpenRule(long nr, int8_t dir, int8_t path, int8_t flags, int8_t mode) {
    return {nr,   TraceCall::Open, IRP_MJ_CREATE, dir,    path, flags,
            mode, kNoArg,          false,         kNoArg, 0,    0};
}
constexpr SyscallRule TransferRule(long nr, uint8_t major, int8_t length, bool vector,
                                   int8_t offset) {
    return {nr, TraceCall::Transfer, major, 0, kNoArg, kNoArg, kNoArg, length, vector, offset, 0,
            0};
}
constexpr SyscallRule PlainRule(long nr, uint8_t major, uint32_t infoClass, uint32_t length) {
    return {nr,     TraceCall::Plain, major, 0,      kNoArg,    kNoArg,
            kNoArg, kNoArg,           false, kNoArg, infoClass, length};
}
constexpr SyscallRule FdRule(long nr, TraceCall call, uint8_t major = 0) {
    return {nr, call, major, 0, kNoArg, kNoArg, kNoArg, kNoArg, false, kNoArg, 0, 0};
}

constexpr SyscallRule kRules[] = {
#ifdef SYS_open
    OpenRule(SYS_open, kNoArg, 0, 1, 2),
#endif
#ifdef SYS_creat
    OpenRule(SYS_creat, kNoArg, 0, kNoArg, 1),
#endif
    OpenRule(SYS_openat, 0, 1, 2, 3),
    FdRule(SYS_close, TraceCall::Close, IRP_MJ_CLEANUP),
    TransferRule(SYS_read, IRP_MJ_READ, 2, false, kNoArg),
    TransferRule(SYS_readv, IRP_MJ_READ, 2, true, kNoArg),
    TransferRule(SYS_pread64, IRP_MJ_READ, 2, false, 3),
    TransferRule(SYS_preadv, IRP_MJ_READ, 2, true, 3),
    TransferRule(SYS_preadv2, IRP_MJ_READ, 2, true, 3),
    TransferRule(SYS_write, IRP_MJ_WRITE, 2, false, kNoArg),
    TransferRule(SYS_writev, IRP_MJ_WRITE, 2, true, kNoArg),
    TransferRule(SYS_pwrite64, IRP_MJ_WRITE, 2, false, 3),
    TransferRule(SYS_pwritev, IRP_MJ_WRITE, 2, true, 3),
    TransferRule(SYS_pwritev2, IRP_MJ_WRITE, 2, true, 3),
    FdRule(SYS_ioctl, TraceCall::Ioctl, IRP_MJ_DEVICE_CONTROL),
    PlainRule(SYS_fsync, IRP_MJ_FLUSH_BUFFERS, 0, 0),
    PlainRule(SYS_fdatasync, IRP_MJ_FLUSH_BUFFERS, 0, 0),
    PlainRule(SYS_fstat, IRP_MJ_QUERY_INFORMATION, kFileStandardInformation, sizeof(struct stat)),
    PlainRule(SYS_ftruncate, IRP_MJ_SET_INFORMATION, kFileEndOfFileInformation, kLargeIntegerSize),
    PlainRule(SYS_fallocate, IRP_MJ_SET_INFORMATION, kFileAllocationInformation, kLargeIntegerSize),
    PlainRule(SYS_fstatfs, IRP_MJ_QUERY_VOLUME_INFORMATION, kFileFsSizeInformation,
              sizeof(struct statfs)),
    PlainRule(SYS_flock, IRP_MJ_LOCK_CONTROL, 0, 0),
    FdRule(SYS_fcntl, TraceCall::Fcntl, IRP_MJ_LOCK_CONTROL),
    FdRule(SYS_dup, TraceCall::Dup),
#ifdef SYS_dup2
    FdRule(SYS_dup2, TraceCall::Dup),
#endif
    FdRule(SYS_dup3, TraceCall::Dup),
    FdRule(SYS_close_range, TraceCall::CloseRange),
};

struct ErrnoStatus {
    int error;
    uint32_t status;
};

// Statuses the name tables already name, so that a saved capture prints
// them by name; every other errno keeps its number in the customer range.
constexpr ErrnoStatus kErrnoStatus[] = {
    {ENOENT, kStatusObjectNameNotFound},
    {EACCES, kStatusAccessDenied},
    {EPERM, kStatusAccessDenied},
    {EINVAL, kStatusInvalidParameter},
    {ENOTTY, kStatusInvalidDeviceRequest},
    {EBADF, kStatusInvalidHandle},
    {EINTR, kStatusCancelled},
    {ENOMEM, kStatusInsufficientResources},
    {ETIMEDOUT, kStatusIoTimeout},
    {ENOSYS, kStatusNotSupported},
    {EOPNOTSUPP, kStatusNotSupported},
    {ENOMEDIUM, kStatusNoMediaInDevice},
    // What a tracer sees when a signal interrupts a call: the kernel's own
    // codes (ERESTARTSYS, ERESTARTNOINTR, ERESTARTNOHAND,
    // ERESTART_RESTARTBLOCK), which the program never gets. The attempt was
    // cancelled; a call the kernel restarts shows as a record of its own.
    {512, kStatusCancelled},
    {513, kStatusCancelled},
    {514, kStatusCancelled},
    {516, kStatusCancelled},
};
constexpr uint32_t kCustomerError = 0xE0000000;

struct ClassicIoctl {
    uint32_t request;
    IoctlLengths lengths;
};

// The kernel's struct termios (not the C library's) is what TCGETS copies.
constexpr uint32_t kKernelTermiosSize = 36;
constexpr uint32_t kWinsizeSize = 8;
constexpr ClassicIoctl kClassicIoctls[] = {
    {TCGETS, {0, kKernelTermiosSize}}, {TCSETS, {kKernelTermiosSize, 0}},
    {TIOCGWINSZ, {0, kWinsizeSize}},   {TIOCSWINSZ, {kWinsizeSize, 0}},
    {FIONREAD, {0, sizeof(int)}},      {TIOCOUTQ, {0, sizeof(int)}},
};

// The generic request encoding: number, type, size, direction.
constexpr uint32_t kIocSizeShift = 16, kIocSizeMask = 0x3FFF, kIocDirShift = 30;
constexpr uint32_t kIocWrite = 1, kIocRead = 2;

}  // namespace

const SyscallRule* FindSyscallRule(long number) {
    for (const SyscallRule& rule : kRules)
        if (rule.number == number) return &rule;
    return nullptr;
}

std::span<const SyscallRule> SyscallRules() {
    return kRules;
}

uint32_t StatusFromErrno(int error) {
    if (error == 0) return 0;
    for (const ErrnoStatus& e : kErrnoStatus)
        if (e.error == error) return e.status;
    return kCustomerError | static_cast<uint32_t>(error);
}

IoctlLengths IoctlBufferLengths(uint32_t request) {
    for (const ClassicIoctl& c : kClassicIoctls)
        if (c.request == request) return c.lengths;
    const uint32_t size = (request >> kIocSizeShift) & kIocSizeMask;
    const uint32_t dir = request >> kIocDirShift;
    return {dir & kIocWrite ? size : 0, dir & kIocRead ? size : 0};
}

std::span<const uint32_t> ClassicIoctlRequests() {
    static constexpr auto kRequests = [] {
        std::array<uint32_t, std::size(kClassicIoctls)> requests{};
        for (size_t i = 0; i < requests.size(); ++i) requests[i] = kClassicIoctls[i].request;
        return requests;
    }();
    return kRequests;
}

}  // namespace vantrel
