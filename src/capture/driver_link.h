#pragma once
// CDriverLink: the document's side of the driver control protocol: the one
// device handle, the control gateway and the steps of document creation
// that talk to the driver.
//
// Thread safety: every call may come from any thread; one mutex serialises
// the use of the device (the pipeline thread may send IOCTL_SETMODE and
// IOCTL_INITBUFF while the GUI thread sends filter changes).

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string_view>

#include "record/driver_device.h"
#include "record/protocol.h"

namespace vantrel {

class IPrompts;

class CDriverLink {
public:
    using MajorFlags = std::array<uint8_t, protocol::kMajorCount>;

    CDriverLink();
    ~CDriverLink();
    CDriverLink(const CDriverLink&) = delete;
    CDriverLink& operator=(const CDriverLink&) = delete;

    // Opens the driver's device ("\\.\KLAVDRIVER") through `opener` (an
    // empty opener opens nothing). Returns true when the device is open. On
    // failure it shows string 61452 (an error box) through `prompts`.
    bool OpenDriver(const DriverOpener& opener, IPrompts& prompts);
    bool IsOpen() const;
    // Closes the device; the driver stops writing into the ring.
    void Close();

    // The single gateway: sends `code` with `buffer` as input and output,
    // with the length the protocol fixes for the code (12, 8, 32, 2326, 496
    // or 4). IOCTL_SETUPFILTERS passes a null buffer. Returns the call's
    // success flag; false when the device is not open.
    bool SendIoctl(uint32_t code, uint8_t* buffer);

    // Ticks per microsecond, as IOCTL_PROCSPEED reported it; 0 until then or
    // when that request failed.
    uint32_t ProcessorSpeed() const { return m_processorSpeed.load(std::memory_order_relaxed); }

    // The driver's part of creating the document, in order: open the driver
    // through `opener` (failure: string 61452, returns false), IOCTL_SETUPFILTERS, IOCTL_PROCSPEED
    // (failures only write "IOCTL_SETUPFILTERS failed.\n" or
    // "IOCTL_PROCSPEED failed.\n" to the debugger output), the catalogue step
    // (the hook; when it fails the device is closed and the result is false),
    // then the settings "filter" and "params". Returns true on success.
    bool CreateDocumentSteps(const DriverOpener& opener, IPrompts& prompts);

    // The catalogue step of document creation (opening the IOCTL catalogue);
    // none set: the step succeeds.
    void SetCatalogueStep(std::function<bool(IPrompts&)> step);
    // Reads a number setting by name from the program's settings key; -1
    // when it is missing. None set: the settings under the application key.
    void SetSettingsReader(std::function<int32_t(std::string_view name)> reader);
    // The document's data scope ("filter"; missing gives 1) and output
    // fields ("params", six bits; missing gives 63), as read by
    // CreateDocumentSteps.
    int32_t ShowAllDevices() const { return m_showAllDevices; }
    uint32_t OutputFlags() const { return m_outputFlags; }

    // Capture start: IOCTL_SETMODE {3, -, event handle} and IOCTL_INITBUFF
    // {2, ring handle}. Each writes its "IOCTL_... failed.\n" debugger line
    // on failure and returns the success flag.
    bool SendSetMode(uint32_t eventHandle);
    bool SendInitBuff(uint32_t ringHandle);
    // One filter change: the device object and one flag per major function
    // (all 0 removes the filter). Writes "IOCTL_ACTIVATE_FILTER failed.\n"
    // on failure.
    bool SendActivateFilter(uint32_t deviceObject, const MajorFlags& flags);
    // Flags from an IRP mask: byte i is 1 when bit i is set.
    static MajorFlags FlagsFromMask(uint32_t mask);

private:
    mutable std::mutex m_mutex;
    std::unique_ptr<IDriverDevice> m_device;
    std::atomic<uint32_t> m_processorSpeed{0};
    std::function<bool(IPrompts&)> m_catalogueStep;
    std::function<int32_t(std::string_view)> m_settingsReader;
    int32_t m_showAllDevices = 1;
    uint32_t m_outputFlags = 63;
};

}  // namespace vantrel
