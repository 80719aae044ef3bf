#include "analysis/record_columns.h"

#include <algorithm>

namespace vantrel {

void CRecordColumns::Update(const CRecordList& list) {
    CRecordList::ReadLock lock(list);
    Update(list, lock);
}

void CRecordColumns::Update(const CRecordList& list, const CRecordList::ReadLock& lock) {
    // The generation cannot change while the read lock is held.
    const uint64_t generation = list.Generation();
    if (&list != m_list || generation != m_generation) Restart(list, generation);

    const size_t first = Size();
    const size_t size = lock.Size();
    if (size <= first) return;
    m_device.resize(size);
    m_major.resize(size);
    m_succeeded.resize(size);
    m_latency.resize(size);
    m_tick.resize(size);
    m_ioctl.resize(size);
    m_nameId.resize(size);
    for (size_t i = first; i < size; ++i) {
        const CIrpRecord& r = *lock.At(i);
        m_device[i] = r.GetDeviceObject();
        m_major[i] = static_cast<uint8_t>(std::min<uint32_t>(r.GetMajorFunction(), 255));
        m_succeeded[i] = r.GetStatus() == 0;
        m_latency[i] = r.GetLatency();
        m_tick[i] = r.GetTickCount();
        m_ioctl[i] = r.GetIoControlCode();
        m_nameId[i] = NameId(r.ObjectNameView());
    }
}

void CRecordColumns::Restart(const CRecordList& list, uint64_t generation) {
    m_list = &list;
    m_generation = generation;
    // clear() keeps the memory: a reload of the same size touches no new pages.
    m_device.clear();
    m_major.clear();
    m_succeeded.clear();
    m_latency.clear();
    m_tick.clear();
    m_ioctl.clear();
    m_nameId.clear();
    m_names.clear();
    m_idByName.clear();
    m_idByAddress.clear();
    m_lastAddress = nullptr;
    m_lastId = 0;
}

uint32_t CRecordColumns::NameId(std::string_view name) {
    if (name.data() == m_lastAddress && m_lastAddress) return m_lastId;
    const auto known = m_idByAddress.find(name.data());
    uint32_t id;
    if (known != m_idByAddress.end()) {
        id = known->second;
    } else {
        auto [it, added] =
            m_idByName.try_emplace(std::string(name), static_cast<uint32_t>(m_names.size()));
        if (added) m_names.emplace_back(name);
        id = it->second;
        m_idByAddress.emplace(name.data(), id);
    }
    m_lastAddress = name.data();
    m_lastId = id;
    return id;
}

CRecordColumns::Selection CRecordColumns::Compile(const RecordSelection& selection) const {
    Selection s;
    s.any = CanTakeAny(selection);
    s.allDevices = selection.allDevices;
    s.device = selection.device.value_or(0);
    s.ioctlFilter = selection.ioctlFilter;
    s.oneIoctl = selection.ioctl.code != -1;
    s.code = static_cast<uint32_t>(selection.ioctl.code);
    s.nameMatches.resize(m_names.size());
    for (size_t id = 0; id < m_names.size(); ++id)
        s.nameMatches[id] = m_names[id] == selection.ioctl.objectName;
    return s;
}

}  // namespace vantrel
