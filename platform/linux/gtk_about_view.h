// The About window on GTK: a fixed-size dialog-like top-level whose controls sit at their twips
// positions converted with the screen's twips-per-pixel, links with a hand cursor.
#pragma once

#include <gtk/gtk.h>
#include <X11/Xlib.h>

#include <deque>
#include <string>

#include "platform/about_view.h"
#include "platform/linux/gobject_ptr.h"
#include "platform/linux/gtk_module.h"

namespace tb::linux_desktop {

class GtkAboutView final : public AboutView, public OwnTopLevel {
  public:
    GtkAboutView(GtkHost& host, float twipsPerPixelX, float twipsPerPixelY);
    ~GtkAboutView() override;
    GtkAboutView(const GtkAboutView&) = delete;
    GtkAboutView& operator=(const GtkAboutView&) = delete;

    void SetEvents(AboutViewEvents* events) override { events_ = events; }
    void Create(const AboutDesign& design) override;
    void SetText(AboutControlId id, std::string_view text) override;
    void Show() override;
    WindowHandle Handle() const override { return xid_; }
    void KeepAbove(bool show) override;

  private:
    // How many times the pictures and the hand cursor are enlarged.
    int PictureScale() const;
    struct Control {
        GtkAboutView* owner;
        AboutControlId id;
        GtkWidget* label;  // the GtkLabel of a label control, else null
    };

    void Destroy();
    // Runs the form's close logic, once per window.
    void Unload();
    // Drops every reference to a window that is gone or going.
    void Forget();
    GtkWidget* MakeLabel(const AboutControl& control);
    GtkWidget* MakeLink(GtkWidget* child, Control& control);
    static gboolean OnDelete(GtkWidget* widget, GdkEvent* event, gpointer self);
    static void OnDestroy(GtkWidget* widget, gpointer self);
    static void OnActiveChanged(GObject* window, GParamSpec* property, gpointer self);
    static void OnLinkRealize(GtkWidget* widget, gpointer self);
    static gboolean OnLinkRelease(GtkWidget* widget, GdkEventButton* event, gpointer control);

    GtkHost& host_;
    float tppX_;
    float tppY_;
    GtkWidget* window_ = nullptr;  // lives from Create to its close (GTK destroys it then)
    Window xid_ = 0;
    bool shownOnce_ = false;
    bool unloaded_ = false;
    std::deque<Control> controls_;
    GObjectPtr<GdkCursor> handCursor_;
    std::string fontFamily_;
    AboutViewEvents* events_ = nullptr;
};

}  // namespace tb::linux_desktop
