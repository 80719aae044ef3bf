#include "cli/cli_output.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>

#include <system_error>
#endif

#include "record/le.h"

namespace vantrel::cli {
namespace {

namespace fs = std::filesystem;

// Bytes collected before one write: few system calls, little memory.
constexpr size_t kWriteBytes = size_t{1} << 20;

std::string Reason(int err) {
    return std::generic_category().message(err);
}

unsigned long ProcessId() {
#ifdef _WIN32
    return static_cast<unsigned long>(_getpid());
#else
    return static_cast<unsigned long>(::getpid());
#endif
}

bool WriteAll(std::FILE* stream, std::string& bytes) {
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), stream) == bytes.size();
    bytes.clear();
    return ok;
}

}  // namespace

bool ProbeLogFolder(std::string& error) {
    std::error_code ec;
    const fs::path folder = fs::current_path(ec);
    const std::string folderName = ec ? std::string(".") : folder.string();
    if (ec) {
        error = folderName + ": cannot create a log file in this folder: " + ec.message();
        return false;
    }
    const std::string probe = ".vantrel-log-probe-" + std::to_string(ProcessId());
    std::FILE* file = std::fopen(probe.c_str(), "wb");
    if (!file) {
        error = folderName + ": cannot create a log file in this folder: " + Reason(errno);
        return false;
    }
    std::fclose(file);
    fs::remove(probe, ec);
    return true;
}

bool WriteTestStream(std::FILE* stream, const TestFileHeader& header, const CRecordList& list) {
    std::string bytes;
    bytes.reserve(kWriteBytes + kWriteBytes / 4);
    CRecordList::ReadLock lock(list);
    const size_t count = lock.Size();
    const uint32_t fields[] = {header.DefaultMaxY, header.FilterStartTick, header.FilterStopTick,
                               static_cast<uint32_t>(count)};
    bytes.resize(kTestFileHeaderSize);
    for (size_t i = 0; i < std::size(fields); ++i)
        le::Put32(reinterpret_cast<uint8_t*>(bytes.data()) + 4 * i, fields[i]);
    for (size_t i = 0; i < count; ++i) {
        StoreRecord(*lock.At(i), bytes);
        if (bytes.size() >= kWriteBytes && !WriteAll(stream, bytes)) return false;
    }
    return WriteAll(stream, bytes) && std::fflush(stream) == 0;
}

bool StoreClaimedTest(CClaimedOutput& output, const TestFileHeader& header, const CRecordList& list,
                      std::string& error) {
    if (!WriteTestStream(output.Stream(), header, list)) {
        error = output.Path() + ": cannot write the file: " + Reason(errno);
        output.Discard();
        return false;
    }
    return output.Commit(error);
}

std::string SaveCaptureOrKeep(CClaimedOutput& output, const TestFileHeader& header,
                              const CRecordList& list) {
    std::string error;
    if (StoreClaimedTest(output, header, list, error)) return {};
    std::string keptError;
    const std::string place = StoreUnsavedTest(header, list, keptError);
    if (!place.empty()) return error.append("; the records were kept in ").append(place);
    return error.append("; the records could not be kept either: ").append(keptError);
}

}  // namespace vantrel::cli
