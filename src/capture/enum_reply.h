#pragma once
// The driver's replies that the program parses: the IOCTL_ENUMDEVICES buffer
// (one device object per reply) and the IOCTL_PROCSPEED word. Pure functions
// of the bytes; every field is read inside its fixed place in the buffer.

#include <cstdint>
#include <span>
#include <string_view>

#include "record/protocol.h"

namespace vantrel {

// One IOCTL_ENUMDEVICES reply. The texts point into the reply buffer: each
// ends at its first NUL, or at the end of its field when it has none.
struct EnumReply {
    uint32_t deviceObject = 0;
    int32_t state = 0;  // protocol::kEnumDone, kEnumSkip, an error, or a device
    std::string_view description;
    std::string_view secondName;
    std::string_view objectName;
    uint32_t flag = 0;
};

EnumReply ParseEnumReply(std::span<const uint8_t, protocol::kEnumSize> reply);

// The IOCTL_PROCSPEED reply: ticks per microsecond.
uint32_t ParseProcessorSpeedReply(std::span<const uint8_t, protocol::kProcSpeedSize> reply);

}  // namespace vantrel
