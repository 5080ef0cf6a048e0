// gtk-layer-shell through dlopen; see layer_anchor.h.
#include "platform/linux/layer_anchor.h"

#include <gtk-layer-shell/gtk-layer-shell.h>

#include <cstdio>

#include "platform/linux/library_binder.h"

namespace tb::linux_desktop {

// Its header gives the types; the library itself is looked up at run time.
struct LayerAnchor::Functions {
    decltype(&::gtk_layer_is_supported) isSupported = nullptr;
    decltype(&::gtk_layer_init_for_window) initForWindow = nullptr;
    decltype(&::gtk_layer_set_namespace) setNamespace = nullptr;
    decltype(&::gtk_layer_set_layer) setLayer = nullptr;
    decltype(&::gtk_layer_set_monitor) setMonitor = nullptr;
    decltype(&::gtk_layer_set_anchor) setAnchor = nullptr;
    decltype(&::gtk_layer_set_margin) setMargin = nullptr;
    decltype(&::gtk_layer_set_exclusive_zone) setExclusiveZone = nullptr;
    decltype(&::gtk_layer_set_keyboard_mode) setKeyboardMode = nullptr;  // 0.6 and later
    bool ok = false;
};

namespace {

const LayerAnchor::Functions* LoadFunctions() {
    static const auto* loaded = [] {
        static LayerAnchor::Functions f;
        LibraryBinder bind("libgtk-layer-shell.so.0",
                           "gtk-layer-shell 0.6 or later, without which there is no menu on "
                           "Wayland");
        bind("gtk_layer_is_supported", f.isSupported);
        bind("gtk_layer_init_for_window", f.initForWindow);
        bind("gtk_layer_set_namespace", f.setNamespace);
        bind("gtk_layer_set_layer", f.setLayer);
        bind("gtk_layer_set_monitor", f.setMonitor);
        bind("gtk_layer_set_anchor", f.setAnchor);
        bind("gtk_layer_set_margin", f.setMargin);
        bind("gtk_layer_set_exclusive_zone", f.setExclusiveZone);
        bind("gtk_layer_set_keyboard_mode", f.setKeyboardMode);
        f.ok = bind.ok();
        return &f;
    }();
    return loaded;
}

}  // namespace

std::unique_ptr<LayerAnchor> LayerAnchor::Create() {
    const Functions* f = LoadFunctions();
    if (!f->ok) {
        return nullptr;
    }
    if (!f->isSupported()) {
        std::fprintf(stderr, "tapperbird: the compositor gives GTK no layer shell: no menu\n");
        std::fflush(stderr);
        return nullptr;
    }
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    g_object_ref_sink(window);
    return std::unique_ptr<LayerAnchor>(new LayerAnchor(*f, window));
}

LayerAnchor::LayerAnchor(const Functions& f, GtkWidget* window) : f_(f), window_(window) {
    GtkWindow* anchor = GTK_WINDOW(window);
    f_.initForWindow(anchor);
    f_.setNamespace(anchor, "tapperbird-menu");
    f_.setLayer(anchor, GTK_LAYER_SHELL_LAYER_OVERLAY);
    f_.setAnchor(anchor, GTK_LAYER_SHELL_EDGE_LEFT, TRUE);
    f_.setAnchor(anchor, GTK_LAYER_SHELL_EDGE_TOP, TRUE);
    f_.setExclusiveZone(anchor, -1);
    f_.setKeyboardMode(anchor, GTK_LAYER_SHELL_KEYBOARD_MODE_NONE);
    gtk_window_set_default_size(anchor, 1, 1);
    gtk_widget_set_size_request(window, 1, 1);
    gtk_widget_set_app_paintable(window, TRUE);
    if (GdkVisual* rgba = gdk_screen_get_rgba_visual(gtk_widget_get_screen(window))) {
        gtk_widget_set_visual(window, rgba);
    }
    g_signal_connect(window, "draw", G_CALLBACK(&LayerAnchor::OnDraw), nullptr);
    g_signal_connect(window, "realize", G_CALLBACK(&LayerAnchor::OnRealize), nullptr);
}

LayerAnchor::~LayerAnchor() {
    gtk_widget_destroy(window_.get());
}

gboolean LayerAnchor::OnDraw(GtkWidget*, cairo_t* cr, gpointer) {
    cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
    cairo_paint(cr);
    return TRUE;
}

void LayerAnchor::OnRealize(GtkWidget* widget, gpointer) {
    // Presses go through it to whatever lies beneath (the menu, the bird, a window).
    cairo_region_t* nothing = cairo_region_create();
    gdk_window_input_shape_combine_region(gtk_widget_get_window(widget), nothing, 0, 0);
    cairo_region_destroy(nothing);
}

GdkWindow* LayerAnchor::ShowAt(int x, int y) {
    GtkWindow* anchor = GTK_WINDOW(window_.get());
    GdkDisplay* display = gtk_widget_get_display(window_.get());
    GdkMonitor* monitor = gdk_display_get_monitor_at_point(display, x, y);
    GdkRectangle area{};
    if (monitor != nullptr) {
        gdk_monitor_get_geometry(monitor, &area);
    }
    // A layer surface moves only when it is mapped again: hidden first, then shown at its place.
    gtk_widget_hide(window_.get());
    f_.setMonitor(anchor, monitor);
    f_.setMargin(anchor, GTK_LAYER_SHELL_EDGE_LEFT, x - area.x);
    f_.setMargin(anchor, GTK_LAYER_SHELL_EDGE_TOP, y - area.y);
    gtk_widget_show(window_.get());
    return gtk_widget_get_window(window_.get());
}

void LayerAnchor::Hide() {
    gtk_widget_hide(window_.get());
}

}  // namespace tb::linux_desktop
