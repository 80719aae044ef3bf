#include "capture/filter_control.h"

#include <algorithm>
#include <cstdio>

#include "record/protocol.h"

namespace vantrel {

uint32_t MaskFromSelection(std::span<const int> selectedEntries) {
    uint32_t mask = 0;
    const size_t n = std::min<size_t>(selectedEntries.size(), protocol::kMajorCount);
    for (size_t i = 0; i < n; ++i) {
        const int entry = selectedEntries[i];
        if (entry >= 0 && entry < static_cast<int>(protocol::kMajorCount)) mask |= 1u << entry;
    }
    return mask;
}

CFilterControl::CFilterControl(CDriverLink& link, CDocumentState& state, NoticeSink notice)
    : m_link(link), m_state(state), m_notice(std::move(notice)) {}

std::string CFilterControl::NoticeText(const char* format, uint32_t deviceObject) {
    char text[96];
    std::snprintf(text, sizeof text, format, deviceObject);
    return text;
}

bool CFilterControl::ApplyMask(const CDeviceObjectInfo& row, uint32_t mask) {
    const uint32_t deviceObject = row.GetDeviceObject();
    if (!m_link.SendActivateFilter(deviceObject, CDriverLink::FlagsFromMask(mask))) {
        ++m_failed;
        if (m_notice)
            m_notice(NoticeText("No filter on PDEVICE_OBJECT 0x%.8x: the driver refused it\r\n",
                                deviceObject));
        return false;
    }
    row.SetIrpMask(mask);
    m_state.SetFilterActive(true);
    if (m_notice)
        m_notice(NoticeText("Filter for PDEVICE_OBJECT 0x%.8x has been updated\r\n", deviceObject));
    return true;
}

std::string CFilterControl::RemoveAll(const CDeviceList& devices) {
    std::string notices;
    for (size_t i = 0; i < devices.Count(); ++i) {
        const CDeviceObjectInfo& row = *devices.Row(i);
        if (row.GetIrpMask() == 0) continue;
        notices +=
            NoticeText("No longer filtering PDEVICE_OBJECT 0x%.8x\r\n", row.GetDeviceObject());
        row.SetIrpMask(0);
        m_state.SetFilterActive(false);
        if (!m_link.SendActivateFilter(row.GetDeviceObject(), CDriverLink::FlagsFromMask(0)))
            ++m_failed;
    }
    return notices;
}

}  // namespace vantrel
