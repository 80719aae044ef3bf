#include "cli/cli_output.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>

#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

#include "record/le.h"

namespace vantrel::cli {
namespace {

namespace fs = std::filesystem;

// Bytes collected before one write: few system calls, little memory.
constexpr size_t kWriteBytes = size_t{1} << 20;

std::string Reason(int err) {
    return std::strerror(err);
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

bool CClaimedOutput::Claim(const std::string& path, std::string& error) {
    Discard();
    std::random_device seed;
    std::mt19937 random(seed());
    int err = EEXIST;
    for (int attempt = 0; attempt < 16 && err == EEXIST; ++attempt) {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, ".%08x.part", static_cast<unsigned>(random()));
        const std::string temp = path + suffix;
        // "x": fail rather than take over a file that is already there.
        if (std::FILE* file = std::fopen(temp.c_str(), "wbx")) {
            m_path = path;
            m_tempPath = temp;
            m_file = file;
            return true;
        }
        err = errno;
    }
    error = path + ": cannot create the file: " + Reason(err);
    return false;
}

bool CClaimedOutput::CloseStream() {
    if (!m_file) return true;
    const bool ok = std::fclose(m_file) == 0;
    m_file = nullptr;
    return ok;
}

bool CClaimedOutput::Commit(std::string& error) {
    if (!CloseStream()) {
        error = m_path + ": cannot write the file: " + Reason(errno);
        Discard();
        return false;
    }
    std::error_code ec;
    fs::rename(m_tempPath, m_path, ec);
    if (ec) {
        error = m_path + ": cannot put the finished file in place: " + ec.message();
        Discard();
        return false;
    }
    m_tempPath.clear();
    return true;
}

void CClaimedOutput::Discard() {
    if (m_file) std::fclose(m_file);
    m_file = nullptr;
    if (m_tempPath.empty()) return;
    std::error_code ignored;
    fs::remove(m_tempPath, ignored);
    m_tempPath.clear();
}

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
    const char* fail = std::getenv(kFailSaveVariable);
    if (fail && *fail) {
        error = output.Path() + ": cannot write the file: " + Reason(ENOSPC);
        output.Discard();
    } else if (StoreClaimedTest(output, header, list, error)) {
        return {};
    }

    const std::string name = "vantrel-unsaved-" + std::to_string(ProcessId()) + ".vtl";
    std::error_code ec;
    const fs::path temporary = fs::temp_directory_path(ec);
    std::string keptError;
    for (const std::string& place : {name, ec ? std::string() : (temporary / name).string()}) {
        if (place.empty()) continue;
        CClaimedOutput kept;
        if (kept.Claim(place, keptError) && StoreClaimedTest(kept, header, list, keptError))
            return error.append("; the records were kept in ").append(place);
    }
    if (ec) keptError += "; no temporary folder: " + ec.message();
    return error.append("; the records could not be kept either: ").append(keptError);
}

}  // namespace vantrel::cli
