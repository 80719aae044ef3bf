#pragma once
// The device-object list: the device objects the filter driver reports, one
// row each, in the order it reported them.
//
// Threads: the GUI thread owns the list and fills it; the capture threads
// look rows up (FindDeviceObject, Count, Row) at the same time. A row keeps
// its address and its texts until the list is filled again or destroyed;
// FillDeviceList rebuilds the list and must therefore only run while no
// capture runs (at start-up, before the first filter) and while nobody
// holds a row pointer (the document's SelectedDevice included). IRP masks
// are atomics and may be read and written at any time.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <shared_mutex>
#include <vector>

#include "capture/drain.h"
#include "record/irp_record.h"

namespace vantrel {

class CDriverLink;

class CDeviceObjectInfo {
public:
    CDeviceObjectInfo() = default;
    CDeviceObjectInfo(const CDeviceObjectInfo&) = delete;
    CDeviceObjectInfo& operator=(const CDeviceObjectInfo&) = delete;

    const CText& GetDescription() const { return m_description; }
    const CText& GetSecondText() const { return m_secondText; }
    const CText& GetName() const { return m_name; }
    uint32_t GetDeviceObject() const { return m_deviceObject; }
    uint32_t GetFlag() const { return m_flag; }
    // Bit i for major function i.
    uint32_t GetIrpMask() const { return m_irpMask.load(std::memory_order_acquire); }
    void SetIrpMask(uint32_t mask) const { m_irpMask.store(mask, std::memory_order_release); }

    // Setters for building a row; a row in a list is only reachable as const.
    void SetDescription(std::string_view text) { m_description = CText(text); }
    void SetSecondText(std::string_view text) { m_secondText = CText(text); }
    void SetName(std::string_view text) { m_name = CText(text); }
    void SetDeviceObject(uint32_t deviceObject) { m_deviceObject = deviceObject; }
    void SetFlag(uint32_t flag) { m_flag = flag; }

private:
    CText m_description;
    CText m_secondText;
    CText m_name;
    uint32_t m_deviceObject = 0;
    uint32_t m_flag = 0;
    mutable std::atomic<uint32_t> m_irpMask{0};
};

class CDeviceList {
public:
    // A driver that never reports the end of its list is given up after this
    // many replies.
    static constexpr size_t kMaxReplies = 65536;

    CDeviceList() = default;
    CDeviceList(const CDeviceList&) = delete;
    CDeviceList& operator=(const CDeviceList&) = delete;

    // Empties the list, then asks the driver for its device objects with
    // IOCTL_ENUMDEVICES until it reports the end, adding one row per listed
    // device object. States -1, -2 and -4 are reported to `onErrorState` as
    // they come (the caller shows strings 61447 and 61448) and the
    // enumeration goes on; -5 adds nothing. Returns false when a request
    // fails or the driver gave no end after kMaxReplies replies; the rows
    // added so far stay.
    using ErrorStateReport = std::function<void(int32_t state)>;
    bool FillDeviceList(CDriverLink& link, const ErrorStateReport& onErrorState);

    // The first row (in list order) with that device object, or null.
    const CDeviceObjectInfo* FindDeviceObject(uint32_t deviceObject) const;
    size_t Count() const;
    // Row i in list order; null when i is out of range.
    const CDeviceObjectInfo* Row(size_t i) const;
    bool IsFilling() const { return m_filling.load(std::memory_order_acquire); }

private:
    void Append(std::unique_ptr<CDeviceObjectInfo> row);

    mutable std::shared_mutex m_mutex;
    std::vector<std::unique_ptr<CDeviceObjectInfo>> m_rows;
    std::atomic<bool> m_filling{false};
};

// The device list as the drain's directory of texts: a record's description
// and object name come from the row of its device object.
class CDeviceListDirectory final : public IDeviceDirectory {
public:
    explicit CDeviceListDirectory(const CDeviceList& list) : m_list(list) {}
    bool FindTexts(uint32_t deviceObject, CText& description, CText& objectName) const override;

private:
    const CDeviceList& m_list;
};

}  // namespace vantrel
