#include "devnodes/trace_tables.h"

#include <gtest/gtest.h>
#include <sys/syscall.h>

#include <cerrno>
#include <set>

#include "decode/name_tables.h"
#include "record/capture_record.h"

namespace vantrel {
namespace {

TEST(TraceStatusTest, NamedErrnosPrintAsTheirStatusNames) {
    const std::pair<int, const char*> named[] = {
        {ENOENT, "STATUS_OBJECT_NAME_NOT_FOUND"},
        {EACCES, "STATUS_ACCESS_DENIED"},
        {EPERM, "STATUS_ACCESS_DENIED"},
        {EINVAL, "STATUS_INVALID_PARAM"},
        {ENOTTY, "STATUS_INVALID_DEVICE_REQUEST"},
        {EBADF, "STATUS_INVALID_HANDLE"},
        {EINTR, "STATUS_CANCELLED"},
        {ENOMEM, "STATUS_INSUFF_RES"},
        {ETIMEDOUT, "STATUS_IO_TIMEOUT"},
        {ENOSYS, "STATUS_NOT_SUPPORTED"},
        {EOPNOTSUPP, "STATUS_NOT_SUPPORTED"},
        {ENOMEDIUM, "STATUS_NO_MEDIA_IN_DEVICE"},
    };
    for (const auto& [error, name] : named)
        EXPECT_EQ(StatusName(StatusFromErrno(error)), name) << error;
    EXPECT_EQ(StatusFromErrno(0), 0u);
    // A call interrupted by a signal: the kernel's restart codes are a
    // cancelled attempt, not an error number of their own.
    for (int restart : {512, 513, 514, 516})
        EXPECT_EQ(StatusName(StatusFromErrno(restart)), "STATUS_CANCELLED") << restart;
}

TEST(TraceStatusTest, OtherErrnosKeepTheirNumberInTheCustomerRange) {
    EXPECT_EQ(StatusFromErrno(EIO), 0xE0000005u);
    EXPECT_EQ(StatusFromErrno(EAGAIN), 0xE000000Bu);
    EXPECT_EQ(StatusName(StatusFromErrno(EIO)), "");  // printed as its number
}

TEST(TraceSyscallTableTest, TheIssuesCallsMapToTheirIrps) {
    struct Expect {
        long number;
        TraceCall call;
        uint32_t major;
    };
    const Expect expected[] = {
        {SYS_openat, TraceCall::Open, IRP_MJ_CREATE},
        {SYS_close, TraceCall::Close, IRP_MJ_CLEANUP},
        {SYS_read, TraceCall::Transfer, IRP_MJ_READ},
        {SYS_pread64, TraceCall::Transfer, IRP_MJ_READ},
        {SYS_readv, TraceCall::Transfer, IRP_MJ_READ},
        {SYS_write, TraceCall::Transfer, IRP_MJ_WRITE},
        {SYS_pwritev2, TraceCall::Transfer, IRP_MJ_WRITE},
        {SYS_ioctl, TraceCall::Ioctl, IRP_MJ_DEVICE_CONTROL},
        {SYS_fsync, TraceCall::Plain, IRP_MJ_FLUSH_BUFFERS},
        {SYS_fdatasync, TraceCall::Plain, IRP_MJ_FLUSH_BUFFERS},
        {SYS_fstat, TraceCall::Plain, IRP_MJ_QUERY_INFORMATION},
        {SYS_ftruncate, TraceCall::Plain, IRP_MJ_SET_INFORMATION},
        {SYS_fallocate, TraceCall::Plain, IRP_MJ_SET_INFORMATION},
        {SYS_fstatfs, TraceCall::Plain, IRP_MJ_QUERY_VOLUME_INFORMATION},
        {SYS_flock, TraceCall::Plain, 0x11},
        {SYS_dup, TraceCall::Dup, 0},
        {SYS_dup3, TraceCall::Dup, 0},
        {SYS_fcntl, TraceCall::Fcntl, 0x11},
    };
    for (const Expect& e : expected) {
        const SyscallRule* rule = FindSyscallRule(e.number);
        ASSERT_NE(rule, nullptr) << e.number;
        EXPECT_EQ(rule->call, e.call) << e.number;
        EXPECT_EQ(rule->major, e.major) << e.number;
    }
    EXPECT_EQ(FindSyscallRule(SYS_getpid), nullptr);
    EXPECT_EQ(FindSyscallRule(SYS_mmap), nullptr);  // I/O through a mapping is not seen
}

TEST(TraceSyscallTableTest, ArgumentPositionsFollowTheCallingConventions) {
    const SyscallRule* openat = FindSyscallRule(SYS_openat);
    EXPECT_EQ(openat->fdArg, 0);
    EXPECT_EQ(openat->pathArg, 1);
    EXPECT_EQ(openat->flagsArg, 2);
    EXPECT_EQ(openat->modeArg, 3);
    EXPECT_EQ(FindSyscallRule(SYS_read)->offsetArg, kNoArg);  // the file position
    EXPECT_EQ(FindSyscallRule(SYS_pwrite64)->offsetArg, 3);
    EXPECT_TRUE(FindSyscallRule(SYS_writev)->vector);
    EXPECT_FALSE(FindSyscallRule(SYS_write)->vector);
    EXPECT_EQ(FindSyscallRule(SYS_fstat)->infoClass, 5u);
    EXPECT_EQ(FindSyscallRule(SYS_ftruncate)->infoClass, 20u);
    EXPECT_EQ(FindSyscallRule(SYS_fallocate)->infoClass, 19u);
    EXPECT_EQ(FindSyscallRule(SYS_fstatfs)->infoClass, 3u);
    std::set<long> numbers;
    for (const SyscallRule& r : SyscallRules())
        EXPECT_TRUE(numbers.insert(r.number).second) << "twice: " << r.number;
}

TEST(TraceIoctlLengthTest, SizeAndDirectionBitsOrTheClassicTable) {
    // _IOR('T', 0x31, unsigned int) = TIOCGPTN: 4 bytes out.
    EXPECT_EQ(IoctlBufferLengths(0x80045430).output, 4u);
    EXPECT_EQ(IoctlBufferLengths(0x80045430).input, 0u);
    // _IOW('T', 0x31, int) = TIOCSPTLCK: 4 bytes in.
    EXPECT_EQ(IoctlBufferLengths(0x40045431).input, 4u);
    EXPECT_EQ(IoctlBufferLengths(0x40045431).output, 0u);
    // _IOWR with 0x100 bytes: both ways.
    EXPECT_EQ(IoctlBufferLengths(0xC1004600).input, 0x100u);
    EXPECT_EQ(IoctlBufferLengths(0xC1004600).output, 0x100u);
    // The classic tty requests carry no size bits.
    EXPECT_EQ(IoctlBufferLengths(0x5413).output, 8u);   // TIOCGWINSZ
    EXPECT_EQ(IoctlBufferLengths(0x5414).input, 8u);    // TIOCSWINSZ
    EXPECT_EQ(IoctlBufferLengths(0x541B).output, 4u);   // FIONREAD
    EXPECT_EQ(IoctlBufferLengths(0x5411).output, 4u);   // TIOCOUTQ
    EXPECT_EQ(IoctlBufferLengths(0x5401).output, 36u);  // TCGETS
    EXPECT_EQ(IoctlBufferLengths(0x5402).input, 36u);   // TCSETS
    EXPECT_EQ(IoctlBufferLengths(0x5409).input + IoctlBufferLengths(0x5409).output, 0u);
}

}  // namespace
}  // namespace vantrel
