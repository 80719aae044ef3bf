#pragma once
// Runs vantrel-cli as a user would, through the shell, and collects its exit
// code, standard output and standard error. Every CLI test uses this one
// runner.

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace vantrel::testing {

struct CliRun {
    int exitCode = -1;  // -1 when the program did not exit normally
    std::string out, err;
};

inline std::string ReadFileBytes(const std::filesystem::path& path) {
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

struct CliCall {
    std::string prefix;      // put before the program, e.g. "env -u VANTREL_DRIVER"
    std::string workDir;     // the folder it runs in; empty: the current one
    std::string stdoutPath;  // where standard output goes; empty: captured into `out`
};

// Runs `cli` with `args` (already quoted for the shell). Standard error, and
// standard output unless redirected, pass through files in `scratch`, which
// must exist and belong to the calling test.
inline CliRun RunCli(const std::string& cli, const std::string& args,
                     const std::filesystem::path& scratch, const CliCall& call = {}) {
    const std::filesystem::path out = scratch / "cli_stdout", err = scratch / "cli_stderr";
    const std::string stdoutPath = call.stdoutPath.empty() ? out.string() : call.stdoutPath;
    std::string command;
    if (!call.workDir.empty()) command = "cd '" + call.workDir + "' && ";
    command +=
        call.prefix + " '" + cli + "' " + args + " >'" + stdoutPath + "' 2>'" + err.string() + "'";
    // Called on the test's own thread; no thread of the test changes the
    // environment or the signal dispositions meanwhile.
    const int status = std::system(command.c_str());  // NOLINT(concurrency-mt-unsafe)
    CliRun r;
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (call.stdoutPath.empty()) r.out = ReadFileBytes(out);
    r.err = ReadFileBytes(err);
    std::filesystem::remove(out);
    std::filesystem::remove(err);
    return r;
}

}  // namespace vantrel::testing
