// The shared X11 state and the root-window watch behind the cheap 100 ms polls.
#include "platform/x11/x11_session.h"

#include <gdk/gdkx.h>

#include <algorithm>
#include <stdexcept>

namespace tb::x11 {

X11Session::X11Session() {
    GdkDisplay* gdkDisplay = gdk_display_get_default();
    if (gdkDisplay == nullptr || !GDK_IS_X11_DISPLAY(gdkDisplay)) {
        throw std::runtime_error("tapperbird: the display is not an X11 display");
    }
    display_ = GDK_DISPLAY_XDISPLAY(gdkDisplay);
    screen_ = gdk_display_get_default_screen(gdkDisplay);
    root_ = DefaultRootWindow(display_);
    atoms_.netActiveWindow = XInternAtom(display_, "_NET_ACTIVE_WINDOW", False);
    atoms_.netWmState = XInternAtom(display_, "_NET_WM_STATE", False);
    atoms_.netWmStateHidden = XInternAtom(display_, "_NET_WM_STATE_HIDDEN", False);
    atoms_.netWmStateAbove = XInternAtom(display_, "_NET_WM_STATE_ABOVE", False);
    atoms_.gtkFrameExtents = XInternAtom(display_, "_GTK_FRAME_EXTENTS", False);
    atoms_.netFrameExtents = XInternAtom(display_, "_NET_FRAME_EXTENTS", False);

    // Root property changes announce a new active window; root substructure events announce
    // top-levels appearing, moving and being restacked over the bird.
    XWindowAttributes attributes{};
    XGetWindowAttributes(display_, root_, &attributes);
    XSelectInput(display_, root_,
                 attributes.your_event_mask | PropertyChangeMask | SubstructureNotifyMask);
    gdk_window_add_filter(nullptr, &X11Session::FilterEvent, this);
}

X11Session::~X11Session() {
    gdk_window_remove_filter(nullptr, &X11Session::FilterEvent, this);
}

void X11Session::AddOwnWindow(Window window, GtkWindow* gtkWindow) {
    RemoveOwnWindow(window);
    ownWindows_.push_back({window, gtkWindow});
}

void X11Session::RemoveOwnWindow(Window window) {
    std::erase_if(ownWindows_, [window](const OwnWindowEntry& e) { return e.window == window; });
}

GtkWindow* X11Session::OwnWindow(Window window) const {
    const auto it = std::find_if(ownWindows_.begin(), ownWindows_.end(),
                                 [window](const OwnWindowEntry& e) { return e.window == window; });
    return it == ownWindows_.end() ? nullptr : it->gtkWindow;
}

bool X11Session::ConsumeActiveChanged() {
    const bool changed = activeChanged_;
    activeChanged_ = false;
    return changed;
}

bool X11Session::ConsumeStackChanged() {
    const bool changed = stackChanged_;
    stackChanged_ = false;
    return changed;
}

GdkFilterReturn X11Session::FilterEvent(GdkXEvent* xevent, GdkEvent*, gpointer self) {
    auto* session = static_cast<X11Session*>(self);
    const XEvent* event = static_cast<const XEvent*>(xevent);
    const X11Atoms& atoms = session->atoms_;
    switch (event->type) {
        case PropertyNotify:
            if (event->xproperty.window == session->root_) {
                if (event->xproperty.atom == atoms.netActiveWindow) {
                    session->activeChanged_ = true;
                }
            } else if (event->xproperty.atom == atoms.netWmState ||
                       event->xproperty.atom == atoms.gtkFrameExtents ||
                       event->xproperty.atom == atoms.netFrameExtents) {
                ++session->geometryEpoch_;
            }
            break;
        case UnmapNotify:
        case DestroyNotify:
        case ReparentNotify:
        case GravityNotify:
            if (event->xany.window != session->birdWindow_) {
                ++session->geometryEpoch_;
            }
            break;
        case ConfigureNotify:
            if (event->xconfigure.window != session->birdWindow_) {
                ++session->geometryEpoch_;
                if (event->xconfigure.event == session->root_) {
                    session->stackChanged_ = true;
                }
            }
            break;
        case MapNotify:
            if (event->xmap.window != session->birdWindow_) {
                ++session->geometryEpoch_;
                if (event->xmap.event == session->root_) {
                    session->stackChanged_ = true;
                }
            }
            break;
        default:
            break;
    }
    return GDK_FILTER_CONTINUE;
}

XErrorTrap::XErrorTrap(Display* display, bool syncOnExit)
    : display_(display),
      syncOnExit_(syncOnExit),
      previous_(XSetErrorHandler(&XErrorTrap::Ignore)) {}

XErrorTrap::~XErrorTrap() {
    if (syncOnExit_) {
        XSync(display_, False);
    }
    XSetErrorHandler(previous_);
}

int XErrorTrap::Ignore(Display*, XErrorEvent*) {
    return 0;
}

}  // namespace tb::x11
