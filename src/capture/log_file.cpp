#include "capture/log_file.h"

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

void CLogFile::Start(FilePtr file) {
    std::lock_guard lock(m_mutex);
    if (m_file) std::fclose(m_file);
    m_file = file.release();
    m_logging = true;
}

void CLogFile::Open(const std::string& path) {
    FilePtr file = Create(path);
    if (!file)
        m_debug.Write("Cannot create the log file \"" + path + "\"; nothing will be logged.\n");
    Start(std::move(file));
}

void CLogFile::Write(std::string_view text) {
    std::lock_guard lock(m_mutex);
    if (m_file && !text.empty()) std::fwrite(text.data(), 1, text.size(), m_file);
}

void CLogFile::Flush() {
    std::lock_guard lock(m_mutex);
    if (m_file) std::fflush(m_file);
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
