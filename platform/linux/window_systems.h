// The Linux program's two realisations, as its start sees them: each builds every platform service
// on its own window system and runs the program. Declared here, defined by platform/x11 and
// platform/wayland, so that the start can choose between them while including neither.
#pragma once

#include <string>

namespace tb::linux_desktop {

namespace x11 {
// Runs the program on the X server of --display or $DISPLAY; throws with the one line to say
// when it cannot start.
[[noreturn]] void RunOnX11(int argc, char** argv);
}  // namespace x11

namespace wayland {
// Runs the program on the compositor of $WAYLAND_DISPLAY when it shows a layer-shell surface and
// one of the known window sources answers; otherwise returns, with the reason in `whyNot`, having
// left nothing behind.
void RunOnWayland(int argc, char** argv, std::string& whyNot);
}  // namespace wayland

}  // namespace tb::linux_desktop
