// What the program and its GTK module (libtapperbird-gtk.so, loaded on first need) ask of each
// other. The bird itself needs no toolkit; the menu, the About window and message boxes do, so
// a bird nobody clicks never maps GTK, GDK, Pango, cairo or fontconfig. Both sides are built
// from one tree by one compiler: the interfaces are plain C++ classes, and only the entry point
// has C linkage, so dlsym can find it.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "platform/about_view.h"
#include "platform/menu.h"
#include "platform/linux/main_loop.h"

namespace tb::linux_desktop {

// One of the module's top-level windows, as the program's "make top-most" sees it.
class OwnTopLevel {
  public:
    virtual ~OwnTopLevel() = default;
    // Keeps the window above others; `show` also shows it when hidden.
    virtual void KeepAbove(bool show) = 0;
};

// Where a press on the bird happened, on the root, for the menu that answers it.
struct PressPlace {
    int rootX = 0;
    int rootY = 0;
    unsigned int button = 1;
    unsigned long time = 0;  // server time, 0 when unknown
};

// The program's side, as the module sees it.
class GtkHost {
  public:
    virtual ~GtkHost() = default;
    // While our menu or a modal box is up, the bird must not be raised over it.
    virtual void EnterPopup() = 0;
    virtual void LeavePopup() = 0;
    // Our own managed top-levels (the About window), kept above by "make top-most".
    virtual void AddOwnWindow(unsigned long window, OwnTopLevel* owner) = 0;
    virtual void RemoveOwnWindow(unsigned long window) = 0;
    virtual void MarkRepaintBird() = 0;
    // The last press on the bird.
    virtual PressPlace LastPress() const = 0;
    // Lets go of the pointer the press grabbed on the program's own connection, so that the
    // module's menu can take it.
    virtual void ReleasePointer() = 0;
};

// The module's side, as the program sees it.
class GtkModule {
  public:
    virtual ~GtkModule() = default;
    // `scale`: how many times the check mark is enlarged.
    virtual std::unique_ptr<PopupMenu> CreateMenu(int scale) = 0;
    virtual std::unique_ptr<AboutView> CreateAboutView(float twipsPerPixelX,
                                                       float twipsPerPixelY) = 0;
    // Modal: returns once the box is closed.
    virtual void MessageBox(std::string_view text, std::string_view title, std::int32_t style) = 0;
    // GLib's main loop, which GTK needs, to take the program's connection and timers over.
    virtual GuestLoop& MainLoop() = 0;
};

// The window system GTK opens: the program's own.
enum class GtkDisplayKind : std::int32_t { X11, Wayland };

// Bumped whenever these interfaces change, so a stale module is refused rather than misused.
inline constexpr int kGtkModuleAbi = 4;
inline constexpr const char* kGtkModuleEntry = "tapperbird_gtk_module_open";
inline constexpr const char* kGtkModuleFile = "libtapperbird-gtk.so";

// The entry point: initialises GTK on `display` (of the `kind` named; empty: the environment's)
// and returns the module, or null (with a reason in `error`, at most `errorSize` bytes) when GTK
// cannot start.
using GtkModuleOpen = GtkModule* (*)(int abi, GtkHost* host, GtkDisplayKind kind,
                                     const char* display, char* error, std::size_t errorSize);

}  // namespace tb::linux_desktop
