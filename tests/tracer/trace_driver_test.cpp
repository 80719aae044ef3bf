// The trace driver behind the protocol: control codes, the enumeration
// buffer, and a traced command's records through the ring.

#include "tracer/trace_driver.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

#include "platform/event.h"
#include "platform/handle_table.h"
#include "record/capture_record.h"
#include "record/le.h"
#include "record/protocol.h"

namespace vantrel {
namespace {

namespace pr = protocol;
using namespace std::chrono_literals;

struct Ring {
    alignas(64) uint8_t bytes[pr::kRingSize] = {};
    uint32_t handle = RegisterRingHandle(bytes);
    ~Ring() { UnregisterHandle(handle); }
    std::atomic_ref<uint32_t> Word(size_t off) {
        return std::atomic_ref(*reinterpret_cast<uint32_t*>(bytes + off));
    }
    void Drain(std::vector<IRP_CAPTURE_RECORD>& out) {
        uint32_t r = Word(pr::kRingReadIndex).load(std::memory_order_acquire);
        const uint32_t w = Word(pr::kRingWriteIndex).load(std::memory_order_acquire);
        for (; r != w; r = (r + 1) % pr::kRingSlots) {
            IRP_CAPTURE_RECORD rec;
            rec.Read(bytes + pr::RingSlotOffset(r));
            out.push_back(rec);
        }
        Word(pr::kRingReadIndex).store(r, std::memory_order_release);
    }
};

struct Event {
    CEvent event;
    uint32_t handle = RegisterEventHandle(&event);
    ~Event() { UnregisterHandle(handle); }
};

bool Send(IDriverDevice& d, uint32_t code, uint8_t* b) {
    const uint32_t n = pr::IoctlBufferLength(code);
    return d.DeviceIoControl(code, b, n, n);
}

bool Activate(IDriverDevice& d, uint32_t deviceObject, uint32_t mask) {
    uint8_t b[32] = {};
    le::Put32(b, deviceObject);
    for (int i = 0; i < 28; ++i) b[4 + i] = (mask >> i) & 1;
    return Send(d, pr::IOCTL_ACTIVATE_FILTER, b);
}

bool Connect(IDriverDevice& d, Event& ev, Ring& ring) {
    uint8_t mode[12] = {};
    le::Put32(mode, pr::kCaptureMode);
    le::Put32(mode + 8, ev.handle);
    uint8_t init[8] = {};
    le::Put32(init, pr::kInitBuffCountValue);
    le::Put32(init + 4, ring.handle);
    return Send(d, pr::IOCTL_SETMODE, mode) && Send(d, pr::IOCTL_INITBUFF, init);
}

// Everything the driver writes until the command has finished (at most 20 s).
std::vector<IRP_CAPTURE_RECORD> DrainUntilFinished(CTraceDriverSession& session, Event& ev,
                                                   Ring& ring) {
    std::vector<IRP_CAPTURE_RECORD> records;
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (!session.Status().finished && std::chrono::steady_clock::now() < deadline) {
        ev.event.WaitFor(20);
        ev.event.Reset();
        ring.Drain(records);
    }
    ring.Drain(records);
    return records;
}

struct Row {
    uint32_t deviceObject;
    int32_t state;
    std::string description, secondName, name;
    uint32_t flag;
};

std::vector<Row> Enumerate(IDriverDevice& d) {
    std::vector<uint8_t> b(pr::kEnumSize, 0xCC);
    le::Put32(b.data(), 0);
    le::Put32(b.data() + pr::kEnumState, 1);
    std::vector<Row> rows;
    for (int i = 0; i < 100000; ++i) {
        EXPECT_TRUE(Send(d, pr::IOCTL_ENUMDEVICES, b.data()));
        Row r{le::U32(b.data()),
              static_cast<int32_t>(le::U32(b.data() + pr::kEnumState)),
              reinterpret_cast<const char*>(b.data() + pr::kEnumDescription),
              reinterpret_cast<const char*>(b.data() + pr::kEnumSecondName),
              reinterpret_cast<const char*>(b.data() + pr::kEnumObjectName),
              le::U32(b.data() + pr::kEnumFlag)};
        if (r.state == pr::kEnumDone) break;
        rows.push_back(r);
    }
    return rows;
}

TEST(TraceDriverTest, AnswersTheControlCodesAndRefusesBadRequests) {
    auto d = OpenTraceDriver({});
    ASSERT_TRUE(d);
    EXPECT_TRUE(d->DeviceIoControl(pr::IOCTL_SETUPFILTERS, nullptr, 4, 4));
    uint8_t speed[4] = {};
    EXPECT_TRUE(Send(*d, pr::IOCTL_PROCSPEED, speed));
    EXPECT_EQ(le::U32(speed), 1000u);
    uint8_t big[pr::kRecordSize] = {};
    EXPECT_FALSE(Send(*d, pr::IOCTL_UNNAMED_0x91, big));
    EXPECT_FALSE(d->DeviceIoControl(pr::IOCTL_ENUMDEVICES, big, 496, 496));  // too short
    Event ev;
    Ring ring;
    uint8_t mode[12] = {};
    le::Put32(mode, 2);
    le::Put32(mode + 8, ev.handle);
    EXPECT_FALSE(Send(*d, pr::IOCTL_SETMODE, mode));  // not the capture mode
    le::Put32(mode, pr::kCaptureMode);
    le::Put32(mode + 8, ring.handle);
    EXPECT_FALSE(Send(*d, pr::IOCTL_SETMODE, mode));  // a ring is no event
    EXPECT_TRUE(Connect(*d, ev, ring));
    EXPECT_FALSE(Activate(*d, 0x12345678, 1u << IRP_MJ_READ));  // no such device object
    EXPECT_TRUE(Activate(*d, kTraceFilesObject, 0));  // removing a filter that is not there
}

TEST(TraceDriverTest, EnumerationEndsWithTheThreeFlaggedRowsAndStartsOver) {
    auto d = OpenTraceDriver({});
    const std::vector<Row> rows = Enumerate(*d);
    ASSERT_GE(rows.size(), 3u);
    const Row* tail = &rows[rows.size() - 3];
    const char* names[] = {"(files)", "(pipes and sockets)", "(other device nodes)"};
    for (uint32_t i = 0; i < 3; ++i) {
        EXPECT_EQ(tail[i].deviceObject, 0xFFFFFFF0u + i);
        EXPECT_EQ(tail[i].name, names[i]);
        EXPECT_EQ(tail[i].description, "");
        EXPECT_NE(tail[i].flag, 0u);
        EXPECT_EQ(tail[i].state, pr::kEnumStart);
    }
    for (size_t i = 0; i + 3 < rows.size(); ++i) {
        EXPECT_EQ(rows[i].flag, 0u);
        EXPECT_EQ(rows[i].secondName, "");
    }
    EXPECT_EQ(Enumerate(*d).size(), rows.size());  // a second enumeration gives the same rows
}

TEST(TraceDriverTest, TheCommandStartsWithTheFirstFilterAndItsRecordsReachTheRing) {
    TraceDriverOptions options;
    options.command = {VANTREL_TRACE_HELPER, "devices"};
    CTraceDriverSession session(options);
    auto d = session.Opener()(pr::kDevicePath);
    ASSERT_TRUE(d);
    EXPECT_FALSE(session.Opener()("\\\\.\\OTHER"));
    Event ev;
    Ring ring;
    ASSERT_TRUE(Connect(*d, ev, ring));
    std::this_thread::sleep_for(50ms);
    EXPECT_FALSE(session.Status().started);                    // nothing runs before a filter
    ASSERT_TRUE(Activate(*d, 0x00100005, 1u << IRP_MJ_READ));  // /dev/zero, reads only
    const std::vector<IRP_CAPTURE_RECORD> records = DrainUntilFinished(session, ev, ring);
    const TraceDriverStatus status = session.Status();
    ASSERT_TRUE(status.finished);
    if (!status.started) GTEST_SKIP() << "tracing is not permitted here: " << status.error;
    EXPECT_EQ(status.exitStatus, 0);
    ASSERT_EQ(records.size(), 4u);
    EXPECT_EQ(status.written, 4u);
    const uint32_t lengths[] = {512, 64, 7, 33};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(records[i].DeviceObject, 0x00100005u);
        EXPECT_EQ(records[i].MajorFunction, uint32_t{IRP_MJ_READ});
        EXPECT_EQ(records[i].Param32(par::Length), lengths[i]);
    }
}

TEST(TraceDriverTest, TheCommandWaitsForEveryFilterOfTheAdd) {
    TraceDriverOptions options;
    options.command = {VANTREL_TRACE_HELPER, "devices"};
    CTraceDriverSession session(options);
    auto d = session.Opener()(pr::kDevicePath);
    Event ev;
    Ring ring;
    ASSERT_TRUE(Connect(*d, ev, ring));
    // The filters of one Add arrive one by one; the command's first reads
    // on the second device must not be lost to the gap.
    ASSERT_TRUE(Activate(*d, 0x00100003, 1u << IRP_MJ_WRITE));
    std::this_thread::sleep_for(14ms);
    ASSERT_TRUE(Activate(*d, 0x00100005, 1u << IRP_MJ_READ));
    const std::vector<IRP_CAPTURE_RECORD> records = DrainUntilFinished(session, ev, ring);
    if (!session.Status().started) GTEST_SKIP() << "tracing is not permitted here";
    size_t reads = 0, writes = 0;
    for (const IRP_CAPTURE_RECORD& r : records) {
        reads += r.DeviceObject == 0x00100005 && r.MajorFunction == IRP_MJ_READ;
        writes += r.DeviceObject == 0x00100003 && r.MajorFunction == IRP_MJ_WRITE;
    }
    EXPECT_EQ(reads, 4u);
    EXPECT_EQ(writes, 2u);
}

TEST(TraceDriverTest, ACommandThatCannotStartIsReportedNotHung) {
    TraceDriverOptions options;
    options.command = {"vantrel-no-such-command-here"};
    CTraceDriverSession session(options);
    auto d = session.Opener()(pr::kDevicePath);
    ASSERT_TRUE(Activate(*d, kTraceFilesObject, 1));
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (!session.Status().finished && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(5ms);
    const TraceDriverStatus status = session.Status();
    EXPECT_TRUE(status.finished);
    EXPECT_FALSE(status.started);
    EXPECT_EQ(status.error, "no such command: vantrel-no-such-command-here");
}

TEST(TraceDriverTest, ClosingTheDriverEndsARunningCommand) {
    TraceDriverOptions options;
    options.command = {VANTREL_TRACE_HELPER, "block"};
    CTraceDriverSession session(options);
    auto d = session.Opener()(pr::kDevicePath);
    Event ev;
    Ring ring;
    ASSERT_TRUE(Connect(*d, ev, ring));
    ASSERT_TRUE(Activate(*d, kTracePipesObject, 1u << IRP_MJ_READ));
    std::this_thread::sleep_for(200ms);
    const auto before = std::chrono::steady_clock::now();
    d.reset();  // joins the tracer thread: it must come back
    EXPECT_LT(std::chrono::steady_clock::now() - before, 5s);
    const TraceDriverStatus status = session.Status();
    EXPECT_TRUE(status.finished);
    if (status.started) {
        EXPECT_EQ(status.exitStatus, 128 + 9);
    }
}

TEST(TraceDriverTest, TheCommandEndsTheCaptureThoughItsChildRunsOnAndClosingEndsTheChild) {
    TraceDriverOptions options;
    options.command = {"sh", "-c", "sleep 30 & exit 5"};
    CTraceDriverSession session(options);
    auto d = session.Opener()(pr::kDevicePath);
    Event ev;
    Ring ring;
    ASSERT_TRUE(Connect(*d, ev, ring));
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(Activate(*d, kTraceFilesObject, 1u << IRP_MJ_READ));
    while (!session.Status().finished && std::chrono::steady_clock::now() - start < 20s)
        std::this_thread::sleep_for(5ms);
    const TraceDriverStatus status = session.Status();
    ASSERT_TRUE(status.finished);
    if (!status.started) GTEST_SKIP() << "tracing is not permitted here: " << status.error;
    EXPECT_EQ(status.exitStatus, 5);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
    const auto closing = std::chrono::steady_clock::now();
    d.reset();  // the sleep is still traced: it is killed, never left behind
    EXPECT_LT(std::chrono::steady_clock::now() - closing, 5s);
    EXPECT_EQ(session.Status().exitStatus, 5);
}

}  // namespace
}  // namespace vantrel
