#include "driver/sim_devices.h"

#include <algorithm>

namespace vantrel {

const std::vector<SimDevice>& SimulatedDevices() {
    static const std::vector<SimDevice> devices = {
        {0x8A3E6030, 1, 0, SimDeviceKind::Disk, "\\Device\\Harddisk0\\DR0",
         "ST3500418AS ATA Device",
         "IDE\\DiskST3500418AS_____________________CC38____\\5&2a8b1c3f&0&0.0.0"},
        {0x8A3E1B08, 1, 0, SimDeviceKind::Volume, "\\Device\\HarddiskVolume1", "Generic volume",
         "STORAGE\\Volume\\1&30a96598&0&Signature5C1A0F2EOffset7E00Length7470C00000"},
        {0x8A40E250, 1, 0, SimDeviceKind::CdRom, "\\Device\\CdRom0",
         "HL-DT-ST DVD-RAM GH22NS50 ATA Device",
         "IDE\\CdRomHL-DT-ST_DVD-RAM_GH22NS50_______________TN02____\\5&2a8b1c3f&0&1.0.0"},
        {0x8A2F7E48, 1, 0, SimDeviceKind::Floppy, "\\Device\\Floppy0", "Floppy disk drive",
         "FDC\\GENERIC_FLOPPY_DRIVE\\6&1f6b0a2&0&0"},
        {0x8A51C4F0, 1, 0, SimDeviceKind::Keyboard, "\\Device\\KeyboardClass0",
         "Standard 101/102-Key or Microsoft Natural PS/2 Keyboard", "ACPI\\PNP0303\\4&1d401fb5&0"},
        {0x8A51A6E8, 1, 0, SimDeviceKind::Mouse, "\\Device\\PointerClass0", "PS/2 Compatible Mouse",
         "ACPI\\PNP0F13\\4&1d401fb5&0"},
        {0x8A4C2D10, 1, 0, SimDeviceKind::Serial, "\\Device\\Serial0", "Communications Port (COM1)",
         "ACPI\\PNP0501\\1"},
        {0x8A4C0F38, 1, 0, SimDeviceKind::Parallel, "\\Device\\ParallelPort0",
         "ECP Printer Port (LPT1)", "ACPI\\PNP0401\\4&1d401fb5&0"},
        {0x8A2B9A60, 1, 0, SimDeviceKind::Network,
         "\\Device\\{B5F4D659-7DAA-4565-8E41-BE220ED60542}",
         "Intel(R) PRO/1000 MT Network Connection",
         "PCI\\VEN_8086&DEV_100E&SUBSYS_001E8086&REV_02\\3&267a616a&0&18"},
        {0x8A61F3C8, -3, 0, SimDeviceKind::Beep, "\\Device\\Beep", "Beep",
         "Root\\LEGACY_BEEP\\0000"},
        {0x8A2A40B0, 1, 0, SimDeviceKind::Video, "\\Device\\Video0",
         "Standard VGA Graphics Adapter",
         "PCI\\VEN_15AD&DEV_0405&SUBSYS_040515AD&REV_00\\3&267a616a&0&78"},
        {0x8A6204F8, -3, 0, SimDeviceKind::Null, "\\Device\\Null", "Null",
         "Root\\LEGACY_NULL\\0000"},
        {0x8A3A9E40, 1, 1, SimDeviceKind::PnpBus, "\\Device\\00000034",
         "PCI standard PCI-to-PCI bridge",
         "PCI\\VEN_8086&DEV_244E&SUBSYS_00000000&REV_D9\\3&267a616a&0&F0"},
    };
    return devices;
}

const SimDevice* FindSimulatedDevice(uint32_t deviceObject) {
    for (const SimDevice& d : SimulatedDevices())
        if (d.deviceObject == deviceObject) return &d;
    return nullptr;
}

const std::vector<SimIoctl>& SimulatedIoctls(SimDeviceKind kind) {
    static const std::vector<SimIoctl> none;
    static const std::vector<SimIoctl> disk = {{0x00070000, 0, 24, 3}, {0x0007405C, 0, 8, 2}};
    static const std::vector<SimIoctl> volume = {{0x00560000, 0, 32, 1}};
    static const std::vector<SimIoctl> cdrom = {{0x00024000, 0, 804, 1}};
    // IOCTL_DISK_GET_MEDIA_TYPES and IOCTL_DISK_CHECK_VERIFY: no catalogue entries.
    static const std::vector<SimIoctl> floppy = {{0x00070C00, 0, 48, 1}, {0x00074800, 0, 0, 3}};
    static const std::vector<SimIoctl> keyboard = {{0x000B0000, 0, 28, 1}};
    static const std::vector<SimIoctl> mouse = {{0x000F0000, 0, 12, 1}};
    static const std::vector<SimIoctl> serial = {
        {0x001B0004, 4, 0, 1}, {0x001B0050, 0, 4, 2}, {0x001B006C, 0, 20, 5}};
    static const std::vector<SimIoctl> parallel = {{0x00160004, 0, 1, 1}};
    static const std::vector<SimIoctl> network = {{0x00170002, 4, 4, 1}};
    static const std::vector<SimIoctl> beep = {{0x00010000, 8, 0, 1}};
    static const std::vector<SimIoctl> video = {{0x00230420, 0, 48, 1}};
    switch (kind) {
        case SimDeviceKind::Disk:
            return disk;
        case SimDeviceKind::Volume:
            return volume;
        case SimDeviceKind::CdRom:
            return cdrom;
        case SimDeviceKind::Floppy:
            return floppy;
        case SimDeviceKind::Keyboard:
            return keyboard;
        case SimDeviceKind::Mouse:
            return mouse;
        case SimDeviceKind::Serial:
            return serial;
        case SimDeviceKind::Parallel:
            return parallel;
        case SimDeviceKind::Network:
            return network;
        case SimDeviceKind::Beep:
            return beep;
        case SimDeviceKind::Video:
            return video;
        default:
            return none;
    }
}

std::vector<DeviceRow> DefaultEnumeration(const std::vector<std::string>& objectNames) {
    // Nameless device objects the driver walks past: "nothing to add".
    static const uint32_t kNameless[] = {0x8A3F0A18, 0x8A5E77C0};
    std::vector<DeviceRow> replies;
    size_t rows = 0;
    for (const SimDevice& d : SimulatedDevices()) {
        if (!objectNames.empty() &&
            std::find(objectNames.begin(), objectNames.end(), d.objectName) == objectNames.end())
            continue;
        replies.push_back(
            {d.deviceObject, d.state, d.description, d.secondName, d.objectName, d.flag});
        ++rows;
        if (rows == 4) replies.push_back({kNameless[0], -5, {}, {}, {}, 0});
        if (rows == 9) replies.push_back({kNameless[1], -5, {}, {}, {}, 0});
    }
    replies.push_back({0, 0, {}, {}, {}, 0});
    return replies;
}

}  // namespace vantrel
