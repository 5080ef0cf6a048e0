// The window system on Wayland: the active window and its frame as the desktop family's window
// source last said; the bird sits on the overlay layer, above every window, so "make top-most"
// has nothing to do.
#pragma once

#include "platform/wayland/window_source.h"
#include "platform/window_system.h"

namespace tb::linux_desktop::wayland {

class WaylandWindowSystem final : public WindowSystem {
  public:
    explicit WaylandWindowSystem(WindowSource& source) : source_(source) {}

    WindowHandle GetForegroundWindow() override {
        source_.Poll();
        return source_.Active();
    }
    bool GetWindowRect(WindowHandle window, Rect& rect) override {
        source_.Refresh(window);
        return source_.Frame(window, rect);
    }
    bool IsWindowVisible(WindowHandle window) override { return source_.Visible(window); }
    void MakeTopmost(WindowHandle, std::uint32_t) override {}

  private:
    WindowSource& source_;
};

}  // namespace tb::linux_desktop::wayland
