#include "catalogue/ioctl_entries.h"

namespace vantrel {

std::string CIoctlEntryList::Key(uint32_t code, std::string_view objectName) {
    std::string key(4 + objectName.size(), '\0');
    for (int i = 0; i < 4; ++i) key[static_cast<size_t>(i)] = static_cast<char>(code >> (8 * i));
    key.replace(4, objectName.size(), objectName);
    return key;
}

bool CIoctlEntryList::Contains(uint32_t code, std::string_view objectName) const {
    return m_keys.count(Key(code, objectName)) != 0;
}

size_t CIoctlEntryList::Add(uint32_t code, std::string objectName, std::string label) {
    m_keys.insert(Key(code, objectName));
    m_entries.push_back({code, std::move(objectName), std::move(label)});
    return m_entries.size() - 1;
}

void CIoctlEntryList::Clear() {
    m_entries.clear();
    m_keys.clear();
}

}  // namespace vantrel
