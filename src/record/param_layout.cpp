#include "record/param_layout.h"

#include <bit>

#include "record/capture_record.h"

namespace vantrel {
namespace {

using F = ParamForm;

constexpr ParamField Typed(std::string_view type, std::string_view name, uint8_t offset) {
    return {F::Typed, type, name, offset};
}
constexpr ParamField Bits(std::string_view name, uint8_t offset, uint8_t shift, uint32_t mask) {
    return {F::Typed, "ULONG", name, offset, shift, mask};
}
constexpr ParamField UShort(std::string_view name, uint8_t offset) {
    return {F::UShort, "USHORT", name, offset};
}
constexpr ParamField LargeInteger(std::string_view name, uint8_t offset) {
    return {F::LargeInteger, "LARGE_INTEGER", name, offset};
}
constexpr ParamField Boolean(std::string_view name, uint8_t offset) {
    return {F::Boolean, "BOOLEAN", name, offset};
}
constexpr ParamField PowerSequence(std::string_view name, uint8_t offset) {
    return {F::PowerSequence, "POWER_SEQUENCE", name, offset};
}
constexpr ParamField PowerState(std::string_view name, uint8_t offset) {
    return {F::PowerState, "POWER_STATE", name, offset};
}

constexpr ParamField kCreate[] = {
    Typed("PVOID", "SecurityContext", 0), Typed("ULONG", "Options", 4),
    UShort("FileAttributes", 8),          UShort("ShareAccess", 10),
    Typed("ULONG", "EaLength", 12),
};
constexpr ParamField kReadWrite[] = {
    Typed("ULONG", "Length", 0),
    Typed("ULONG", "Key", 4),
    LargeInteger("ByteOffset", 8),
};
constexpr ParamField kQueryFile[] = {
    Typed("ULONG", "Length", 0),
    Typed("FILE_INFORMATION_CLASS", "FileInformationClass", 4),
};
constexpr ParamField kSetFile[] = {
    Typed("ULONG", "Length", 0),
    Typed("FILE_INFORMATION_CLASS", "FileInformationClass", 4),
    Typed("PVOID", "FileObject", 8),
};
constexpr ParamField kQueryVolume[] = {
    Typed("ULONG", "Length", 0),
    Typed("FSINFOCLASS", "FsInformationClass", 4),
};
constexpr ParamField kDeviceIoControl[] = {
    Typed("ULONG", "OutputBufferLength", 0),
    Typed("ULONG", "InputBufferLength", 4),
    Typed("ULONG", "IoControlCode", 8),
    Typed("PVOID", "Type3InputBuffer", 12),
};

// IRP_MJ_POWER
constexpr ParamField kWaitWake[] = {
    Typed("SYSTEM_POWER_STATE", "PowerState", 0),
};
// The driver copies the three words of the power sequence into the
// parameter area; the pointer it saw is never followed here.
constexpr ParamField kPowerSequence[] = {
    PowerSequence("PowerSequence", 0),
};
constexpr ParamField kSetQueryPower[] = {
    Typed("ULONG", "SystemContext", 0),
    Typed("POWER_STATE_TYPE", "Type", 4),
    PowerState("State", 8),
    Typed("POWER_ACTION", "ShutdownType", 12),
};

// IRP_MJ_PNP
constexpr ParamField kStartDevice[] = {
    Typed("PVOID", "AllocatedResources", 0),
    Typed("PVOID", "AllocatedResourcesTranslated", 4),
};
constexpr ParamField kQueryDeviceRelations[] = {
    Typed("DEVICE_RELATION_TYPE", "Type", 0),
};
constexpr ParamField kQueryInterface[] = {
    Typed("CONST GUID", "*InterfaceType", 0),
    UShort("Size", 4),
    UShort("Version", 6),
    Typed("PVOID", "Interface", 8),
    Typed("PVOID", "InterfaceSpecificData", 12),
};
constexpr ParamField kDeviceCapabilities[] = {
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
constexpr ParamField kQueryDeviceText[] = {
    Typed("DEVICE_TEXT_TYPE", "DeviceTextType", 0),
    Typed("LCID", "LocaleId", 4),
};
constexpr ParamField kFilterResourceRequirements[] = {
    Typed("PVOID", "IoResourceRequirementList", 0),
};
constexpr ParamField kConfig[] = {
    Typed("ULONG", "WhichSpace", 0),
    Typed("PVOID", "Buffer", 4),
    Typed("ULONG", "Offset", 8),
    Typed("ULONG", "Length", 12),
};
constexpr ParamField kSetLock[] = {
    Boolean("Lock", 0),
};
constexpr ParamField kQueryId[] = {
    Typed("BUS_QUERY_ID_TYPE", "IdType", 0),
};
constexpr ParamField kUsageNotification[] = {
    Boolean("InPath", 0),
    Boolean("Reserved[0]", 1),
    Boolean("Reserved[1]", 2),
    Boolean("Reserved[2]", 3),
    Typed("DEVICE_USAGE_NOTIFICATION_TYPE", "Type", 4),
};

using K = ParamBlockKind;

// One row per layout. A minor of kAnyMinor matches every minor of its major.
constexpr uint32_t kAnyMinor = 0xFFFFFFFFu;
struct Entry {
    uint32_t major;
    uint32_t minor;
    ParamLayout layout;
};

constexpr Entry kEntries[] = {
    {IRP_MJ_CREATE, kAnyMinor, {"Create", K::Prefix, 16, kCreate}},
    {IRP_MJ_READ, kAnyMinor, {"Read", K::Prefix, 16, kReadWrite}},
    {IRP_MJ_WRITE, kAnyMinor, {"Write", K::Prefix, 16, kReadWrite}},
    {IRP_MJ_QUERY_INFORMATION, kAnyMinor, {"QueryFile", K::Prefix, 8, kQueryFile}},
    {IRP_MJ_SET_INFORMATION, kAnyMinor, {"SetFile", K::Prefix, 12, kSetFile}},
    {IRP_MJ_QUERY_VOLUME_INFORMATION, kAnyMinor, {"QueryVolume", K::Prefix, 8, kQueryVolume}},
    {IRP_MJ_DEVICE_CONTROL, kAnyMinor, {"DeviceIoControl", K::DeviceControl, 16, kDeviceIoControl}},

    {IRP_MJ_POWER, IRP_MN_WAIT_WAKE, {"WaitWake", K::Prefix, 4, kWaitWake}},
    {IRP_MJ_POWER, IRP_MN_POWER_SEQUENCE, {"PowerSequence", K::Prefix, 12, kPowerSequence}},
    {IRP_MJ_POWER, IRP_MN_SET_POWER, {"SetPower", K::SetPower, 20, kSetQueryPower}},
    {IRP_MJ_POWER, IRP_MN_QUERY_POWER, {"QueryPower", K::SetPower, 20, kSetQueryPower}},

    {IRP_MJ_PNP, IRP_MN_START_DEVICE, {"StartDevice", K::Prefix, 8, kStartDevice}},
    {IRP_MJ_PNP,
     IRP_MN_QUERY_DEVICE_RELATIONS,
     {"QueryDeviceRelations", K::Prefix, 4, kQueryDeviceRelations}},
    {IRP_MJ_PNP, IRP_MN_QUERY_INTERFACE, {"QueryInterface", K::Prefix, 16, kQueryInterface}},
    {IRP_MJ_PNP,
     IRP_MN_QUERY_CAPABILITIES,
     {"DeviceCapabilities", K::Capabilities, 100, kDeviceCapabilities}},
    {IRP_MJ_PNP, IRP_MN_QUERY_DEVICE_TEXT, {"QueryDeviceText", K::Prefix, 8, kQueryDeviceText}},
    {IRP_MJ_PNP,
     IRP_MN_FILTER_RESOURCE_REQUIREMENTS,
     {"FilterResourceRequirements", K::Prefix, 4, kFilterResourceRequirements}},
    // Write-config carries the same fields and the same structure name.
    {IRP_MJ_PNP, IRP_MN_READ_CONFIG, {"ReadConfig", K::Prefix, 16, kConfig}},
    {IRP_MJ_PNP, IRP_MN_WRITE_CONFIG, {"ReadConfig", K::Prefix, 16, kConfig}},
    {IRP_MJ_PNP, IRP_MN_SET_LOCK, {"SetLock", K::Prefix, 1, kSetLock}},
    {IRP_MJ_PNP, IRP_MN_QUERY_ID, {"QueryId", K::Prefix, 4, kQueryId}},
    {IRP_MJ_PNP,
     IRP_MN_DEVICE_USAGE_NOTIFICATION,
     {"UsageNotification", K::Prefix, 8, kUsageNotification}},
};

// --- Compile-time checks: the stored sizes follow from the fields --------------

constexpr uint32_t Extent(std::span<const ParamField> fields) {
    uint32_t end = 0;
    for (const ParamField& f : fields) {
        const uint32_t e = f.offset + ParamFieldWidth(f.form);
        if (e > end) end = e;
    }
    return end;
}

// Members in order, each at its own width, no gaps: the block is a prefix.
constexpr bool Contiguous(std::span<const ParamField> fields) {
    uint32_t next = 0;
    for (const ParamField& f : fields) {
        if (f.offset != next) return false;
        next += ParamFieldWidth(f.form);
    }
    return true;
}

constexpr uint32_t BitFields(std::span<const ParamField> fields) {
    uint32_t n = 0;
    for (const ParamField& f : fields) n += f.mask != 0xFFFFFFFFu;
    return n;
}

// The bit fields of a flag word follow each other from bit 0 to bit 31.
constexpr bool FlagWordCovered(std::span<const ParamField> fields) {
    uint32_t next = 0;
    for (const ParamField& f : fields) {
        if (f.mask == 0xFFFFFFFFu) continue;
        if (f.shift != next || (f.mask & (f.mask + 1)) != 0) return false;
        next += std::popcount(f.mask);
    }
    return next == 32;
}

constexpr bool StoredSizeFits(const ParamLayout& l) {
    if (Extent(l.fields) > rec::ParametersSize) return false;
    switch (l.kind) {
        case K::Prefix:
        case K::DeviceControl:
            return l.storedSize == Extent(l.fields);
        case K::SetPower:
            return l.storedSize == Extent(l.fields) + 4;  // State twice
        case K::Capabilities:
            return FlagWordCovered(l.fields) &&
                   l.storedSize == par::CapFlags + 4 * BitFields(l.fields) +
                                       (rec::ParametersSize - par::CapAddress);
    }
    return false;
}

constexpr bool AllFit() {
    for (const Entry& e : kEntries) {
        if (!StoredSizeFits(e.layout)) return false;
        if (e.layout.kind == K::Prefix && !Contiguous(e.layout.fields)) return false;
    }
    return true;
}
static_assert(AllFit(), "a stored parameter block disagrees with its fields");

// --- Lookup ----------------------------------------------------------------------

constexpr uint32_t kMajorLimit = 28;
constexpr uint32_t kMinorLimit = 32;

// Entry index plus one, 0 for none.
struct Index {
    uint8_t anyMinor[kMajorLimit] = {};
    uint8_t byMinor[kMajorLimit][kMinorLimit] = {};
};

constexpr Index BuildIndex() {
    Index index;
    for (size_t i = 0; i < std::size(kEntries); ++i) {
        const Entry& e = kEntries[i];
        if (e.minor == kAnyMinor)
            index.anyMinor[e.major] = static_cast<uint8_t>(i + 1);
        else
            index.byMinor[e.major][e.minor] = static_cast<uint8_t>(i + 1);
    }
    return index;
}
constexpr Index kIndex = BuildIndex();

}  // namespace

const ParamLayout* FindParamLayout(uint32_t major, uint32_t minor) {
    if (major >= kMajorLimit) return nullptr;
    uint8_t i = kIndex.anyMinor[major];
    if (i == 0 && minor < kMinorLimit) i = kIndex.byMinor[major][minor];
    return i ? &kEntries[i - 1].layout : nullptr;
}

}  // namespace vantrel
