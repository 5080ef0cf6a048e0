// The Linux program's two realisations, as its start sees them: each builds every platform service
// on its own window system and runs the program. Declared here, defined by platform/x11 and
// platform/wayland, so that the start can choose between them while including neither.
#pragma once

#include <functional>
#include <string>

namespace tb::linux_desktop {

// Something the user must be told once, in a box, when the bird is up: `said` runs as the box
// opens, so that it is never said again. Empty when there is nothing to tell.
struct UserNotice {
    std::string text;
    std::function<void()> said;
};

namespace x11 {
// Runs the program on the X server of --display or $DISPLAY, showing the notice once it runs;
// throws with the one line to say when it cannot start.
[[noreturn]] void RunOnX11(int argc, char** argv, const UserNotice& notice);
}  // namespace x11

namespace wayland {
// Runs the program on the compositor of $WAYLAND_DISPLAY when it shows a layer-shell surface and
// one of the known window sources answers; otherwise returns, with the reason in `whyNot`, having
// left nothing behind, and in `notice` what the user must hear of it.
void RunOnWayland(int argc, char** argv, std::string& whyNot, UserNotice& notice);
}  // namespace wayland

}  // namespace tb::linux_desktop
