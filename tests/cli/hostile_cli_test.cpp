// vantrel-cli used as an unlucky or hostile user would: odd outputs (folders,
// devices, pipes, links, read-only files, its own inputs), odd inputs
// (folders, endless streams), repeated and unknown options, programs that
// cannot be run, signals and a closed standard output. Each row of the table
// runs the program once in a folder of its own and says what must follow:
// the exit code, the last line on stderr, and the files that must and must
// not be there afterwards. No row may leave a ".part" file.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "support/cli_runner.h"

namespace vantrel {
namespace {

using vantrel::testing::CliCall;
using vantrel::testing::CliRun;
using vantrel::testing::ReadFileBytes;
using vantrel::testing::RunCli;

namespace fs = std::filesystem;
using Folder = const fs::path&;

constexpr char kRate[] = "env VANTREL_SIM_RATE=200000";
constexpr char kCapture[] = "capture --all-devices --count 200";

using Step = std::function<void(Folder)>;

struct Row {
    const char* name;
    std::string args;  // shell words, run in the row's folder
    int exitCode;
    std::string message;  // regex for the last stderr line; "" for an empty stderr
    std::string prefix;   // before the program: env, setpriv, unshare
    Step prepare;         // the row's own files (t.vtl and c.db are there)
    std::vector<std::string> present, absent;
    Step check;            // anything more
    std::string stdoutTo;  // empty: captured

    Row& Prefix(std::string p) { return prefix = std::move(p), *this; }
    Row& Prepare(Step p) { return prepare = std::move(p), *this; }
    Row& Present(std::vector<std::string> names) { return present = std::move(names), *this; }
    Row& Absent(std::vector<std::string> names) { return absent = std::move(names), *this; }
    Row& Check(Step c) { return check = std::move(c), *this; }
    Row& Stdout(std::string path) { return stdoutTo = std::move(path), *this; }
};

Row R(const char* name, std::string args, int exitCode, std::string message) {
    return Row{name, std::move(args), exitCode, std::move(message), "", {}, {}, {}, {}, ""};
}

bool IsRoot() {
    return ::geteuid() == 0;
}

// As root, the row runs as "nobody", for whom permissions still count.
std::string Unprivileged() {
    return IsRoot() ? "setpriv --reuid=65534 --regid=65534 --clear-groups" : "";
}

// A private mount namespace with a 64 KiB tmpfs on `small`, where permitted.
std::string SmallDisk(bool enter) {
    return std::string("unshare -m sh -c 'mount -t tmpfs -o size=64k vantrel small && ") +
           (enter ? "cd small && " : "") + "exec \"$@\"' sh";
}

void Write(const fs::path& file, const std::string& bytes, fs::perms mode = fs::perms(0644)) {
    std::ofstream(file, std::ios::binary) << bytes;
    fs::permissions(file, mode);
}

void Bind(const fs::path& file) {
    const int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", file.c_str());
    ASSERT_EQ(::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(s);  // the socket file stays
}

// The log names of this second and the next few, taken before the capture
// starts, so that its log must find a free name.
void TakeLogNames(Folder dir) {
    const std::time_t now = std::time(nullptr);
    for (int ahead = 0; ahead < 4; ++ahead) {
        const std::time_t t = now + ahead;
        std::tm local{};
        ::localtime_r(&t, &local);
        char name[96];
        std::snprintf(name, sizeof name, "%i-%i-%i %i.%i.%i.log", local.tm_mon + 1, local.tm_mday,
                      local.tm_year + 1900, local.tm_hour, local.tm_min, local.tm_sec);
        Write(dir / name, "an older log");
    }
}

class HostileCliTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_base = fs::temp_directory_path() / ("vantrel_hostile_" + std::to_string(::getpid()));
        fs::remove_all(s_base);
        fs::create_directories(s_base / "seed");
        fs::permissions(s_base, fs::perms(0755));
        CliCall call;
        call.workDir = (s_base / "seed").string();
        call.prefix = kRate;
        ASSERT_EQ(
            RunCli(VANTREL_CLI, std::string(kCapture) + " --save t.vtl", s_base, call).exitCode, 0);
        ASSERT_EQ(RunCli(VANTREL_CLI, "catalogue-create c.db --sample", s_base, call).exitCode, 0);
        // NOLINTNEXTLINE(concurrency-mt-unsafe): the tests run one command at a time
        s_smallDisk = std::system("unshare -m sh -c 'mount -t tmpfs none /mnt' 2>/dev/null") == 0;
    }
    static void TearDownTestSuite() { fs::remove_all(s_base); }

    // A fresh folder with t.vtl and c.db.
    static fs::path Folder(const std::string& name) {
        fs::path dir = s_base / name;
        fs::remove_all(dir);
        fs::create_directories(dir / "small");
        fs::permissions(dir, fs::perms(0755));
        fs::copy_file(s_base / "seed" / "t.vtl", dir / "t.vtl");
        fs::copy_file(s_base / "seed" / "c.db", dir / "c.db");
        return dir;
    }

    static void RunRow(const Row& row) {
        SCOPED_TRACE(row.name);
        if (row.prefix.rfind("unshare", 0) == 0 && !s_smallDisk) {
            std::printf("[ skipped ] %s: no private mount namespace here\n", row.name);
            return;
        }
        const fs::path dir = Folder(row.name);
        if (row.prepare) row.prepare(dir);
        CliCall call;
        call.workDir = dir.string();
        call.prefix = row.prefix + " " + kRate;
        call.stdoutPath = row.stdoutTo;
        const CliRun r = RunCli(VANTREL_CLI, row.args, s_base, call);
        EXPECT_EQ(r.exitCode, row.exitCode) << r.err;
        std::string last = r.err;
        if (!last.empty() && last.back() == '\n') last.pop_back();
        last = last.substr(last.rfind('\n') == std::string::npos ? 0 : last.rfind('\n') + 1);
        if (row.message.empty())
            EXPECT_EQ(r.err, "");
        else
            EXPECT_TRUE(std::regex_search(last, std::regex(row.message)))
                << "last line: " << last << "\nwanted: " << row.message;
        for (const std::string& name : row.present)
            EXPECT_TRUE(fs::exists(fs::symlink_status(dir / name))) << name << " is missing";
        for (const std::string& name : row.absent)
            EXPECT_FALSE(fs::exists(fs::symlink_status(dir / name))) << name << " is there";
        for (const auto& e : fs::recursive_directory_iterator(dir))
            EXPECT_NE(e.path().extension(), ".part") << e.path();
        if (row.check) row.check(dir);
    }

    // Set once by SetUpTestSuite, read by the suite's tests.
    // NOLINTBEGIN(cppcoreguidelines-avoid-non-const-global-variables)
    static inline fs::path s_base;
    static inline bool s_smallDisk = false;
    // NOLINTEND(cppcoreguidelines-avoid-non-const-global-variables)
};

const std::string kTwice = "given twice; usage: ";
const std::string kFullStdout =
    "^vantrel-cli: cannot write to standard output: No space left on device$";

Step MakeDir(const char* name) {
    return [name](Folder d) { fs::create_directory(d / name); };
}
Step MakeFile(const char* name, const std::string& bytes, fs::perms mode = fs::perms(0644)) {
    return [=](Folder d) { Write(d / name, bytes, mode); };
}
Step SameAsSeed(const char* name) {
    return [name](Folder d) {
        EXPECT_TRUE(ReadFileBytes(d / name) == ReadFileBytes(d / "t.vtl")) << name;
    };
}
Step OneKept() {
    return [](Folder d) {
        size_t kept = 0;
        for (const auto& e : fs::directory_iterator(d))
            kept += e.path().filename().string().rfind("vantrel-unsaved-", 0) == 0;
        EXPECT_EQ(kept, 1u);
    };
}
Step ModeAndOwnerKept() {
    return [](Folder d) {
        SameAsSeed("m.vtl")(d);
        struct stat st {};
        ASSERT_EQ(::stat((d / "m.vtl").c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0600u);
        if (IsRoot()) {
            EXPECT_EQ(st.st_uid, 65534u);
        }
    };
}
Step ReaderOf(const char* fifo) {
    return [fifo](Folder d) {
        ::mkfifo((d / fifo).c_str(), 0644);
        const std::string reader =
            "cat '" + (d / fifo).string() + "' > '" + (d / "got").string() + "' & sleep 0.3";
        // NOLINTNEXTLINE(concurrency-mt-unsafe): the tests run one command at a time
        ASSERT_EQ(std::system(reader.c_str()), 0);
    };
}
Step ReaderGotTheTest() {
    return [](Folder d) {
        const size_t size = ReadFileBytes(d / "t.vtl").size();
        for (int i = 0; i < 100 && ReadFileBytes(d / "got").size() < size; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        SameAsSeed("got")(d);
    };
}
Step LogsKept() {
    return [](Folder d) {
        size_t older = 0, second = 0;
        for (const auto& e : fs::directory_iterator(d)) {
            const std::string name = e.path().filename().string();
            second += name.size() > 6 && name.compare(name.size() - 6, 6, "-2.log") == 0;
            older += e.path().extension() == ".log" && ReadFileBytes(e.path()) == "an older log";
        }
        EXPECT_EQ(second, 1u);
        EXPECT_EQ(older, 4u);
    };
}

// A table of cases, one row each: longer than a function is otherwise let be.
// NOLINTNEXTLINE(readability-function-size)
std::vector<Row> Rows() {
    const std::string capture = kCapture;
    const std::string folder = "^vantrel-cli: \\.: is a directory$";
    const std::string trace = "capture --trace --all-devices -- ";
    // clang-format off
    return {
        // Outputs that must not be replaced, or must be refused before any work.
        R("save_to_folder", capture + " --save out", 2, "^vantrel-cli: out: is a directory$").Prepare(MakeDir("out")),
        R("save_empty_name", capture + " --save ''", 64, "--save needs a file name"),
        R("fifo_without_reader", "roundtrip t.vtl f", 2, "^vantrel-cli: f: no process reads this FIFO$")
            .Prepare([](Folder d) { ::mkfifo((d / "f").c_str(), 0644); }),
        R("fifo_with_reader", "roundtrip t.vtl f", 0, "").Prepare(ReaderOf("f")).Check(ReaderGotTheTest()),
        R("socket_refused", "export t.vtl --format csv --output s", 2, "^vantrel-cli: s: is a socket$")
            .Prepare([](Folder d) { Bind(d / "s"); }),
        R("read_only_file", "roundtrip t.vtl ro.vtl", 2, "^vantrel-cli: ro.vtl: cannot write the file: Permission denied$")
            .Prefix(Unprivileged()).Prepare(MakeFile("ro.vtl", "keep me", fs::perms(0444)))
            .Check([](Folder d) { EXPECT_EQ(ReadFileBytes(d / "ro.vtl"), "keep me"); }),
        R("read_only_before_capture", capture + " --save ro.vtl", 2, "^vantrel-cli: ro.vtl: cannot write the file: Permission denied$")
            .Prefix(Unprivileged()).Prepare(MakeFile("ro.vtl", "keep me", fs::perms(0444))),
        R("link_followed", "roundtrip t.vtl link", 0, "").Present({"link", "target.vtl"})
            .Prepare([](Folder d) { Write(d / "target.vtl", "old"); fs::create_symlink("target.vtl", d / "link"); })
            .Check([](Folder d) { EXPECT_TRUE(fs::is_symlink(d / "link")); SameAsSeed("target.vtl")(d); }),
        R("dangling_link_followed", "export t.vtl --format csv --output link", 0, "").Present({"new.csv"})
            .Prepare([](Folder d) { fs::create_symlink("new.csv", d / "link"); })
            .Check([](Folder d) { EXPECT_TRUE(fs::is_symlink(d / "link")); }),
        R("mode_and_owner_kept", "roundtrip t.vtl m.vtl", 0, "").Check(ModeAndOwnerKept())
            .Prepare([](Folder d) {
                Write(d / "m.vtl", "old", fs::perms(0600));
                if (IsRoot()) { ASSERT_EQ(::chown((d / "m.vtl").c_str(), 65534, 65534), 0); }
            }),
        R("export_onto_its_input", "export t.vtl --format csv --output ./t.vtl", 2,
          "^vantrel-cli: ./t.vtl: is the same file as the input t.vtl$").Check(SameAsSeed("t.vtl")),
        R("roundtrip_onto_hard_link", "roundtrip t.vtl h.vtl", 2, "h.vtl: is the same file as the input t.vtl$")
            .Prepare([](Folder d) { fs::create_hard_link(d / "t.vtl", d / "h.vtl"); }),
        R("graph_onto_its_input", "graph t.vtl --output l.png", 2, "l.png: is the same file as the input t.vtl$")
            .Prepare([](Folder d) { fs::create_symlink("t.vtl", d / "l.png"); }).Check(SameAsSeed("t.vtl")),
        R("save_onto_catalogue", capture + " --catalogue c.db --save c.db --input-template DISK_GEOMETRY", 2,
          "c.db: is the same file as the input c.db$"),
        // A save that fails at its end keeps the records; a log that fails is told.
        R("save_fails_at_the_end", "capture --all-devices --count 5000 --save small/t.vtl", 2, "^captured ")
            .Prefix(SmallDisk(false)).Absent({"small/t.vtl"}).Check(OneKept()),
        R("log_fails", "capture --all-devices --count 20000 --log", 2, "^captured ").Prefix(SmallDisk(true)),
        R("log_never_overwritten", "capture --all-devices --count 20 --log", 0, "^captured ")
            .Prepare(TakeLogNames).Check(LogsKept()),
        // Inputs that are no test file.
        R("records_folder", "records d", 2, "^vantrel-cli: d: is a directory$").Prepare(MakeDir("d")),
        R("dump_folder", "dump .", 2, folder),
        R("stats_folder", "stats .", 2, folder),
        R("points_folder", "points .", 2, folder),
        R("roundtrip_folder", "roundtrip . o.vtl", 2, folder).Absent({"o.vtl"}),
        R("export_folder", "export . --format csv", 2, folder),
        R("graph_folder", "graph . --output g.png", 2, folder).Absent({"g.png"}),
        R("import_folder", "catalogue-import c.db .", 2, "^vantrel-cli: catalogue-import: \\.: is a directory$"),
        R("endless_input", "records /dev/zero", 2, "^vantrel-cli: /dev/zero: is larger than 1073741824 bytes$"),
        // Programs that cannot be traced, processes that cannot be attached.
        R("trace_folder", trace + "./d", 2, "^vantrel-cli: cannot run ./d: is a directory$").Prepare(MakeDir("d")),
        R("trace_not_executable", trace + "./x", 2, "^vantrel-cli: cannot run ./x: permission denied$")
            .Prepare(MakeFile("x", "#!/bin/sh\n")),
        R("trace_empty", trace + "./x", 2, "^vantrel-cli: cannot run ./x: empty file$")
            .Prepare(MakeFile("x", "", fs::perms(0755))),
        R("trace_bad_interpreter", trace + "./x", 2, "^vantrel-cli: cannot run ./x: bad interpreter /no/such/shell$")
            .Prepare(MakeFile("x", "#!/no/such/shell\n", fs::perms(0755))),
        R("trace_not_found", trace + "vantrel-no-such-command", 2, "^vantrel-cli: no such command: vantrel-no-such-command$"),
        R("trace_itself", "capture --all-devices --trace-pid $$", 2, "^vantrel-cli: cannot trace vantrel-cli itself$")
            .Prefix("exec"),
        // Options.
        R("unknown_template", "dump t.vtl --catalogue c.db --input-template NoSuch", 2,
          "^vantrel-cli: no template named \"NoSuch\" in the catalogue c.db$"),
        R("unknown_template_capture", capture + " --catalogue c.db --output-template NoSuch --save s.vtl", 2,
          "no template named \"NoSuch\" in the catalogue c.db$").Absent({"s.vtl"}),
        R("not_a_catalogue", "dump t.vtl --catalogue t.vtl --input-template DISK_GEOMETRY", 2,
          "^vantrel-cli: cannot open the catalogue t.vtl: file is not a database$"),
        R("save_twice", capture + " --save a.vtl --save b.vtl", 64, "^vantrel-cli: --save " + kTwice).Absent({"a.vtl", "b.vtl"}),
        R("count_twice", "capture --all-devices --count 1 --count 2", 64, "^vantrel-cli: --count " + kTwice),
        R("majors_twice", "capture --all-devices --majors 1 --majors 2", 64, "^vantrel-cli: --majors " + kTwice),
        R("devices_repeat", "capture --device 0x8a3e6030 --device 0x8a3e1b08 --count 5", 0, "^captured "),
        R("export_output_twice", "export t.vtl --format csv --output a --output b", 64, "^vantrel-cli: --output " + kTwice),
        R("points_limits_nan", "points t.vtl --limits nan nan nan nan", 2, "^vantrel-cli: not a number: nan$"),
        R("points_limits_reversed", "points t.vtl --limits 5 1 0 1", 2,
          "^vantrel-cli: each minimum of --limits must not be above its maximum$"),
        R("export_format_unknown", "export t.vtl --format xml", 64,
          "^vantrel-cli: not an export format \\(csv or jsonl\\): xml; usage: "),
        R("capture_format_unknown", "capture --all-devices --format xml", 64,
          "^vantrel-cli: not an output format \\(text or jsonl\\): xml; usage: "),
        R("catalogue_table_unknown", "catalogue-export c.db --format csv --table foo", 64, "^vantrel-cli: usage: "),
        // Messages.
        R("escapes_escaped", "records \"$(printf 'a\\033[31mb')\"", 2,
          "^vantrel-cli: a\\\\x1b\\[31mb: cannot open the file: No such file or directory$"),
        R("graph_says_nothing", "graph t.vtl --output g.png", 0, "").Prefix("env -u XDG_RUNTIME_DIR").Present({"g.png"}),
        R("json_with_bom", "catalogue-import c.db j.json", 2, "^vantrel-cli: catalogue-import: j.json: line 1: ")
            .Prepare(MakeFile("j.json", "\xEF\xBB\xBF  [1]")),
        R("json_blank", "catalogue-import c.db j.json", 2, "^vantrel-cli: catalogue-import: j.json: ")
            .Prepare(MakeFile("j.json", " \n")),
        R("sim_devices_match_none", "capture --all-devices --count 5", 2,
          "^vantrel-cli: no device object matches VANTREL_SIM_DEVICES$").Prefix("env VANTREL_SIM_DEVICES=none"),
        // Standard output that takes nothing.
        R("templates_full", "templates --catalogue c.db", 2, kFullStdout).Stdout("/dev/full"),
        R("catalogue_export_full", "catalogue-export c.db --format json", 2, kFullStdout).Stdout("/dev/full"),
        R("devices_full", "devices", 2, kFullStdout).Stdout("/dev/full"),
        R("ioctl_full", "ioctl 0x00220000", 2, kFullStdout).Stdout("/dev/full"),
        R("dump_full", "dump t.vtl", 2, kFullStdout).Stdout("/dev/full"),
        R("capture_full", capture + " --save s.vtl", 2, "^captured ").Present({"s.vtl"}).Stdout("/dev/full"),
    };
    // clang-format on
}

TEST_F(HostileCliTest, EveryRowEndsAsItShould) {
    for (const Row& row : Rows()) RunRow(row);
}

// Signals and a closed standard output end a capture as Ctrl-C does: the
// records are saved and no temporary file stays.
TEST_F(HostileCliTest, StopSignalsAndAClosedOutputKeepTheRecords) {
    struct Case {
        const char* name;
        std::string pipeline;  // the capture is "$CLI"
        int exitCode;
    };
    const std::string capture = "\"$CLI\" capture --all-devices --seconds 60 --save s.vtl";
    const Case cases[] = {
        {"sigterm", capture + " >/dev/null 2>err & sleep 1; kill -TERM $!; wait $!", 0},
        {"sighup", capture + " >/dev/null 2>err & sleep 1; kill -HUP $!; wait $!", 0},
        {"closed_stdout", capture + " 2>err | head -c 1 >/dev/null; exit ${PIPESTATUS[0]}", 141},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path dir = Folder(c.name);
        const auto start = std::chrono::steady_clock::now();
        const std::string command = "cd '" + dir.string() + "' && CLI='" + VANTREL_CLI +
                                    "' VANTREL_SIM_RATE=200000 bash -c '" +
                                    std::regex_replace(c.pipeline, std::regex("'"), "'\\''") + "'";
        // NOLINTNEXTLINE(concurrency-mt-unsafe): the tests run one command at a time
        const int status = std::system(command.c_str());
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), c.exitCode) << ReadFileBytes(dir / "err");
        EXPECT_TRUE(fs::is_regular_file(dir / "s.vtl"));
        CliCall call;
        call.workDir = dir.string();
        const CliRun records = RunCli(VANTREL_CLI, "records s.vtl", s_base, call);
        EXPECT_EQ(records.exitCode, 0) << records.err;
        EXPECT_NE(records.out.find("count="), std::string::npos);
        EXPECT_EQ(records.out.find("count=0\n"), std::string::npos) << "records were captured";
        for (const auto& e : fs::directory_iterator(dir))
            EXPECT_NE(e.path().extension(), ".part") << e.path();
        const std::string err = ReadFileBytes(dir / "err");
        if (c.exitCode == 141)
            EXPECT_EQ(err.find("captured "), std::string::npos) << "silent: " << err;
        else
            EXPECT_NE(err.find("captured "), std::string::npos) << "the summary: " << err;
    }
}

// Root can write onto a device node; every command that writes a file must
// write into it, never replace it.
TEST_F(HostileCliTest, ADeviceNodeStaysADeviceNode) {
    if (!IsRoot()) GTEST_SKIP() << "creating a device node needs root";
    const fs::path dir = Folder("device_node");
    if (::mknod((dir / "null").c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0)
        GTEST_SKIP() << "mknod is not permitted here: " << std::generic_category().message(errno);
    const std::string writers[] = {
        std::string(kCapture) + " --save null",
        "roundtrip t.vtl null",
        "export t.vtl --format jsonl --output null",
        "graph t.vtl --output null.png",
    };
    fs::create_symlink("null", dir / "null.png");
    for (const std::string& args : writers) {
        SCOPED_TRACE(args);
        CliCall call;
        call.workDir = dir.string();
        call.prefix = kRate;
        const CliRun r = RunCli(VANTREL_CLI, args, s_base, call);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        struct stat st {};
        ASSERT_EQ(::stat((dir / "null").c_str(), &st), 0);
        EXPECT_TRUE(S_ISCHR(st.st_mode));
        EXPECT_EQ(st.st_rdev, makedev(1, 3));
    }
    for (const auto& e : fs::directory_iterator(dir))
        EXPECT_NE(e.path().extension(), ".part") << e.path();
}

}  // namespace
}  // namespace vantrel
