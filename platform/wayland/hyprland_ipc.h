// Hyprland's IPC, apart from its sockets so it can be checked on recorded replies: which events
// may move the active window, and what `j/activewindow` and `j/getoption` answer.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/types.h"

namespace tb::linux_desktop::wayland {

// The active window as `j/activewindow` describes it.
struct HyprlandWindow {
    WindowHandle address = 0;  // the window's address, never 0
    Rect frame;                // `at` and `size`: the window without the border drawn around it
    bool floating = false;
    bool fullscreen = false;  // then no border is drawn
    bool visible = true;      // false while unmapped or hidden behind another of its group
};

enum class HyprlandReply {
    Window,    // `window` holds the active window
    NoWindow,  // "{}": no window is active (an empty workspace)
    Malformed  // not the reply: truncated, not JSON, no address, no place or a negative size
};

HyprlandReply ReadActiveWindow(std::string_view json, HyprlandWindow& window);

// The whole number a `j/getoption` reply holds; false when it holds none (an error message, or
// an option this version names otherwise).
bool ReadIntOption(std::string_view json, std::int64_t& value);

// True for an event line ("NAME>>DATA") after which the active window, or its place, may have
// changed: focus, workspaces, monitors, windows opening, closing, moving between workspaces,
// floating, fullscreen or grouped, and a reloaded configuration (which may change the border).
bool MovesActiveWindow(std::string_view line);

}  // namespace tb::linux_desktop::wayland
