#pragma once
// Files a command was asked to write. Each is claimed (COutputFile) before
// the command does any work, so that an output that could not be written
// stops the command before the driver is opened, a filter is added or an
// input is read.

#include <cstdio>
#include <string>

#include "platform/output_file.h"
#include "record/record_list.h"
#include "record/test_file.h"

namespace vantrel::cli {

using CClaimedOutput = COutputFile;

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

// Saves a capture into the claimed --save output. When that fails, the
// records are not lost: they go to "vantrel-unsaved-<pid>.vtl" in the current
// folder, or in the temporary folder when that fails too. Empty when the
// save succeeded; otherwise the one line to report, naming where the records
// went (or why they could not be kept).
std::string SaveCaptureOrKeep(CClaimedOutput& output, const TestFileHeader& header,
                              const CRecordList& list);

}  // namespace vantrel::cli
