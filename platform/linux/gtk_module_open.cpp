// The GTK module: GTK started on the program's display (X11 or Wayland) the first time a menu,
// the About window or a message box is needed, and the three of them made on it.
#include "platform/linux/gtk_module.h"

#include <gtk/gtk.h>
#include <X11/Xlib.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "assets/assets.h"
#include "platform/linux/glib_loop.h"
#include "platform/linux/gtk_about_view.h"
#include "platform/linux/gtk_menu.h"
#include "platform/linux/gtk_pixbuf.h"

namespace tb::linux_desktop {
namespace {

// One environment variable changed for the duration of a scope, then put back as it was (unset
// when it was unset), so that programs we start later see the user's own settings.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name); old != nullptr) {
            old_ = old;
        }
        setenv(name, value, 1);
    }
    ~ScopedEnv() {
        if (old_) {
            setenv(name_, old_->c_str(), 1);
        } else {
            unsetenv(name_);
        }
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    const char* name_;
    std::optional<std::string> old_;
};

GtkMessageType MessageTypeForStyle(std::int32_t style) {
    switch (style & 0x70) {
        case 16:
            return GTK_MESSAGE_ERROR;
        case 32:
            return GTK_MESSAGE_QUESTION;
        case 48:
            return GTK_MESSAGE_WARNING;
        case 64:
            return GTK_MESSAGE_INFO;
        default:
            return GTK_MESSAGE_OTHER;
    }
}

class Module final : public GtkModule {
  public:
    Module(GtkHost& host, GtkDisplayKind kind) : host_(host), kind_(kind) {}

    std::unique_ptr<PopupMenu> CreateMenu(int scale) override {
        return std::make_unique<GtkPopupMenu>(host_, scale, kind_ == GtkDisplayKind::Wayland);
    }
    std::unique_ptr<AboutView> CreateAboutView(float twipsPerPixelX,
                                               float twipsPerPixelY) override {
        return std::make_unique<GtkAboutView>(host_, twipsPerPixelX, twipsPerPixelY);
    }
    void MessageBox(std::string_view text, std::string_view title, std::int32_t style) override {
        const std::string message(text);
        GtkWidget* dialog =
            gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, MessageTypeForStyle(style),
                                   GTK_BUTTONS_OK, "%s", message.c_str());
        gtk_window_set_title(GTK_WINDOW(dialog), std::string(title).c_str());
        gtk_window_set_keep_above(GTK_WINDOW(dialog), TRUE);
        gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER);
        host_.EnterPopup();
        gtk_dialog_run(GTK_DIALOG(dialog));
        host_.LeavePopup();
        gtk_widget_destroy(dialog);
    }
    GuestLoop& MainLoop() override { return loop_; }

  private:
    GtkHost& host_;
    GtkDisplayKind kind_;
    GlibLoop loop_;
};

}  // namespace
}  // namespace tb::linux_desktop

extern "C" __attribute__((visibility("default"))) tb::linux_desktop::GtkModule*
tapperbird_gtk_module_open(int abi, tb::linux_desktop::GtkHost* host,
                           tb::linux_desktop::GtkDisplayKind kind, const char* display, char* error,
                           std::size_t errorSize) {
    using namespace tb::linux_desktop;
    if (abi != kGtkModuleAbi || host == nullptr ||
        (kind != GtkDisplayKind::X11 && kind != GtkDisplayKind::Wayland)) {
        std::snprintf(error, errorSize, "it was built for another version of the program");
        return nullptr;
    }
    const bool x11 = kind == GtkDisplayKind::X11;
    bool started = false;
    // GDK installs its own handler for a lost X server, which says it over several lines; the
    // program's one line stays (Xlib has one handler for every connection).
    const XIOErrorHandler programHandler = x11 ? XSetIOErrorHandler(nullptr) : nullptr;
    {
        // Positions are absolute pixels and the program scales its windows itself, so GDK must
        // not scale (the desktop's GDK_SCALE was read at start); nothing here draws with OpenGL,
        // so GDK must not probe for it either (that alone maps tens of megabytes); and GDK opens
        // the program's own window system whatever backend the session asks of GTK programs
        // (GDK_BACKEND=wayland under sway, for the X11 program through XWayland). The user's
        // values come back once GTK is up, for the programs we start.
        const char* backend = x11 ? "x11" : "wayland";
        const ScopedEnv backendVariable("GDK_BACKEND", backend);
        const ScopedEnv scale("GDK_SCALE", "1");
        const ScopedEnv dpiScale("GDK_DPI_SCALE", "1");
        const ScopedEnv gl("GDK_GL", "disable");
        gdk_set_allowed_backends(backend);
        std::string displayOption = std::string("--display=") + (display ? display : "");
        char program[] = "tapperbird";
        char* args[] = {program, displayOption.data(), nullptr};
        int argc = display != nullptr && display[0] != '\0' ? 2 : 1;
        char** argv = args;
        started = gtk_init_check(&argc, &argv);
    }
    if (x11) {
        XSetIOErrorHandler(programHandler);
    }
    if (!started) {
        const char* tried = display != nullptr && display[0] != '\0'
                                ? display
                                : std::getenv(x11 ? "DISPLAY" : "WAYLAND_DISPLAY");
        std::snprintf(error, errorSize, "GTK cannot open %s display %s", x11 ? "X11" : "Wayland",
                      tried != nullptr ? tried : "");
        return nullptr;
    }
    g_set_application_name("Tapperbird");
    const std::span<const std::uint8_t> icons[] = {
        tb::assets::AppIconPng(16), tb::assets::AppIconPng(32), tb::assets::AppIconPng(48),
        tb::assets::AppIconPng(128), tb::assets::AppIconPng(256)};
    SetIconsFromPngs(nullptr, icons);
    return std::make_unique<Module>(*host, kind).release();
}
