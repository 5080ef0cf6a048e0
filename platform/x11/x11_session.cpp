// The shared X11 state and the root-window watch behind the cheap 100 ms polls.
#include "platform/x11/x11_session.h"

#include "platform/x11/stacking.h"
#include "platform/x11/x11_handles.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <span>
#include <stdexcept>

namespace tb::linux_desktop::x11 {
namespace {

// The display in use, for the last word when its connection ends.
char g_displayName[256] = "";

// Xlib calls this when a connection to the server breaks, and it must not return. The server
// may be fine: a client killed from outside (xkill on the About window) ends the same way, so
// this says only that the connection was closed.
int OnConnectionLost(Display*) {
    std::fprintf(stderr, "tapperbird: the connection to the X server on display %s was closed\n",
                 g_displayName);
    std::fflush(stderr);
    ::_exit(1);
}

}  // namespace

X11Session::X11Session(const std::string& displayName) {
    display_ = XOpenDisplay(displayName.empty() ? nullptr : displayName.c_str());
    if (display_ == nullptr) {
        throw std::runtime_error(
            "tapperbird: cannot open display " +
            (displayName.empty() ? std::string("(DISPLAY is not set)") : displayName));
    }
    displayName_ = DisplayString(display_);
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
    XSelectInput(display_, root_, PropertyChangeMask | SubstructureNotifyMask);

    // The stacking order as it stands now; the events keep it from here on.
    Window rootReturn = None;
    Window parent = None;
    Window* children = nullptr;
    unsigned int count = 0;
    if (XQueryTree(display_, root_, &rootReturn, &parent, &children, &count) != 0) {
        XMemPtr<Window> owned(children);
        filter_.Reset(root_, std::span<const Window>(children, count));
    } else {
        filter_.Reset(root_, {});
    }
}

Window X11Session::TopLevelOf(Window window) {
    constexpr int kMaxTreeDepth = 32;  // a frame is never this deep; stops a cycle in a broken tree
    XErrorTrap trap(display_, false);
    Window top = window;
    for (int level = 0; level < kMaxTreeDepth && top != None; ++level) {
        Window rootReturn = None;
        Window parent = None;
        Window* children = nullptr;
        unsigned int count = 0;
        if (XQueryTree(display_, top, &rootReturn, &parent, &children, &count) == 0) {
            return None;
        }
        XMemPtr<Window> owned(children);
        if (parent == None || parent == rootReturn) {
            return top;
        }
        top = parent;
    }
    return None;
}

void X11Session::SetTarget(Window window) {
    if (window == None || window == root_) {
        filter_.SetTarget(0, 0);
        return;
    }
    filter_.SetTarget(window, TopLevelOf(window));
}

X11Session::~X11Session() {
    XCloseDisplay(display_);
}

void X11Session::RemoveHandler(XEventHandler* handler) {
    std::erase(handlers_, handler);
}

// The connection's events are read whenever the socket has some, and whatever was queued
// meanwhile (by a call that waited for a reply) before the loop sleeps.
bool X11Session::PrepareToWait() {
    // Whatever we asked of the server goes out before the loop sleeps.
    XFlush(display_);
    return EventsQueued();
}

bool X11Session::EventsQueued() {
    return XEventsQueued(display_, QueuedAlready) > 0;
}

void X11Session::DispatchEvents() {
    // XPending reads what the socket holds; a broken connection ends in OnConnectionLost.
    while (XPending(display_) > 0) {
        XEvent event;
        XNextEvent(display_, &event);
        HandleEvent(event);
        for (XEventHandler* handler : handlers_) {
            handler->OnXEvent(event);
        }
    }
}

void X11Session::ReleasePointer() {
    // Waited for: the module grabs on a connection of its own, and the server takes requests
    // from two connections in no set order.
    XUngrabPointer(display_, CurrentTime);
    XSync(display_, False);
}

void X11Session::AddOwnWindow(unsigned long window, OwnTopLevel* owner) {
    RemoveOwnWindow(window);
    ownWindows_.push_back({window, owner});
}

void X11Session::RemoveOwnWindow(unsigned long window) {
    std::erase_if(ownWindows_, [window](const OwnWindowEntry& e) { return e.window == window; });
}

OwnTopLevel* X11Session::OwnWindow(Window window) const {
    const auto it = std::find_if(ownWindows_.begin(), ownWindows_.end(),
                                 [window](const OwnWindowEntry& e) { return e.window == window; });
    return it == ownWindows_.end() ? nullptr : it->owner;
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

void X11Session::HandleEvent(const XEvent& event) {
    WatchEvent watch{};
    switch (event.type) {
        case PropertyNotify:
            if (event.xproperty.window == root_) {
                if (event.xproperty.atom == atoms_.netActiveWindow) {
                    activeChanged_ = true;
                }
                return;
            }
            if (event.xproperty.atom != atoms_.netWmState &&
                event.xproperty.atom != atoms_.gtkFrameExtents &&
                event.xproperty.atom != atoms_.netFrameExtents) {
                return;
            }
            watch = {WatchEventKind::Property, event.xproperty.window, event.xproperty.window};
            break;
        case CreateNotify:
            watch = {WatchEventKind::Create, event.xcreatewindow.window,
                     event.xcreatewindow.parent};
            watch.overrideRedirect = event.xcreatewindow.override_redirect != False;
            break;
        case DestroyNotify:
            watch = {WatchEventKind::Destroy, event.xdestroywindow.window,
                     event.xdestroywindow.event};
            break;
        case MapNotify:
            watch = {WatchEventKind::Map, event.xmap.window, event.xmap.event};
            watch.overrideRedirect = event.xmap.override_redirect != False;
            break;
        case UnmapNotify:
            watch = {WatchEventKind::Unmap, event.xunmap.window, event.xunmap.event};
            break;
        case ConfigureNotify:
            watch = {WatchEventKind::Configure, event.xconfigure.window, event.xconfigure.event};
            watch.above = event.xconfigure.above;
            watch.overrideRedirect = event.xconfigure.override_redirect != False;
            break;
        case ReparentNotify:
            watch = {WatchEventKind::Reparent, event.xreparent.window, event.xreparent.event};
            watch.newParent = event.xreparent.parent;
            watch.overrideRedirect = event.xreparent.override_redirect != False;
            break;
        case GravityNotify:
            watch = {WatchEventKind::Gravity, event.xgravity.window, event.xgravity.event};
            break;
        case CirculateNotify:
            watch = {WatchEventKind::Circulate, event.xcirculate.window, event.xcirculate.event};
            watch.onTop = event.xcirculate.place == PlaceOnTop;
            break;
        default:
            return;
    }
    const WatchOutcome outcome = filter_.Apply(watch);
    if (outcome.geometry) {
        ++geometryEpoch_;
    }
    if (outcome.stack) {
        stackChanged_ = true;
    }
    if (outcome.reparented) {
        SetTarget(filter_.target());
    }
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

}  // namespace tb::linux_desktop::x11
