#pragma once
// Records for the analysis tests, built field by field:
//   Add(list, Rec().Major(IRP_MJ_READ).Latency(2.0f));

#include <cstdint>
#include <string>

#include "record/irp_record.h"
#include "record/record_list.h"

namespace vantrel::test {

class Rec {
public:
    Rec() {
        m_r.GetCapture().DeviceObject = 0x81000000;
        m_r.GetCapture().MajorFunction = IRP_MJ_READ;
        m_r.SetLatency(1.0f);
    }
    Rec& Device(uint32_t v) { return m_r.GetCapture().DeviceObject = v, *this; }
    Rec& Major(uint32_t v) { return m_r.GetCapture().MajorFunction = v, *this; }
    Rec& Status(uint32_t v) { return m_r.GetCapture().Status = v, *this; }
    Rec& Latency(float v) { return m_r.SetLatency(v), *this; }
    Rec& Tick(uint32_t v) { return m_r.SetTickCount(v), *this; }
    Rec& Ioctl(uint32_t v) { return m_r.GetCapture().SetParam32(par::IoControlCode, v), *this; }
    Rec& Name(const std::string& v) { return m_r.SetObjectName(v), *this; }
    const CIrpRecord& Build() const { return m_r; }

private:
    CIrpRecord m_r;
};

inline void Add(CRecordList& list, const Rec& r) {
    list.Append(r.Build());
}

}  // namespace vantrel::test
