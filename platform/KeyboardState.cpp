#include "platform/KeyboardState.h"

#include <QGuiApplication>

#include <X11/XKBlib.h>

namespace {

// One connection of our own for the process: the toolkit's may be XCB-only, and asking through
// it needs private headers.
Display* display()
{
    static Display* d = nullptr;
    static bool tried = false;
    if (!tried) {
        tried = true;
        if (QGuiApplication::platformName() == QLatin1String("xcb"))
            d = XOpenDisplay(nullptr);
    }
    return d;
}

} // namespace

KeyboardState::LockState KeyboardState::capsLock()
{
    Display* d = display();
    if (!d)
        return Unknown;
    // Looked up by name: the indicator's index differs between keymaps.
    const Atom capsAtom = XInternAtom(d, "Caps Lock", True);
    if (capsAtom == None)
        return Unknown;
    int index = -1;
    Bool state = False;
    if (!XkbGetNamedIndicator(d, capsAtom, &index, &state, nullptr, nullptr))
        return Unknown;
    return state ? On : Off;
}
