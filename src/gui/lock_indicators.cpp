#include "gui/lock_indicators.h"

#include <QGuiApplication>

#if defined(VANTREL_HAVE_X11)
#include <QtGui/qguiapplication_platform.h>
#include <X11/XKBlib.h>
#endif

namespace vantrel {

#if defined(VANTREL_HAVE_X11)
namespace {

bool NamedIndicator(Display* display, const char* name) {
    const Atom atom = XInternAtom(display, name, True);
    if (atom == None) return false;
    Bool on = False;
    if (!XkbGetNamedIndicator(display, atom, nullptr, &on, nullptr, nullptr)) return false;
    return on != False;
}

}  // namespace

LockStates ReadLockStates() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    Display* display = x11 ? x11->display() : nullptr;
    if (!display) return {};
    return {NamedIndicator(display, "Caps Lock"), NamedIndicator(display, "Num Lock"),
            NamedIndicator(display, "Scroll Lock")};
}
#else
LockStates ReadLockStates() {
    return {};
}
#endif

}  // namespace vantrel
