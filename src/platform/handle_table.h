#pragma once
// The handle table. The driver protocol carries 32-bit values where the
// original platform passes a pointer to the capture ring (IOCTL_INITBUFF) and
// an event handle (IOCTL_SETMODE); in a 64-bit process those fields carry
// handles from this table, which the driver resolves the way a kernel
// references a user object by its handle: by kind. A handle of the wrong kind
// resolves to nothing, so a ring handle passed where the event belongs is
// refused instead of being written to as an event.
//
// In the 32-bit Windows build the values are the system's own, so that the
// real driver can take them as they are: an event's handle is a Win32 handle
// of that event (a duplicate, one per registration, closed when it is
// unregistered) and a ring's handle is its address. A ring registered again
// while its first handle lives gets 0. In-process drivers resolve these
// values through the table just the same.
//
// The table stands for the operating system's own handle table and is
// therefore one per process (a mutex guards it; any thread may call). Every
// owner of an object registers it and unregisters it before the object goes;
// two documents in one process hold different handles and never see each
// other's objects.
//
// A resolved pointer is valid only while its owner keeps the object: the
// owner must make sure the driver is closed (and no longer resolves or uses
// the handle) before it unregisters and frees the object.

#include <cstdint>
#include <span>

namespace vantrel {

class CEvent;

// Registers an object and returns its handle (0 only when the system refuses
// one).
uint32_t RegisterEventHandle(CEvent* event);
uint32_t RegisterRingHandle(std::span<uint8_t> ring);
// Forgets the handle; 0 or an unknown handle is ignored.
void UnregisterHandle(uint32_t handle);

// The event behind a handle; null for 0, an unknown handle or a handle of
// another kind.
CEvent* ResolveEvent(uint32_t handle);
// The ring memory behind a handle; empty for 0, an unknown handle or a handle
// of another kind.
std::span<uint8_t> ResolveRing(uint32_t handle);

}  // namespace vantrel
