#pragma once
// Files a command was asked to write. Each is claimed before the command
// does any work: the temporary file that the output will be renamed from is
// created at once, next to the output, so that a missing folder, a path under
// a regular file or a folder that takes no files stops the command before
// the driver is opened, a filter is added or an input is read. The output
// appears only once it is complete; a claim that is never committed leaves
// nothing behind.

#include <cstdio>
#include <string>

#include "record/record_list.h"
#include "record/test_file.h"

namespace vantrel::cli {

class CClaimedOutput {
public:
    CClaimedOutput() = default;
    ~CClaimedOutput() { Discard(); }
    CClaimedOutput(const CClaimedOutput&) = delete;
    CClaimedOutput& operator=(const CClaimedOutput&) = delete;

    // Creates "<path>.<8 hex digits>.part", never opening a file that is
    // already there. False, with "<path>: cannot create the file: <reason>".
    bool Claim(const std::string& path, std::string& error);
    bool IsClaimed() const { return !m_tempPath.empty(); }
    const std::string& Path() const { return m_path; }
    const std::string& TempPath() const { return m_tempPath; }
    // The temporary file, open for writing at its start; null once closed.
    std::FILE* Stream() const { return m_file; }
    // Closes the stream, for writers that open the temporary file by name;
    // the claim stays. False, errno set, when buffered bytes were lost.
    bool CloseStream();
    // Closes the temporary file and renames it to the path, replacing a file
    // there. False, with "<path>: cannot write the file: <reason>" or
    // "<path>: cannot put the finished file in place: <reason>"; then the
    // temporary file is gone and the path untouched.
    bool Commit(std::string& error);
    // Closes and removes the temporary file.
    void Discard();

private:
    std::string m_path, m_tempPath;
    std::FILE* m_file = nullptr;
};

// The log is created in the current folder when the filter is added, under a
// name taken from that moment, so only the folder can be tried beforehand: a
// probe file is created there and removed. False, with "<folder>: cannot
// create a log file in this folder: <reason>".
bool ProbeLogFolder(std::string& error);

// Writes a whole test to `stream` as the test file stores it (the bytes of
// StoreTestFile) and flushes. False, errno set, when a write fails.
bool WriteTestStream(std::FILE* stream, const TestFileHeader& header, const CRecordList& list);

// Stores a test into the claimed output and commits it. False, with the
// output's one-line reason; the output is then discarded.
bool StoreClaimedTest(CClaimedOutput& output, const TestFileHeader& header, const CRecordList& list,
                      std::string& error);

// The environment variable that makes the capture's save fail as a disk that
// filled up during the capture would (any non-empty value); tests set it.
inline constexpr char kFailSaveVariable[] = "VANTREL_CLI_FAIL_SAVE";

// Saves a capture into the claimed --save output. When that fails, the
// records are not lost: they go to "vantrel-unsaved-<pid>.vtl" in the current
// folder, or in the temporary folder when that fails too. Empty when the
// save succeeded; otherwise the one line to report, naming where the records
// went (or why they could not be kept).
std::string SaveCaptureOrKeep(CClaimedOutput& output, const TestFileHeader& header,
                              const CRecordList& list);

}  // namespace vantrel::cli
