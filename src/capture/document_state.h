#pragma once
// The document's flags that the worker threads read while the GUI thread
// changes them: the data scope, the output fields, the loaded-file and
// filter flags, the IOCTL filter switch and the selected device row.

#include <atomic>
#include <cstddef>
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

    // The device list row selected last, and its device object value; none
    // before the first selection. The row (not the value) identifies the
    // selection, so two rows with the same value stay apart; the workers
    // compare records with the value. Both are published together.
    struct Selection {
        size_t row = 0;
        uint32_t deviceObject = 0;
    };
    std::optional<Selection> SelectedDevice() const {
        const uint64_t v = m_selected.load(std::memory_order_acquire);
        if (!(v >> 63)) return std::nullopt;
        return Selection{static_cast<size_t>((v >> 32) & 0x7FFFFFFF), static_cast<uint32_t>(v)};
    }
    std::optional<size_t> SelectedRow() const {
        const auto s = SelectedDevice();
        return s ? std::optional<size_t>(s->row) : std::nullopt;
    }
    // Rows past 2^31 cannot be selected (no device list is that long).
    void SetSelectedDevice(std::optional<Selection> selection) {
        uint64_t v = 0;
        if (selection && selection->row < 0x80000000u) {
            v = (uint64_t{1} << 63) | (uint64_t{selection->row} << 32) | selection->deviceObject;
        }
        m_selected.store(v, std::memory_order_release);
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
