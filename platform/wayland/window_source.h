// Where the windows are on a Wayland desktop: each desktop family tells it its own way (an IPC
// socket, a script inside the compositor), behind this one interface, which the window system
// reads on the bird's 10 Hz poll. Answers come from a cache the family's news keeps current.
#pragma once

#include "platform/linux/main_loop.h"
#include "platform/types.h"

namespace tb::linux_desktop::wayland {

class WindowSource {
  public:
    virtual ~WindowSource() = default;
    // From now on the loop reads the family's news.
    virtual void Attach(MainLoop& loop) = 0;
    // At the program's end (which runs no destructors): leaves nothing behind in the compositor.
    virtual void Leave() {}
    // Called at the start of each poll; asks the compositor again only where no news comes by
    // itself (a floating window moved on sway).
    virtual void Poll() = 0;
    // Called before `window`'s frame is read for a perch; asks the compositor there and then,
    // waiting a moment for the answer, only where no news comes by itself.
    virtual void Refresh(WindowHandle) {}
    // The active window, 0 when none (an empty workspace, or the news stopped).
    virtual WindowHandle Active() const = 0;
    // The active window's visible frame, in global coordinates; false for any other id (a
    // window that is no longer active, or no longer exists).
    virtual bool Frame(WindowHandle window, Rect& frame) const = 0;
    // False when the window is hidden (minimised, in the scratchpad) or not the active one.
    virtual bool Visible(WindowHandle window) const = 0;
};

}  // namespace tb::linux_desktop::wayland
