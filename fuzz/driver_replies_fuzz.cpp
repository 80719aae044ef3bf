// libFuzzer target: the driver's replies the program parses. The input is
// the IOCTL_PROCSPEED reply (4 bytes), two timestamps (16 bytes) whose
// latency that speed gives, then one IOCTL_ENUMDEVICES reply (cut or
// zero-filled to its 2326 bytes). Every text must stay inside its field and
// end at its first NUL or at the field's end.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "capture/enum_reply.h"
#include "record/irp_record.h"

namespace {

using namespace vantrel;
namespace pr = protocol;

uint32_t Word(const uint8_t* p) {
    return p[0] | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}

void CheckText(const std::array<uint8_t, pr::kEnumSize>& reply, std::string_view text,
               size_t offset, size_t size) {
    const char* field = reinterpret_cast<const char*>(reply.data() + offset);
    if (text.data() != field || text.size() > size) std::abort();
    if (std::memchr(text.data(), 0, text.size())) std::abort();
    if (text.size() < size && field[text.size()] != 0) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::array<uint8_t, pr::kProcSpeedSize> speedReply{};
    std::array<uint8_t, 16> times{};
    std::array<uint8_t, pr::kEnumSize> reply{};
    size_t used = 0;
    auto take = [&](uint8_t* dst, size_t n) {
        n = std::min(n, size - used);
        if (n) std::memcpy(dst, data + used, n);
        used += n;
    };
    take(speedReply.data(), speedReply.size());
    take(times.data(), times.size());
    take(reply.data(), reply.size());

    const uint32_t speed = ParseProcessorSpeedReply(speedReply);
    if (speed != Word(speedReply.data())) std::abort();
    const uint64_t start = Word(times.data()) | (uint64_t{Word(times.data() + 4)} << 32);
    const uint64_t end = Word(times.data() + 8) | (uint64_t{Word(times.data() + 12)} << 32);
    const float latency = ComputeLatency(start, end, speed);
    if (speed == 0 && latency != 0.0f) std::abort();

    const EnumReply r = ParseEnumReply(reply);
    if (r.deviceObject != Word(reply.data() + pr::kEnumDeviceObject)) std::abort();
    if (static_cast<uint32_t>(r.state) != Word(reply.data() + pr::kEnumState)) std::abort();
    if (r.flag != Word(reply.data() + pr::kEnumFlag)) std::abort();
    CheckText(reply, r.description, pr::kEnumDescription, pr::kEnumDescriptionSize);
    CheckText(reply, r.secondName, pr::kEnumSecondName, pr::kEnumSecondNameSize);
    CheckText(reply, r.objectName, pr::kEnumObjectName, pr::kEnumObjectNameSize);
    return 0;
}
