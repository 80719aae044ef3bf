#pragma once
// The device objects of the trace driver: one per character or block device
// number that has a node under /dev, then three catch-all rows with the flag
// word set. The roots are parameters so that a test can hand the enumerator
// a tree of its own.

#include <cstdint>
#include <string>
#include <vector>

namespace vantrel {

inline constexpr uint32_t kTraceFilesObject = 0xFFFFFFF0;
inline constexpr uint32_t kTracePipesObject = 0xFFFFFFF1;
inline constexpr uint32_t kTraceOtherNodesObject = 0xFFFFFFF2;

// Bit 31 for a block device, then the major in 11 bits and the minor in 20:
// the value the driver reports as the device object of a device number.
constexpr uint32_t TraceDeviceObject(bool block, uint32_t major, uint32_t minor) {
    return (block ? 0x80000000u : 0u) | ((major & 0x7FFu) << 20) | (minor & 0xFFFFFu);
}

struct TraceRoots {
    std::string dev = "/dev";
    std::string sysDev = "/sys/dev";  // holds char/MAJ:MIN/uevent and block/MAJ:MIN/uevent
    std::string procDevices = "/proc/devices";
};

// A device node found under the /dev root.
struct TraceNode {
    bool block = false;
    uint32_t major = 0;
    uint32_t minor = 0;
    std::string path;  // where it was found
};

struct TraceDevice {
    uint32_t deviceObject = 0;
    std::string name;         // "/dev/" + DEVNAME, or the node's path when sysfs has none
    std::string description;  // the major's name in /proc/devices
    uint32_t flag = 0;        // non-zero for the three catch-all rows
};

// Every character and block node under `devRoot`, subfolders included,
// symbolic links not followed. Unreadable folders are passed over.
std::vector<TraceNode> FindDeviceNodes(const std::string& devRoot);

// The rows for the nodes: one per device number, in device object order,
// then "(files)", "(pipes and sockets)" and "(other device nodes)".
std::vector<TraceDevice> BuildTraceDevices(const std::vector<TraceNode>& nodes,
                                           const TraceRoots& roots);

// FindDeviceNodes and BuildTraceDevices over the roots.
std::vector<TraceDevice> EnumerateTraceDevices(const TraceRoots& roots = {});

}  // namespace vantrel
