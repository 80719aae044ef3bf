#include "export/export_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/output_file.h"

namespace vantrel {
namespace {

// Records formatted under one read lock: at most a few megabytes of text.
constexpr size_t kRecordsPerStep = 4096;
// Text collected before one write.
constexpr size_t kWriteBytes = size_t{1} << 20;

void SetError(std::string* error, std::string text) {
    if (error) *error = std::move(text);
}

std::string SystemError(std::string_view name, const char* action, int err) {
    return std::string(name) + ": cannot " + action + ": " + std::generic_category().message(err);
}

bool WriteAll(std::FILE* stream, std::string& text) {
    const size_t written = std::fwrite(text.data(), 1, text.size(), stream);
    const bool ok = written == text.size();
    text.clear();
    return ok;
}

// `writing` names the action in a write error ("write the file").
ExportOutcome WriteRecords(std::FILE* stream, std::string_view name, const char* writing,
                           const CRecordList& list, const ExportRequest& request,
                           std::string* error) {
    const std::vector<size_t>* positions = request.positions ? &*request.positions : nullptr;
    const uint64_t generation = list.Generation();
    const size_t total = positions ? positions->size() : list.Size();
    const auto report = [&request, total](size_t done) {
        return !request.progress || request.progress(done, total);
    };

    std::string text;
    text.reserve(kWriteBytes + kWriteBytes / 4);
    AppendExportHeader(request.format, text);
    if (!report(0)) return ExportOutcome::Cancelled;
    for (size_t done = 0; done < total;) {
        const size_t end = std::min(total, done + kRecordsPerStep);
        {
            CRecordList::ReadLock lock(list);
            if (list.Generation() != generation) {
                SetError(error, std::string(name) + ": the records were cleared during the export");
                return ExportOutcome::Failed;
            }
            for (; done < end; ++done) {
                const size_t position = positions ? (*positions)[done] : done;
                const CIrpRecord* record = lock.At(position);
                if (record == nullptr) {
                    SetError(error, std::string(name) + ": record " + std::to_string(position) +
                                        " is past the end of the list");
                    return ExportOutcome::Failed;
                }
                AppendExportRecord(request.format, *record, position, request.options, text);
            }
        }
        if (text.size() >= kWriteBytes && !WriteAll(stream, text)) {
            SetError(error, SystemError(name, writing, errno));
            return ExportOutcome::Failed;
        }
        if (!report(done)) return ExportOutcome::Cancelled;
    }
    if (!WriteAll(stream, text) || std::fflush(stream) != 0) {
        SetError(error, SystemError(name, writing, errno));
        return ExportOutcome::Failed;
    }
    return ExportOutcome::Written;
}

}  // namespace

ExportOutcome ExportRecordsToFile(const std::string& path, const CRecordList& list,
                                  const ExportRequest& request, std::string* error) {
    COutputFile output;
    std::string message;
    if (!output.Claim(path, message)) {
        SetError(error, message);
        return ExportOutcome::Failed;
    }
    return ExportRecordsToClaimed(output, list, request, error);
}

ExportOutcome ExportRecordsToClaimed(COutputFile& output, const CRecordList& list,
                                     const ExportRequest& request, std::string* error) {
    std::string message;
    const ExportOutcome outcome =
        WriteRecords(output.Stream(), output.Path(), "write the file", list, request, error);
    if (outcome != ExportOutcome::Written) {
        output.Discard();
        return outcome;
    }
    // The last buffered bytes can still fail to reach the disk here.
    if (!output.Commit(message)) {
        SetError(error, message);
        return ExportOutcome::Failed;
    }
    return ExportOutcome::Written;
}

ExportOutcome ExportRecordsToStream(std::FILE* stream, std::string_view streamName,
                                    const CRecordList& list, const ExportRequest& request,
                                    std::string* error) {
    return WriteRecords(stream, streamName, "write", list, request, error);
}

}  // namespace vantrel
