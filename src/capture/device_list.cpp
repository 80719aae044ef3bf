#include "capture/device_list.h"

#include <cstring>
#include <mutex>
#include <vector>

#include "capture/driver_link.h"
#include "capture/enum_reply.h"
#include "record/le.h"
#include "record/protocol.h"

namespace vantrel {
namespace {

namespace pr = protocol;

}  // namespace

bool CDeviceList::FillDeviceList(CDriverLink& link, const ErrorStateReport& onErrorState) {
    struct FillingFlag {
        std::atomic<bool>& flag;
        explicit FillingFlag(std::atomic<bool>& f) : flag(f) {
            flag.store(true, std::memory_order_release);
        }
        ~FillingFlag() { flag.store(false, std::memory_order_release); }
    } filling(m_filling);
    {
        std::unique_lock lock(m_mutex);
        m_rows.clear();
    }
    std::vector<uint8_t> buffer(pr::kEnumSize, 0);
    le::Put32(buffer.data() + pr::kEnumDeviceObject, 0);
    le::Put32(buffer.data() + pr::kEnumState, static_cast<uint32_t>(pr::kEnumStart));
    for (size_t replies = 0; replies < kMaxReplies; ++replies) {
        if (!link.SendIoctl(pr::IOCTL_ENUMDEVICES, buffer.data())) return false;
        const EnumReply reply = ParseEnumReply(std::span<const uint8_t, pr::kEnumSize>(buffer));
        switch (reply.state) {
            case pr::kEnumDone:
                return true;
            case pr::kEnumSkip:
                break;
            case pr::kEnumGeneralError:
            case pr::kEnumGeneralError4:
            case pr::kEnumNoSuchDevnode:
                if (onErrorState) onErrorState(reply.state);
                break;
            default: {
                auto row = std::make_unique<CDeviceObjectInfo>();
                row->SetDescription(reply.flag ? std::string_view() : reply.description);
                row->SetSecondText(reply.secondName);
                row->SetName(reply.objectName);
                row->SetDeviceObject(reply.deviceObject);
                row->SetFlag(reply.flag);
                Append(std::move(row));
                break;
            }
        }
    }
    link.Debug().Write("IOCTL_ENUMDEVICES: the driver did not end its device list.\n");
    return false;
}

void CDeviceList::Append(std::unique_ptr<CDeviceObjectInfo> row) {
    std::unique_lock lock(m_mutex);
    m_rows.push_back(std::move(row));
}

const CDeviceObjectInfo* CDeviceList::FindDeviceObject(uint32_t deviceObject) const {
    std::shared_lock lock(m_mutex);
    for (const auto& row : m_rows)
        if (row->GetDeviceObject() == deviceObject) return row.get();
    return nullptr;
}

size_t CDeviceList::Count() const {
    std::shared_lock lock(m_mutex);
    return m_rows.size();
}

const CDeviceObjectInfo* CDeviceList::Row(size_t i) const {
    std::shared_lock lock(m_mutex);
    return i < m_rows.size() ? m_rows[i].get() : nullptr;
}

bool CDeviceListDirectory::FindTexts(uint32_t deviceObject, CText& description,
                                     CText& objectName) const {
    const CDeviceObjectInfo* row = m_list.FindDeviceObject(deviceObject);
    if (!row) return false;
    description = row->GetDescription();
    objectName = row->GetName();
    return true;
}

}  // namespace vantrel
