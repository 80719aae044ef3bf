#pragma once
// Exporting many records at once: to a file, which appears only when the
// export is complete, or to an open stream such as standard output.
//
// Threads: the export runs on the caller's thread, which may be any thread.
// It reads the list in steps of a few thousand records, each under a
// CRecordList::ReadLock, and writes and reports progress between the steps
// with no lock held, so a progress callback may pump events or wait for a
// thread that clears the list. Records appended while it runs are not
// included; a Clear or Swap of the list during the export fails it.

#include <cstddef>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "export/record_export.h"
#include "platform/output_file.h"
#include "record/record_list.h"

namespace vantrel {

// Called with the records written so far and the number to write: once
// before the first record, after each step, and once at the end. Returns
// false to cancel the export.
using ExportProgress = std::function<bool(size_t done, size_t total)>;

struct ExportRequest {
    ExportFormat format = ExportFormat::Csv;
    ExportOptions options;
    // The records to write, by position in the list, in this order (the
    // index field carries the position). Unset: the whole list as it stands
    // when the export starts.
    std::optional<std::vector<size_t>> positions;
    ExportProgress progress;  // may be empty
};

enum class ExportOutcome { Written, Cancelled, Failed };

// Writes the export to `path` as COutputFile places outputs: a temporary
// file renamed to `path` once every record is written, a device in place.
// Cancelled or Failed leave no file behind, neither the temporary one nor a
// part of `path`, and an existing file at `path` untouched. On Failed,
// `error` gets one line naming `path` and the reason.
ExportOutcome ExportRecordsToFile(const std::string& path, const CRecordList& list,
                                  const ExportRequest& request, std::string* error);
// The same into an output claimed beforehand; it is committed when written
// and discarded otherwise.
ExportOutcome ExportRecordsToClaimed(COutputFile& output, const CRecordList& list,
                                     const ExportRequest& request, std::string* error);

// Writes the export to an open stream and flushes it. On Failed, `error`
// gets one line naming `streamName` and the reason. A cancelled export may
// have written part of the records.
ExportOutcome ExportRecordsToStream(std::FILE* stream, std::string_view streamName,
                                    const CRecordList& list, const ExportRequest& request,
                                    std::string* error);

}  // namespace vantrel
