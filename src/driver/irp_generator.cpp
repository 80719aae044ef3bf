#include "driver/irp_generator.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <span>

#include "driver/traffic_tables.h"
#include "record/le.h"

namespace vantrel {
namespace {

using namespace traffic;

uint32_t Pick(CSimRandom& rng, std::span<const Weighted> items) {
    uint32_t total = 0;
    for (const Weighted& w : items) total += w.weight;
    uint32_t r = rng.Below(total);
    for (const Weighted& w : items) {
        if (r < w.weight) return w.value;
        r -= w.weight;
    }
    return items.front().value;
}

uint32_t Pick(CSimRandom& rng, std::initializer_list<Weighted> items) {
    return Pick(rng, std::span<const Weighted>(items.begin(), items.size()));
}

void Put16(uint8_t* p, size_t off, uint32_t v) {
    le::Put16(p + off, static_cast<uint16_t>(v));
}
void Put32(uint8_t* p, size_t off, uint32_t v) {
    le::Put32(p + off, v);
}
void Put64(uint8_t* p, size_t off, uint64_t v) {
    le::Put64(p + off, v);
}

void PutFields(uint8_t* buffer, std::span<const BufferField> fields) {
    for (const BufferField& f : fields) {
        switch (f.size) {
            case 1:
                buffer[f.offset] = static_cast<uint8_t>(f.value);
                break;
            case 2:
                Put16(buffer, f.offset, static_cast<uint32_t>(f.value));
                break;
            case 4:
                Put32(buffer, f.offset, static_cast<uint32_t>(f.value));
                break;
            default:
                Put64(buffer, f.offset, f.value);
                break;
        }
    }
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
      m_weights(TrafficOf(device.kind).majorWeights) {
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
    m_activity = m_allTotal ? TrafficOf(m_device.kind).activity * sum / m_allTotal : 0;
    m_meanGapUs = m_activity > 0 ? 1e6 / m_activity : 1e6;
}

uint32_t CIrpStream::PickMajor() {
    const uint32_t r = m_rng.Below(m_selectedTotal);
    // Linear: 28 entries, most of them cheap comparisons.
    for (uint32_t i = 0; i < 28; ++i)
        if (r < m_cumulative[i]) return i;
    return 27;
}

double CIrpStream::Latency(LatencySpec spec) {
    return Latency(spec.medianUs, spec.sigma);
}

double CIrpStream::Latency(double medianUs, double sigma) {
    const double us = medianUs * std::exp(sigma * m_rng.Normal());
    return std::clamp(us, 0.4, 60e6);
}

uint32_t CIrpStream::KernelPointer() {
    return 0x8A000000u + (m_rng.Below(0x00800000) & ~7u);
}
uint32_t CIrpStream::PagedPointer() {
    return 0xE1000000u + (m_rng.Below(0x01000000) & ~7u);
}
uint32_t CIrpStream::UserPointer() {
    return 0x0006F000u + (m_rng.Below(0x000C0000) & ~3u);
}

uint32_t CIrpStream::PickStatus(uint32_t major, uint32_t minor) {
    const SimDeviceKind kind = m_device.kind;
    if (major == IRP_MJ_READ && kind == SimDeviceKind::Null) return kStatusEndOfFile;
    if (major == IRP_MJ_PNP && kind != SimDeviceKind::PnpBus &&
        (minor == IRP_MN_QUERY_INTERFACE || minor == 0x15 || minor == IRP_MN_QUERY_DEVICE_TEXT) &&
        m_rng.Below(10) < 4)
        return kStatusNotSupported;  // nobody in the stack handles it
    const uint32_t r = m_rng.Below(10000);
    if (r < 150) return kStatusPending;
    if (r < 9700) return kStatusSuccess;
    return Pick(m_rng, FailureStatuses(major, minor, kind));
}

void CIrpStream::Create(uint8_t* p, Outcome& o) {
    Put32(p, par::SecurityContext, 0xF78D0000u + (m_rng.Below(0x8000) & ~3u));
    // Disposition FILE_OPEN in the top byte, then the create options.
    Put32(p, par::Options,
          0x01000000u |
              Pick(m_rng, {{0x00000060, 6}, {0x00000020, 3}, {0x00000000, 2}, {0x00004000, 1}}));
    Put16(p, par::FileAttributes, m_rng.Below(4) == 0 ? 0x0080 : 0x0000);
    Put16(p, par::ShareAccess,
          m_device.kind == SimDeviceKind::Serial ? 0 : Pick(m_rng, {{3, 5}, {7, 2}, {1, 1}}));
    Put32(p, par::EaLength, 0);
    o.latencyUs = Latency(m_device.kind == SimDeviceKind::Null ? 3 : 12, 0.6);
}

void CIrpStream::ReadWrite(uint32_t major, uint8_t* p, Outcome& o) {
    const bool write = major == IRP_MJ_WRITE;
    const TransferProfile& t = TransferOf(m_device.kind);
    const uint32_t uniform = write ? t.writeBlocksBelow : t.readBlocksBelow;
    const uint32_t length = t.unit * (uniform ? 1 + m_rng.Below(uniform) : Pick(m_rng, t.blocks));
    uint64_t offset = 0;
    if (t.mediaBytes) {
        // Mostly where the last transfer ended; now and then somewhere else.
        offset = m_position;
        if (m_rng.Below(10) < 3 || offset + length > t.mediaBytes)
            offset = (m_rng.Next() % (t.mediaBytes - length)) & ~uint64_t{t.unit - 1};
        m_position = offset + length;
    } else if (t.offsetBelow) {
        offset = m_rng.Below(t.offsetBelow);
    }
    if (write && t.wireTime)
        o.latencyUs = Latency(length * 1e7 / m_baudRate, t.write.sigma);  // ten bits a byte
    else
        o.latencyUs = Latency(write ? t.write : t.read);
    Put32(p, par::Length, length);
    Put32(p, par::Key, 0);
    Put64(p, par::ByteOffsetLow, offset);
}

void CIrpStream::QueryInformation(uint8_t* p, Outcome& o) {
    static constexpr uint32_t kClass[] = {4, 5, 14, 17, 34};   // basic, standard, position,
    static constexpr uint32_t kLength[] = {40, 24, 8, 4, 56};  // alignment, network open
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
    // Device, volume, size, attribute and full size information.
    static constexpr uint32_t kClass[] = {4, 1, 3, 5, 7};
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
        o.status = kStatusInvalidDeviceRequest;
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
    const bool filled = o.status == kStatusSuccess || o.status == kStatusPending;
    o.latencyUs = Latency(15, 0.8);

    if (const IoctlBehaviour* behaviour = IoctlBehaviourOf(io->code)) {
        if (filled) PutFields(out, behaviour->output);
        PutFields(in, behaviour->input);
        IoctlState(behaviour->content, in, out, filled);
        if (behaviour->latency) o.latencyUs = Latency(*behaviour->latency);
    }
}

// Buffer contents that follow the device's state or chance.
void CIrpStream::IoctlState(IoctlContent content, uint8_t* in, uint8_t* out, bool filled) {
    switch (content) {
        case IoctlContent::Fixed:
            break;
        case IoctlContent::SetBaudRate:
            m_baudRate = Pick(m_rng, {{9600, 3}, {19200, 2}, {115200, 4}});
            Put32(in, 0, m_baudRate);
            break;
        case IoctlContent::GetBaudRate:
            if (filled) Put32(out, 0, m_baudRate);
            break;
        case IoctlContent::CommStatus:
            if (filled) {
                Put32(out, 0, m_rng.Below(40) == 0 ? 0x00000008 : 0);  // now and then an overrun
                Put32(out, 4, 0);
                Put32(out, 8, m_rng.Below(65));
                Put32(out, 12, m_rng.Below(129));
            }
            break;
        case IoctlContent::ParallelStatus:
            if (filled) out[0] = m_rng.Below(5) == 0 ? 0x14 : 0x10;
            break;
        case IoctlContent::NdisStatistics: {
            // Media state, link speed, frames sent and received, frame size.
            const uint32_t oid = Pick(m_rng, {{0x00010114, 3},
                                              {0x00010107, 2},
                                              {0x00020101, 4},
                                              {0x00020102, 4},
                                              {0x0001010E, 1}});
            Put32(in, 0, oid);
            const uint32_t value = NdisValue(oid);
            if (filled) Put32(out, 0, value);
            break;
        }
    }
}

// The value an NDIS statistics query returns; the packet counters only grow.
uint32_t CIrpStream::NdisValue(uint32_t oid) {
    switch (oid) {
        case 0x00010114:
            return 0;  // NdisMediaStateConnected
        case 0x00010107:
            return 10000000;  // 1 Gbit/s in units of 100 bit/s
        case 0x00020101:
            return m_packetsSent += 1 + m_rng.Below(400);
        case 0x00020102:
            return m_packetsReceived += 1 + m_rng.Below(900);
        default:
            return 1514;  // the largest frame
    }
}

void CIrpStream::InternalControl(uint8_t* p, Outcome& o) {
    switch (m_device.kind) {
        case SimDeviceKind::Keyboard:
        case SimDeviceKind::Mouse: {
            const uint32_t type =
                m_device.kind == SimDeviceKind::Keyboard ? 0x000B0000 : 0x000F0000;
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
            if (device && o.minor == IRP_MN_SET_POWER && o.status == kStatusSuccess) {
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
    const CapabilitiesProfile& c = CapabilitiesOf(m_device.kind);
    Put16(p, par::CapSize, 64);
    Put16(p, par::CapVersion, 1);
    Put32(p, par::CapFlags, c.flags);
    Put32(p, par::CapAddress, c.address);
    Put32(p, par::CapUINumber, c.uiNumber);
    for (int i = 0; i < 7; ++i) Put32(p, par::CapDeviceState + 4 * i, c.deviceStates[i]);
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
        case IRP_MN_QUERY_CAPABILITIES:
            Capabilities(p);
            break;
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
            Put32(
                p, par::ConfigOffset,
                Pick(
                    m_rng,
                    {{0x00, 3}, {0x04, 2}, {0x10, 1}, {0x2C, 1}, {0x34, 1}, {0x40, 2}, {0xDC, 1}}));
            Put32(p, par::ConfigLength, Pick(m_rng, {{4, 4}, {2, 1}, {64, 2}, {256, 1}}));
            o.latencyUs = Latency(6, 0.5);
            break;
        case IRP_MN_SET_LOCK:
            p[par::Lock] = static_cast<uint8_t>(m_rng.Below(2));
            break;
        case IRP_MN_QUERY_ID:
            Put32(p, par::IdType, Pick(m_rng, {{0, 3}, {1, 3}, {2, 2}, {3, 2}, {4, 1}}));
            break;
        case IRP_MN_DEVICE_USAGE_NOTIFICATION:
            p[par::InPath] = m_rng.Below(4) != 0;
            Put32(p, par::UsageType, Pick(m_rng, {{1, 3}, {2, 1}, {3, 2}}));
            break;
        default:
            break;  // no parameters worth carrying
    }
    o.status = PickStatus(IRP_MJ_PNP, o.minor);
}

void CIrpStream::Wmi(uint8_t* p, Outcome& o) {
    o.minor = Pick(m_rng, {{0, 3}, {1, 4}, {2, 1}, {4, 1}, {5, 1}, {6, 1}, {7, 1}, {8, 1}, {9, 1}});
    Put32(p, 0, m_device.deviceObject);                       // ProviderId
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
        case IRP_MJ_CREATE:
            Create(p, o);
            break;
        case IRP_MJ_READ:
        case IRP_MJ_WRITE:
            ReadWrite(major, p, o);
            break;
        case IRP_MJ_QUERY_INFORMATION:
            QueryInformation(p, o);
            break;
        case IRP_MJ_SET_INFORMATION:
            SetInformation(p, o);
            break;
        case IRP_MJ_QUERY_VOLUME_INFORMATION:
            QueryVolume(p, o);
            break;
        case IRP_MJ_DEVICE_CONTROL:
            DeviceControl(out, o);
            break;
        case IRP_MJ_INTERNAL_DEVICE_CONTROL:
            InternalControl(p, o);
            break;
        case IRP_MJ_POWER:
            Power(p, o);
            break;
        case IRP_MJ_PNP:
            Pnp(p, o);
            break;
        case IRP_MJ_SYSTEM_CONTROL:
            Wmi(p, o);
            break;
        case IRP_MJ_FLUSH_BUFFERS:
            o.latencyUs = Latency(1500, 1.0);
            break;
        case IRP_MJ_SHUTDOWN:
            o.latencyUs = Latency(8000, 0.8);
            break;
        default:
            o.latencyUs = Latency(6, 0.5);
            break;  // close, cleanup
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
