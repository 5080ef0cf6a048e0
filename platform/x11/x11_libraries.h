// Xlib and the extensions the bird uses, opened when the program runs on X11 and not before, so
// that a bird on Wayland maps none of them.
#pragma once

#include <string>

namespace tb::linux_desktop::x11 {

// Opens the X libraries and points the program's X functions at them; false, with the reason,
// when a library or a function is missing. Called before any X function; later calls do nothing.
bool OpenX11Libraries(std::string& why);

}  // namespace tb::linux_desktop::x11
