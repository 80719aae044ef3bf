// The kernel source's programs on this machine: device-file calls of a
// helper program, a pty's window size, block requests on a loop device and
// requests that never complete. Skipped where BPF programs cannot load.

#include "kernel/kernel_capture.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "devnodes/trace_devices.h"

namespace vantrel {
namespace {

namespace fs = std::filesystem;

// The helper's name as the kernel keeps it (15 characters).
constexpr char kHelperComm[] = "vantrel_trace_h";
constexpr uint32_t kAllMajors = (1u << 28) - 1;
const uint32_t kNull = TraceDeviceObject(false, 1, 3);
const uint32_t kZero = TraceDeviceObject(false, 1, 5);

uint64_t NowNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1'000'000'000u + static_cast<uint64_t>(ts.tv_nsec);
}

struct Seen {
    uint32_t device, major, length, status;
    uint64_t offset;
    bool operator==(const Seen&) const = default;
    bool operator<(const Seen& o) const {
        return std::tie(device, major, length, offset, status) <
               std::tie(o.device, o.major, o.length, o.offset, o.status);
    }
};

Seen Summary(const IRP_CAPTURE_RECORD& r) {
    const bool transfer = r.MajorFunction == IRP_MJ_READ || r.MajorFunction == IRP_MJ_WRITE;
    return {r.DeviceObject, r.MajorFunction, transfer ? r.Param32(par::Length) : 0, r.Status,
            transfer
                ? (uint64_t{r.Param32(par::ByteOffsetHigh)} << 32) | r.Param32(par::ByteOffsetLow)
                : 0};
}

class KernelCaptureTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string problem = KernelSourceProblem();
        if (!problem.empty()) GTEST_SKIP() << problem;
    }

    std::unique_ptr<CKernelCapture> Open(const KernelCaptureOptions& options = {}) {
        std::string error;
        auto capture = CKernelCapture::Open(options, error);
        EXPECT_TRUE(capture) << error;
        return capture;
    }

    // Everything the programs hand over until 100 ms pass without a record.
    static std::vector<IRP_CAPTURE_RECORD> Drain(CKernelCapture& capture) {
        std::vector<IRP_CAPTURE_RECORD> records;
        const CKernelCapture::Sink sink = [&](const IRP_CAPTURE_RECORD& r) {
            records.push_back(r);
        };
        for (int quiet = 0; quiet < 10;) quiet = capture.Poll(10, sink) ? 0 : quiet + 1;
        return records;
    }

    static void RunHelper(const char* what) {
        const pid_t child = fork();
        if (child == 0) {
            execl(VANTREL_TRACE_HELPER, VANTREL_TRACE_HELPER, what, static_cast<char*>(nullptr));
            _exit(127);
        }
        int status = 0;
        waitpid(child, &status, 0);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << what;
    }
};

TEST_F(KernelCaptureTest, HelpersReadsOfZeroAndWritesToNullWithExactLengths) {
    KernelCaptureOptions options;
    options.comm = kHelperComm;
    auto capture = Open(options);
    if (!capture) return;
    capture->SetFilter(kNull, kAllMajors);
    capture->SetFilter(kZero, kAllMajors);
    RunHelper("devices");
    std::vector<Seen> seen;
    for (const IRP_CAPTURE_RECORD& r : Drain(*capture)) seen.push_back(Summary(r));
    std::sort(seen.begin(), seen.end());
    // Opens, the two writes, the four reads (one through a duplicate, one in
    // a child) and a cleanup and close for each close; the failed open and
    // the read on a closed descriptor have no device file.
    std::vector<Seen> expected = {
        {kNull, IRP_MJ_CREATE, 0, 0, 0},   {kNull, IRP_MJ_CLOSE, 0, 0, 0},
        {kNull, IRP_MJ_WRITE, 100, 0, 0},  {kNull, IRP_MJ_WRITE, 4096, 0, 0},
        {kNull, IRP_MJ_CLEANUP, 0, 0, 0},  {kZero, IRP_MJ_CREATE, 0, 0, 0},
        {kZero, IRP_MJ_CLOSE, 0, 0, 0},    {kZero, IRP_MJ_CLOSE, 0, 0, 0},
        {kZero, IRP_MJ_READ, 7, 0, 0},     {kZero, IRP_MJ_READ, 33, 0, 0},
        {kZero, IRP_MJ_READ, 64, 0, 4096}, {kZero, IRP_MJ_READ, 512, 0, 0},
        {kZero, IRP_MJ_CLEANUP, 0, 0, 0},  {kZero, IRP_MJ_CLEANUP, 0, 0, 0},
    };
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(capture->Counts().dropped, 0u);
}

TEST_F(KernelCaptureTest, PtyWindowSizeInTheOutputBytes) {
    KernelCaptureOptions options;
    options.comm = kHelperComm;
    auto capture = Open(options);
    if (!capture) return;
    // Nothing is known: every node, the helper's new pty included, is one
    // of the "other device nodes".
    capture->SetKnown({});
    capture->SetFilter(kTraceOtherNodesObject, 1u << IRP_MJ_DEVICE_CONTROL);
    RunHelper("tty");
    const std::vector<IRP_CAPTURE_RECORD> records = Drain(*capture);
    const auto it = std::find_if(records.begin(), records.end(), [](const IRP_CAPTURE_RECORD& r) {
        return r.Param32(par::IoControlCode) == 0x5413;  // TIOCGWINSZ
    });
    ASSERT_NE(it, records.end());
    EXPECT_EQ(it->DeviceObject, kTraceOtherNodesObject);
    EXPECT_EQ(it->Status, 0u);
    EXPECT_EQ(it->Param32(par::OutputBufferLength), 8u);
    EXPECT_EQ(it->Param32(par::InputBufferLength), 0u);
    const uint8_t window[8] = {31, 0, 97, 0, 0, 0, 0, 0};  // rows, columns, no pixels
    EXPECT_EQ(std::memcmp(it->OutputData, window, sizeof window), 0);
}

TEST_F(KernelCaptureTest, ThirtyTwoBitCallNumbersAreNotReadAsTheirSixtyFourBitNamesakes) {
    KernelCaptureOptions options;
    options.pids = {getpid()};
    auto capture = Open(options);
    if (!capture) return;
    capture->SetFilter(kZero, kAllMajors);
    const int fd = open("/dev/zero", O_RDONLY);
    ASSERT_GE(fd, 0);
    void* low =
        mmap(nullptr, 4096, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_32BIT, -1, 0);
    ASSERT_NE(low, MAP_FAILED);
    // The 32-bit read (number 3) is the 64-bit close's number; the 64-bit
    // argument register holds the descriptor too, as it may by chance.
    long got = 3;
    asm volatile("int $0x80" : "+a"(got) : "b"(fd), "c"(low), "d"(13), "D"(fd) : "memory");
    munmap(low, 4096);
    close(fd);
    if (got != 13) GTEST_SKIP() << "no 32-bit system calls here";
    std::vector<uint32_t> majors;
    for (const IRP_CAPTURE_RECORD& r : Drain(*capture)) majors.push_back(r.MajorFunction);
    EXPECT_EQ(majors, (std::vector<uint32_t>{IRP_MJ_CREATE, IRP_MJ_CLEANUP, IRP_MJ_CLOSE}));
}

TEST_F(KernelCaptureTest, RequestWithoutCompletionExpiresAndIsCounted) {
    KernelCaptureOptions options;
    options.expirySeconds = 1;
    auto capture = Open(options);
    if (!capture) return;
    const uint64_t now = NowNs();
    ASSERT_TRUE(capture->AddPendingRequestForTest(1, now - 2'000'000'000, 0x80700000));
    ASSERT_TRUE(capture->AddPendingRequestForTest(2, now, 0x80700000));
    capture->Expire(now);
    EXPECT_EQ(capture->Counts().unfinished, 1u);
    EXPECT_EQ(capture->PendingRequests(), 1u);
    capture->Expire(now + 1'500'000'000);
    EXPECT_EQ(capture->Counts().unfinished, 2u);
    EXPECT_EQ(capture->PendingRequests(), 0u);
}

// A loop device over a file of its own, removed at the end.
class LoopDevice {
public:
    explicit LoopDevice(const fs::path& backing) {
        std::ofstream(backing).close();
        fs::resize_file(backing, 4 << 20);
        const std::string command = "losetup -f --show '" + backing.string() + "' 2>/dev/null";
        if (FILE* p = popen(command.c_str(), "r")) {
            char line[256] = {};
            if (std::fgets(line, sizeof line, p))
                m_path = std::string(line, std::strcspn(line, "\n"));
            pclose(p);
        }
    }
    ~LoopDevice() {
        // NOLINTNEXTLINE(concurrency-mt-unsafe): the tests run one command at a time
        if (!m_path.empty()) std::system(("losetup -d '" + m_path + "'").c_str());
    }
    const std::string& Path() const { return m_path; }
    // Completed reads and writes, from the block layer's own statistics.
    std::pair<uint64_t, uint64_t> Completed() const {
        std::ifstream stat("/sys/block/" + fs::path(m_path).filename().string() + "/stat");
        uint64_t f[5] = {};
        for (uint64_t& v : f) stat >> v;
        return {f[0], f[4]};
    }

private:
    std::string m_path;
};

TEST_F(KernelCaptureTest, LoopDeviceDirectIoGivesExactLengthsOffsetsAndCounts) {
    const fs::path backing =
        fs::temp_directory_path() / ("vantrel_loop_" + std::to_string(getpid()));
    LoopDevice loop(backing);
    if (loop.Path().empty()) {
        fs::remove(backing);
        GTEST_SKIP() << "no loop device could be set up here";
    }
    struct stat st {};
    ASSERT_EQ(stat(loop.Path().c_str(), &st), 0);
    const uint32_t object = TraceDeviceObject(true, major(st.st_rdev), minor(st.st_rdev));
    auto capture = Open();
    if (!capture) return;
    capture->SetFilter(object, (1u << IRP_MJ_READ) | (1u << IRP_MJ_WRITE));
    const auto before = loop.Completed();
    const int fd = open(loop.Path().c_str(), O_RDWR | O_DIRECT);
    ASSERT_GE(fd, 0);
    void* buffer = nullptr;
    ASSERT_EQ(posix_memalign(&buffer, 4096, 16384), 0);
    std::memset(buffer, 0x3C, 16384);
    EXPECT_EQ(pwrite(fd, buffer, 4096, 8192), 4096);
    EXPECT_EQ(pwrite(fd, buffer, 8192, 65536), 8192);
    EXPECT_EQ(pread(fd, buffer, 4096, 8192), 4096);
    EXPECT_EQ(pread(fd, buffer, 16384, 1 << 20), 16384);
    close(fd);
    std::free(buffer);
    const std::vector<IRP_CAPTURE_RECORD> records = Drain(*capture);
    const auto after = loop.Completed();
    std::vector<Seen> seen;
    seen.reserve(records.size());
    for (const IRP_CAPTURE_RECORD& r : records) seen.push_back(Summary(r));
    for (const Seen& want : std::vector<Seen>{{object, IRP_MJ_WRITE, 4096, 0, 8192},
                                              {object, IRP_MJ_WRITE, 8192, 0, 65536},
                                              {object, IRP_MJ_READ, 4096, 0, 8192},
                                              {object, IRP_MJ_READ, 16384, 0, 1 << 20}})
        EXPECT_NE(std::find(seen.begin(), seen.end(), want), seen.end())
            << "length " << want.length << " at " << want.offset;
    const auto reads = std::count_if(seen.begin(), seen.end(),
                                     [](const Seen& s) { return s.major == IRP_MJ_READ; });
    EXPECT_EQ(static_cast<uint64_t>(reads), after.first - before.first);
    EXPECT_EQ(seen.size() - static_cast<size_t>(reads), after.second - before.second);
    fs::remove(backing);
}

}  // namespace
}  // namespace vantrel
