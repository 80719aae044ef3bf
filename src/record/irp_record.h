#pragma once
// CIrpRecord: one IRP as the program holds it: the driver's capture record
// plus the device object's description and name, the latency in
// milliseconds and the tick count at arrival.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "record/capture_record.h"

namespace vantrel {

// An immutable byte string shared between records: every record of one
// device object refers to the same text. ANSI bytes, never re-encoded.
class CText {
public:
    CText() = default;
    explicit CText(std::string_view s)
        : m_p(s.empty() ? nullptr : std::make_shared<const std::string>(s)) {}
    // Never a null data pointer, so that C functions may take it.
    std::string_view view() const { return m_p ? std::string_view(*m_p) : std::string_view("", 0); }
    std::string str() const { return std::string(view()); }
    bool empty() const { return !m_p || m_p->empty(); }
    size_t size() const { return m_p ? m_p->size() : 0; }
    friend bool operator==(const CText& a, const CText& b) { return a.view() == b.view(); }

private:
    std::shared_ptr<const std::string> m_p;
};

// Latency in milliseconds from two timestamps and the driver's ticks per
// microsecond: the signed 64-bit difference, divided by the speed, times
// 0.001 in single precision. A speed of 0 (the driver did not report one)
// gives 0 rather than a division fault.
float ComputeLatency(uint64_t startTime, uint64_t endTime, uint32_t processorSpeed);

class CIrpRecord {
public:
    CIrpRecord() = default;
    explicit CIrpRecord(const IRP_CAPTURE_RECORD& capture) : m_capture(capture) {}

    uint32_t GetDeviceObject() const { return m_capture.DeviceObject; }
    uint32_t GetMajorFunction() const { return m_capture.MajorFunction; }
    uint32_t GetMinorFunction() const { return m_capture.MinorFunction; }
    uint32_t GetStatus() const { return m_capture.Status; }
    // Meaningful only for IRP_MJ_DEVICE_CONTROL.
    uint32_t GetIoControlCode() const { return m_capture.Param32(par::IoControlCode); }
    float GetLatency() const { return m_latency; }
    uint32_t GetTickCount() const { return m_tickCount; }
    std::string GetDescription() const { return m_description.str(); }
    std::string GetObjectName() const { return m_objectName.str(); }
    // Views and shared texts, without a copy.
    std::string_view DescriptionView() const { return m_description.view(); }
    std::string_view ObjectNameView() const { return m_objectName.view(); }
    const CText& DescriptionText() const { return m_description; }
    const CText& ObjectNameText() const { return m_objectName; }

    const IRP_CAPTURE_RECORD& GetCapture() const { return m_capture; }
    IRP_CAPTURE_RECORD& GetCapture() { return m_capture; }

    void SetLatency(float latency) { m_latency = latency; }
    void SetTickCount(uint32_t tick) { m_tickCount = tick; }
    void SetDescription(std::string_view s) { m_description = CText(s); }
    void SetObjectName(std::string_view s) { m_objectName = CText(s); }
    void SetDescription(CText s) { m_description = std::move(s); }
    void SetObjectName(CText s) { m_objectName = std::move(s); }

    // Computes and stores the latency from the capture's timestamps.
    void ComputeLatencyFrom(uint32_t processorSpeed) {
        m_latency = ComputeLatency(m_capture.StartTime, m_capture.EndTime, processorSpeed);
    }

private:
    IRP_CAPTURE_RECORD m_capture;
    float m_latency = 0.0f;
    uint32_t m_tickCount = 0;
    CText m_description;
    CText m_objectName;
};

}  // namespace vantrel
