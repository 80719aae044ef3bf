// The records one kernel event gives: each kind of call and block request,
// its parameters, statuses and the majors a filter keeps.

#include "kernel/kernel_records.h"

#include <gtest/gtest.h>
#include <linux/types.h>
#include <sys/syscall.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "kernel/kernel_event.h"

namespace vantrel {
namespace {

constexpr uint32_t kAll = ~0u;

struct Case {
    const char* name;
    vantrel_event event;
    uint32_t mask;
    std::vector<uint32_t> majors;  // of the records, in order
    uint32_t status;
    uint32_t param0, param4, param8;  // the first three parameter words
};

vantrel_event Call(long nr, int64_t ret) {
    vantrel_event e{};
    e.kind = VANTREL_KIND_SYSCALL;
    e.nr = static_cast<uint32_t>(nr);
    e.ret = ret;
    e.device_object = 0x00100005;
    e.start = 1000;
    e.end = 1700;
    return e;
}

vantrel_event Block(uint32_t op, uint64_t sector, uint64_t bytes, uint32_t status) {
    vantrel_event e{};
    e.kind = VANTREL_KIND_BLOCK;
    e.nr = op;
    e.offset = sector * 512;
    e.length = bytes;
    e.ret = status;
    e.device_object = 0x80700000;
    return e;
}

vantrel_event With(vantrel_event e, uint64_t length, uint64_t offset) {
    e.length = length;
    e.offset = offset;
    return e;
}

const Case kCases[] = {
    {"read at an offset",
     With(Call(SYS_pread64, 64), 64, 4096),
     kAll,
     {IRP_MJ_READ},
     0,
     64,
     0,
     4096},
    {"write that failed",
     With(Call(SYS_write, -EBADF), 9, 0),
     kAll,
     {IRP_MJ_WRITE},
     0xC0000008,
     9,
     0,
     0},
    {"close gives two", Call(SYS_close, 0), kAll, {IRP_MJ_CLEANUP, IRP_MJ_CLOSE}, 0, 0, 0, 0},
    {"close, cleanup only", Call(SYS_close, 0), 1u << IRP_MJ_CLEANUP, {IRP_MJ_CLEANUP}, 0, 0, 0, 0},
    {"read not wanted", Call(SYS_read, 5), 1u << IRP_MJ_WRITE, {}, 0, 0, 0, 0},
    {"fsync flushes", Call(SYS_fsync, 0), kAll, {IRP_MJ_FLUSH_BUFFERS}, 0, 0, 0, 0},
    {"block read", Block(VANTREL_OP_READ, 16, 4096, 0), kAll, {IRP_MJ_READ}, 0, 4096, 0, 8192},
    {"block write, I/O error",
     Block(VANTREL_OP_WRITE, 1, 512, 10),
     kAll,
     {IRP_MJ_WRITE},
     0xE0000000 | EIO,
     512,
     0,
     512},
    {"block flush", Block(VANTREL_OP_FLUSH, 0, 0, 0), kAll, {IRP_MJ_FLUSH_BUFFERS}, 0, 0, 0, 0},
    {"discard",
     Block(VANTREL_OP_DISCARD, 8, 1 << 20, 0),
     kAll,
     {IRP_MJ_DEVICE_CONTROL},
     0,
     0,
     kKernelTrimInputLength,
     kKernelTrimControlCode},
    {"write zeroes",
     Block(VANTREL_OP_WRITE_ZEROES, 8, 4096, 1),
     kAll,
     {IRP_MJ_DEVICE_CONTROL},
     0xC00000BB,
     0,
     kKernelTrimInputLength,
     kKernelTrimControlCode},
};

TEST(KernelRecordsTest, EachEventGivesItsRecords) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        std::vector<IRP_CAPTURE_RECORD> out;
        AppendKernelRecords(&c.event, sizeof c.event, c.mask, out);
        ASSERT_EQ(out.size(), c.majors.size());
        for (size_t i = 0; i < out.size(); ++i) {
            EXPECT_EQ(out[i].MajorFunction, c.majors[i]);
            EXPECT_EQ(out[i].DeviceObject, c.event.device_object);
            EXPECT_EQ(out[i].Status, c.status);
            EXPECT_EQ(out[i].EndTime - out[i].StartTime, c.event.end - c.event.start);
            EXPECT_EQ(out[i].Param32(0), c.param0);
            EXPECT_EQ(out[i].Param32(4), c.param4);
            EXPECT_EQ(out[i].Param32(8), c.param8);
        }
    }
}

TEST(KernelRecordsTest, TrimInputHoldsOffsetAndLengthAndIoctlBuffersTheirSizes) {
    std::vector<IRP_CAPTURE_RECORD> out;
    const vantrel_event trim = Block(VANTREL_OP_DISCARD, 3, 0x10000, 0);
    AppendKernelRecords(&trim, sizeof trim, kAll, out);
    vantrel_event ioctl = Call(SYS_ioctl, 0);
    ioctl.code = 0x5413;
    ioctl.out_size = 8;
    ioctl.in_size = 250;  // more than a record holds: 200 bytes are kept
    std::memset(ioctl.in, 0x11, sizeof ioctl.in);
    std::memset(ioctl.out, 0x22, sizeof ioctl.out);
    AppendKernelRecords(&ioctl, sizeof ioctl, kAll, out);
    vantrel_event failed = ioctl;
    failed.ret = -ENOTTY;  // a failed request's output is not shown
    AppendKernelRecords(&failed, sizeof failed, kAll, out);
    AppendKernelRecords(&ioctl, sizeof ioctl - 1, kAll, out);  // short: nothing
    ASSERT_EQ(out.size(), 3u);
    const uint8_t trimBytes[16] = {0x00, 0x06, 0, 0, 0, 0, 0, 0, 0x00, 0x00, 0x01, 0, 0, 0, 0, 0};
    EXPECT_EQ(std::memcmp(out[0].InputData, trimBytes, 16), 0);
    EXPECT_EQ(out[1].Param32(4), 250u);
    EXPECT_EQ(out[1].InputData[199], 0x11);
    EXPECT_EQ(out[1].OutputData[7], 0x22);
    EXPECT_EQ(out[1].OutputData[8], 0);
    EXPECT_EQ(out[2].Status, 0xC0000010u);
    EXPECT_EQ(out[2].OutputData[0], 0);
}

TEST(KernelRecordsTest, RuleTableWatchesTheDeviceCallsOnly) {
    const std::vector<KernelRuleEntry> table = KernelRuleTable();
    EXPECT_EQ(table[SYS_read].call, VANTREL_CALL_TRANSFER);
    EXPECT_EQ(table[SYS_pwrite64].offsetArg, 3);
    EXPECT_EQ(table[SYS_readv].vector, 1);
    EXPECT_EQ(table[SYS_openat].call, VANTREL_CALL_OPEN);
    EXPECT_EQ(table[SYS_openat].fdArg, -1);
    EXPECT_EQ(table[SYS_ioctl].major, IRP_MJ_DEVICE_CONTROL);
    EXPECT_EQ(table[SYS_dup2].call, VANTREL_CALL_NONE);
    EXPECT_EQ(table[SYS_getpid].call, VANTREL_CALL_NONE);
}

}  // namespace
}  // namespace vantrel
