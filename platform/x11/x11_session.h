// What the X11 realisations share: the display, the atoms they ask about, the bird window's
// identity, and a watch on the root window that tells them when the active window or the
// stacking order changed, so that the 100 ms ticks ask the server only when something moved.
#pragma once

#include <gdk/gdk.h>
#include <gtk/gtk.h>
#include <X11/Xlib.h>

#include <cstdint>
#include <vector>

#include "platform/x11/change_filter.h"

namespace tb::x11 {

struct X11Atoms {
    Atom netActiveWindow;
    Atom netWmState;
    Atom netWmStateHidden;
    Atom netWmStateAbove;
    Atom gtkFrameExtents;
    Atom netFrameExtents;
};

class X11Session {
  public:
    // Needs an initialised GTK on an X11 display.
    X11Session();
    ~X11Session();
    X11Session(const X11Session&) = delete;
    X11Session& operator=(const X11Session&) = delete;

    Display* display() const { return display_; }
    Window root() const { return root_; }
    const X11Atoms& atoms() const { return atoms_; }
    GdkScreen* screen() const { return screen_; }

    // The bird window, once it exists; its own restacking is not news.
    void SetBirdWindow(Window window) {
        birdWindow_ = window;
        filter_.SetBird(window);
    }
    // The window the bird perches on: only its own changes, and its frame's, are news.
    void SetTarget(Window window);
    Window birdWindow() const { return birdWindow_; }

    // Our own managed top-levels (the About window), so that "make top-most" can keep them above.
    void AddOwnWindow(Window window, GtkWindow* gtkWindow);
    void RemoveOwnWindow(Window window);
    GtkWindow* OwnWindow(Window window) const;

    // True once the root's _NET_ACTIVE_WINDOW may have changed since the last Consume.
    bool ConsumeActiveChanged();
    void MarkActiveChanged() { activeChanged_ = true; }
    // True once a window the user sees may have come above the bird since the last Consume.
    bool ConsumeStackChanged();

    // Bumped by every event that can change the target's rectangle or visibility: the target or
    // its frame configured, mapped, unmapped, destroyed or reparented, and its state properties. A
    // cached answer is good while the epoch it was read at is current.
    std::uint64_t geometryEpoch() const { return geometryEpoch_; }

    // While our menu or a modal box is up, the bird must not be raised over it. When the last
    // one closes, the bird takes its place in the stacking order again and is drawn afresh.
    void EnterPopup() { ++popupDepth_; }
    void LeavePopup() {
        if (popupDepth_ > 0 && --popupDepth_ == 0) {
            stackChanged_ = true;
            repaintBird_ = true;
        }
    }
    bool PopupOpen() const { return popupDepth_ > 0; }

    // True once something since the last Consume may have left the bird's pixels stale.
    void MarkRepaintBird() { repaintBird_ = true; }
    bool ConsumeRepaintBird();

    // Restacks the bird directly above the highest managed window when one stands above it;
    // never above an override-redirect window it is already under. True when it restacked.
    bool KeepBirdAboveUserWindows();

  private:
    // The root's child holding `window` (the window manager's frame, or itself).
    Window TopLevelOf(Window window);
    void HandleEvent(const XEvent& event);
    static GdkFilterReturn FilterEvent(GdkXEvent* xevent, GdkEvent* event, gpointer self);

    Display* display_;
    Window root_;
    GdkScreen* screen_;
    X11Atoms atoms_{};
    Window birdWindow_ = 0;
    struct OwnWindowEntry {
        Window window;
        GtkWindow* gtkWindow;
    };
    std::vector<OwnWindowEntry> ownWindows_;
    bool activeChanged_ = true;
    bool stackChanged_ = true;
    std::uint64_t geometryEpoch_ = 1;
    int popupDepth_ = 0;
    bool repaintBird_ = false;
    ChangeFilter filter_;
};

// Swallows X errors for the requests made in its scope: foreign windows vanish between two calls
// (BadWindow, BadDrawable) and that is no reason to stop. Calls whose replies are read report
// failure through their results; `syncOnExit` waits out the errors of one-way requests.
class XErrorTrap {
  public:
    XErrorTrap(Display* display, bool syncOnExit);
    ~XErrorTrap();
    XErrorTrap(const XErrorTrap&) = delete;
    XErrorTrap& operator=(const XErrorTrap&) = delete;

  private:
    static int Ignore(Display* display, XErrorEvent* error);

    Display* display_;
    bool syncOnExit_;
    int (*previous_)(Display*, XErrorEvent*);
};

}  // namespace tb::x11
