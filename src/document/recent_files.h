#pragma once
// The recent-file list the framework keeps in its profile area: the last
// four tests opened or saved, newest first, as "File1" ... "File4" under
// "Recent File List". No menu shows it; it is kept for the user's shell
// and for the next start.

#include <string>
#include <vector>

class QSettings;

namespace vantrel {

class CRecentFileList {
public:
    explicit CRecentFileList(size_t size);

    void Read(QSettings& profile);
    // Writes every entry and removes the keys past the last one.
    void Write(QSettings& profile) const;
    // Puts `path` first; an entry naming the same file moves up instead of
    // appearing twice, and the oldest entry falls off a full list.
    void Add(const std::string& path);

    const std::vector<std::string>& Files() const { return m_files; }

private:
    size_t m_size;
    std::vector<std::string> m_files;
};

}  // namespace vantrel
