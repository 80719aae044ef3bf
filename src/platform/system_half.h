#pragma once
// What the platform layer's portable code asks of the operating system. The
// files in posix/ and in win32/ each define all of it; the build takes one
// folder.

#include <cstdint>
#include <span>

namespace vantrel {

class CEvent;

// The clock behind GetTickCount32: milliseconds, wrapping at 2^32.
uint32_t SystemTickCount();

// The value the driver is handed for an event (IOCTL_SETMODE) or the ring
// (IOCTL_INITBUFF), or 0 where the handle table numbers the object itself.
// Windows hands over what its kernel understands: a handle of the event's
// own (a duplicate, closed by CloseSystemEventHandle) and the ring's address.
// POSIX has no driver outside the process and lets the table number both.
uint32_t OpenSystemEventHandle(CEvent& event);
void CloseSystemEventHandle(uint32_t handle);
uint32_t SystemRingHandle(std::span<uint8_t> ring);

}  // namespace vantrel
