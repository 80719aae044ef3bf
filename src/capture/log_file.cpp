#include "capture/log_file.h"

#include <cerrno>
#include <cstring>
#include <system_error>

#include "platform/debug_output.h"

namespace vantrel {

std::string LogFileName(const LocalTime& t) {
    char name[96];
    std::snprintf(name, sizeof name, "%i-%i-%i %i.%i.%i.log", t.month, t.day, t.year, t.hour,
                  t.minute, t.second);
    return name;
}

CLogFile::~CLogFile() {
    Close();
}

CLogFile::FilePtr CLogFile::Create(const std::string& path) {
    FilePtr file(std::fopen(path.c_str(), "wb"));
    if (file) std::setvbuf(file.get(), nullptr, _IOFBF, size_t{1} << 20);
    return file;
}

CLogFile::FilePtr CLogFile::CreateNew(const std::string& name, std::string& chosen) {
    chosen = name;
    const std::string stem = name.size() > 4 && name.compare(name.size() - 4, 4, ".log") == 0
                                 ? name.substr(0, name.size() - 4)
                                 : name;
    for (int n = 1; n < 10000; ++n) {
        const std::string candidate = n == 1 ? name : stem + "-" + std::to_string(n) + ".log";
        // "x": an existing log is never opened, let alone truncated.
        FilePtr file(std::fopen(candidate.c_str(), "wbx"));
        if (file) {
            std::setvbuf(file.get(), nullptr, _IOFBF, size_t{1} << 20);
            chosen = candidate;
            return file;
        }
        if (errno != EEXIST) return nullptr;
    }
    return nullptr;
}

void CLogFile::Start(FilePtr file, std::string path) {
    std::lock_guard lock(m_mutex);
    if (m_file) std::fclose(m_file);
    m_file = file.release();
    m_path = std::move(path);
    m_logging = true;
    m_failed = false;
}

std::string CLogFile::FailLocked() {
    const int err = errno;
    std::fclose(m_file);
    m_file = nullptr;
    m_failed = true;
    return (m_path.empty() ? std::string("the log file") : m_path) +
           ": cannot write the log file: " + std::generic_category().message(err) +
           "; logging stopped\n";
}

bool CLogFile::Failed() const {
    std::lock_guard lock(m_mutex);
    return m_failed;
}

void CLogFile::Open(const std::string& path) {
    FilePtr file = Create(path);
    if (!file)
        m_debug.Write("Cannot create the log file \"" + path + "\"; nothing will be logged.\n");
    Start(std::move(file));
}

std::string CLogFile::Write(std::string_view text) {
    std::lock_guard lock(m_mutex);
    if (!m_file || text.empty()) return {};
    if (std::fwrite(text.data(), 1, text.size(), m_file) != text.size()) return FailLocked();
    return {};
}

std::string CLogFile::Flush() {
    std::lock_guard lock(m_mutex);
    if (m_file && std::fflush(m_file) != 0) return FailLocked();
    return {};
}

void CLogFile::Close() {
    std::lock_guard lock(m_mutex);
    if (m_file) std::fclose(m_file);
    m_file = nullptr;
    m_logging = false;
}

bool CLogFile::IsLogging() const {
    std::lock_guard lock(m_mutex);
    return m_logging;
}

bool CLogFile::HasFile() const {
    std::lock_guard lock(m_mutex);
    return m_file != nullptr;
}

}  // namespace vantrel
