#include "platform/system_half.h"

#include <windows.h>

#include <cstdint>

#include "platform/event.h"

namespace vantrel {

// The driver's buffers carry the ring address and the event handle in 4-byte
// fields: only a 32-bit process can hand them over whole.
static_assert(sizeof(void*) == 4, "the Windows build is 32-bit (i686)");

uint32_t SystemTickCount() {
    return GetTickCount();
}

uint32_t OpenSystemEventHandle(CEvent& event) {
    HANDLE own = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), event.m_handle, GetCurrentProcess(), &own, 0, FALSE,
                         DUPLICATE_SAME_ACCESS))
        return 0;
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(own));
}

void CloseSystemEventHandle(uint32_t handle) {
    CloseHandle(reinterpret_cast<HANDLE>(static_cast<uintptr_t>(handle)));
}

uint32_t SystemRingHandle(std::span<uint8_t> ring) {
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(ring.data()));
}

}  // namespace vantrel
