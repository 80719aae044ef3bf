#pragma once
// CIrpRecord: one IRP as the program holds it: the driver's capture record
// plus the device object's description and name, the latency in
// milliseconds and the tick count at arrival.

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "record/capture_record.h"

namespace vantrel {

// An immutable byte string shared between records: every record of one
// device object refers to the same text. ANSI bytes, never re-encoded, at
// most 4 GiB - 1 of them. The bytes follow their length in one block, so a
// text costs one allocation; texts made by a CTextArena share its blocks.
class CText {
public:
    CText() = default;
    explicit CText(std::string_view s);
    // Never a null data pointer, so that C functions may take it.
    std::string_view view() const {
        if (!m_p) return std::string_view("");
        uint32_t n;
        std::memcpy(&n, m_p.get(), sizeof n);
        return std::string_view(m_p.get() + sizeof n, n);
    }
    std::string str() const { return std::string(view()); }
    bool empty() const { return size() == 0; }
    size_t size() const { return view().size(); }
    friend bool operator==(const CText& a, const CText& b) { return a.view() == b.view(); }

private:
    friend class CTextArena;
    explicit CText(std::shared_ptr<const char> block) : m_p(std::move(block)) {}

    std::shared_ptr<const char> m_p;  // a 4-byte length, then the bytes
};

// Makes texts that share a few blocks instead of taking one allocation each:
// a loaded test holds many texts made at once. A block lives as long as any
// of its texts.
class CTextArena {
public:
    CText Add(std::string_view s);

private:
    // Blocks grow from a few texts' worth to kMaxBlock bytes.
    static constexpr size_t kFirstBlock = 240;
    static constexpr size_t kMaxBlock = 4000;
    std::shared_ptr<char[]> m_block;
    size_t m_size = 0;
    size_t m_used = 0;
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
