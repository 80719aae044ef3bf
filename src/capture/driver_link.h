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
#include <memory>
#include <mutex>

#include "platform/debug_output.h"
#include "record/driver_device.h"
#include "record/protocol.h"

namespace vantrel {

class CDriverLink {
public:
    using MajorFlags = std::array<uint8_t, protocol::kMajorCount>;

    // `debug` receives the "IOCTL_... failed." lines.
    explicit CDriverLink(CDebugOutput debug = {});
    ~CDriverLink();
    CDriverLink(const CDriverLink&) = delete;
    CDriverLink& operator=(const CDriverLink&) = delete;

    // Opens the driver's device ("\\.\KLAVDRIVER") through `opener`.
    // Returns true when the device is open; a missing opener fails.
    bool OpenDriver(const DriverOpener& opener);
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

    // Document creation: IOCTL_SETUPFILTERS (a null buffer), then
    // IOCTL_PROCSPEED into ProcessorSpeed. A failure writes
    // "IOCTL_SETUPFILTERS failed.\n" or "IOCTL_PROCSPEED failed.\n" to the
    // debugger output and returns false; the caller goes on.
    bool SendSetupFilters();
    bool SendProcSpeed();

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

    // The debugger output of the link's requests (and of the replies read
    // through it).
    const CDebugOutput& Debug() const { return m_debug; }

private:
    const CDebugOutput m_debug;
    mutable std::mutex m_mutex;
    std::unique_ptr<IDriverDevice> m_device;
    std::atomic<uint32_t> m_processorSpeed{0};
};

}  // namespace vantrel
