// The shared X11 state and the root-window watch behind the cheap 100 ms polls.
#include "platform/x11/x11_session.h"

#include <gdk/gdkx.h>

#include "platform/x11/stacking.h"
#include "platform/x11/x11_handles.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <span>
#include <stdexcept>

namespace tb::x11 {
namespace {

// The display in use, for the last word when its server goes away.
char g_displayName[256] = "";

// Xlib calls this when the connection to the server breaks, and it must not return. GDK's own
// handler says it over several lines.
int OnConnectionLost(Display*) {
    std::fprintf(stderr, "tapperbird: lost the connection to the X server on display %s\n",
                 g_displayName);
    std::fflush(stderr);
    ::_exit(1);
}

}  // namespace

X11Session::X11Session() {
    GdkDisplay* gdkDisplay = gdk_display_get_default();
    if (gdkDisplay == nullptr || !GDK_IS_X11_DISPLAY(gdkDisplay)) {
        throw std::runtime_error("tapperbird: the display is not an X11 display");
    }
    display_ = GDK_DISPLAY_XDISPLAY(gdkDisplay);
    screen_ = gdk_display_get_default_screen(gdkDisplay);
    root_ = DefaultRootWindow(display_);
    std::snprintf(g_displayName, sizeof g_displayName, "%s", DisplayString(display_));
    XSetIOErrorHandler(&OnConnectionLost);
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

bool X11Session::ConsumeRepaintBird() {
    const bool repaint = repaintBird_;
    repaintBird_ = false;
    return repaint;
}

bool X11Session::KeepBirdAboveUserWindows() {
    if (birdWindow_ == 0) {
        return false;
    }
    XErrorTrap trap(display_, true);
    Window rootReturn = None;
    Window parent = None;
    Window* children = nullptr;
    unsigned int count = 0;
    if (XQueryTree(display_, root_, &rootReturn, &parent, &children, &count) == 0) {
        return false;
    }
    XMemPtr<Window> owned(children);
    const std::span<const Window> stack(children, count);
    const auto bird = std::find(stack.begin(), stack.end(), birdWindow_);
    if (bird == stack.end()) {
        return false;
    }
    const auto sibling = SiblingToStayAbove(
        stack.size(), static_cast<std::size_t>(bird - stack.begin()), [&](std::size_t i) {
            XWindowAttributes attributes{};
            if (XGetWindowAttributes(display_, stack[i], &attributes) == 0) {
                return StackedWindow{};  // gone meanwhile
            }
            return StackedWindow{attributes.map_state == IsViewable,
                                 attributes.override_redirect != False,
                                 attributes.c_class == InputOnly};
        });
    if (!sibling) {
        return false;
    }
    XWindowChanges changes{};
    changes.sibling = stack[*sibling];
    changes.stack_mode = Above;
    XConfigureWindow(display_, birdWindow_, CWSibling | CWStackMode, &changes);
    return true;
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
