#include "platform/system_half.h"

#include <chrono>

namespace vantrel {

uint32_t SystemTickCount() {
    using namespace std::chrono;
    return static_cast<uint32_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

uint32_t OpenSystemEventHandle(CEvent&) {
    return 0;
}

void CloseSystemEventHandle(uint32_t) {}

uint32_t SystemRingHandle(std::span<uint8_t>) {
    return 0;
}

}  // namespace vantrel
