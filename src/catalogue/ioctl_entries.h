#pragma once
// The IOCTL selector's list: one entry per IOCTL code seen on one device
// object, with the label the list shows. An entry keeps the code and the full
// object name, never a record: the record list may be emptied (a capture
// reset, a test file load) while the entries live on, and the owner clears
// them then.

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace vantrel {

struct IoctlEntry {
    uint32_t code = 0;
    std::string objectName;  // the record's full ObjectName
    std::string label;       // the catalogue's Ioctl Name, else "0x%.8x"
};

class CIoctlEntryList {
public:
    // Whether an entry has this code and exactly this object name (case-
    // sensitive). Constant time: the main frame asks for every device-control
    // record.
    bool Contains(uint32_t code, std::string_view objectName) const;
    // Appends an entry; the caller has checked Contains. Returns its index.
    size_t Add(uint32_t code, std::string objectName, std::string label);
    void Clear();

    size_t Size() const { return m_entries.size(); }
    bool Empty() const { return m_entries.empty(); }
    const IoctlEntry& At(size_t index) const { return m_entries[index]; }
    const std::vector<IoctlEntry>& Entries() const { return m_entries; }
    void SetLabel(size_t index, std::string label) { m_entries[index].label = std::move(label); }

private:
    static std::string Key(uint32_t code, std::string_view objectName);

    std::vector<IoctlEntry> m_entries;
    std::unordered_set<std::string> m_keys;
};

}  // namespace vantrel
