#pragma once
// The document's flags that the worker threads read while the GUI thread
// changes them: the data scope, the output fields, the loaded-file and
// filter flags, the IOCTL filter switch and the selected device object.

#include <atomic>
#include <cstdint>
#include <optional>

namespace vantrel {

class CDocumentState {
public:
    static constexpr uint32_t kAllOutputFlags = 63;

    bool ShowAllDevices() const { return m_showAllDevices.load(std::memory_order_relaxed); }
    void SetShowAllDevices(bool on) { m_showAllDevices.store(on, std::memory_order_relaxed); }

    uint32_t OutputFlags() const { return m_outputFlags.load(std::memory_order_relaxed); }
    void SetOutputFlags(uint32_t flags) { m_outputFlags.store(flags, std::memory_order_relaxed); }

    bool FileLoaded() const { return m_fileLoaded.load(std::memory_order_relaxed); }
    void SetFileLoaded(bool on) { m_fileLoaded.store(on, std::memory_order_relaxed); }

    bool FilterActive() const { return m_filterActive.load(std::memory_order_relaxed); }
    void SetFilterActive(bool on) { m_filterActive.store(on, std::memory_order_relaxed); }

    // "Filter Selected IOCTL": range displays and the views keep only the
    // IOCTL chosen in the IOCTL selector.
    bool IoctlFilter() const { return m_ioctlFilter.load(std::memory_order_relaxed); }
    void SetIoctlFilter(bool on) { m_ioctlFilter.store(on, std::memory_order_relaxed); }

    // The device object of the device list row selected last; none before
    // the first selection.
    std::optional<uint32_t> SelectedDevice() const {
        const uint64_t v = m_selected.load(std::memory_order_relaxed);
        if (!(v >> 32)) return std::nullopt;
        return static_cast<uint32_t>(v);
    }
    void SetSelectedDevice(std::optional<uint32_t> deviceObject) {
        m_selected.store(deviceObject ? (uint64_t{1} << 32) | *deviceObject : 0,
                         std::memory_order_relaxed);
    }

private:
    std::atomic<bool> m_showAllDevices{true};
    std::atomic<uint32_t> m_outputFlags{kAllOutputFlags};
    std::atomic<bool> m_fileLoaded{false};
    std::atomic<bool> m_filterActive{false};
    std::atomic<bool> m_ioctlFilter{false};
    std::atomic<uint64_t> m_selected{0};
};

}  // namespace vantrel
