// What the X11 realisations share: the connection to the X server (its events read by the
// program's main loop), the atoms they ask about, the bird window's identity, and a watch on the
// root window that tells them when the active window changed, the window the bird perches on moved,
// or a window came above the bird, so that the 100 ms ticks ask the server only then.
#pragma once

#include <X11/Xlib.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/x11/change_filter.h"
#include "platform/linux/gtk_module.h"
#include "platform/linux/main_loop.h"

namespace tb::linux_desktop::x11 {

struct X11Atoms {
    Atom netActiveWindow;
    Atom netWmState;
    Atom netWmStateHidden;
    Atom netWmStateAbove;
    Atom gtkFrameExtents;
    Atom netFrameExtents;
};

// Told about the events of the connection the session does not settle itself.
class XEventHandler {
  public:
    virtual ~XEventHandler() = default;
    virtual void OnXEvent(const XEvent& event) = 0;
};

class X11Session final : public GtkHost, public ConnectionWatch {
  public:
    // Opens `displayName` (empty: $DISPLAY); throws with the one line to say when it cannot.
    explicit X11Session(const std::string& displayName);
    ~X11Session() override;
    X11Session(const X11Session&) = delete;
    X11Session& operator=(const X11Session&) = delete;

    Display* display() const { return display_; }
    Window root() const { return root_; }
    int screen() const { return DefaultScreen(display_); }
    const X11Atoms& atoms() const { return atoms_; }
    // The name the connection was opened with, as the server's address (":1", "host:0.0").
    const std::string& displayName() const { return displayName_; }

    int connectionFd() const { return ConnectionNumber(display_); }
    // ConnectionWatch: what the main loop asks of the connection.
    bool PrepareToWait() override;
    bool EventsQueued() override;
    void DispatchEvents() override;

    void AddHandler(XEventHandler* handler) { handlers_.push_back(handler); }
    void RemoveHandler(XEventHandler* handler);

    // The bird window, once it exists; its own restacking is not news.
    void SetBirdWindow(Window window) {
        birdWindow_ = window;
        filter_.SetBird(window);
    }
    Window birdWindow() const { return birdWindow_; }
    // The window the bird perches on: only its own changes, and its frame's, are news.
    void SetTarget(Window window);
    void SetLastPress(const PressPlace& press) { lastPress_ = press; }

    OwnTopLevel* OwnWindow(Window window) const;

    // True once the root's _NET_ACTIVE_WINDOW may have changed since the last Consume.
    bool ConsumeActiveChanged();
    void MarkActiveChanged() { activeChanged_ = true; }
    // True once a window the user sees may have come above the bird since the last Consume.
    bool ConsumeStackChanged();

    // Bumped by every event that can change the target's rectangle or visibility: the target or
    // its frame configured, mapped, unmapped, destroyed or reparented, and its state properties.
    // A cached answer is good while the epoch it was read at is current.
    std::uint64_t geometryEpoch() const { return geometryEpoch_; }

    bool PopupOpen() const { return popupDepth_ > 0; }
    // True once something since the last Consume may have left the bird's pixels stale.
    bool ConsumeRepaintBird();

    // Restacks the bird directly above the highest managed window when one stands above it;
    // never above an override-redirect window it is already under. True when it restacked.
    bool KeepBirdAboveUserWindows();

    // GtkHost: what the GTK module asks of the program.
    void EnterPopup() override { ++popupDepth_; }
    // When the last popup closes, the bird takes its place in the stacking order again and is
    // drawn afresh.
    void LeavePopup() override {
        if (popupDepth_ > 0 && --popupDepth_ == 0) {
            stackChanged_ = true;
            repaintBird_ = true;
        }
    }
    void AddOwnWindow(unsigned long window, OwnTopLevel* owner) override;
    void RemoveOwnWindow(unsigned long window) override;
    void MarkRepaintBird() override { repaintBird_ = true; }
    PressPlace LastPress() const override { return lastPress_; }
    void ReleasePointer() override;

  private:
    // The root's child holding `window` (the window manager's frame, or itself).
    Window TopLevelOf(Window window);
    void HandleEvent(const XEvent& event);

    Display* display_ = nullptr;
    std::string displayName_;
    Window root_ = None;
    X11Atoms atoms_{};
    std::vector<XEventHandler*> handlers_;
    Window birdWindow_ = 0;
    struct OwnWindowEntry {
        Window window;
        OwnTopLevel* owner;
    };
    std::vector<OwnWindowEntry> ownWindows_;
    bool activeChanged_ = true;
    bool stackChanged_ = true;
    std::uint64_t geometryEpoch_ = 1;
    int popupDepth_ = 0;
    bool repaintBird_ = false;
    PressPlace lastPress_;
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

}  // namespace tb::linux_desktop::x11
