#pragma once
// Process handle table. The driver protocol carries 32-bit values where the
// original platform passes pointers and event handles; in a 64-bit process
// those fields carry handles from this table, which the driver resolves.

#include <cstdint>

namespace vantrel {

class CEvent;

uint32_t RegisterHandle(void* object);
void UnregisterHandle(uint32_t handle);
// Null for 0 or an unknown handle.
void* ResolveHandle(uint32_t handle);

}  // namespace vantrel
