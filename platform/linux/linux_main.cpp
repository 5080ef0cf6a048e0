// The Linux program's start: Wayland where the compositor shows a layer-shell bird and says where
// its windows are, X11 otherwise (XWayland included); --x11 or --wayland forces either.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <string_view>

#include "platform/linux/window_systems.h"

namespace {

enum class Choice { Either, X11, Wayland };

Choice ChosenOnCommandLine(int argc, char** argv) {
    Choice choice = Choice::Either;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--") {
            break;
        }
        if (arg == "--x11") {
            choice = Choice::X11;
        } else if (arg == "--wayland") {
            choice = Choice::Wayland;
        }
    }
    return choice;
}

int Start(int argc, char** argv) {
    const Choice choice = ChosenOnCommandLine(argc, argv);
    const char* waylandDisplay = std::getenv("WAYLAND_DISPLAY");
    const bool onWayland = waylandDisplay != nullptr && waylandDisplay[0] != '\0';
    tb::linux_desktop::UserNotice notice;
    if (choice == Choice::Wayland || (choice == Choice::Either && onWayland)) {
        std::string whyNot;
        tb::linux_desktop::wayland::RunOnWayland(argc, argv, whyNot, notice);
        if (choice == Choice::Wayland) {
            std::fprintf(stderr, "tapperbird: cannot run on Wayland: %s\n", whyNot.c_str());
            return 1;
        }
        std::fprintf(stderr,
                     "tapperbird: no window information from this compositor: perching on X11 "
                     "windows only (%s)\n",
                     whyNot.c_str());
        std::fflush(stderr);
    }
    tb::linux_desktop::x11::RunOnX11(argc, argv, notice);
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return Start(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
}
