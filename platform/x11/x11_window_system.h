// The foreground window, outer rectangles and visibility of other windows through EWMH, and
// "top-most" for the bird (raised without focus) and for our own dialogs (kept above).
#pragma once

#include "platform/window_system.h"
#include "platform/x11/frame_geometry.h"
#include "platform/x11/x11_session.h"

namespace tb::linux_desktop::x11 {

class X11WindowSystem final : public WindowSystem {
  public:
    explicit X11WindowSystem(X11Session& session) : session_(session) {}

    WindowHandle GetForegroundWindow() override;
    bool GetWindowRect(WindowHandle window, Rect& rect) override;
    bool IsWindowVisible(WindowHandle window) override;
    void MakeTopmost(WindowHandle window, std::uint32_t swpFlags) override;

  private:
    // One CARDINAL/WINDOW/ATOM-list property of `window`; false when missing or gone.
    bool ReadLongs(Window window, Atom property, Atom type, long* values, int count, int& received);

    // A CARDINAL[4] extents property; false when missing or malformed.
    bool ReadExtents(Window window, Atom property, FrameExtents& extents);
    bool QueryWindowRect(WindowHandle window, Rect& rect);
    bool QueryVisible(WindowHandle window);
    // Asks the server to tell us when `window` changes, and stops listening to the last one.
    void Watch(WindowHandle window);

    X11Session& session_;
    WindowHandle active_ = 0;
    bool activeFromEwmh_ = false;

    // The last answers about one window, good while the session's geometry epoch stands still:
    // a bird at rest on a window at rest costs the server nothing.
    struct Cache {
        WindowHandle window = 0;
        std::uint64_t rectEpoch = 0;
        bool rectOk = false;
        Rect rect{};
        std::uint64_t visibleEpoch = 0;
        bool visible = false;
    };
    Cache cache_;
    WindowHandle watched_ = 0;
};

}  // namespace tb::linux_desktop::x11
