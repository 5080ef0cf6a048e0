// Which events from the X server mean the bird has something to do on its next tick: the window
// it perches on (or that window's frame) changed, or a window the user sees climbed above the
// bird. Other programs moving or animating their windows cost nothing. Kept apart from Xlib, so
// it holds its own copy of the root's stacking order, fed by the root's substructure events.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace tb::linux_desktop::x11 {

// An X window id (XID), without the Xlib header.
using XWindowId = unsigned long;

enum class WatchEventKind : std::uint8_t {
    Create,  // a new child, on top of its siblings
    Destroy,
    Map,
    Unmap,
    Configure,  // moved, resized or restacked: `above` is the sibling now just below it
    Reparent,
    Gravity,
    Circulate,  // `onTop`: raised to the top, else lowered to the bottom
    Property,   // one of the properties that shape the target's frame or visibility
};

struct WatchEvent {
    WatchEventKind kind;
    XWindowId window = 0;
    XWindowId reportedOn = 0;  // the window whose event mask brought it: the root or the target
    XWindowId newParent = 0;   // Reparent only
    XWindowId above = 0;
    bool overrideRedirect = false;
    bool onTop = false;
};

struct WatchOutcome {
    bool geometry = false;    // the target's rectangle or visibility may have changed
    bool stack = false;       // a managed window may stand above the bird now
    bool reparented = false;  // the target moved into another frame: look its frame up again
};

class ChangeFilter {
  public:
    // The root's children, bottom first, as XQueryTree lists them; their mapped state is taken
    // as unknown (treated as mapped, which can only cost an extra check).
    void Reset(XWindowId root, std::span<const XWindowId> childrenBottomFirst);
    void SetBird(XWindowId bird) { bird_ = bird; }
    // The window the bird perches on and the root's child that holds it (itself without a
    // window manager, else the manager's frame).
    void SetTarget(XWindowId target, XWindowId frame) {
        target_ = target;
        frame_ = frame;
    }
    XWindowId target() const { return target_; }

    WatchOutcome Apply(const WatchEvent& event);

  private:
    struct Child {
        XWindowId window;
        bool mapped;
        bool overrideRedirect;
    };
    // Index in children_, or -1.
    std::ptrdiff_t Find(XWindowId window) const;
    // Moves (or inserts) `child` to just above `above` (None: the bottom).
    void Place(Child child, XWindowId above);
    bool AboveBird(XWindowId window) const;

    XWindowId root_ = 0;
    XWindowId bird_ = 0;
    XWindowId target_ = 0;
    XWindowId frame_ = 0;
    std::vector<Child> children_;  // bottom first
};

}  // namespace tb::linux_desktop::x11
