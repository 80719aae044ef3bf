#include "capture/drain.h"

#include <cstdio>

namespace vantrel {

size_t CRingDrain::Drain(CCaptureRing& ring, CRecordList& records, const DrainContext& context,
                         uint64_t* generation) {
    using protocol::kRingSlots;
    size_t taken = 0;
    const uint32_t tick = context.clock->TickCount();
    for (;;) {
        const uint32_t read = ring.ReadIndex();
        const uint32_t write = ring.WriteIndex();
        if (read >= kRingSlots || write >= kRingSlots) {
            if (!m_faultReported) {
                m_faultReported = true;
                char line[128];
                std::snprintf(line, sizeof line,
                              "Capture ring fault: ReadIndex %u, WriteIndex %u; records skipped.\n",
                              read, write);
                context.debug.Write(line);
            }
            return taken;
        }
        if (read == write) return taken;
        const uint32_t count = (write + kRingSlots - read) % kRingSlots;
        const CRecordList::Appended added =
            records.AppendMany(count, [&](size_t i, CIrpRecord& record) {
                const uint32_t slot = (read + static_cast<uint32_t>(i)) % kRingSlots;
                IRP_CAPTURE_RECORD& capture = record.GetCapture();
                capture.Read(ring.Slot(slot));
                record.ComputeLatencyFrom(context.processorSpeed);
                record.SetTickCount(tick);
                if (context.devices) {
                    const uint32_t device = capture.DeviceObject;
                    if (!m_haveLast || device != m_lastDevice) {
                        m_lastDescription = CText();
                        m_lastName = CText();
                        m_lastFound =
                            context.devices->FindTexts(device, m_lastDescription, m_lastName);
                        m_lastDevice = device;
                        m_haveLast = true;
                    }
                    if (m_lastFound) {
                        record.SetDescription(m_lastDescription);
                        record.SetObjectName(m_lastName);
                    }
                }
                if (context.deviceControls && capture.MajorFunction == IRP_MJ_DEVICE_CONTROL) {
                    context.deviceControls->emplace_back(record.GetIoControlCode(),
                                                         record.ObjectNameText());
                }
                return true;
            });
        // Slots that did not fit the list are given back to the driver all
        // the same: the list is full and nothing more can be kept.
        ring.SetReadIndex(write);
        taken += added.count;
        if (generation) *generation = added.generation;
        if (!added.count && count) return taken;
    }
}

}  // namespace vantrel
