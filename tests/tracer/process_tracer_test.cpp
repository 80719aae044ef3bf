// The tracer on a real program (the test helper): records, their device
// objects, majors, lengths, offsets, buffers and statuses.

#include "tracer/process_tracer.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <thread>

#include "devnodes/trace_devices.h"

namespace vantrel {
namespace {

constexpr uint32_t kNull = 0x00100003;
constexpr uint32_t kZero = 0x00100005;
constexpr uint32_t kAllMajors = (1u << 28) - 1;

struct RecordingSink final : ITraceSink {
    std::map<uint32_t, uint32_t> masks;
    std::vector<IRP_CAPTURE_RECORD> records;
    uint32_t MaskFor(uint32_t deviceObject) override {
        const auto it = masks.find(deviceObject);
        return it == masks.end() ? 0 : it->second;
    }
    void Emit(const IRP_CAPTURE_RECORD& record) override { records.push_back(record); }

    std::vector<IRP_CAPTURE_RECORD> Of(uint32_t device, uint32_t major) const {
        std::vector<IRP_CAPTURE_RECORD> out;
        for (const IRP_CAPTURE_RECORD& r : records)
            if (r.DeviceObject == device && r.MajorFunction == major) out.push_back(r);
        return out;
    }
};

std::unordered_set<uint32_t> KnownDevices() {
    std::unordered_set<uint32_t> known;
    for (const TraceDevice& d : EnumerateTraceDevices()) known.insert(d.deviceObject);
    return known;
}

// Runs the helper with `args` under trace on this thread; false (and the
// test skipped) where tracing is not permitted.
bool TraceHelper(RecordingSink& sink, const std::vector<std::string>& args, TraceExit& exit) {
    CProcessTracer tracer(sink, KnownDevices());
    std::vector<std::string> argv{VANTREL_TRACE_HELPER};
    argv.insert(argv.end(), args.begin(), args.end());
    std::string error;
    if (!tracer.Launch(argv, error)) {
        EXPECT_NE(error.find("not permitted"), std::string::npos) << error;
        return false;
    }
    tracer.Run();
    exit = tracer.Exit();
    return true;
}

#define TRACE_OR_SKIP(sink, exit, ...)           \
    if (!TraceHelper(sink, {__VA_ARGS__}, exit)) \
    GTEST_SKIP() << "tracing is not permitted here (ptrace or seccomp refused)"

uint64_t Offset(const IRP_CAPTURE_RECORD& r) {
    return (uint64_t{r.Param32(par::ByteOffsetHigh)} << 32) | r.Param32(par::ByteOffsetLow);
}

TEST(ProcessTracerTest, DeviceReadsWritesOpensAndClosesOnTheRightDeviceObjects) {
    RecordingSink sink;
    sink.masks = {
        {kNull, kAllMajors}, {kZero, kAllMajors}, {kTraceFilesObject, 1u << IRP_MJ_CREATE}};
    TraceExit exit;
    TRACE_OR_SKIP(sink, exit, "devices");
    EXPECT_TRUE(exit.finished);
    EXPECT_EQ(exit.status, 0);

    const auto nullWrites = sink.Of(kNull, IRP_MJ_WRITE);
    ASSERT_EQ(nullWrites.size(), 2u);
    EXPECT_EQ(nullWrites[0].Param32(par::Length), 100u);
    EXPECT_EQ(nullWrites[1].Param32(par::Length), 4096u);
    const auto nullCreates = sink.Of(kNull, IRP_MJ_CREATE);
    ASSERT_EQ(nullCreates.size(), 1u);
    EXPECT_EQ(nullCreates[0].Param32(par::Options) & O_ACCMODE, uint32_t{O_WRONLY});
    EXPECT_EQ(nullCreates[0].Status, 0u);
    EXPECT_EQ(sink.Of(kNull, IRP_MJ_CLEANUP).size(), 1u);
    EXPECT_EQ(sink.Of(kNull, IRP_MJ_CLOSE).size(), 1u);

    // 512, pread 64 at 4096, 7 through the duplicate, 33 in the child.
    const auto zeroReads = sink.Of(kZero, IRP_MJ_READ);
    ASSERT_EQ(zeroReads.size(), 4u);
    EXPECT_EQ(zeroReads[0].Param32(par::Length), 512u);
    EXPECT_EQ(zeroReads[1].Param32(par::Length), 64u);
    EXPECT_EQ(Offset(zeroReads[1]), 4096u);
    EXPECT_EQ(zeroReads[2].Param32(par::Length), 7u);
    EXPECT_EQ(zeroReads[3].Param32(par::Length), 33u);
    // Closing the duplicate and, later, the original: two of each.
    EXPECT_EQ(sink.Of(kZero, IRP_MJ_CLEANUP).size(), 2u);
    EXPECT_EQ(sink.Of(kZero, IRP_MJ_CLOSE).size(), 2u);

    const auto files = sink.Of(kTraceFilesObject, IRP_MJ_CREATE);
    const auto missing = std::find_if(files.begin(), files.end(), [](const auto& r) {
        return r.Status == 0xC0000034u;  // STATUS_OBJECT_NAME_NOT_FOUND
    });
    EXPECT_NE(missing, files.end());
    for (const IRP_CAPTURE_RECORD& r : sink.records) {
        EXPECT_GE(r.EndTime, r.StartTime);
        EXPECT_GT(r.StartTime, 0u);
        EXPECT_EQ(r.MinorFunction, 0u);
        // Nothing on a device that is not filtered, nor a major that is not.
        EXPECT_TRUE(r.DeviceObject == kNull || r.DeviceObject == kZero ||
                    (r.DeviceObject == kTraceFilesObject && r.MajorFunction == IRP_MJ_CREATE))
            << std::hex << r.DeviceObject << " " << r.MajorFunction;
    }
}

TEST(ProcessTracerTest, FileWritesCarryTheFilePositionAndTheFlushIsSeen) {
    RecordingSink sink;
    sink.masks = {{kTraceFilesObject, kAllMajors}};
    const std::string path =
        ::testing::TempDir() + "vantrel_trace_file_" + std::to_string(getpid());
    TraceExit exit;
    TRACE_OR_SKIP(sink, exit, "file", path);
    EXPECT_EQ(exit.status, 0);
    std::vector<IRP_CAPTURE_RECORD> writes = sink.Of(kTraceFilesObject, IRP_MJ_WRITE);
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_EQ(writes[0].Param32(par::Length), 300u);
    EXPECT_EQ(Offset(writes[0]), 0u);
    EXPECT_EQ(writes[1].Param32(par::Length), 20u);
    EXPECT_EQ(Offset(writes[1]), 300u);
    const auto flushes = sink.Of(kTraceFilesObject, IRP_MJ_FLUSH_BUFFERS);
    ASSERT_EQ(flushes.size(), 1u);
    EXPECT_EQ(flushes[0].Status, 0u);
    const auto creates = sink.Of(kTraceFilesObject, IRP_MJ_CREATE);
    const auto created = std::find_if(creates.begin(), creates.end(), [](const auto& r) {
        return (r.Param32(par::Options) & (O_CREAT | O_TRUNC)) == uint32_t(O_CREAT | O_TRUNC);
    });
    ASSERT_NE(created, creates.end());
    EXPECT_EQ(created->Param16(par::FileAttributes), 0640u);
    EXPECT_EQ(created->Param32(par::Options) & O_ACCMODE, uint32_t{O_RDWR});
}

TEST(ProcessTracerTest, DeviceControlsCarryTheirBuffersBothWays) {
    RecordingSink sink;
    for (uint32_t d : KnownDevices()) sink.masks[d] = 1u << IRP_MJ_DEVICE_CONTROL;
    TraceExit exit;
    TRACE_OR_SKIP(sink, exit, "tty");
    EXPECT_EQ(exit.status, 0);
    auto find = [&](uint32_t code) {
        std::vector<IRP_CAPTURE_RECORD> out;
        for (const IRP_CAPTURE_RECORD& r : sink.records)
            if (r.MajorFunction == IRP_MJ_DEVICE_CONTROL && r.Param32(par::IoControlCode) == code)
                out.push_back(r);
        return out;
    };
    const uint8_t window[8] = {31, 0, 97, 0, 0, 0, 0, 0};  // rows 31, columns 97
    const auto set = find(0x5414);                         // TIOCSWINSZ
    ASSERT_EQ(set.size(), 1u);
    EXPECT_EQ(set[0].Param32(par::InputBufferLength), 8u);
    EXPECT_EQ(set[0].Param32(par::OutputBufferLength), 0u);
    EXPECT_EQ(std::memcmp(set[0].InputData, window, 8), 0);
    const auto get = find(0x5413);  // TIOCGWINSZ
    ASSERT_EQ(get.size(), 1u);
    EXPECT_EQ(get[0].Param32(par::OutputBufferLength), 8u);
    EXPECT_EQ(std::memcmp(get[0].OutputData, window, 8), 0);
    EXPECT_EQ(get[0].Status, 0u);
    EXPECT_NE(get[0].DeviceObject, kTracePipesObject);
    const auto waiting = find(0x541B);  // FIONREAD
    ASSERT_EQ(waiting.size(), 1u);
    EXPECT_EQ(waiting[0].DeviceObject, kTracePipesObject);
    EXPECT_EQ(waiting[0].Param32(par::OutputBufferLength), 4u);
    const uint8_t five[4] = {5, 0, 0, 0};
    EXPECT_EQ(std::memcmp(waiting[0].OutputData, five, 4), 0);
}

TEST(ProcessTracerTest, EveryThreadOfTheCommandIsFollowed) {
    RecordingSink sink;
    sink.masks = {{kZero, 1u << IRP_MJ_READ}};
    TraceExit exit;
    TRACE_OR_SKIP(sink, exit, "threads");
    EXPECT_EQ(exit.status, 0);
    std::vector<uint32_t> lengths;
    for (const auto& r : sink.Of(kZero, IRP_MJ_READ)) lengths.push_back(r.Param32(par::Length));
    std::sort(lengths.begin(), lengths.end());
    EXPECT_EQ(lengths, (std::vector<uint32_t>{11, 13}));
}

TEST(ProcessTracerTest, ExecKeepsInheritedDescriptorsAndForgetsClosedOnes) {
    RecordingSink sink;
    sink.masks = {{kZero, 1u << IRP_MJ_READ},
                  {kNull, 1u << IRP_MJ_READ},
                  {kTracePipesObject, 1u << IRP_MJ_READ}};
    TraceExit exit;
    TRACE_OR_SKIP(sink, exit, "exec");
    EXPECT_EQ(exit.status, 0);
    // The number /dev/null had before exec leads to a pipe after it: a
    // descriptor table kept across exec would charge the 19 to /dev/null.
    EXPECT_TRUE(sink.Of(kNull, IRP_MJ_READ).empty());
    const auto reads = sink.Of(kZero, IRP_MJ_READ);
    ASSERT_EQ(reads.size(), 1u);
    EXPECT_EQ(reads[0].Param32(par::Length), 17u);
    const auto piped = sink.Of(kTracePipesObject, IRP_MJ_READ);
    ASSERT_EQ(piped.size(), 1u);
    EXPECT_EQ(piped[0].Param32(par::Length), 19u);
}

TEST(ProcessTracerTest, ExitStatusIsTheCommandsOwn) {
    RecordingSink sink;
    TraceExit exit;
    TRACE_OR_SKIP(sink, exit, "exit", "42");
    EXPECT_TRUE(exit.finished);
    EXPECT_EQ(exit.status, 42);
    EXPECT_TRUE(sink.records.empty());
}

TEST(ProcessTracerTest, ATraceeKilledInTheMiddleOfACallNeverHangsTheTracer) {
    RecordingSink sink;
    sink.masks = {{kTracePipesObject, kAllMajors}};  // the blocking read waits for its exit stop
    CProcessTracer tracer(sink, KnownDevices());
    std::string error;
    std::atomic<int> state{0};  // 1 launched, 2 refused, 3 done
    std::thread traceThread([&] {
        if (!tracer.Launch({VANTREL_TRACE_HELPER, "block"}, error)) {
            state = 2;
            return;
        }
        state = 1;
        tracer.Run();
        state = 3;
    });
    while (state == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (state == 2) {
        traceThread.join();
        GTEST_SKIP() << "tracing is not permitted here: " << error;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // into its read
    tracer.Kill();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (state != 3 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_EQ(state.load(), 3) << "the tracer hangs on a killed tracee";
    traceThread.join();
    EXPECT_EQ(tracer.Exit().status, 128 + 9);
    EXPECT_TRUE(sink.Of(kTracePipesObject, IRP_MJ_READ).empty());  // the read never finished
}

// A sink the test thread may read while the tracer thread writes.
struct SharedSink final : ITraceSink {
    std::mutex mutex;
    std::map<uint32_t, uint32_t> masks;
    std::vector<IRP_CAPTURE_RECORD> records;
    uint32_t MaskFor(uint32_t deviceObject) override {
        std::lock_guard lock(mutex);
        const auto it = masks.find(deviceObject);
        return it == masks.end() ? 0 : it->second;
    }
    void Emit(const IRP_CAPTURE_RECORD& record) override {
        std::lock_guard lock(mutex);
        records.push_back(record);
    }
    size_t Count() {
        std::lock_guard lock(mutex);
        return records.size();
    }
};

std::string TracerPidLine(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("TracerPid:", 0) == 0) return line;
    return {};
}

TEST(ProcessTracerTest, AttachesToARunningProcessAndLetsItGoRunning) {
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        execl(VANTREL_TRACE_HELPER, VANTREL_TRACE_HELPER, "loop", static_cast<char*>(nullptr));
        _exit(127);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // running on its own
    SharedSink sink;
    sink.masks = {{kZero, 1u << IRP_MJ_READ}};
    CProcessTracer tracer(sink, KnownDevices());
    std::atomic<int> state{0};  // 1 attached, 2 refused, 3 done
    std::string error;
    std::thread traceThread([&] {
        if (!tracer.Attach({pid}, error)) {
            state = 2;
            return;
        }
        state = 1;
        tracer.Run();
        state = 3;
    });
    auto waitFor = [](auto done) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!done() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        return done();
    };
    waitFor([&] { return state != 0; });
    if (state == 2) {
        traceThread.join();
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        GTEST_SKIP() << "attaching is not permitted here: " << error;
    }
    EXPECT_TRUE(waitFor([&] { return sink.Count() >= 3; }));
    tracer.Detach();
    EXPECT_TRUE(waitFor([&] {
        tracer.Wake();
        return state == 3;
    })) << "the tracer does not let go";
    traceThread.join();
    {
        std::lock_guard lock(sink.mutex);
        for (const IRP_CAPTURE_RECORD& r : sink.records) {
            EXPECT_EQ(r.DeviceObject, kZero);
            EXPECT_EQ(r.Param32(par::Length), 5u);
        }
    }
    // Still running, no longer traced, and ends only when told to.
    EXPECT_EQ(TracerPidLine(pid), "TracerPid:\t0");
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    int status = 0;
    EXPECT_EQ(waitpid(pid, &status, WNOHANG), 0) << "it did not keep running";
    kill(pid, SIGTERM);
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
}

TEST(ProcessTracerTest, AttachingToNoProcessSaysSo) {
    SharedSink sink;
    CProcessTracer tracer(sink, {});
    std::string error;
    EXPECT_FALSE(tracer.Attach({999999999}, error));
    EXPECT_EQ(error, "no such process: 999999999");
}

}  // namespace
}  // namespace vantrel
