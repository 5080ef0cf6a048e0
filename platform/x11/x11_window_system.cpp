// EWMH queries on foreign windows. Every query sits inside an error trap because the window can
// close between two calls; a vanished window reads as "no rectangle" and "not visible".
#include "platform/x11/x11_window_system.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <algorithm>

#include "platform/x11/frame_geometry.h"
#include "platform/x11/x11_handles.h"

namespace tb::linux_desktop::x11 {
namespace {
constexpr int kMaxTreeDepth = 32;  // a frame is never this deep; stops a cycle in a broken tree
constexpr int kMaxStateAtoms = 32;
}  // namespace

bool X11WindowSystem::ReadLongs(Window window, Atom property, Atom type, long* values, int count,
                                int& received) {
    Atom actualType = None;
    int actualFormat = 0;
    unsigned long items = 0;
    unsigned long after = 0;
    unsigned char* raw = nullptr;
    const int status = XGetWindowProperty(session_.display(), window, property, 0, count, False,
                                          type, &actualType, &actualFormat, &items, &after, &raw);
    XMemPtr<unsigned char> data(raw);
    received = 0;
    if (status != Success || actualType != type || actualFormat != 32 || data == nullptr) {
        return false;
    }
    // Format-32 data comes as an array of long, whatever the width of long.
    const long* longs = reinterpret_cast<const long*>(data.get());
    received = static_cast<int>(std::min<unsigned long>(items, static_cast<unsigned long>(count)));
    std::copy(longs, longs + received, values);
    return true;
}

WindowHandle X11WindowSystem::GetForegroundWindow() {
    // The root announces every change of _NET_ACTIVE_WINDOW, so the property is read only then.
    if (!session_.ConsumeActiveChanged() && activeFromEwmh_) {
        return active_;
    }
    XErrorTrap trap(session_.display(), false);
    long value = 0;
    int received = 0;
    if (ReadLongs(session_.root(), session_.atoms().netActiveWindow, XA_WINDOW, &value, 1,
                  received) &&
        received == 1) {
        activeFromEwmh_ = true;
        active_ = static_cast<WindowHandle>(static_cast<unsigned long>(value));
        return active_;
    }
    // No EWMH window manager: ask for the input focus, every time.
    activeFromEwmh_ = false;
    Window focus = None;
    int revert = 0;
    XGetInputFocus(session_.display(), &focus, &revert);
    active_ = (focus == PointerRoot || focus == None) ? 0 : static_cast<WindowHandle>(focus);
    return active_;
}

void X11WindowSystem::Watch(WindowHandle window) {
    if (window == watched_) {
        return;
    }
    Display* display = session_.display();
    // Our own windows are not watched: their events are no news.
    const auto foreign = [this](WindowHandle w) {
        return w != 0 && w != session_.root() && w != session_.birdWindow() &&
               session_.OwnWindow(static_cast<Window>(w)) == nullptr;
    };
    XErrorTrap trap(display, true);
    if (foreign(watched_)) {
        XSelectInput(display, static_cast<Window>(watched_), NoEventMask);
    }
    if (foreign(window)) {
        XSelectInput(display, static_cast<Window>(window),
                     StructureNotifyMask | PropertyChangeMask);
    }
    watched_ = window;
    session_.SetTarget(static_cast<Window>(window));
}

bool X11WindowSystem::GetWindowRect(WindowHandle window, Rect& rect) {
    if (window == 0) {
        return false;
    }
    const std::uint64_t epoch = session_.geometryEpoch();
    if (cache_.window == window && cache_.rectEpoch == epoch) {
        if (cache_.rectOk) {
            rect = cache_.rect;
        }
        return cache_.rectOk;
    }
    if (cache_.window != window) {
        Watch(window);
        cache_ = Cache{};
        cache_.window = window;
    }
    Rect fresh{};
    cache_.rectOk = QueryWindowRect(window, fresh);
    cache_.rectEpoch = epoch;
    cache_.rect = fresh;
    if (cache_.rectOk) {
        rect = fresh;
    }
    return cache_.rectOk;
}

bool X11WindowSystem::ReadExtents(Window window, Atom property, FrameExtents& extents) {
    long values[4] = {0, 0, 0, 0};
    int received = 0;
    if (!ReadLongs(window, property, XA_CARDINAL, values, 4, received) || received != 4) {
        return false;
    }
    extents = {values[0], values[1], values[2], values[3]};
    return true;
}

bool X11WindowSystem::QueryWindowRect(WindowHandle window, Rect& rect) {
    Display* display = session_.display();
    XErrorTrap trap(display, false);
    const Window client = static_cast<Window>(window);
    Window rootReturn = None;
    int x = 0;
    int y = 0;
    unsigned int width = 0;
    unsigned int height = 0;
    unsigned int border = 0;
    unsigned int depth = 0;
    if (XGetGeometry(display, client, &rootReturn, &x, &y, &width, &height, &border, &depth) == 0) {
        return false;
    }
    // What the user sees is the client plus the frame the window manager announces, less the
    // shadows a client-side-decorated window draws itself. The window manager's own frame window
    // is no guide: many make it larger than what shows (invisible resize borders, shadows).
    FrameExtents frame;
    FrameExtents shadows;
    const bool framed = ReadExtents(client, session_.atoms().netFrameExtents, frame);
    const bool shadowed = ReadExtents(client, session_.atoms().gtkFrameExtents, shadows);
    if (framed || shadowed) {
        Window child = None;
        int rootX = 0;
        int rootY = 0;
        if (XTranslateCoordinates(display, client, session_.root(), 0, 0, &rootX, &rootY, &child) ==
            0) {
            return false;
        }
        const std::int64_t b = border;
        rect = VisibleFrame(rootX - b, rootY - b, width + 2 * b, height + 2 * b,
                            framed ? std::optional(frame) : std::nullopt,
                            shadowed ? std::optional(shadows) : std::nullopt);
        return true;
    }
    // A window manager that announces no extents: its frame is the ancestor below the root.
    Window top = client;
    for (int level = 0; level < kMaxTreeDepth; ++level) {
        Window parent = None;
        Window* children = nullptr;
        unsigned int count = 0;
        if (XQueryTree(display, top, &rootReturn, &parent, &children, &count) == 0) {
            return false;
        }
        XMemPtr<Window> owned(children);
        if (parent == None || parent == rootReturn) {
            break;
        }
        top = parent;
    }
    if (top != client &&
        XGetGeometry(display, top, &rootReturn, &x, &y, &width, &height, &border, &depth) == 0) {
        return false;
    }
    const std::int64_t b = border;
    rect = VisibleFrame(x, y, width + 2 * b, height + 2 * b, std::nullopt, std::nullopt);
    return true;
}

bool X11WindowSystem::IsWindowVisible(WindowHandle window) {
    if (window == 0) {
        return false;
    }
    const std::uint64_t epoch = session_.geometryEpoch();
    if (cache_.window == window && cache_.visibleEpoch == epoch) {
        return cache_.visible;
    }
    if (cache_.window != window) {
        Watch(window);
        cache_ = Cache{};
        cache_.window = window;
    }
    cache_.visible = QueryVisible(window);
    cache_.visibleEpoch = epoch;
    return cache_.visible;
}

bool X11WindowSystem::QueryVisible(WindowHandle window) {
    Display* display = session_.display();
    XErrorTrap trap(display, false);
    XWindowAttributes attributes{};
    if (XGetWindowAttributes(display, static_cast<Window>(window), &attributes) == 0 ||
        attributes.map_state != IsViewable) {
        return false;
    }
    long states[kMaxStateAtoms] = {};
    int received = 0;
    if (ReadLongs(static_cast<Window>(window), session_.atoms().netWmState, XA_ATOM, states,
                  kMaxStateAtoms, received)) {
        const long hidden = static_cast<long>(session_.atoms().netWmStateHidden);
        if (std::find(states, states + received, hidden) != states + received) {
            return false;
        }
    }
    return true;
}

void X11WindowSystem::MakeTopmost(WindowHandle window, std::uint32_t swpFlags) {
    if (window == 0) {
        return;
    }
    const Window xwindow = static_cast<Window>(window);
    Display* display = session_.display();
    if (xwindow == session_.birdWindow()) {
        // The bird is override-redirect: no window manager keeps it above, so it climbs itself,
        // just above the user's windows, and it never takes the focus. Not over its own menu or
        // a modal box, nor over other programs' pop-ups.
        XErrorTrap trap(display, true);
        if ((swpFlags & kSwpShowWindow) != 0) {
            XMapWindow(display, xwindow);
        }
        if (!session_.PopupOpen()) {
            session_.KeepBirdAboveUserWindows();
        }
        return;
    }
    if (OwnTopLevel* own = session_.OwnWindow(xwindow); own != nullptr) {
        own->KeepAbove((swpFlags & kSwpShowWindow) != 0);
        return;
    }
    // Someone else's window: ask the window manager to keep it above (_NET_WM_STATE_ADD = 1).
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = xwindow;
    event.xclient.message_type = session_.atoms().netWmState;
    event.xclient.format = 32;
    event.xclient.data.l[0] = 1;
    event.xclient.data.l[1] = static_cast<long>(session_.atoms().netWmStateAbove);
    event.xclient.data.l[3] = 1;  // source: an application
    XErrorTrap trap(display, true);
    XSendEvent(display, session_.root(), False, SubstructureRedirectMask | SubstructureNotifyMask,
               &event);
    if ((swpFlags & kSwpShowWindow) != 0) {
        XMapWindow(display, xwindow);
    }
}

}  // namespace tb::linux_desktop::x11
