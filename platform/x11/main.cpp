// The Linux program: builds the X11 realisation of every platform service, hands it to the
// program's logic and runs the GTK main loop until "Exit" ends the process.
#include <gtk/gtk.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "app/program.h"
#include "assets/assets.h"
#include "desktop/monitors.h"
#include "platform/platform.h"
#include "platform/x11/display_name.h"
#include "platform/x11/lock_file_mutex.h"
#include "platform/x11/x11_about_view.h"
#include "platform/x11/x11_bird_surface.h"
#include "platform/x11/x11_forms_runtime.h"
#include "platform/x11/x11_menu.h"
#include "platform/x11/x11_pixbuf.h"
#include "platform/x11/x11_session.h"
#include "platform/x11/x11_shell.h"
#include "platform/x11/x11_window_system.h"
#include "platform/x11/xdg_registry.h"

namespace {

int Run(int argc, char** argv) {
    // The desktop's own scale, kept before GDK is told not to scale: window positions are
    // absolute pixels (no Wayland: XWayland does it), and the bird scales itself.
    const char* desktopScale = std::getenv("GDK_SCALE");
    const int gdkScale = desktopScale != nullptr ? std::atoi(desktopScale) : 1;
    setenv("GDK_SCALE", "1", 1);
    setenv("GDK_DPI_SCALE", "1", 1);
    gdk_set_allowed_backends("x11");
    // Read before GTK takes its own options (--display among them) off the command line.
    const std::string display = tb::x11::DisplayToOpen(argc, argv, std::getenv("DISPLAY"));
    if (!gtk_init_check(&argc, &argv)) {
        std::fprintf(stderr, "tapperbird: cannot open display %s\n",
                     display.empty() ? "(DISPLAY is not set)" : display.c_str());
        return 1;
    }
    g_set_application_name("Tapperbird");
    const std::span<const std::uint8_t> icons[] = {
        tb::assets::AppIconPng(16), tb::assets::AppIconPng(32), tb::assets::AppIconPng(48),
        tb::assets::AppIconPng(128), tb::assets::AppIconPng(256)};
    tb::x11::SetIconsFromPngs(nullptr, icons);

    tb::x11::X11Session session;
    tb::x11::X11FormsRuntime forms(session, gdkScale);
    tb::x11::X11WindowSystem windows(session);
    tb::x11::X11BirdSurface bird(session, forms.TwipsPerPixelX(), forms.TwipsPerPixelY());
    tb::x11::XdgRegistry registry(tb::x11::XdgRegistry::DefaultConfigHome(),
                                  tb::x11::XdgRegistry::DefaultSystemConfigDirs());
    tb::x11::X11Shell shell;
    tb::x11::LockFileMutex mutex(tb::x11::LockFileMutex::DefaultRuntimeDir());
    tb::x11::X11PopupMenu menu(session, tb::BirdScaleFor(forms.Scale()));
    tb::x11::X11AboutView about(session, forms.TwipsPerPixelX(), forms.TwipsPerPixelY());
    tb::Lcg24Random random;
    tb::Platform platform{windows, bird, forms, registry, shell, mutex, menu, about, random};

    tb::Program program(platform);
    program.Start();
    gtk_main();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return Run(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
}
