#pragma once
// The test file (".vtl"): a saved capture. A plain little-endian byte stream
// without magic or version:
//
//   DWORD default maximum Y, DWORD filter start tick, DWORD filter stop tick,
//   DWORD record count N, then N records.
//
// A record: DWORD latency (float bits), DWORD tick count, string description,
// string object name, DWORDs device object, major, minor, start time low and
// high, end time low and high, status, then a parameter block whose layout
// depends on the major and minor function (0 to 216 bytes).
//
// A string is a length prefix and its bytes (ANSI, no terminator, never
// re-encoded): one byte below 255; 0xFF and a WORD up to 65533; 0xFF, the
// WORD 0xFFFF and a DWORD above that.
//
// These functions only move bytes. What the header's maximum Y and ticks do
// to the graph is the caller's business.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "record/irp_record.h"
#include "record/record_list.h"

namespace vantrel {

// The four header values as the file stores them.
struct TestFileHeader {
    uint32_t DefaultMaxY = 0;      // graph default maximum Y, whole milliseconds
    uint32_t FilterStartTick = 0;  // tick count when the filter was added
    uint32_t FilterStopTick = 0;   // tick count when it was removed
    // The number of records. Filled by a load; a store writes the number of
    // records it actually writes and ignores this value.
    uint32_t RecordCount = 0;
};

inline constexpr size_t kTestFileHeaderSize = 16;

// Size in bytes of the string length prefix for a string of `length` bytes.
size_t StringPrefixSize(size_t length);

// Number of parameter-block bytes stored for a record (0 to 216).
size_t StoredBlockSize(const IRP_CAPTURE_RECORD& capture);
// Number of bytes one record takes in a test file.
size_t StoredRecordSize(const CIrpRecord& record);

// Appends one record in the file layout to `out`.
void StoreRecord(const CIrpRecord& record, std::string& out);

// Stores the whole test (header values, then every record of the list in
// order) into `out`, replacing its contents. Records appended to the list
// while this runs are not included.
void StoreTestFile(const TestFileHeader& header, const CRecordList& list, std::string& out);
// Stores the whole test into a file as COutputFile places outputs (a
// complete file or none; a device written in place). False, with a one-line
// text naming the file and the problem, when it cannot be written.
bool StoreTestFile(const std::string& path, const TestFileHeader& header, const CRecordList& list,
                   std::string* error);
// Keeps a test that could not go where it was meant to (or was never
// saved) as "vantrel-unsaved-<pid>.vtl" in the current folder, or in the
// temporary folder when that fails. The path it went to; empty, with
// `error` naming the last place tried and why, when neither took it.
std::string StoreUnsavedTest(const TestFileHeader& header, const CRecordList& list,
                             std::string& error);

// Loads a whole test. The records are read into a new list that replaces the
// contents of `list` (and the header values that of `header`) only when the
// whole file was read; on failure both are untouched and `error` gets one
// line naming the file, the record index and the problem.
//
// Refused: a file that ends early anywhere; a count larger than the data; a
// string running past the end; a capability flag value wider than its bit
// field; bytes after the last record; a wide-character string marker.
// After a load, every byte of a record that the file does not carry (input
// data, output data beyond the stored bytes, parameter bytes outside the
// block) is zero.
bool LoadTestBytes(std::string_view bytes, std::string_view nameForErrors, TestFileHeader& header,
                   CRecordList& list, std::string* error);
// A file that is no regular file (a pipe, a device) is read as a stream of
// at most kStreamInputLimit bytes; a folder is refused.
bool LoadTestFile(const std::string& path, TestFileHeader& header, CRecordList& list,
                  std::string* error);

}  // namespace vantrel
