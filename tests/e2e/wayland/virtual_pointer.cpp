// A test's hand on a headless compositor, which takes no other injected input without uinput:
// moves the pointer to a point of the output's layout and, unless told "move", presses and
// releases a button there, through zwlr_virtual_pointer_v1 (wlroots) or KWin's fake input.
//   tb_virtual_pointer X Y WIDTH HEIGHT [BUTTON|move]   (BUTTON 1 left, 2 middle, 3 right)
// X and Y in the compositor's units, which may be fractional on a scaled output; WIDTH x HEIGHT
// is the layout's size in them.
#include <linux/input-event-codes.h>
#include <time.h>
#include <wayland-client.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fake-input-client-protocol.h"
#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"

namespace {

zwlr_virtual_pointer_manager_v1* g_manager = nullptr;
org_kde_kwin_fake_input* g_fake = nullptr;

void OnGlobal(void*, wl_registry* registry, std::uint32_t name, const char* interface,
              std::uint32_t version) {
    if (std::strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0) {
        g_manager = static_cast<zwlr_virtual_pointer_manager_v1*>(
            wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1));
    } else if (std::strcmp(interface, org_kde_kwin_fake_input_interface.name) == 0 &&
               version >= 3) {
        g_fake = static_cast<org_kde_kwin_fake_input*>(
            wl_registry_bind(registry, name, &org_kde_kwin_fake_input_interface, 3));
    }
}

void OnGlobalRemove(void*, wl_registry*, std::uint32_t) {}

std::uint32_t NowMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint32_t>(now.tv_sec * 1000 + now.tv_nsec / 1000000);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 5) {
        std::fprintf(stderr, "usage: %s X Y WIDTH HEIGHT [BUTTON|move]\n", argv[0]);
        return 2;
    }
    const double x = std::atof(argv[1]);
    const double y = std::atof(argv[2]);
    const auto width = static_cast<std::uint32_t>(std::atoi(argv[3]));
    const auto height = static_cast<std::uint32_t>(std::atoi(argv[4]));
    // The virtual pointer takes whole numbers over an extent: a finer extent keeps the fraction.
    constexpr std::uint32_t kFine = 256;
    const std::string action = argc > 5 ? argv[5] : "1";
    wl_display* display = wl_display_connect(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "no Wayland display\n");
        return 1;
    }
    wl_registry* registry = wl_display_get_registry(display);
    static const wl_registry_listener listener = {&OnGlobal, &OnGlobalRemove};
    wl_registry_add_listener(registry, &listener, nullptr);
    wl_display_roundtrip(display);
    const std::uint32_t button = action == "3" ? BTN_RIGHT : action == "2" ? BTN_MIDDLE : BTN_LEFT;
    // Pressed a moment after the move, as a hand does, so the client has seen it arrive.
    timespec arrive{0, 150'000'000};
    timespec pause{0, 50'000'000};
    if (g_manager == nullptr && g_fake != nullptr) {
        org_kde_kwin_fake_input_authenticate(g_fake, "tapperbird tests", "clicks of a test");
        org_kde_kwin_fake_input_pointer_motion_absolute(g_fake, wl_fixed_from_double(x),
                                                        wl_fixed_from_double(y));
        wl_display_roundtrip(display);
        if (action != "move") {
            nanosleep(&arrive, nullptr);
            org_kde_kwin_fake_input_button(g_fake, button, WL_POINTER_BUTTON_STATE_PRESSED);
            wl_display_roundtrip(display);
            nanosleep(&pause, nullptr);
            org_kde_kwin_fake_input_button(g_fake, button, WL_POINTER_BUTTON_STATE_RELEASED);
        }
        wl_display_roundtrip(display);
        org_kde_kwin_fake_input_destroy(g_fake);
        wl_registry_destroy(registry);
        wl_display_disconnect(display);
        return 0;
    }
    if (g_manager == nullptr) {
        std::fprintf(stderr, "the compositor has neither a virtual pointer nor fake input\n");
        return 1;
    }
    zwlr_virtual_pointer_v1* pointer =
        zwlr_virtual_pointer_manager_v1_create_virtual_pointer(g_manager, nullptr);
    zwlr_virtual_pointer_v1_motion_absolute(
        pointer, NowMs(), static_cast<std::uint32_t>(std::lround(x * kFine)),
        static_cast<std::uint32_t>(std::lround(y * kFine)), width * kFine, height * kFine);
    zwlr_virtual_pointer_v1_frame(pointer);
    wl_display_roundtrip(display);
    if (action != "move") {
        nanosleep(&arrive, nullptr);
        zwlr_virtual_pointer_v1_button(pointer, NowMs(), button, WL_POINTER_BUTTON_STATE_PRESSED);
        zwlr_virtual_pointer_v1_frame(pointer);
        wl_display_roundtrip(display);
        nanosleep(&pause, nullptr);
        zwlr_virtual_pointer_v1_button(pointer, NowMs(), button, WL_POINTER_BUTTON_STATE_RELEASED);
        zwlr_virtual_pointer_v1_frame(pointer);
    }
    wl_display_roundtrip(display);
    zwlr_virtual_pointer_v1_destroy(pointer);
    zwlr_virtual_pointer_manager_v1_destroy(g_manager);
    wl_registry_destroy(registry);
    wl_display_disconnect(display);
    return 0;
}
