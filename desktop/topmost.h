// Lifting a window into the top-most band without taking the keyboard from anyone.
#pragma once

#include <cstdint>

#include "platform/window_system.h"

namespace tb {

// Without SWP_NOACTIVATE the bird would become the foreground window, hide from itself and take
// the keyboard from whatever the user is typing in.
inline constexpr std::uint32_t kTopmostFlags =
    kSwpNoSize | kSwpNoMove | kSwpShowWindow | kSwpNoActivate;  // 0x53

// Puts `window` at the top of the top-most band and shows it, never activating it.
void SetTopmost(WindowSystem& windows, WindowHandle window);

}  // namespace tb
