#include "decode/parameters.h"

#include <span>
#include <string_view>

#include "decode/field_line.h"
#include "decode/number_format.h"

namespace vantrel {
namespace {

enum class Form : uint8_t {
    Typed,          // "        TYPE Name" = 0x%.8x of (u32 >> shift) & mask
    UShort,         // "        USHORT Name" = 0x%.4x of the u16
    LargeInteger,   // "        LARGE_INTEGER Name" = high then low u32, 16 digits
    Boolean,        // "        BOOLEAN Name" = TRUE / FALSE of the byte
    PowerSequence,  // header line, then SequenceD1..D3 from three u32
    PowerState,     // header line, then the state word as both enumerations
};

struct Field {
    Form form;
    std::string_view type;
    std::string_view name;
    uint8_t offset;  // from the start of the parameter area
    uint8_t shift = 0;
    uint32_t mask = 0xFFFFFFFFu;
};

constexpr Field Typed(std::string_view type, std::string_view name, uint8_t offset) {
    return {Form::Typed, type, name, offset};
}
constexpr Field Bits(std::string_view name, uint8_t offset, uint8_t shift, uint32_t mask) {
    return {Form::Typed, "ULONG", name, offset, shift, mask};
}
constexpr Field UShort(std::string_view name, uint8_t offset) {
    return {Form::UShort, "USHORT", name, offset};
}
constexpr Field LargeInteger(std::string_view name, uint8_t offset) {
    return {Form::LargeInteger, "LARGE_INTEGER", name, offset};
}
constexpr Field Boolean(std::string_view name, uint8_t offset) {
    return {Form::Boolean, "BOOLEAN", name, offset};
}
constexpr Field PowerSequence(std::string_view name, uint8_t offset) {
    return {Form::PowerSequence, "POWER_SEQUENCE", name, offset};
}
constexpr Field PowerState(std::string_view name, uint8_t offset) {
    return {Form::PowerState, "POWER_STATE", name, offset};
}

struct Layout {
    std::string_view structName;
    std::span<const Field> fields;
};

constexpr Field kCreate[] = {
    Typed("PVOID", "SecurityContext", 0),
    Typed("ULONG", "Options", 4),
    UShort("FileAttributes", 8),
    UShort("ShareAccess", 10),
    Typed("ULONG", "EaLength", 12),
};
constexpr Field kReadWrite[] = {
    Typed("ULONG", "Length", 0),
    Typed("ULONG", "Key", 4),
    LargeInteger("ByteOffset", 8),
};
constexpr Field kQueryFile[] = {
    Typed("ULONG", "Length", 0),
    Typed("FILE_INFORMATION_CLASS", "FileInformationClass", 4),
};
constexpr Field kSetFile[] = {
    Typed("ULONG", "Length", 0),
    Typed("FILE_INFORMATION_CLASS", "FileInformationClass", 4),
    Typed("PVOID", "FileObject", 8),
};
constexpr Field kQueryVolume[] = {
    Typed("ULONG", "Length", 0),
    Typed("FSINFOCLASS", "FsInformationClass", 4),
};
constexpr Field kDeviceIoControl[] = {
    Typed("ULONG", "OutputBufferLength", 0),
    Typed("ULONG", "InputBufferLength", 4),
    Typed("ULONG", "IoControlCode", 8),
    Typed("PVOID", "Type3InputBuffer", 12),
};

// IRP_MJ_POWER
constexpr Field kWaitWake[] = {
    Typed("SYSTEM_POWER_STATE", "PowerState", 0),
};
// The driver copies the three words of the power sequence into the
// parameter area; the pointer it saw is never followed here.
constexpr Field kPowerSequence[] = {
    PowerSequence("PowerSequence", 0),
};
constexpr Field kSetQueryPower[] = {
    Typed("ULONG", "SystemContext", 0),
    Typed("POWER_STATE_TYPE", "Type", 4),
    PowerState("State", 8),
    Typed("POWER_ACTION", "ShutdownType", 12),
};

// IRP_MJ_PNP
constexpr Field kStartDevice[] = {
    Typed("PVOID", "AllocatedResources", 0),
    Typed("PVOID", "AllocatedResourcesTranslated", 4),
};
constexpr Field kQueryDeviceRelations[] = {
    Typed("DEVICE_RELATION_TYPE", "Type", 0),
};
constexpr Field kQueryInterface[] = {
    Typed("CONST GUID", "*InterfaceType", 0),
    UShort("Size", 4),
    UShort("Version", 6),
    Typed("PVOID", "Interface", 8),
    Typed("PVOID", "InterfaceSpecificData", 12),
};
constexpr Field kDeviceCapabilities[] = {
    UShort("Size", 0),
    UShort("Version", 2),
    Bits("Spare1:2", 4, 0, 3),
    Bits("LockSupported:1", 4, 2, 1),
    Bits("EjectSupported:1", 4, 3, 1),
    Bits("Removable:1", 4, 4, 1),
    Bits("DockDevice:1", 4, 5, 1),
    Bits("UniqueID:1", 4, 6, 1),
    Bits("SilentInstall:1", 4, 7, 1),
    Bits("RawDeviceOK:1", 4, 8, 1),
    Bits("SurpriseRemovalOK:1", 4, 9, 1),
    Bits("Reserved:22", 4, 10, 0x3FFFFF),
    Typed("ULONG", "Address", 8),
    Typed("ULONG", "UINumber", 12),
    Typed("DEVICE_POWER_STATE", "DeviceState[0]", 16),
    Typed("DEVICE_POWER_STATE", "DeviceState[1]", 20),
    Typed("DEVICE_POWER_STATE", "DeviceState[2]", 24),
    Typed("DEVICE_POWER_STATE", "DeviceState[3]", 28),
    Typed("DEVICE_POWER_STATE", "DeviceState[4]", 32),
    Typed("DEVICE_POWER_STATE", "DeviceState[5]", 36),
    Typed("DEVICE_POWER_STATE", "DeviceState[6]", 40),
    Typed("SYSTEM_POWER_STATE", "SystemWake", 44),
    Typed("DEVICE_POWER_STATE", "DeviceWake", 48),
    Typed("ULONG", "D1Latency", 52),
    Typed("ULONG", "D2Latency", 56),
    Typed("ULONG", "D3Latency", 60),
};
constexpr Field kQueryDeviceText[] = {
    Typed("DEVICE_TEXT_TYPE", "DeviceTextType", 0),
    Typed("LCID", "LocaleId", 4),
};
constexpr Field kFilterResourceRequirements[] = {
    Typed("PVOID", "IoResourceRequirementList", 0),
};
constexpr Field kConfig[] = {
    Typed("ULONG", "WhichSpace", 0),
    Typed("PVOID", "Buffer", 4),
    Typed("ULONG", "Offset", 8),
    Typed("ULONG", "Length", 12),
};
constexpr Field kSetLock[] = {
    Boolean("Lock", 0),
};
constexpr Field kQueryId[] = {
    Typed("BUS_QUERY_ID_TYPE", "IdType", 0),
};
constexpr Field kUsageNotification[] = {
    Boolean("InPath", 0),
    Boolean("Reserved[0]", 1),
    Boolean("Reserved[1]", 2),
    Boolean("Reserved[2]", 3),
    Typed("DEVICE_USAGE_NOTIFICATION_TYPE", "Type", 4),
};

// Every field stays inside the 64-byte parameter area.
template <size_t N>
constexpr bool InsideArea(const Field (&fields)[N]) {
    for (const Field& f : fields) {
        size_t width = 4;
        if (f.form == Form::UShort) width = 2;
        if (f.form == Form::Boolean) width = 1;
        if (f.form == Form::LargeInteger) width = 8;
        if (f.form == Form::PowerSequence) width = 12;
        if (f.offset + width > rec::ParametersSize) return false;
    }
    return true;
}
static_assert(InsideArea(kCreate) && InsideArea(kReadWrite) && InsideArea(kSetFile) &&
              InsideArea(kDeviceIoControl) && InsideArea(kPowerSequence) &&
              InsideArea(kSetQueryPower) && InsideArea(kQueryInterface) &&
              InsideArea(kDeviceCapabilities) && InsideArea(kConfig) &&
              InsideArea(kUsageNotification));

const Layout* FindLayout(uint32_t major, uint32_t minor) {
    static constexpr Layout kCreateL{"Create", kCreate};
    static constexpr Layout kRead{"Read", kReadWrite};
    static constexpr Layout kWrite{"Write", kReadWrite};
    static constexpr Layout kQueryFileL{"QueryFile", kQueryFile};
    static constexpr Layout kSetFileL{"SetFile", kSetFile};
    static constexpr Layout kQueryVolumeL{"QueryVolume", kQueryVolume};
    static constexpr Layout kDeviceIoControlL{"DeviceIoControl", kDeviceIoControl};

    static constexpr Layout kPower[] = {
        {"WaitWake", kWaitWake},
        {"PowerSequence", kPowerSequence},
        {"SetPower", kSetQueryPower},
        {"QueryPower", kSetQueryPower},
    };

    switch (major) {
        case IRP_MJ_CREATE: return &kCreateL;
        case IRP_MJ_READ: return &kRead;
        case IRP_MJ_WRITE: return &kWrite;
        case IRP_MJ_QUERY_INFORMATION: return &kQueryFileL;
        case IRP_MJ_SET_INFORMATION: return &kSetFileL;
        case IRP_MJ_QUERY_VOLUME_INFORMATION: return &kQueryVolumeL;
        case IRP_MJ_DEVICE_CONTROL: return &kDeviceIoControlL;
        case IRP_MJ_POWER: return minor < std::size(kPower) ? &kPower[minor] : nullptr;
        case IRP_MJ_PNP: break;
        default: return nullptr;
    }

    static constexpr Layout kStartDeviceL{"StartDevice", kStartDevice};
    static constexpr Layout kQueryDeviceRelationsL{"QueryDeviceRelations", kQueryDeviceRelations};
    static constexpr Layout kQueryInterfaceL{"QueryInterface", kQueryInterface};
    static constexpr Layout kDeviceCapabilitiesL{"DeviceCapabilities", kDeviceCapabilities};
    static constexpr Layout kQueryDeviceTextL{"QueryDeviceText", kQueryDeviceText};
    static constexpr Layout kFilterResourceRequirementsL{"FilterResourceRequirements",
                                                         kFilterResourceRequirements};
    // Write-config carries the same fields and the same structure name.
    static constexpr Layout kConfigL{"ReadConfig", kConfig};
    static constexpr Layout kSetLockL{"SetLock", kSetLock};
    static constexpr Layout kQueryIdL{"QueryId", kQueryId};
    static constexpr Layout kUsageNotificationL{"UsageNotification", kUsageNotification};

    switch (minor) {
        case IRP_MN_START_DEVICE: return &kStartDeviceL;
        case IRP_MN_QUERY_DEVICE_RELATIONS: return &kQueryDeviceRelationsL;
        case IRP_MN_QUERY_INTERFACE: return &kQueryInterfaceL;
        case IRP_MN_QUERY_CAPABILITIES: return &kDeviceCapabilitiesL;
        case IRP_MN_QUERY_DEVICE_TEXT: return &kQueryDeviceTextL;
        case IRP_MN_FILTER_RESOURCE_REQUIREMENTS: return &kFilterResourceRequirementsL;
        case IRP_MN_READ_CONFIG:
        case IRP_MN_WRITE_CONFIG: return &kConfigL;
        case IRP_MN_SET_LOCK: return &kSetLockL;
        case IRP_MN_QUERY_ID: return &kQueryIdL;
        case IRP_MN_DEVICE_USAGE_NOTIFICATION: return &kUsageNotificationL;
        default: return nullptr;
    }
}

constexpr std::string_view kIndent = "        ";
constexpr std::string_view kMemberIndent = "            ";

// Appends "        TYPE Name" and its tabs.
void AppendLabel(std::string& out, std::string_view type, std::string_view name) {
    const size_t length = kIndent.size() + type.size() + 1 + name.size();
    out.append(kIndent);
    out.append(type);
    out.push_back(' ');
    out.append(name);
    out.append(static_cast<size_t>(PadTabs(length)), '\t');
}

// One printed line of the section. A field line prints "TYPE Name" and its
// value; a group line prints "TYPE Name" alone and its members follow, each
// with its own label and value.
enum class LineKind : uint8_t { Field, Group, Member };
struct Line {
    LineKind kind;
    std::string_view type;   // of a member: the type its value is read as
    std::string_view name;   // of a member: the name it is known by
    std::string_view label;  // of a member: the text before its tabs
    std::string_view value;  // empty for a group
};

// Calls fn(const Line&) for each line of the field. The text section and the
// structured values both come from here, so they cannot drift apart.
template <typename Fn>
void VisitLines(const Field& f, const IRP_CAPTURE_RECORD& capture, Fn&& fn) {
    char buf[2 + 16] = {'0', 'x'};
    const auto hex = [&buf](uint64_t value, int digits) {
        WriteHex(buf + 2, value, digits);
        return std::string_view(buf, static_cast<size_t>(2 + digits));
    };
    switch (f.form) {
        case Form::Typed:
            fn(Line{LineKind::Field,
                    f.type,
                    f.name,
                    {},
                    hex((capture.Param32(f.offset) >> f.shift) & f.mask, 8)});
            return;
        case Form::UShort:
            fn(Line{LineKind::Field, f.type, f.name, {}, hex(capture.Param16(f.offset), 4)});
            return;
        case Form::LargeInteger: {
            const uint64_t value =
                (uint64_t{capture.Param32(f.offset + 4)} << 32) | capture.Param32(f.offset);
            fn(Line{LineKind::Field, f.type, f.name, {}, hex(value, 16)});
            return;
        }
        case Form::Boolean:
            fn(Line{LineKind::Field,
                    f.type,
                    f.name,
                    {},
                    capture.Param8(f.offset) != 0 ? "TRUE" : "FALSE"});
            return;
        case Form::PowerSequence: {
            static constexpr std::string_view kMembers[] = {"SequenceD1", "SequenceD2",
                                                            "SequenceD3"};
            fn(Line{LineKind::Group, f.type, f.name, {}, {}});
            for (size_t i = 0; i < 3; ++i) {
                fn(Line{LineKind::Member, "ULONG", kMembers[i], kMembers[i],
                        hex(capture.Param32(f.offset + 4 * i), 8)});
            }
            return;
        }
        case Form::PowerState: {
            // The state is a union of the two enumerations: one word, read as each.
            static constexpr std::string_view kReadings[] = {"SYSTEM_POWER_STATE",
                                                             "DEVICE_POWER_STATE"};
            fn(Line{LineKind::Group, f.type, f.name, {}, {}});
            const uint32_t state = capture.Param32(f.offset);
            for (std::string_view reading : kReadings) {
                fn(Line{LineKind::Member, reading, f.name, reading, hex(state, 8)});
            }
            return;
        }
    }
}

void AppendLine(std::string& out, const Line& line) {
    switch (line.kind) {
        case LineKind::Field:
            AppendLabel(out, line.type, line.name);
            break;
        case LineKind::Group:
            out.append(kIndent);
            out.append(line.type);
            out.push_back(' ');
            out.append(line.name);
            out.append("\r\n");
            return;
        case LineKind::Member:
            out.append(kMemberIndent);
            out.append(line.label);
            out.append(static_cast<size_t>(PadTabs(kMemberIndent.size() + line.label.size())),
                       '\t');
            break;
    }
    out.append("=\t");
    out.append(line.value);
    out.append("\r\n");
}

}  // namespace

bool HasParameterLayout(uint32_t major, uint32_t minor) {
    return FindLayout(major, minor) != nullptr;
}

void AppendParameterSection(std::string& out, const IRP_CAPTURE_RECORD& capture) {
    const Layout* layout = FindLayout(capture.MajorFunction, capture.MinorFunction);
    if (layout == nullptr) return;
    out.append("\r\n    Parameters:\r\n    struct {\r\n");
    for (const Field& f : layout->fields) {
        VisitLines(f, capture, [&out](const Line& line) { AppendLine(out, line); });
    }
    out.append("    } ");
    out.append(layout->structName);
    out.append("\r\n");
}

bool VisitParameterValues(const IRP_CAPTURE_RECORD& capture,
                          void (*fn)(void* context, const ParameterValue& value), void* context) {
    const Layout* layout = FindLayout(capture.MajorFunction, capture.MinorFunction);
    if (layout == nullptr) return false;
    for (const Field& f : layout->fields) {
        VisitLines(f, capture, [fn, context](const Line& line) {
            if (line.kind != LineKind::Group) fn(context, {line.type, line.name, line.value});
        });
    }
    return true;
}

}  // namespace vantrel
