#include "driver/traffic_tables.h"

#include <array>
#include <initializer_list>

#include "record/capture_record.h"

namespace vantrel::traffic {
namespace {

using Kind = SimDeviceKind;

// Geometry of the simulated hard disk and its one volume.
constexpr uint64_t kCylinders = 0x3A38;
constexpr uint64_t kDiskBytes = kCylinders * 255 * 63 * 512;
constexpr uint64_t kVolumeStart = 63 * 512;
constexpr uint64_t kVolumeBytes = kDiskBytes - kVolumeStart;
constexpr uint64_t kCdBytes = 359847ull * 2048;
constexpr uint64_t kFloppyBytes = 1474560;

constexpr size_t kKinds = static_cast<size_t>(Kind::Generic) + 1;

// Every table indexed by kind lists the kinds in their enum order.
template <class T, size_t N>
constexpr bool InKindOrder(const std::array<T, N>& table) {
    for (size_t i = 0; i < N; ++i)
        if (static_cast<size_t>(table[i].kind) != i) return false;
    return N == kKinds;
}

// ---- Major functions per kind -------------------------------------------

// The major functions a device receives: the columns of the table below.
// clang-format off
constexpr uint32_t kTrafficMajors[] = {
    IRP_MJ_CREATE, IRP_MJ_CLOSE, IRP_MJ_READ, IRP_MJ_WRITE, IRP_MJ_QUERY_INFORMATION,
    IRP_MJ_SET_INFORMATION, IRP_MJ_FLUSH_BUFFERS, IRP_MJ_QUERY_VOLUME_INFORMATION,
    IRP_MJ_DEVICE_CONTROL, IRP_MJ_INTERNAL_DEVICE_CONTROL, IRP_MJ_SHUTDOWN, IRP_MJ_CLEANUP,
    IRP_MJ_POWER, IRP_MJ_SYSTEM_CONTROL, IRP_MJ_PNP};
// clang-format on
constexpr size_t kColumns = std::size(kTrafficMajors);

struct TrafficRow {
    Kind kind;
    double activity;  // records per second with every major function selected
    uint32_t weights[kColumns];
};

// clang-format off
constexpr TrafficRow kTrafficRows[] = {
    //                      cre clo  rd  wr  qi  si  fl  qv ioc int  sd cln pow wmi pnp
    {Kind::Disk,     2000, { 10, 10,400,300,  0,  0, 15,  0, 80, 60,  1, 10,  8, 10,  6}},
    {Kind::Volume,   2500, { 20, 20,300,250, 60, 25, 20, 50, 60,  0,  1, 20,  4,  0,  6}},
    {Kind::CdRom,     300, { 15, 15,300,  0,  0,  0,  0,  0,150, 40,  0, 15,  8,  0, 10}},
    {Kind::Floppy,     40, { 10, 10,100, 40,  0,  0,  0,  0, 60,  0,  0, 10,  3,  0,  5}},
    {Kind::Keyboard,   20, {  3,  3,300,  0,  0,  0,  0,  0, 20,  5,  0,  3, 15, 10,  5}},
    {Kind::Mouse,     120, {  3,  3,300,  0,  0,  0,  0,  0, 20,  5,  0,  3, 15, 10,  5}},
    {Kind::Serial,    400, { 20, 20,150,150, 30, 15, 10,  0,200,  0,  0, 20,  5,  0,  5}},
    {Kind::Parallel,  150, { 10, 10,  0,100,  0,  0,  0,  0, 40, 30,  0, 10,  3,  0,  4}},
    {Kind::Network,   800, { 10, 10,  0,  0,  0,  0,  0,  0,200,  0,  0, 10, 10, 60,  8}},
    {Kind::Beep,        4, { 20, 20,  0,  0,  0,  0,  0,  0,100,  0,  0, 20,  0,  0,  0}},
    {Kind::Video,     100, {  5,  5,  0,  0,  0,  0,  0,  0,200,  0,  0,  5, 20,  0, 10}},
    {Kind::Null,      500, { 50, 50, 60,120, 30,  0,  0, 20,  0,  0,  0, 50,  0,  0,  0}},
    {Kind::PnpBus,     15, {  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,150, 20,400}},
    {Kind::Generic,   200, { 30, 30,100,100,  0,  0,  0,  0,  0,  0,  0, 30,  5,  0,  5}},
};
// clang-format on

constexpr std::array<KindTraffic, kKinds> TrafficByMajor() {
    std::array<KindTraffic, kKinds> table{};
    for (size_t k = 0; k < kKinds; ++k) {
        table[k].kind = kTrafficRows[k].kind;
        table[k].activity = kTrafficRows[k].activity;
        for (size_t c = 0; c < kColumns; ++c)
            table[k].majorWeights[kTrafficMajors[c]] = kTrafficRows[k].weights[c];
    }
    return table;
}
constexpr std::array<KindTraffic, kKinds> kTraffic = TrafficByMajor();
static_assert(std::size(kTrafficRows) == kKinds && InKindOrder(kTraffic));

// ---- Reads and writes ----------------------------------------------------

constexpr Weighted kDiskBlocks[] = {{1, 2}, {8, 6}, {16, 3}, {32, 2}, {128, 2}};
constexpr Weighted kVolumeBlocks[] = {{1, 6}, {2, 2}, {4, 2}, {16, 2}};
constexpr Weighted kCdBlocks[] = {{1, 2}, {16, 4}, {32, 3}};
constexpr Weighted kFloppyBlocks[] = {{1, 3}, {18, 2}};
constexpr Weighted kKeyboardBlocks[] = {{1, 3}, {10, 5}};  // KEYBOARD_INPUT_DATA entries
constexpr Weighted kMouseBlocks[] = {{1, 3}, {16, 5}};     // MOUSE_INPUT_DATA entries
constexpr Weighted kNullLengths[] = {{1, 1}, {512, 2}, {4096, 3}, {65536, 1}};

// kind, unit, blocks, read/write uniform block counts, medium, random offset,
// read latency, write latency, wire time
constexpr std::array<TransferProfile, kKinds> kTransfers = {{
    {Kind::Disk, 512, kDiskBlocks, 0, 0, kDiskBytes, 0, {250, 1.3}, {400, 1.3}, false},
    {Kind::Volume, 4096, kVolumeBlocks, 0, 0, kVolumeBytes, 0, {300, 1.3}, {450, 1.3}, false},
    {Kind::CdRom, 2048, kCdBlocks, 0, 0, kCdBytes, 0, {2000, 1.4}, {2000, 1.4}, false},
    {Kind::Floppy, 512, kFloppyBlocks, 0, 0, kFloppyBytes, 0, {60000, 0.6}, {60000, 0.6}, false},
    // A read waits for the next key.
    {Kind::Keyboard, 12, kKeyboardBlocks, 0, 0, 0, 0, {150000, 1.2}, {150000, 1.2}, false},
    {Kind::Mouse, 24, kMouseBlocks, 0, 0, 0, 0, {8000, 1.0}, {8000, 1.0}, false},
    {Kind::Serial, 1, {}, 4096, 256, 0, 0, {5000, 1.5}, {0, 0.3}, true},
    {Kind::Parallel, 1, {}, 8192, 8192, 0, 0, {3000, 0.9}, {3000, 0.9}, false},
    {Kind::Network, 512, {}, 16, 16, kDiskBytes, 0, {500, 1.0}, {500, 1.0}, false},
    {Kind::Beep, 512, {}, 16, 16, kDiskBytes, 0, {500, 1.0}, {500, 1.0}, false},
    {Kind::Video, 512, {}, 16, 16, kDiskBytes, 0, {500, 1.0}, {500, 1.0}, false},
    {Kind::Null, 1, kNullLengths, 0, 0, 0, 1u << 20, {2, 0.3}, {2, 0.3}, false},
    {Kind::PnpBus, 512, {}, 16, 16, kDiskBytes, 0, {500, 1.0}, {500, 1.0}, false},
    {Kind::Generic, 512, {}, 16, 16, kDiskBytes, 0, {500, 1.0}, {500, 1.0}, false},
}};
static_assert(InKindOrder(kTransfers));

// ---- Failure statuses ----------------------------------------------------

constexpr uint32_t Majors(std::initializer_list<uint32_t> majors) {
    uint32_t mask = 0;
    for (uint32_t m : majors) mask |= 1u << m;
    return mask;
}
constexpr uint32_t kReadWrite = Majors({IRP_MJ_READ, IRP_MJ_WRITE});

constexpr Weighted kCdRomTransferFails[] = {
    {kStatusNoMediaInDevice, 4}, {kStatusVerifyRequired, 3}, {kStatusDeviceNotReady, 2}};
constexpr Weighted kFloppyTransferFails[] = {
    {kStatusNoMediaInDevice, 5}, {kStatusDeviceDataError, 2}, {kStatusVerifyRequired, 2}};
constexpr Weighted kInputTransferFails[] = {{kStatusCancelled, 8}, {kStatusDeviceNotConnected, 1}};
constexpr Weighted kPortTransferFails[] = {
    {kStatusCancelled, 3}, {kStatusTimeout, 4}, {kStatusDeviceBusy, 1}};
constexpr Weighted kTransferFails[] = {{kStatusEndOfFile, 3},
                                       {kStatusIoTimeout, 1},
                                       {kStatusDeviceDataError, 1},
                                       {kStatusVerifyRequired, 1}};
constexpr Weighted kCreateFails[] = {{kStatusAccessDenied, 3},
                                     {kStatusObjectNameNotFound, 2},
                                     {kStatusSharingViolation, 3},
                                     {kStatusInsufficientResources, 1}};
constexpr Weighted kControlFails[] = {
    {kStatusInvalidDeviceRequest, 3}, {kStatusBufferTooSmall, 2}, {kStatusBufferOverflow, 2},
    {kStatusInvalidParameter, 1},     {kStatusNotSupported, 1},   {kStatusDeviceNotReady, 1},
    {kStatusInvalidDeviceState, 1}};
constexpr Weighted kInformationFails[] = {{kStatusInvalidParameter, 2},
                                          {kStatusBufferOverflow, 2},
                                          {kStatusInvalidInfoClass, 2},
                                          {kStatusNotImplemented, 1}};
constexpr Weighted kWaitWakeFails[] = {{kStatusCancelled, 5}, {kStatusPowerStateInvalid, 1}};
constexpr Weighted kQueryPowerFails[] = {{kStatusUnsuccessful, 3}, {kStatusPowerStateInvalid, 1}};
constexpr Weighted kPowerFails[] = {
    {kStatusPowerStateInvalid, 1}, {kStatusUnsuccessful, 1}, {kStatusNotSupported, 1}};
constexpr Weighted kPnpFails[] = {{kStatusNotSupported, 6},
                                  {kStatusInvalidDeviceState, 2},
                                  {kStatusInsufficientResources, 1},
                                  {kStatusNotFound, 1}};
constexpr Weighted kWmiFails[] = {
    {kStatusWmiGuidNotFound, 3}, {kStatusBufferTooSmall, 2}, {kStatusWmiInstanceNotFound, 1}};
constexpr Weighted kOtherFails[] = {
    {kStatusUnsuccessful, 2}, {kStatusInvalidDeviceRequest, 2}, {kStatusInvalidDeviceState, 1}};

// The first rule that matches decides; the last one matches everything.
struct FailureRule {
    uint32_t majors;  // bit per major function
    std::optional<Kind> kind;
    std::optional<uint32_t> minor;
    std::span<const Weighted> statuses;
};
constexpr FailureRule kFailureRules[] = {
    {kReadWrite, Kind::CdRom, {}, kCdRomTransferFails},
    {kReadWrite, Kind::Floppy, {}, kFloppyTransferFails},
    {kReadWrite, Kind::Keyboard, {}, kInputTransferFails},
    {kReadWrite, Kind::Mouse, {}, kInputTransferFails},
    {kReadWrite, Kind::Serial, {}, kPortTransferFails},
    {kReadWrite, Kind::Parallel, {}, kPortTransferFails},
    {kReadWrite, {}, {}, kTransferFails},
    {Majors({IRP_MJ_CREATE}), {}, {}, kCreateFails},
    {Majors({IRP_MJ_DEVICE_CONTROL, IRP_MJ_INTERNAL_DEVICE_CONTROL}), {}, {}, kControlFails},
    {Majors({IRP_MJ_QUERY_INFORMATION, IRP_MJ_SET_INFORMATION, IRP_MJ_QUERY_VOLUME_INFORMATION}),
     {},
     {},
     kInformationFails},
    {Majors({IRP_MJ_POWER}), {}, IRP_MN_WAIT_WAKE, kWaitWakeFails},
    {Majors({IRP_MJ_POWER}), {}, IRP_MN_QUERY_POWER, kQueryPowerFails},
    {Majors({IRP_MJ_POWER}), {}, {}, kPowerFails},
    {Majors({IRP_MJ_PNP}), {}, {}, kPnpFails},
    {Majors({IRP_MJ_SYSTEM_CONTROL}), {}, {}, kWmiFails},
    {~0u, {}, {}, kOtherFails},
};

// ---- Capabilities --------------------------------------------------------

constexpr uint32_t kNone = 0xFFFFFFFF;

struct KindCapabilities {
    Kind kind;
    CapabilitiesProfile caps;
};
// flags (lock, eject, removable, ...), address, UI number, system wake,
// device wake, D3 latency, device state per system state
constexpr std::array<KindCapabilities, kKinds> kCapabilities = {{
    {Kind::Disk, {0x0080, 0, kNone, 0, 0, 100, {0, 1, 4, 4, 4, 4, 4}}},
    {Kind::Volume, {0x0180, 0, kNone, 0, 0, 0, {0, 1, 4, 4, 4, 4, 4}}},
    {Kind::CdRom, {0x009C, 1, kNone, 0, 0, 100, {0, 1, 4, 4, 4, 4, 4}}},
    {Kind::Floppy, {0x0090, 0, kNone, 0, 0, 0, {0, 1, 4, 4, 4, 4, 4}}},
    {Kind::Keyboard, {0x0040, 0, kNone, 4, 3, 0, {0, 1, 3, 3, 3, 4, 4}}},
    {Kind::Mouse, {0x0040, 0, kNone, 4, 3, 0, {0, 1, 3, 3, 3, 4, 4}}},
    {Kind::Serial, {0x0080, 0, kNone, 0, 0, 0, {0, 1, 4, 4, 4, 4, 4}}},
    {Kind::Parallel, {0x0080, 0, kNone, 0, 0, 0, {0, 1, 4, 4, 4, 4, 4}}},
    {Kind::Network, {0x0203, 0x00030000, 3, 4, 4, 100, {0, 1, 4, 4, 4, 4, 4}}},
    {Kind::Beep, {0x0080, 0, kNone, 0, 0, 0, {0, 1, 4, 4, 4, 4, 4}}},
    {Kind::Video, {0x0000, 0x000F0000, 15, 0, 0, 100, {0, 1, 4, 4, 4, 4, 4}}},
    {Kind::Null, {0x0080, 0, kNone, 0, 0, 0, {0, 1, 4, 4, 4, 4, 4}}},
    {Kind::PnpBus, {0x0003, 0x001E0000, kNone, 0, 0, 0, {0, 1, 4, 4, 4, 4, 4}}},
    {Kind::Generic, {0x0080, 0, kNone, 0, 0, 0, {0, 1, 4, 4, 4, 4, 4}}},
}};
static_assert(InKindOrder(kCapabilities));

// ---- Device-control buffers ----------------------------------------------

constexpr BufferField kDriveGeometry[] = {  // DISK_GEOMETRY: FixedMedia, 255 x 63 x 512
    {0, 8, kCylinders},
    {8, 4, 12},
    {12, 4, 255},
    {16, 4, 63},
    {20, 4, 512}};
constexpr BufferField kLengthInfo[] = {{0, 8, kDiskBytes}};
constexpr BufferField kVolumeExtents[] = {  // one extent on disk 0
    {0, 4, 1},
    {8, 4, 0},
    {16, 8, kVolumeStart},
    {24, 8, kVolumeBytes}};
constexpr BufferField kCdromToc[] = {  // one data track and the lead-out at 72:33:16
    {0, 2, 0x0012}, {2, 1, 1},     {3, 1, 1},   {5, 1, 0x14}, {6, 1, 1},  {10, 1, 2},
    {13, 1, 0x14},  {14, 1, 0xAA}, {17, 1, 72}, {18, 1, 33},  {19, 1, 16}};
constexpr BufferField kFloppyMediaTypes[] = {  // 1.44 MB and 720 KB
    {0, 8, 80},  {8, 4, 2},  {12, 4, 2}, {16, 4, 18}, {20, 4, 512},
    {24, 8, 80}, {32, 4, 5}, {36, 4, 2}, {40, 4, 9},  {44, 4, 512}};
constexpr BufferField kKeyboardAttributes[] = {  // enhanced 101/102-key
    {0, 1, 4},    {1, 1, 0},  {2, 2, 1},    {4, 2, 12},  {6, 2, 3},    {8, 2, 101},
    {12, 4, 100}, {16, 2, 2}, {18, 2, 250}, {20, 2, 30}, {22, 2, 1000}};
constexpr BufferField kMouseAttributes[] = {  // i8042 port mouse
    {0, 2, 2},
    {2, 2, 3},
    {4, 2, 100},
    {8, 4, 100}};
constexpr BufferField kBeepSet[] = {{0, 4, 800}, {4, 4, 200}};  // 800 Hz for 200 ms
constexpr BufferField kVideoMode[] = {                          // 1920 x 1080, 32 bits, 60 Hz
    {0, 4, 48},  {4, 4, 0x1F}, {8, 4, 1920}, {12, 4, 1080}, {16, 4, 7680}, {20, 4, 1},
    {24, 4, 32}, {28, 4, 60},  {32, 4, 477}, {36, 4, 268},  {40, 4, 8},    {44, 4, 3}};

constexpr IoctlBehaviour kIoctls[] = {
    // IOCTL_DISK_GET_DRIVE_GEOMETRY, IOCTL_DISK_GET_LENGTH_INFO
    {0x00070000, kDriveGeometry, {}, IoctlContent::Fixed, {}},
    {0x0007405C, kLengthInfo, {}, IoctlContent::Fixed, {}},
    // IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS
    {0x00560000, kVolumeExtents, {}, IoctlContent::Fixed, {}},
    // IOCTL_CDROM_READ_TOC
    {0x00024000, kCdromToc, {}, IoctlContent::Fixed, LatencySpec{3000, 1.0}},
    // IOCTL_DISK_GET_MEDIA_TYPES, IOCTL_DISK_CHECK_VERIFY (the floppy's)
    {0x00070C00, kFloppyMediaTypes, {}, IoctlContent::Fixed, LatencySpec{40, 0.6}},
    {0x00074800, {}, {}, IoctlContent::Fixed, LatencySpec{30000, 0.5}},
    // IOCTL_KEYBOARD_QUERY_ATTRIBUTES, IOCTL_MOUSE_QUERY_ATTRIBUTES
    {0x000B0000, kKeyboardAttributes, {}, IoctlContent::Fixed, {}},
    {0x000F0000, kMouseAttributes, {}, IoctlContent::Fixed, {}},
    // IOCTL_SERIAL_SET_BAUD_RATE, _GET_BAUD_RATE, _GET_COMMSTATUS
    {0x001B0004, {}, {}, IoctlContent::SetBaudRate, LatencySpec{40, 0.5}},
    {0x001B0050, {}, {}, IoctlContent::GetBaudRate, {}},
    {0x001B006C, {}, {}, IoctlContent::CommStatus, {}},
    // IOCTL_PAR_QUERY_INFORMATION
    {0x00160004, {}, {}, IoctlContent::ParallelStatus, {}},
    // IOCTL_NDIS_QUERY_GLOBAL_STATS
    {0x00170002, {}, {}, IoctlContent::NdisStatistics, LatencySpec{25, 0.7}},
    // IOCTL_BEEP_SET
    {0x00010000, {}, kBeepSet, IoctlContent::Fixed, {}},
    // IOCTL_VIDEO_QUERY_CURRENT_MODE
    {0x00230420, kVideoMode, {}, IoctlContent::Fixed, LatencySpec{60, 0.8}},
};

// Every field fits the 200-byte buffers of a capture record.
constexpr bool FieldsFitTheRecord() {
    for (const IoctlBehaviour& io : kIoctls)
        for (auto fields : {io.output, io.input})
            for (const BufferField& f : fields)
                if (f.offset + f.size > 200 ||
                    (f.size != 1 && f.size != 2 && f.size != 4 && f.size != 8))
                    return false;
    return true;
}
static_assert(FieldsFitTheRecord());

}  // namespace

const KindTraffic& TrafficOf(SimDeviceKind kind) {
    return kTraffic[static_cast<size_t>(kind)];
}

const TransferProfile& TransferOf(SimDeviceKind kind) {
    return kTransfers[static_cast<size_t>(kind)];
}

std::span<const Weighted> FailureStatuses(uint32_t major, uint32_t minor, SimDeviceKind kind) {
    for (const FailureRule& rule : kFailureRules) {
        if (major >= 32 || !(rule.majors & (1u << major))) continue;
        if (rule.kind && *rule.kind != kind) continue;
        if (rule.minor && *rule.minor != minor) continue;
        return rule.statuses;
    }
    return kOtherFails;
}

const CapabilitiesProfile& CapabilitiesOf(SimDeviceKind kind) {
    return kCapabilities[static_cast<size_t>(kind)].caps;
}

const IoctlBehaviour* IoctlBehaviourOf(uint32_t code) {
    for (const IoctlBehaviour& io : kIoctls)
        if (io.code == code) return &io;
    return nullptr;
}

}  // namespace vantrel::traffic
