#pragma once
// Filter control: which major functions the driver reports for which device
// objects. Applies an IRP mask to a device list row and removes every
// filter, with the grey notices that tell the user what was sent. The
// steps around them (checks, reset, log, ticks, threads) are the
// document's Add filter.

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "capture/device_list.h"
#include "capture/document_state.h"
#include "capture/driver_link.h"

namespace vantrel {

// Bit i set for each selected entry i of the IRP list (entries 0 to 27; at
// most 28 indices are read, others are ignored).
uint32_t MaskFromSelection(std::span<const int> selectedEntries);

class CFilterControl {
public:
    using NoticeSink = std::function<void(std::string_view text)>;
    CFilterControl(CDriverLink& link, CDocumentState& state, NoticeSink notice);

    // Sends IOCTL_ACTIVATE_FILTER. Accepted: stores the mask in the row,
    // sets FilterActive and writes "Filter for PDEVICE_OBJECT 0x%.8x has
    // been updated\r\n". Refused: the row keeps the mask it had (the driver
    // keeps the filter it had), and the notice says so instead, so that no
    // row shows a filter the driver does not apply. True when accepted.
    bool ApplyMask(const CDeviceObjectInfo& row, uint32_t mask);
    // Every row with a mask, selected or not, in list order: mask 0,
    // FilterActive cleared, 28 zero flags sent. Returns the notices, one
    // "No longer filtering PDEVICE_OBJECT 0x%.8x\r\n" per row, for the
    // caller to show after the last records of the run.
    std::string RemoveAll(const CDeviceList& devices);
    // IOCTL_ACTIVATE_FILTER requests the driver refused so far.
    size_t FailedRequests() const { return m_failed; }

private:
    static std::string NoticeText(const char* format, uint32_t deviceObject);

    CDriverLink& m_link;
    CDocumentState& m_state;
    NoticeSink m_notice;
    size_t m_failed = 0;
};

}  // namespace vantrel
