#pragma once
// Filter control: which major functions the driver reports for which device
// objects. Add, update and remove a filter, with the grey notices that
// tell the user what was sent.

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "capture/capture_pipeline.h"
#include "capture/driver_link.h"
#include "capture/results_sink.h"
#include "capture/device_list.h"
#include "document/document_state.h"
#include "document/prompts.h"

namespace vantrel {

// Bit i set for each selected entry i of the IRP list (entries 0 to 27; at
// most 28 indices are read, others are ignored).
uint32_t MaskFromSelection(std::span<const int> selectedEntries);

class CFilterControl {
public:
    CFilterControl(CDeviceList& devices, CDriverLink& link, CDocumentState& document,
                   CCapturePipeline& pipeline, IResultsSink& notices, IPrompts& prompts);

    // Redraws the device list at once (the window side); may be empty.
    void SetRedrawDeviceList(std::function<void()> redraw) { m_redraw = std::move(redraw); }

    // Add filter: false when it stopped with a message (no major function,
    // or no device object selected). Selected rows in list order.
    bool AddFilter(uint32_t mask, const std::vector<const CDeviceObjectInfo*>& selectedRows,
                   bool logToFile);
    // Update selection: applies the mask to the selected rows only.
    bool UpdateSelection(uint32_t mask, const std::vector<const CDeviceObjectInfo*>& selectedRows);
    // Remove filter: every row with a mask, selected or not.
    void RemoveFilter();
    // Apply the mask to one row.
    void ApplyMask(const CDeviceObjectInfo& row, uint32_t mask);

private:
    void Notice(const char* format, uint32_t deviceObject);
    void Send(uint32_t deviceObject, uint32_t mask);

    CDeviceList& m_devices;
    CDriverLink& m_link;
    CDocumentState& m_document;
    CCapturePipeline& m_pipeline;
    IResultsSink& m_notices;
    IPrompts& m_prompts;
    std::function<void()> m_redraw;
};

}  // namespace vantrel
