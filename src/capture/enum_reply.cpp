#include "capture/enum_reply.h"

#include <cstring>

#include "record/le.h"

namespace vantrel {
namespace {

namespace pr = protocol;

// The texts lie side by side between the state word and the flag.
static_assert(pr::kEnumState + 4 <= pr::kEnumDescription);
static_assert(pr::kEnumDescription + pr::kEnumDescriptionSize == pr::kEnumSecondName);
static_assert(pr::kEnumSecondName + pr::kEnumSecondNameSize == pr::kEnumObjectName);
static_assert(pr::kEnumObjectName + pr::kEnumObjectNameSize == pr::kEnumFlag);

std::string_view TextField(std::span<const uint8_t> field) {
    const char* p = reinterpret_cast<const char*>(field.data());
    const void* nul = std::memchr(p, 0, field.size());
    return std::string_view(p, nul ? static_cast<const char*>(nul) - p : field.size());
}

}  // namespace

EnumReply ParseEnumReply(std::span<const uint8_t, protocol::kEnumSize> reply) {
    EnumReply r;
    r.deviceObject = le::U32(reply.data() + pr::kEnumDeviceObject);
    r.state = static_cast<int32_t>(le::U32(reply.data() + pr::kEnumState));
    r.description = TextField(reply.subspan(pr::kEnumDescription, pr::kEnumDescriptionSize));
    r.secondName = TextField(reply.subspan(pr::kEnumSecondName, pr::kEnumSecondNameSize));
    r.objectName = TextField(reply.subspan(pr::kEnumObjectName, pr::kEnumObjectNameSize));
    r.flag = le::U32(reply.data() + pr::kEnumFlag);
    return r;
}

uint32_t ParseProcessorSpeedReply(std::span<const uint8_t, protocol::kProcSpeedSize> reply) {
    return le::U32(reply.data());
}

}  // namespace vantrel
