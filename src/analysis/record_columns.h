#pragma once
// CRecordColumns: a compact copy of the few record fields that the
// statistics and the graph read (device object, major function, success,
// latency, tick count, IOCTL code and object name), one column each.
//
// Why: a record is 544 bytes and these fields sit on two of its cache
// lines, so one walk over a million records reads some 128 MB and takes
// 50-60 ms here; the same walk over the columns reads 22 MB once they are
// warm. Records never change after they are appended, so an update copies
// only the records appended since the previous one, and starts over when the
// list was cleared or swapped (its generation changed).
//
// Thread rule: one thread at a time (the GUI thread, or a command-line
// program) owns a CRecordColumns; Update takes the record list's read lock,
// so the capture thread may append meanwhile.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "analysis/record_selection.h"
#include "record/record_list.h"

namespace vantrel {

class CRecordColumns {
public:
    // Brings the columns up to the list's current contents.
    void Update(const CRecordList& list);
    // The same under a read lock the caller already holds.
    void Update(const CRecordList& list, const CRecordList::ReadLock& lock);

    size_t Size() const { return m_latency.size(); }

    // The selection rule compiled against the columns: the IOCTL filter's
    // object name becomes a table of matching name ids.
    struct Selection {
        bool any = true;  // false: nothing can be taken
        bool allDevices = true;
        uint32_t device = 0;
        bool ioctlFilter = false;
        bool oneIoctl = false;  // an IOCTL is selected (code other than -1)
        uint32_t code = 0;
        std::vector<uint8_t> nameMatches;  // by name id
    };
    Selection Compile(const RecordSelection& selection) const;

    // Whether record i is taken; the same answer as Takes() on the record.
    bool Takes(const Selection& s, size_t i) const {
        if (!s.allDevices && m_device[i] != s.device) return false;
        if (!s.ioctlFilter) return true;
        if (m_major[i] != kDeviceControl) return false;
        if (!s.oneIoctl) return true;
        return m_ioctl[i] == s.code && s.nameMatches[m_nameId[i]] != 0;
    }

    // The columns. A major function above 255 is stored as 255, which is
    // neither a statistics row nor IRP_MJ_DEVICE_CONTROL.
    const uint32_t* Device() const { return m_device.data(); }
    const uint8_t* Major() const { return m_major.data(); }
    const uint8_t* Succeeded() const { return m_succeeded.data(); }  // status exactly 0
    const float* Latency() const { return m_latency.data(); }
    const uint32_t* TickCount() const { return m_tick.data(); }

private:
    static constexpr uint8_t kDeviceControl = IRP_MJ_DEVICE_CONTROL;

    void Restart(const CRecordList& list, uint64_t generation);
    uint32_t NameId(std::string_view name);

    const CRecordList* m_list = nullptr;
    uint64_t m_generation = 0;

    std::vector<uint32_t> m_device;
    std::vector<uint8_t> m_major;
    std::vector<uint8_t> m_succeeded;
    std::vector<float> m_latency;
    std::vector<uint32_t> m_tick;
    std::vector<uint32_t> m_ioctl;
    std::vector<uint32_t> m_nameId;

    // Object names by id. Records of one device share one text, so most
    // look-ups end at the address of the last text seen; records of the
    // current generation keep their texts alive, so an address is never
    // reused for another name before the next restart.
    std::vector<std::string> m_names;
    std::unordered_map<std::string, uint32_t> m_idByName;
    std::unordered_map<const char*, uint32_t> m_idByAddress;
    const char* m_lastAddress = nullptr;
    uint32_t m_lastId = 0;
};

}  // namespace vantrel
