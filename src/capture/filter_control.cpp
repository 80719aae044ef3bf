#include "capture/filter_control.h"

#include <cstdio>

#include "analysis/axis_defaults.h"
#include "capture/log_file.h"
#include "platform/tick.h"
#include "document/string_table.h"

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

CFilterControl::CFilterControl(CDeviceList& devices, CDriverLink& link, CDocumentState& document,
                               CCapturePipeline& pipeline, IResultsSink& notices,
                               IPrompts& prompts)
    : m_devices(devices),
      m_link(link),
      m_document(document),
      m_pipeline(pipeline),
      m_notices(notices),
      m_prompts(prompts) {}

void CFilterControl::Notice(const char* format, uint32_t deviceObject) {
    char text[96];
    std::snprintf(text, sizeof text, format, deviceObject);
    m_notices.AppendText(text, kNoticeGrey);
}

// A failure is only the link's debugger-output line: the row keeps its new
// mask, so the device list shows it as filtered.
void CFilterControl::Send(uint32_t deviceObject, uint32_t mask) {
    m_link.SendActivateFilter(deviceObject, CDriverLink::FlagsFromMask(mask));
}

void CFilterControl::ApplyMask(const CDeviceObjectInfo& row, uint32_t mask) {
    row.SetIrpMask(mask);
    m_document.SetFilterActive(true);
    Notice("Filter for PDEVICE_OBJECT 0x%.8x has been updated\r\n", row.GetDeviceObject());
    Send(row.GetDeviceObject(), mask);
}

bool CFilterControl::AddFilter(uint32_t mask, const std::vector<const CDeviceObjectInfo*>& selectedRows,
                               bool logToFile) {
    const LocalTime now = GetLocalTimeNow();
    if (mask == 0) {
        m_prompts.MessageById(IDS_NO_IRP_SELECTED, BoxIcon::None);
        return false;
    }
    if (selectedRows.empty()) {
        m_prompts.MessageById(IDS_NO_DEVICE_SELECTED, BoxIcon::None);
        return false;
    }
    m_pipeline.ResetCapture();
    if (logToFile) m_pipeline.Log().Open(LogFileName(now));
    CAxisDefaults::Instance().SetFilterStartTick(GetTickCount32());
    CAxisDefaults::Instance().SetFilterStopTick(0);
    if (!m_pipeline.IsRunning()) m_pipeline.StartCapture();
    for (const CDeviceObjectInfo* row : selectedRows) ApplyMask(*row, mask);
    if (m_redraw) m_redraw();
    return true;
}

bool CFilterControl::UpdateSelection(uint32_t mask,
                                     const std::vector<const CDeviceObjectInfo*>& selectedRows) {
    if (mask == 0) {
        m_prompts.MessageById(IDS_NO_IRP_SELECTED, BoxIcon::None);
        return false;
    }
    for (const CDeviceObjectInfo* row : selectedRows) ApplyMask(*row, mask);
    if (m_redraw) m_redraw();
    return true;
}

void CFilterControl::RemoveFilter() {
    CAxisDefaults::Instance().SetFilterStopTick(GetTickCount32());
    if (m_pipeline.Log().IsLogging()) m_pipeline.Log().Close();
    for (size_t i = 0; i < m_devices.Count(); ++i) {
        const CDeviceObjectInfo& row = *m_devices.Row(i);
        if (row.GetIrpMask() == 0) continue;
        Notice("No longer filtering PDEVICE_OBJECT 0x%.8x\r\n", row.GetDeviceObject());
        row.SetIrpMask(0);
        m_document.SetFilterActive(false);
        Send(row.GetDeviceObject(), 0);
    }
    if (m_redraw) m_redraw();
}

}  // namespace vantrel
