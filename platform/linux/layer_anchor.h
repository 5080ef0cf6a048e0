// Where the menu hangs from on Wayland, where a client cannot place a window of its own: a 1 x 1
// transparent layer-shell window at the press, above every window, taking no keyboard and no
// pointer, which the menu pops up from. gtk-layer-shell is loaded on the first menu on Wayland
// only, so the X11 program and a bird nobody clicks never map it.
#pragma once

#include <gtk/gtk.h>

#include <memory>

#include "platform/linux/gobject_ptr.h"

namespace tb::linux_desktop {

class LayerAnchor {
  public:
    // The anchor, or null (said once on stderr) when gtk-layer-shell is missing or the
    // compositor has no layer shell.
    static std::unique_ptr<LayerAnchor> Create();
    ~LayerAnchor();
    LayerAnchor(const LayerAnchor&) = delete;
    LayerAnchor& operator=(const LayerAnchor&) = delete;

    // Shows the anchor at the global point (x, y), on the monitor that holds it; returns its
    // window, the menu's parent, with the point at its (0, 0).
    GdkWindow* ShowAt(int x, int y);
    void Hide();

    // What the anchor calls in gtk-layer-shell, looked up once.
    struct Functions;

  private:
    LayerAnchor(const Functions& f, GtkWidget* window);
    static gboolean OnDraw(GtkWidget* widget, cairo_t* cr, gpointer);
    static void OnRealize(GtkWidget* widget, gpointer);

    const Functions& f_;
    GObjectPtr<GtkWidget> window_;
};

}  // namespace tb::linux_desktop
