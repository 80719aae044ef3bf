#pragma once
// A folder of its own for one test, removed at the end; and a guard that
// runs the test in a folder for a while. Every test that writes files uses
// these.

#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <system_error>

namespace vantrel::testing {

class ScratchDir {
public:
    // The name holds the tag, the process id and a number counted per
    // process, so tests running at once in one or many processes never share
    // a folder.
    explicit ScratchDir(const std::string& tag = "test") {
        static std::atomic<unsigned> made{0};
        m_path = std::filesystem::temp_directory_path() /
                 ("vantrel_" + tag + "_" + std::to_string(::getpid()) + "_" +
                  std::to_string(made.fetch_add(1)));
        std::filesystem::remove_all(m_path);
        std::filesystem::create_directories(m_path);
    }
    ~ScratchDir() {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::filesystem::path& Path() const { return m_path; }
    std::string operator/(const std::string& name) const { return (m_path / name).string(); }

private:
    std::filesystem::path m_path;
};

// Runs in a folder for its lifetime, then goes back.
class InFolder {
public:
    explicit InFolder(const std::filesystem::path& dir) : m_old(std::filesystem::current_path()) {
        std::filesystem::current_path(dir);
    }
    ~InFolder() { std::filesystem::current_path(m_old); }
    InFolder(const InFolder&) = delete;
    InFolder& operator=(const InFolder&) = delete;

private:
    std::filesystem::path m_old;
};

}  // namespace vantrel::testing
