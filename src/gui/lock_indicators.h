#pragma once
// The keyboard's lock states for the status bar's CAP, NUM and SCRL
// indicators, read from the window system where it tells them (on X11 the
// XKB indicators); elsewhere every lock reads as off.

namespace vantrel {

struct LockStates {
    bool caps = false;
    bool num = false;
    bool scroll = false;
    bool operator==(const LockStates&) const = default;
};

// The current states; all off when the platform gives none.
LockStates ReadLockStates();

}  // namespace vantrel
