// The logical resolution an X desktop announces: Xft.dpi in the root window's resource string.
#pragma once

#include <string_view>

namespace tb::linux_desktop::x11 {

inline constexpr double kDefaultDpi = 96.0;

// The Xft.dpi resource from an X resource database string (XResourceManagerString), or 96 when
// it is absent, unreadable or outside 24..960 DPI.
double XftDpiFromResources(std::string_view resources);

}  // namespace tb::linux_desktop::x11
