// Where the bird belongs in the stacking order: just above the highest window the window manager
// manages, and never above a pop-up of another program (menus, tooltips, notifications, a screen
// locker, another bird), all of which are override-redirect. Kept apart from Xlib for its tests.
#pragma once

#include <cstddef>
#include <optional>

namespace tb::linux_desktop::x11 {

struct StackedWindow {
    bool viewable = false;
    bool overrideRedirect = false;
    bool inputOnly = false;
};

// Given the root's children bottom first, `count` of them with the bird at `birdIndex`, the index
// of the sibling the bird should be restacked directly above, or nothing when it already stands
// above every managed window. `describe(i)` tells about child i; it is asked only about windows
// above the bird, from the top down, and only until the answer is known.
template <typename Describe>
std::optional<std::size_t> SiblingToStayAbove(std::size_t count, std::size_t birdIndex,
                                              Describe&& describe) {
    for (std::size_t i = count; i > birdIndex + 1; --i) {
        const StackedWindow window = describe(i - 1);
        if (window.viewable && !window.overrideRedirect && !window.inputOnly) {
            return i - 1;
        }
    }
    return std::nullopt;
}

}  // namespace tb::linux_desktop::x11
