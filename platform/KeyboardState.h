#pragma once

// The toggle state of the keyboard's lock keys, which the toolkit does not report. Asked of the
// X server's keyboard extension; elsewhere (offscreen, Wayland without X) the answer is Unknown.
class KeyboardState
{
public:
    enum LockState { Off = 0, On = 1, Unknown = 2 };

    static LockState capsLock();
};
