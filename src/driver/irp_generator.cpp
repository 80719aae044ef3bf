#include "driver/irp_generator.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <initializer_list>

#include "record/le.h"

namespace vantrel {
namespace {

// Completion statuses. The named ones are the common kernel codes; the
// others are real codes that the program prints by number.
constexpr uint32_t STATUS_SUCCESS = 0x00000000;
constexpr uint32_t STATUS_TIMEOUT = 0x00000102;
constexpr uint32_t STATUS_PENDING = 0x00000103;
constexpr uint32_t STATUS_BUFFER_OVERFLOW = 0x80000005;
constexpr uint32_t STATUS_DEVICE_BUSY = 0x80000011;
constexpr uint32_t STATUS_VERIFY_REQUIRED = 0x80000016;
constexpr uint32_t STATUS_UNSUCCESSFUL = 0xC0000001;
constexpr uint32_t STATUS_NOT_IMPLEMENTED = 0xC0000002;
constexpr uint32_t STATUS_INVALID_INFO_CLASS = 0xC0000003;
constexpr uint32_t STATUS_INVALID_PARAMETER = 0xC000000D;
constexpr uint32_t STATUS_INVALID_DEVICE_REQUEST = 0xC0000010;
constexpr uint32_t STATUS_END_OF_FILE = 0xC0000011;
constexpr uint32_t STATUS_NO_MEDIA_IN_DEVICE = 0xC0000013;
constexpr uint32_t STATUS_ACCESS_DENIED = 0xC0000022;
constexpr uint32_t STATUS_BUFFER_TOO_SMALL = 0xC0000023;
constexpr uint32_t STATUS_OBJECT_NAME_NOT_FOUND = 0xC0000034;
constexpr uint32_t STATUS_SHARING_VIOLATION = 0xC0000043;
constexpr uint32_t STATUS_INSUFFICIENT_RESOURCES = 0xC000009A;
constexpr uint32_t STATUS_DEVICE_DATA_ERROR = 0xC000009C;
constexpr uint32_t STATUS_DEVICE_NOT_CONNECTED = 0xC000009D;
constexpr uint32_t STATUS_DEVICE_NOT_READY = 0xC00000A3;
constexpr uint32_t STATUS_IO_TIMEOUT = 0xC00000B5;
constexpr uint32_t STATUS_NOT_SUPPORTED = 0xC00000BB;
constexpr uint32_t STATUS_CANCELLED = 0xC0000120;
constexpr uint32_t STATUS_INVALID_DEVICE_STATE = 0xC0000184;
constexpr uint32_t STATUS_NOT_FOUND = 0xC0000225;
constexpr uint32_t STATUS_WMI_GUID_NOT_FOUND = 0xC0000295;
constexpr uint32_t STATUS_WMI_INSTANCE_NOT_FOUND = 0xC0000296;
constexpr uint32_t STATUS_POWER_STATE_INVALID = 0xC00002D3;

// Geometry of the simulated hard disk and its one volume.
constexpr uint64_t kCylinders = 0x3A38;
constexpr uint64_t kDiskBytes = kCylinders * 255 * 63 * 512;
constexpr uint64_t kVolumeStart = 63 * 512;
constexpr uint64_t kVolumeBytes = kDiskBytes - kVolumeStart;
constexpr uint64_t kCdBytes = 359847ull * 2048;
constexpr uint64_t kFloppyBytes = 1474560;

struct Weighted {
    uint32_t value;
    uint32_t weight;
};

uint32_t Pick(CSimRandom& rng, std::initializer_list<Weighted> items) {
    uint32_t total = 0;
    for (const Weighted& w : items) total += w.weight;
    uint32_t r = rng.Below(total);
    for (const Weighted& w : items) {
        if (r < w.weight) return w.value;
        r -= w.weight;
    }
    return items.begin()->value;
}

void Put16(uint8_t* p, size_t off, uint32_t v) { le::Put16(p + off, static_cast<uint16_t>(v)); }
void Put32(uint8_t* p, size_t off, uint32_t v) { le::Put32(p + off, v); }
void Put64(uint8_t* p, size_t off, uint64_t v) { le::Put64(p + off, v); }

// Relative traffic per major function of each kind of device.
std::array<uint32_t, 28> MajorWeights(SimDeviceKind kind) {
    std::array<uint32_t, 28> w{};
    auto set = [&](std::initializer_list<Weighted> items) {
        for (const Weighted& i : items) w[i.value] = i.weight;
    };
    switch (kind) {
        case SimDeviceKind::Disk:
            set({{IRP_MJ_CREATE, 10}, {IRP_MJ_CLOSE, 10}, {IRP_MJ_READ, 400}, {IRP_MJ_WRITE, 300},
                 {IRP_MJ_FLUSH_BUFFERS, 15}, {IRP_MJ_DEVICE_CONTROL, 80},
                 {IRP_MJ_INTERNAL_DEVICE_CONTROL, 60}, {IRP_MJ_SHUTDOWN, 1}, {IRP_MJ_CLEANUP, 10},
                 {IRP_MJ_POWER, 8}, {IRP_MJ_SYSTEM_CONTROL, 10}, {IRP_MJ_PNP, 6}});
            break;
        case SimDeviceKind::Volume:
            set({{IRP_MJ_CREATE, 20}, {IRP_MJ_CLOSE, 20}, {IRP_MJ_READ, 300}, {IRP_MJ_WRITE, 250},
                 {IRP_MJ_QUERY_INFORMATION, 60}, {IRP_MJ_SET_INFORMATION, 25},
                 {IRP_MJ_FLUSH_BUFFERS, 20}, {IRP_MJ_QUERY_VOLUME_INFORMATION, 50},
                 {IRP_MJ_DEVICE_CONTROL, 60}, {IRP_MJ_SHUTDOWN, 1}, {IRP_MJ_CLEANUP, 20},
                 {IRP_MJ_POWER, 4}, {IRP_MJ_PNP, 6}});
            break;
        case SimDeviceKind::CdRom:
            set({{IRP_MJ_CREATE, 15}, {IRP_MJ_CLOSE, 15}, {IRP_MJ_READ, 300},
                 {IRP_MJ_DEVICE_CONTROL, 150}, {IRP_MJ_INTERNAL_DEVICE_CONTROL, 40},
                 {IRP_MJ_CLEANUP, 15}, {IRP_MJ_POWER, 8}, {IRP_MJ_PNP, 10}});
            break;
        case SimDeviceKind::Floppy:
            set({{IRP_MJ_CREATE, 10}, {IRP_MJ_CLOSE, 10}, {IRP_MJ_READ, 100}, {IRP_MJ_WRITE, 40},
                 {IRP_MJ_DEVICE_CONTROL, 60}, {IRP_MJ_CLEANUP, 10}, {IRP_MJ_POWER, 3},
                 {IRP_MJ_PNP, 5}});
            break;
        case SimDeviceKind::Keyboard:
        case SimDeviceKind::Mouse:
            set({{IRP_MJ_CREATE, 3}, {IRP_MJ_CLOSE, 3}, {IRP_MJ_READ, 300},
                 {IRP_MJ_DEVICE_CONTROL, 20}, {IRP_MJ_INTERNAL_DEVICE_CONTROL, 5},
                 {IRP_MJ_CLEANUP, 3}, {IRP_MJ_POWER, 15}, {IRP_MJ_SYSTEM_CONTROL, 10},
                 {IRP_MJ_PNP, 5}});
            break;
        case SimDeviceKind::Serial:
            set({{IRP_MJ_CREATE, 20}, {IRP_MJ_CLOSE, 20}, {IRP_MJ_READ, 150}, {IRP_MJ_WRITE, 150},
                 {IRP_MJ_QUERY_INFORMATION, 30}, {IRP_MJ_SET_INFORMATION, 15},
                 {IRP_MJ_FLUSH_BUFFERS, 10}, {IRP_MJ_DEVICE_CONTROL, 200}, {IRP_MJ_CLEANUP, 20},
                 {IRP_MJ_POWER, 5}, {IRP_MJ_PNP, 5}});
            break;
        case SimDeviceKind::Parallel:
            set({{IRP_MJ_CREATE, 10}, {IRP_MJ_CLOSE, 10}, {IRP_MJ_WRITE, 100},
                 {IRP_MJ_DEVICE_CONTROL, 40}, {IRP_MJ_INTERNAL_DEVICE_CONTROL, 30},
                 {IRP_MJ_CLEANUP, 10}, {IRP_MJ_POWER, 3}, {IRP_MJ_PNP, 4}});
            break;
        case SimDeviceKind::Network:
            set({{IRP_MJ_CREATE, 10}, {IRP_MJ_CLOSE, 10}, {IRP_MJ_DEVICE_CONTROL, 200},
                 {IRP_MJ_CLEANUP, 10}, {IRP_MJ_POWER, 10}, {IRP_MJ_SYSTEM_CONTROL, 60},
                 {IRP_MJ_PNP, 8}});
            break;
        case SimDeviceKind::Beep:
            set({{IRP_MJ_CREATE, 20}, {IRP_MJ_CLOSE, 20}, {IRP_MJ_DEVICE_CONTROL, 100},
                 {IRP_MJ_CLEANUP, 20}});
            break;
        case SimDeviceKind::Video:
            set({{IRP_MJ_CREATE, 5}, {IRP_MJ_CLOSE, 5}, {IRP_MJ_DEVICE_CONTROL, 200},
                 {IRP_MJ_CLEANUP, 5}, {IRP_MJ_POWER, 20}, {IRP_MJ_PNP, 10}});
            break;
        case SimDeviceKind::Null:
            set({{IRP_MJ_CREATE, 50}, {IRP_MJ_CLOSE, 50}, {IRP_MJ_READ, 60}, {IRP_MJ_WRITE, 120},
                 {IRP_MJ_QUERY_INFORMATION, 30}, {IRP_MJ_QUERY_VOLUME_INFORMATION, 20},
                 {IRP_MJ_CLEANUP, 50}});
            break;
        case SimDeviceKind::PnpBus:
            set({{IRP_MJ_POWER, 150}, {IRP_MJ_SYSTEM_CONTROL, 20}, {IRP_MJ_PNP, 400}});
            break;
        case SimDeviceKind::Generic:
            set({{IRP_MJ_CREATE, 30}, {IRP_MJ_CLOSE, 30}, {IRP_MJ_READ, 100}, {IRP_MJ_WRITE, 100},
                 {IRP_MJ_CLEANUP, 30}, {IRP_MJ_POWER, 5}, {IRP_MJ_PNP, 5}});
            break;
    }
    return w;
}

// Records per second with every major function selected.
double KindActivity(SimDeviceKind kind) {
    switch (kind) {
        case SimDeviceKind::Disk: return 2000;
        case SimDeviceKind::Volume: return 2500;
        case SimDeviceKind::CdRom: return 300;
        case SimDeviceKind::Floppy: return 40;
        case SimDeviceKind::Keyboard: return 20;
        case SimDeviceKind::Mouse: return 120;
        case SimDeviceKind::Serial: return 400;
        case SimDeviceKind::Parallel: return 150;
        case SimDeviceKind::Network: return 800;
        case SimDeviceKind::Beep: return 4;
        case SimDeviceKind::Video: return 100;
        case SimDeviceKind::Null: return 500;
        case SimDeviceKind::PnpBus: return 15;
        case SimDeviceKind::Generic: return 200;
    }
    return 100;
}

bool IsPciDevice(SimDeviceKind kind) {
    return kind == SimDeviceKind::Network || kind == SimDeviceKind::Video ||
           kind == SimDeviceKind::PnpBus;
}

uint64_t Mix(uint64_t a, uint64_t b) {
    CSimRandom r(a ^ (b * 0xD6E8FEB86659FD93ull));
    r.Next();
    return r.Next();
}

}  // namespace

double CSimRandom::Normal() {
    if (m_haveSpare) {
        m_haveSpare = false;
        return m_spare;
    }
    const double u = Unit(), v = Unit();
    const double radius = std::sqrt(-2.0 * std::log(u));
    const double angle = 6.283185307179586 * v;
    m_spare = radius * std::sin(angle);
    m_haveSpare = true;
    return radius * std::cos(angle);
}

CIrpStream::CIrpStream(const SimDevice& device, uint64_t seed, uint32_t processorSpeed)
    : m_device(device),
      m_rng(Mix(seed, device.deviceObject)),
      m_speed(processorSpeed ? processorSpeed : 1),
      m_weights(MajorWeights(device.kind)) {
    for (uint32_t w : m_weights) m_allTotal += w;
    // All devices of one seed share the time base: the system has been up
    // between one and 25 hours.
    CSimRandom base(Mix(seed, 0x7155));
    const uint64_t uptimeUs = (3600ull + base.Below(86400)) * 1000000ull;
    m_clock = uptimeUs * m_speed;
    m_powerSequence[0] = 2 + m_rng.Below(6);
    m_powerSequence[1] = m_powerSequence[0] - m_rng.Below(2);
    m_powerSequence[2] = m_powerSequence[1] - m_rng.Below(2);
    m_systemContext = 0x00010000 | m_rng.Below(0x100);
    m_packetsSent = 10000 + m_rng.Below(1000000);
    m_packetsReceived = 10000 + m_rng.Below(3000000);
}

void CIrpStream::SetMask(uint32_t mask) {
    m_mask = mask & 0x0FFFFFFFu;
    uint32_t sum = 0;
    for (size_t i = 0; i < m_weights.size(); ++i) {
        if (m_mask & (1u << i)) sum += m_weights[i];
        m_cumulative[i] = sum;
    }
    m_selectedTotal = sum;
    m_activity = m_allTotal ? KindActivity(m_device.kind) * sum / m_allTotal : 0;
    m_meanGapUs = m_activity > 0 ? 1e6 / m_activity : 1e6;
}

uint32_t CIrpStream::PickMajor() {
    const uint32_t r = m_rng.Below(m_selectedTotal);
    // Linear: 28 entries, most of them cheap comparisons.
    for (uint32_t i = 0; i < 28; ++i)
        if (r < m_cumulative[i]) return i;
    return 27;
}

double CIrpStream::Latency(double medianUs, double sigma) {
    const double us = medianUs * std::exp(sigma * m_rng.Normal());
    return std::clamp(us, 0.4, 60e6);
}

uint32_t CIrpStream::KernelPointer() { return 0x8A000000u + (m_rng.Below(0x00800000) & ~7u); }
uint32_t CIrpStream::PagedPointer() { return 0xE1000000u + (m_rng.Below(0x01000000) & ~7u); }
uint32_t CIrpStream::UserPointer() { return 0x0006F000u + (m_rng.Below(0x000C0000) & ~3u); }

uint32_t CIrpStream::PickStatus(uint32_t major, uint32_t minor) {
    const SimDeviceKind kind = m_device.kind;
    if (major == IRP_MJ_READ && kind == SimDeviceKind::Null) return STATUS_END_OF_FILE;
    if (major == IRP_MJ_PNP && kind != SimDeviceKind::PnpBus &&
        (minor == IRP_MN_QUERY_INTERFACE || minor == 0x15 || minor == IRP_MN_QUERY_DEVICE_TEXT) &&
        m_rng.Below(10) < 4)
        return STATUS_NOT_SUPPORTED;  // nobody in the stack handles it
    const uint32_t r = m_rng.Below(10000);
    if (r < 150) return STATUS_PENDING;
    if (r < 9700) return STATUS_SUCCESS;
    switch (major) {
        case IRP_MJ_READ:
        case IRP_MJ_WRITE:
            switch (kind) {
                case SimDeviceKind::CdRom:
                    return Pick(m_rng, {{STATUS_NO_MEDIA_IN_DEVICE, 4},
                                        {STATUS_VERIFY_REQUIRED, 3},
                                        {STATUS_DEVICE_NOT_READY, 2}});
                case SimDeviceKind::Floppy:
                    return Pick(m_rng, {{STATUS_NO_MEDIA_IN_DEVICE, 5},
                                        {STATUS_DEVICE_DATA_ERROR, 2},
                                        {STATUS_VERIFY_REQUIRED, 2}});
                case SimDeviceKind::Keyboard:
                case SimDeviceKind::Mouse:
                    return Pick(m_rng, {{STATUS_CANCELLED, 8}, {STATUS_DEVICE_NOT_CONNECTED, 1}});
                case SimDeviceKind::Serial:
                case SimDeviceKind::Parallel:
                    return Pick(m_rng,
                                {{STATUS_CANCELLED, 3}, {STATUS_TIMEOUT, 4}, {STATUS_DEVICE_BUSY, 1}});
                default:
                    return Pick(m_rng, {{STATUS_END_OF_FILE, 3},
                                        {STATUS_IO_TIMEOUT, 1},
                                        {STATUS_DEVICE_DATA_ERROR, 1},
                                        {STATUS_VERIFY_REQUIRED, 1}});
            }
        case IRP_MJ_CREATE:
            return Pick(m_rng, {{STATUS_ACCESS_DENIED, 3},
                                {STATUS_OBJECT_NAME_NOT_FOUND, 2},
                                {STATUS_SHARING_VIOLATION, 3},
                                {STATUS_INSUFFICIENT_RESOURCES, 1}});
        case IRP_MJ_DEVICE_CONTROL:
        case IRP_MJ_INTERNAL_DEVICE_CONTROL:
            return Pick(m_rng, {{STATUS_INVALID_DEVICE_REQUEST, 3},
                                {STATUS_BUFFER_TOO_SMALL, 2},
                                {STATUS_BUFFER_OVERFLOW, 2},
                                {STATUS_INVALID_PARAMETER, 1},
                                {STATUS_NOT_SUPPORTED, 1},
                                {STATUS_DEVICE_NOT_READY, 1},
                                {STATUS_INVALID_DEVICE_STATE, 1}});
        case IRP_MJ_QUERY_INFORMATION:
        case IRP_MJ_SET_INFORMATION:
        case IRP_MJ_QUERY_VOLUME_INFORMATION:
            return Pick(m_rng, {{STATUS_INVALID_PARAMETER, 2},
                                {STATUS_BUFFER_OVERFLOW, 2},
                                {STATUS_INVALID_INFO_CLASS, 2},
                                {STATUS_NOT_IMPLEMENTED, 1}});
        case IRP_MJ_POWER:
            if (minor == IRP_MN_WAIT_WAKE)
                return Pick(m_rng, {{STATUS_CANCELLED, 5}, {STATUS_POWER_STATE_INVALID, 1}});
            if (minor == IRP_MN_QUERY_POWER)
                return Pick(m_rng, {{STATUS_UNSUCCESSFUL, 3}, {STATUS_POWER_STATE_INVALID, 1}});
            return Pick(m_rng, {{STATUS_POWER_STATE_INVALID, 1},
                                {STATUS_UNSUCCESSFUL, 1},
                                {STATUS_NOT_SUPPORTED, 1}});
        case IRP_MJ_PNP:
            return Pick(m_rng, {{STATUS_NOT_SUPPORTED, 6},
                                {STATUS_INVALID_DEVICE_STATE, 2},
                                {STATUS_INSUFFICIENT_RESOURCES, 1},
                                {STATUS_NOT_FOUND, 1}});
        case IRP_MJ_SYSTEM_CONTROL:
            return Pick(m_rng, {{STATUS_WMI_GUID_NOT_FOUND, 3},
                                {STATUS_BUFFER_TOO_SMALL, 2},
                                {STATUS_WMI_INSTANCE_NOT_FOUND, 1}});
        default:
            return Pick(m_rng, {{STATUS_UNSUCCESSFUL, 2},
                                {STATUS_INVALID_DEVICE_REQUEST, 2},
                                {STATUS_INVALID_DEVICE_STATE, 1}});
    }
}

void CIrpStream::Create(uint8_t* p, Outcome& o) {
    Put32(p, par::SecurityContext, 0xF78D0000u + (m_rng.Below(0x8000) & ~3u));
    // Disposition FILE_OPEN in the top byte, then the create options.
    Put32(p, par::Options,
          0x01000000u | Pick(m_rng, {{0x00000060, 6}, {0x00000020, 3}, {0x00000000, 2}, {0x00004000, 1}}));
    Put16(p, par::FileAttributes, m_rng.Below(4) == 0 ? 0x0080 : 0x0000);
    Put16(p, par::ShareAccess,
          m_device.kind == SimDeviceKind::Serial ? 0 : Pick(m_rng, {{3, 5}, {7, 2}, {1, 1}}));
    Put32(p, par::EaLength, 0);
    o.latencyUs = Latency(m_device.kind == SimDeviceKind::Null ? 3 : 12, 0.6);
}

void CIrpStream::ReadWrite(uint32_t major, uint8_t* p, Outcome& o) {
    const bool write = major == IRP_MJ_WRITE;
    uint32_t length = 0;
    uint64_t offset = 0;
    auto placed = [&](uint64_t size, uint64_t align) {
        uint64_t at = m_position;
        if (m_rng.Below(10) < 3 || at + length > size) at = (m_rng.Next() % (size - length)) & ~(align - 1);
        m_position = at + length;
        return at;
    };
    switch (m_device.kind) {
        case SimDeviceKind::Disk:
            length = 512u * Pick(m_rng, {{1, 2}, {8, 6}, {16, 3}, {32, 2}, {128, 2}});
            offset = placed(kDiskBytes, 512);
            o.latencyUs = Latency(write ? 400 : 250, 1.3);
            break;
        case SimDeviceKind::Volume:
            length = 4096u * Pick(m_rng, {{1, 6}, {2, 2}, {4, 2}, {16, 2}});
            offset = placed(kVolumeBytes, 4096);
            o.latencyUs = Latency(write ? 450 : 300, 1.3);
            break;
        case SimDeviceKind::CdRom:
            length = 2048u * Pick(m_rng, {{1, 2}, {16, 4}, {32, 3}});
            offset = placed(kCdBytes, 2048);
            o.latencyUs = Latency(2000, 1.4);
            break;
        case SimDeviceKind::Floppy:
            length = 512u * Pick(m_rng, {{1, 3}, {18, 2}});
            offset = placed(kFloppyBytes, 512);
            o.latencyUs = Latency(60000, 0.6);
            break;
        case SimDeviceKind::Keyboard:
            length = 12u * Pick(m_rng, {{1, 3}, {10, 5}});  // KEYBOARD_INPUT_DATA entries
            o.latencyUs = Latency(150000, 1.2);             // waits for the next key
            break;
        case SimDeviceKind::Mouse:
            length = 24u * Pick(m_rng, {{1, 3}, {16, 5}});  // MOUSE_INPUT_DATA entries
            o.latencyUs = Latency(8000, 1.0);
            break;
        case SimDeviceKind::Serial:
            length = 1 + m_rng.Below(write ? 256 : 4096);
            // Ten bit times per byte on the wire.
            o.latencyUs = write ? Latency(length * 1e7 / m_baudRate, 0.3) : Latency(5000, 1.5);
            break;
        case SimDeviceKind::Parallel:
            length = 1 + m_rng.Below(8192);
            o.latencyUs = Latency(3000, 0.9);
            break;
        case SimDeviceKind::Null:
            length = Pick(m_rng, {{1, 1}, {512, 2}, {4096, 3}, {65536, 1}});
            offset = m_rng.Below(1u << 20);
            o.latencyUs = Latency(2, 0.3);
            break;
        default:
            length = 512u * (1 + m_rng.Below(16));
            offset = placed(kDiskBytes, 512);
            o.latencyUs = Latency(500, 1.0);
            break;
    }
    Put32(p, par::Length, length);
    Put32(p, par::Key, 0);
    Put64(p, par::ByteOffsetLow, offset);
}

void CIrpStream::QueryInformation(uint8_t* p, Outcome& o) {
    static constexpr uint32_t kClass[] = {4, 5, 14, 17, 34};     // basic, standard, position,
    static constexpr uint32_t kLength[] = {40, 24, 8, 4, 56};    // alignment, network open
    uint32_t i = m_device.kind == SimDeviceKind::Volume ? m_rng.Below(5) : 1 + m_rng.Below(2);
    Put32(p, par::Length, kLength[i]);
    Put32(p, par::InformationClass, kClass[i]);
    o.latencyUs = Latency(6, 0.7);
}

void CIrpStream::SetInformation(uint8_t* p, Outcome& o) {
    static constexpr uint32_t kClass[] = {14, 20, 13, 19, 4};  // position, end of file,
    static constexpr uint32_t kLength[] = {8, 8, 1, 8, 40};    // disposition, allocation, basic
    uint32_t i = m_device.kind == SimDeviceKind::Volume ? m_rng.Below(5) : 0;
    Put32(p, par::Length, kLength[i]);
    Put32(p, par::InformationClass, kClass[i]);
    Put32(p, par::FileObject, KernelPointer());
    o.latencyUs = Latency(9, 0.8);
}

void CIrpStream::QueryVolume(uint8_t* p, Outcome& o) {
    static constexpr uint32_t kClass[] = {4, 1, 3, 5, 7};  // device, volume, size, attribute, full size
    static constexpr uint32_t kLength[] = {8, 0x80, 24, 0x20C, 32};
    uint32_t i = m_device.kind == SimDeviceKind::Volume ? m_rng.Below(5) : 0;
    Put32(p, par::Length, kLength[i]);
    Put32(p, par::InformationClass, kClass[i]);
    o.latencyUs = Latency(7, 0.6);
}

void CIrpStream::DeviceControl(uint8_t* rec, Outcome& o) {
    uint8_t* p = rec + rec::Parameters;
    uint8_t* out = rec + rec::OutputData;
    uint8_t* in = rec + rec::InputData;
    const std::vector<SimIoctl>& ioctls = SimulatedIoctls(m_device.kind);
    if (ioctls.empty()) {
        // A device without device controls of its own: an unknown request.
        Put32(p, par::OutputBufferLength, 0);
        Put32(p, par::InputBufferLength, 0);
        Put32(p, par::IoControlCode, 0x00220000u | (m_rng.Below(0x400) << 2));
        o.status = STATUS_INVALID_DEVICE_REQUEST;
        o.latencyUs = Latency(4, 0.4);
        return;
    }
    uint32_t total = 0;
    for (const SimIoctl& i : ioctls) total += i.weight;
    uint32_t r = m_rng.Below(total);
    const SimIoctl* io = &ioctls.front();
    for (const SimIoctl& i : ioctls) {
        if (r < i.weight) {
            io = &i;
            break;
        }
        r -= i.weight;
    }
    Put32(p, par::OutputBufferLength, io->outLength);
    Put32(p, par::InputBufferLength, io->inLength);
    Put32(p, par::IoControlCode, io->code);
    Put32(p, par::Type3InputBuffer, io->inLength ? UserPointer() : 0);
    o.status = PickStatus(IRP_MJ_DEVICE_CONTROL, 0);
    const bool filled = o.status == STATUS_SUCCESS || o.status == STATUS_PENDING;
    o.latencyUs = Latency(15, 0.8);

    switch (io->code) {
        case 0x00070000:  // IOCTL_DISK_GET_DRIVE_GEOMETRY
            if (filled) {
                Put64(out, 0, kCylinders);
                Put32(out, 8, 12);  // FixedMedia
                Put32(out, 12, 255);
                Put32(out, 16, 63);
                Put32(out, 20, 512);
            }
            break;
        case 0x0007405C:  // IOCTL_DISK_GET_LENGTH_INFO
            if (filled) Put64(out, 0, kDiskBytes);
            break;
        case 0x00560000:  // IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS
            if (filled) {
                Put32(out, 0, 1);
                Put32(out, 8, 0);
                Put64(out, 16, kVolumeStart);
                Put64(out, 24, kVolumeBytes);
            }
            break;
        case 0x00024000:  // IOCTL_CDROM_READ_TOC: one data track and the lead-out
            o.latencyUs = Latency(3000, 1.0);
            if (filled) {
                Put16(out, 0, 0x0012);
                out[2] = 1;
                out[3] = 1;
                out[5] = 0x14;
                out[6] = 1;
                out[8 + 2] = 2;  // MSF 00:02:00
                out[13] = 0x14;
                out[14] = 0xAA;
                out[17] = 72;
                out[18] = 33;
                out[19] = 16;
            }
            break;
        case 0x00070C00:  // IOCTL_DISK_GET_MEDIA_TYPES (floppy): 1.44 MB and 720 KB
            if (filled) {
                const uint32_t media[2][4] = {{2, 2, 18, 512}, {5, 2, 9, 512}};
                for (int i = 0; i < 2; ++i) {
                    Put64(out, i * 24, 80);
                    for (int j = 0; j < 4; ++j) Put32(out, i * 24 + 8 + j * 4, media[i][j]);
                }
            }
            o.latencyUs = Latency(40, 0.6);
            break;
        case 0x00074800:  // IOCTL_DISK_CHECK_VERIFY
            o.latencyUs = Latency(30000, 0.5);
            break;
        case 0x000B0000:  // IOCTL_KEYBOARD_QUERY_ATTRIBUTES
            if (filled) {
                out[0] = 4;  // enhanced 101/102-key
                out[1] = 0;
                Put16(out, 2, 1);
                Put16(out, 4, 12);
                Put16(out, 6, 3);
                Put16(out, 8, 101);
                Put32(out, 12, 100);
                Put16(out, 16, 2);
                Put16(out, 18, 250);
                Put16(out, 20, 30);
                Put16(out, 22, 1000);
            }
            break;
        case 0x000F0000:  // IOCTL_MOUSE_QUERY_ATTRIBUTES
            if (filled) {
                Put16(out, 0, 2);  // i8042 port mouse
                Put16(out, 2, 3);
                Put16(out, 4, 100);
                Put32(out, 8, 100);
            }
            break;
        case 0x001B0004:  // IOCTL_SERIAL_SET_BAUD_RATE
            m_baudRate = Pick(m_rng, {{9600, 3}, {19200, 2}, {115200, 4}});
            Put32(in, 0, m_baudRate);
            o.latencyUs = Latency(40, 0.5);
            break;
        case 0x001B0050:  // IOCTL_SERIAL_GET_BAUD_RATE
            if (filled) Put32(out, 0, m_baudRate);
            break;
        case 0x001B006C:  // IOCTL_SERIAL_GET_COMMSTATUS
            if (filled) {
                Put32(out, 0, m_rng.Below(40) == 0 ? 0x00000008 : 0);  // now and then an overrun
                Put32(out, 4, 0);
                Put32(out, 8, m_rng.Below(65));
                Put32(out, 12, m_rng.Below(129));
            }
            break;
        case 0x00160004:  // IOCTL_PAR_QUERY_INFORMATION
            if (filled) out[0] = m_rng.Below(5) == 0 ? 0x14 : 0x10;
            break;
        case 0x00170002: {  // IOCTL_NDIS_QUERY_GLOBAL_STATS
            const uint32_t oid = Pick(m_rng, {{0x00010114, 3}, {0x00010107, 2}, {0x00020101, 4},
                                              {0x00020102, 4}, {0x0001010E, 1}});
            Put32(in, 0, oid);
            uint32_t value = 0;
            switch (oid) {
                case 0x00010114: value = 0; break;            // media connected
                case 0x00010107: value = 10000000; break;     // 1 Gbit/s in 100 bit/s
                case 0x00020101: value = m_packetsSent += 1 + m_rng.Below(400); break;
                case 0x00020102: value = m_packetsReceived += 1 + m_rng.Below(900); break;
                default: value = 1514; break;
            }
            if (filled) Put32(out, 0, value);
            o.latencyUs = Latency(25, 0.7);
            break;
        }
        case 0x00010000:  // IOCTL_BEEP_SET
            Put32(in, 0, 800);
            Put32(in, 4, 200);
            break;
        case 0x00230420:  // IOCTL_VIDEO_QUERY_CURRENT_MODE
            if (filled) {
                const uint32_t mode[12] = {48, 0x1F, 1920, 1080, 7680, 1, 32, 60, 477, 268, 8, 3};
                for (int i = 0; i < 12; ++i) Put32(out, i * 4, mode[i]);
            }
            o.latencyUs = Latency(60, 0.8);
            break;
        default: break;
    }
}

void CIrpStream::InternalControl(uint8_t* p, Outcome& o) {
    switch (m_device.kind) {
        case SimDeviceKind::Keyboard:
        case SimDeviceKind::Mouse: {
            const uint32_t type = m_device.kind == SimDeviceKind::Keyboard ? 0x000B0000 : 0x000F0000;
            const bool connect = m_rng.Below(3) != 0;
            Put32(p, par::OutputBufferLength, 0);
            Put32(p, par::InputBufferLength, connect ? 8 : 24);
            Put32(p, par::IoControlCode, type | (connect ? 0x0203 : 0x0FF3));
            Put32(p, par::Type3InputBuffer, KernelPointer());
            o.latencyUs = Latency(20, 0.6);
            break;
        }
        case SimDeviceKind::Parallel: {
            const uint32_t code = Pick(m_rng, {{0x0016002C, 3}, {0x001600A0, 3}, {0x00160030, 1}});
            Put32(p, par::OutputBufferLength, code == 0x00160030 ? 40 : 0);
            Put32(p, par::InputBufferLength, 0);
            Put32(p, par::IoControlCode, code);
            o.latencyUs = Latency(code == 0x0016002C ? 300 : 10, 1.0);
            break;
        }
        default:
            // IRP_MJ_SCSI: the stack location carries the request block.
            Put32(p, 0, KernelPointer());
            o.latencyUs = Latency(m_device.kind == SimDeviceKind::CdRom ? 1500 : 300, 1.2);
            break;
    }
}

void CIrpStream::Power(uint8_t* p, Outcome& o) {
    const SimDeviceKind kind = m_device.kind;
    const bool wakes = kind == SimDeviceKind::Keyboard || kind == SimDeviceKind::Mouse ||
                       kind == SimDeviceKind::Network || kind == SimDeviceKind::PnpBus;
    o.minor = Pick(m_rng, {{IRP_MN_WAIT_WAKE, wakes ? 2u : 0u},
                           {IRP_MN_POWER_SEQUENCE, kind == SimDeviceKind::PnpBus ? 4u : 1u},
                           {IRP_MN_SET_POWER, 5},
                           {IRP_MN_QUERY_POWER, 3}});
    switch (o.minor) {
        case IRP_MN_WAIT_WAKE:
            Put32(p, par::PowerState, Pick(m_rng, {{2, 1}, {3, 1}, {4, 3}}));  // S1..S3
            o.latencyUs = Latency(20e6, 1.5);  // armed until the system wakes
            break;
        case IRP_MN_POWER_SEQUENCE:
            // The driver copies the three counters in place of the pointer.
            Put32(p, par::SequenceD1, m_powerSequence[0]);
            Put32(p, par::SequenceD2, m_powerSequence[1]);
            Put32(p, par::SequenceD3, m_powerSequence[2]);
            o.latencyUs = Latency(5, 0.4);
            break;
        default: {
            const bool device = m_rng.Below(3) != 0;
            uint32_t state, action;
            if (device) {
                state = m_devicePower == 1 ? Pick(m_rng, {{4, 4}, {2, 1}, {3, 1}}) : 1;
                action = state == 1 ? 0 : Pick(m_rng, {{0, 3}, {2, 1}});
            } else {
                const uint32_t sys = Pick(m_rng, {{1, 4}, {4, 3}, {5, 1}, {6, 1}});
                state = sys;
                action = sys == 1 ? 0 : sys == 4 ? 2 : sys == 5 ? 3 : Pick(m_rng, {{6, 2}, {5, 1}});
                if (o.minor == IRP_MN_SET_POWER && sys != 1) ++m_systemContext;
            }
            Put32(p, par::SystemContext, m_systemContext);
            Put32(p, par::PowerType, device ? 1 : 0);  // DevicePowerState : SystemPowerState
            Put32(p, par::State, state);
            Put32(p, par::ShutdownType, action);
            o.status = PickStatus(IRP_MJ_POWER, o.minor);
            if (device && o.minor == IRP_MN_SET_POWER && o.status == STATUS_SUCCESS) {
                // Entering Dn counts for every sequence up to n.
                for (uint32_t d = 2; d <= state && d <= 4; ++d) ++m_powerSequence[d - 2];
                m_devicePower = state;
            }
            o.latencyUs = Latency(state == 1 ? 3000 : 500, 1.2);
            break;
        }
    }
}

void CIrpStream::Capabilities(uint8_t* p) {
    struct Caps {
        uint32_t flags, address, uiNumber, systemWake, deviceWake, d3Latency;
        uint32_t states[7];
    };
    const uint32_t none = 0xFFFFFFFF;
    Caps c{0x0080, 0, none, 0, 0, 0, {0, 1, 4, 4, 4, 4, 4}};
    switch (m_device.kind) {
        case SimDeviceKind::Disk: c = {0x0080, 0, none, 0, 0, 100, {0, 1, 4, 4, 4, 4, 4}}; break;
        case SimDeviceKind::CdRom: c = {0x009C, 1, none, 0, 0, 100, {0, 1, 4, 4, 4, 4, 4}}; break;
        case SimDeviceKind::Floppy: c = {0x0090, 0, none, 0, 0, 0, {0, 1, 4, 4, 4, 4, 4}}; break;
        case SimDeviceKind::Volume: c = {0x0180, 0, none, 0, 0, 0, {0, 1, 4, 4, 4, 4, 4}}; break;
        case SimDeviceKind::Keyboard:
        case SimDeviceKind::Mouse: c = {0x0040, 0, none, 4, 3, 0, {0, 1, 3, 3, 3, 4, 4}}; break;
        case SimDeviceKind::Network:
            c = {0x0203, 0x00030000, 3, 4, 4, 100, {0, 1, 4, 4, 4, 4, 4}};
            break;
        case SimDeviceKind::Video: c = {0x0000, 0x000F0000, 15, 0, 0, 100, {0, 1, 4, 4, 4, 4, 4}}; break;
        case SimDeviceKind::PnpBus: c = {0x0003, 0x001E0000, none, 0, 0, 0, {0, 1, 4, 4, 4, 4, 4}}; break;
        default: break;
    }
    Put16(p, par::CapSize, 64);
    Put16(p, par::CapVersion, 1);
    Put32(p, par::CapFlags, c.flags);
    Put32(p, par::CapAddress, c.address);
    Put32(p, par::CapUINumber, c.uiNumber);
    for (int i = 0; i < 7; ++i) Put32(p, par::CapDeviceState + 4 * i, c.states[i]);
    Put32(p, par::CapSystemWake, c.systemWake);
    Put32(p, par::CapDeviceWake, c.deviceWake);
    Put32(p, par::CapD1Latency, 0);
    Put32(p, par::CapD2Latency, 0);
    Put32(p, par::CapD3Latency, c.d3Latency);
}

void CIrpStream::Pnp(uint8_t* p, Outcome& o) {
    const SimDeviceKind kind = m_device.kind;
    const bool bus = kind == SimDeviceKind::PnpBus;
    const bool pci = IsPciDevice(kind);
    const bool storage = kind == SimDeviceKind::Disk || kind == SimDeviceKind::Volume;
    o.minor = Pick(m_rng, {{IRP_MN_START_DEVICE, 1},
                           {IRP_MN_QUERY_DEVICE_RELATIONS, bus ? 8u : 5u},
                           {IRP_MN_QUERY_INTERFACE, 2},
                           {IRP_MN_QUERY_CAPABILITIES, 3},
                           {IRP_MN_QUERY_RESOURCES, 1},
                           {0x0B, 1},  // IRP_MN_QUERY_RESOURCE_REQUIREMENTS
                           {IRP_MN_QUERY_DEVICE_TEXT, 2},
                           {IRP_MN_FILTER_RESOURCE_REQUIREMENTS, 1},
                           {IRP_MN_READ_CONFIG, pci ? 3u : 0u},
                           {IRP_MN_WRITE_CONFIG, pci ? 1u : 0u},
                           {IRP_MN_SET_LOCK, kind == SimDeviceKind::CdRom || bus ? 1u : 0u},
                           {IRP_MN_QUERY_ID, 3},
                           {0x14, 4},  // IRP_MN_QUERY_PNP_DEVICE_STATE
                           {0x15, 1},  // IRP_MN_QUERY_BUS_INFORMATION
                           {IRP_MN_DEVICE_USAGE_NOTIFICATION, storage || bus ? 1u : 0u}});
    o.latencyUs = Latency(40, 1.0);
    switch (o.minor) {
        case IRP_MN_START_DEVICE:
            Put32(p, par::AllocatedResources, PagedPointer());
            Put32(p, par::AllocatedResourcesTranslated, PagedPointer());
            o.latencyUs = Latency(20000, 1.0);
            break;
        case IRP_MN_QUERY_DEVICE_RELATIONS:
            Put32(p, par::RelationType,
                  bus ? Pick(m_rng, {{0, 6}, {4, 2}, {3, 1}})
                      : Pick(m_rng, {{4, 5}, {3, 2}, {1, 1}, {2, 1}}));
            break;
        case IRP_MN_QUERY_INTERFACE:
            Put32(p, par::InterfaceType, 0xF7400000u + (m_rng.Below(0x10000) & ~3u));
            Put16(p, par::InterfaceSize, Pick(m_rng, {{0x1C, 2}, {0x40, 1}, {0x14, 1}}));
            Put16(p, par::InterfaceVersion, 1);
            Put32(p, par::Interface, KernelPointer());
            Put32(p, par::InterfaceSpecificData, 0);
            break;
        case IRP_MN_QUERY_CAPABILITIES: Capabilities(p); break;
        case IRP_MN_QUERY_DEVICE_TEXT:
            Put32(p, par::DeviceTextType, m_rng.Below(3) == 0 ? 1 : 0);
            Put32(p, par::LocaleId, 0x0409);
            break;
        case IRP_MN_FILTER_RESOURCE_REQUIREMENTS:
            Put32(p, par::IoResourceRequirementList, PagedPointer());
            break;
        case IRP_MN_READ_CONFIG:
        case IRP_MN_WRITE_CONFIG:
            Put32(p, par::WhichSpace, 0);  // PCI_WHICHSPACE_CONFIG
            Put32(p, par::ConfigBuffer, KernelPointer());
            Put32(p, par::ConfigOffset, Pick(m_rng, {{0x00, 3}, {0x04, 2}, {0x10, 1}, {0x2C, 1},
                                                     {0x34, 1}, {0x40, 2}, {0xDC, 1}}));
            Put32(p, par::ConfigLength, Pick(m_rng, {{4, 4}, {2, 1}, {64, 2}, {256, 1}}));
            o.latencyUs = Latency(6, 0.5);
            break;
        case IRP_MN_SET_LOCK: p[par::Lock] = static_cast<uint8_t>(m_rng.Below(2)); break;
        case IRP_MN_QUERY_ID: Put32(p, par::IdType, Pick(m_rng, {{0, 3}, {1, 3}, {2, 2}, {3, 2}, {4, 1}})); break;
        case IRP_MN_DEVICE_USAGE_NOTIFICATION:
            p[par::InPath] = m_rng.Below(4) != 0;
            Put32(p, par::UsageType, Pick(m_rng, {{1, 3}, {2, 1}, {3, 2}}));
            break;
        default: break;  // no parameters worth carrying
    }
    o.status = PickStatus(IRP_MJ_PNP, o.minor);
}

void CIrpStream::Wmi(uint8_t* p, Outcome& o) {
    o.minor = Pick(m_rng, {{0, 3}, {1, 4}, {2, 1}, {4, 1}, {5, 1}, {6, 1}, {7, 1}, {8, 1}, {9, 1}});
    Put32(p, 0, m_device.deviceObject);  // ProviderId
    Put32(p, 4, 0xF7500000u + (m_rng.Below(0x10000) & ~3u));  // DataPath (GUID)
    Put32(p, 8, o.minor == 8 ? 0x1000 : Pick(m_rng, {{0x40, 2}, {0x100, 1}, {0x18, 1}}));
    Put32(p, 12, KernelPointer());
    o.latencyUs = Latency(25, 0.9);
}

void CIrpStream::Next(uint8_t* out) {
    std::memset(out, 0, protocol::kRecordSize);
    const uint32_t major = PickMajor();
    uint8_t* p = out + rec::Parameters;
    Outcome o;
    o.status = 0xFFFFFFFF;  // "not chosen yet"
    switch (major) {
        case IRP_MJ_CREATE: Create(p, o); break;
        case IRP_MJ_READ:
        case IRP_MJ_WRITE: ReadWrite(major, p, o); break;
        case IRP_MJ_QUERY_INFORMATION: QueryInformation(p, o); break;
        case IRP_MJ_SET_INFORMATION: SetInformation(p, o); break;
        case IRP_MJ_QUERY_VOLUME_INFORMATION: QueryVolume(p, o); break;
        case IRP_MJ_DEVICE_CONTROL: DeviceControl(out, o); break;
        case IRP_MJ_INTERNAL_DEVICE_CONTROL: InternalControl(p, o); break;
        case IRP_MJ_POWER: Power(p, o); break;
        case IRP_MJ_PNP: Pnp(p, o); break;
        case IRP_MJ_SYSTEM_CONTROL: Wmi(p, o); break;
        case IRP_MJ_FLUSH_BUFFERS: o.latencyUs = Latency(1500, 1.0); break;
        case IRP_MJ_SHUTDOWN: o.latencyUs = Latency(8000, 0.8); break;
        default: o.latencyUs = Latency(6, 0.5); break;  // close, cleanup
    }
    if (o.status == 0xFFFFFFFF) o.status = PickStatus(major, o.minor);

    const double gapUs = -std::log(m_rng.Unit()) * m_meanGapUs;
    m_clock += static_cast<uint64_t>(gapUs * m_speed) + 1;
    const uint64_t ticks = static_cast<uint64_t>(o.latencyUs * m_speed) + 1;
    le::Put32(out + rec::DeviceObject, m_device.deviceObject);
    le::Put32(out + rec::MajorFunction, major);
    le::Put32(out + rec::MinorFunction, o.minor);
    le::Put64(out + rec::StartTime, m_clock);
    le::Put64(out + rec::EndTime, m_clock + ticks);
    le::Put32(out + rec::Status, o.status);
}

IRP_CAPTURE_RECORD CIrpStream::NextRecord() {
    uint8_t wire[protocol::kRecordSize];
    Next(wire);
    IRP_CAPTURE_RECORD r;
    r.Read(wire);
    return r;
}

}  // namespace vantrel
