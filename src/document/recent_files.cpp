#include "document/recent_files.h"

#include <QSettings>
#include <algorithm>

namespace vantrel {
namespace {

constexpr char kSection[] = "Recent File List";

QString Key(size_t i) {
    return QStringLiteral("File%1").arg(i + 1);
}

}  // namespace

CRecentFileList::CRecentFileList(size_t size) : m_size(size) {}

void CRecentFileList::Read(QSettings& profile) {
    m_files.clear();
    profile.beginGroup(QString::fromLatin1(kSection));
    for (size_t i = 0; i < m_size; ++i) {
        const QString path = profile.value(Key(i)).toString();
        if (!path.isEmpty()) m_files.push_back(path.toStdString());
    }
    profile.endGroup();
}

void CRecentFileList::Write(QSettings& profile) const {
    profile.beginGroup(QString::fromLatin1(kSection));
    for (size_t i = 0; i < m_size; ++i) {
        if (i < m_files.size())
            profile.setValue(Key(i), QString::fromStdString(m_files[i]));
        else
            profile.remove(Key(i));
    }
    profile.endGroup();
    profile.sync();
}

void CRecentFileList::Add(const std::string& path) {
    if (path.empty() || m_size == 0) return;
    std::erase(m_files, path);
    m_files.insert(m_files.begin(), path);
    if (m_files.size() > m_size) m_files.resize(m_size);
}

}  // namespace vantrel
