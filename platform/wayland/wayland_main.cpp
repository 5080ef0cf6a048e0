// The Linux program on Wayland: the layer-shell bird (on GNOME, our Shell extension's), the window
// source of the desktop's family, the shared Linux services, and the main loop watching the
// compositor and the window source.
#include <unistd.h>

#include <cstdlib>
#include <exception>
#include <memory>
#include <string>
#include <string_view>

#include "app/program.h"
#include "desktop/monitors.h"
#include "platform/linux/desktop_shell.h"
#include "platform/linux/gtk_loader.h"
#include "platform/linux/lock_file_mutex.h"
#include "platform/linux/main_loop.h"
#include "platform/linux/program_file.h"
#include "platform/linux/window_systems.h"
#include "platform/linux/xdg_registry.h"
#include "platform/platform.h"
#include "platform/wayland/gnome_bird.h"
#include "platform/wayland/gnome_shell.h"
#include "platform/wayland/hyprland_window_source.h"
#include "platform/wayland/kwin_window_source.h"
#include "platform/wayland/sway_window_source.h"
#include "platform/wayland/wayland_bird_surface.h"
#include "platform/wayland/wayland_forms_runtime.h"
#include "platform/wayland/wayland_session.h"
#include "platform/wayland/wayland_window_system.h"

namespace tb::linux_desktop::wayland {
namespace {

// How long a window source may take to answer at start before the program falls back to X11.
constexpr int kSourceAnswerMs = 1000;

// The KWin script installed with the program: in its shared data folder, or (in a build tree)
// beside it.
std::string KwinScriptPath() {
    const std::string program = ReadProgramPath();
    const std::string folder = program.substr(0, program.rfind('/') + 1);
    const std::string installed = folder + "../share/tapperbird/tapperbird-kwin.js";
    return ::access(installed.c_str(), R_OK) == 0 ? installed : folder + "tapperbird-kwin.js";
}

// True when the session names `desktop` among its desktops ("KDE" for Plasma, "GNOME" for GNOME
// and Ubuntu's "ubuntu:GNOME").
bool InSession(std::string_view desktop) {
    const char* desktops = std::getenv("XDG_CURRENT_DESKTOP");
    std::string_view rest = desktops != nullptr ? desktops : "";
    while (!rest.empty()) {
        const std::size_t colon = rest.find(':');
        if (rest.substr(0, colon) == desktop) {
            return true;
        }
        rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
    }
    return false;
}

// The window source of the desktop's family, or null with the reason.
std::unique_ptr<WindowSource> FindWindowSource(std::string& why) {
    for (const char* variable : {"SWAYSOCK", "I3SOCK"}) {
        if (const char* path = std::getenv(variable); path != nullptr && path[0] != '\0') {
            return SwayWindowSource::Connect(path, kSourceAnswerMs, why);
        }
    }
    if (const char* signature = std::getenv("HYPRLAND_INSTANCE_SIGNATURE");
        signature != nullptr && signature[0] != '\0') {
        const std::string folder =
            HyprlandWindowSource::InstanceFolder(std::getenv("XDG_RUNTIME_DIR"), signature);
        if (folder.empty()) {
            why = "HYPRLAND_INSTANCE_SIGNATURE names no folder";
            return nullptr;
        }
        return HyprlandWindowSource::Connect(folder, kSourceAnswerMs, why);
    }
    // niri tells where a floating window is, relative to its output, but gives no position for
    // a window in its scrolling columns, where most windows are: rather than a bird that
    // perches on some windows and vanishes on the rest, the X11 windows only, and why.
    if (const char* niri = std::getenv("NIRI_SOCKET"); niri != nullptr && niri[0] != '\0') {
        why = "niri's IPC gives the position of floating windows only";
        return nullptr;
    }
    // KDE Plasma: KWin on the session bus. Asked only in a Plasma session, so that a bird that
    // falls back to X11 on another desktop never maps libdbus-1 and what it brings.
    if (!InSession("KDE")) {
        why =
            "no window source for this compositor (no sway or Hyprland IPC socket, not niri, not a "
            "KDE Plasma session)";
        return nullptr;
    }
    std::string kwinWhy;
    if (auto kwin = KwinWindowSource::Connect(KwinScriptPath(), kSourceAnswerMs, kwinWhy)) {
        return kwin;
    }
    why = "no window source for this compositor (no sway or Hyprland IPC socket; " + kwinWhy + ")";
    return nullptr;
}

// What every Wayland realisation shares (the settings store, the shell, the lock, About) around
// its own bird, menu and window news, and the program on them until it ends.
void RunProgram(MainLoop& loop, GtkModuleLoader& gtk, WaylandFormsRuntime& forms,
                WindowSystem& windows, BirdSurface& bird, PopupMenu& menu) {
    XdgRegistry registry(XdgRegistry::DefaultConfigHome(), XdgRegistry::DefaultSystemConfigDirs());
    DesktopShell shell;
    LockFileMutex mutex(LockFileMutex::DefaultRuntimeDir());
    LazyAboutView about(gtk, forms.TwipsPerPixelX(), forms.TwipsPerPixelY());
    Lcg24Random random;
    Platform platform{windows, bird, forms, registry, shell, mutex, menu, about, random};

    Program program(platform);
    program.Start();
    loop.Run();
}

// GNOME Shell shows no layer-shell surface and tells no client where windows are: our Shell
// extension draws the bird and reports the focused window.
void RunOnGnome(std::string& whyNot, UserNotice& notice) {
    std::unique_ptr<GnomeShellLink> link =
        GnomeShellLink::Connect(kSourceAnswerMs, XdgRegistry::DefaultConfigHome(), whyNot, notice);
    if (link == nullptr) {
        return;
    }
    PollWaiter waiter;
    MainLoop loop(waiter);
    link->Attach(loop);

    // The GTK module (message boxes, About) opens GTK on the same compositor.
    GtkModuleLoader gtk(*link, GtkDisplayKind::Wayland, "", loop, ReadProgramPath());
    WaylandFormsRuntime forms(*link, loop, gtk);
    forms.AtEnd([&link] { link->Leave(); });
    WaylandWindowSystem windows(*link);
    GnomeBirdSurface bird(*link, forms.TwipsPerPixelX(), forms.TwipsPerPixelY());
    GnomePopupMenu menu(*link);
    RunProgram(loop, gtk, forms, windows, bird, menu);
}

}  // namespace

void RunOnWayland(int, char**, std::string& whyNot, UserNotice& notice) {
    if (InSession("GNOME") && std::getenv("SWAYSOCK") == nullptr) {
        RunOnGnome(whyNot, notice);
        return;
    }
    std::unique_ptr<WaylandSession> session;
    try {
        session = std::make_unique<WaylandSession>();
    } catch (const std::exception& e) {
        whyNot = e.what();
        return;
    }
    std::unique_ptr<WindowSource> source = FindWindowSource(whyNot);
    if (source == nullptr) {
        return;
    }
    PollWaiter waiter;
    MainLoop loop(waiter);
    loop.WatchConnection(session->fd(), *session);
    source->Attach(loop);

    // The GTK module opens GTK on the same compositor, as a Wayland client of its own.
    GtkModuleLoader gtk(*session, GtkDisplayKind::Wayland, "", loop, ReadProgramPath());
    WaylandFormsRuntime forms(*session, loop, gtk);
    forms.AtEnd([&source] { source->Leave(); });
    WaylandWindowSystem windows(*source);
    WaylandBirdSurface bird(*session, forms.TwipsPerPixelX(), forms.TwipsPerPixelY());
    // Outputs carry their own scale, which enlarges the bird's buffer: the logic draws at 1.
    LazyPopupMenu menu(gtk, 1);
    RunProgram(loop, gtk, forms, windows, bird, menu);
}

}  // namespace tb::linux_desktop::wayland
