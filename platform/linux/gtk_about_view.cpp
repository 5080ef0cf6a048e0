// About window on GTK. CreditsFrame's children are laid out in the form's own layout at the frame's
// origin plus their offsets, so GtkFrame's inner padding cannot shift them off their twips.
#include "platform/linux/gtk_about_view.h"

#include <gdk/gdkx.h>

#include <string>

#include "assets/assets.h"
#include "desktop/monitors.h"
#include "platform/units.h"
#include "platform/linux/gtk_pixbuf.h"

namespace tb::linux_desktop {
namespace {

// The classic face where it is installed, else one with its metrics (fontconfig would otherwise
// hand back any wide default face under the classic name).
std::string PickFontFamily(GtkWidget* widget) {
    static constexpr const char* kPreferred[] = {"MS Sans Serif",   "Microsoft Sans Serif",
                                                 "Liberation Sans", "Arimo",
                                                 "Arial",           "Nimbus Sans"};
    PangoFontFamily** families = nullptr;
    int count = 0;
    pango_context_list_families(gtk_widget_get_pango_context(widget), &families, &count);
    std::string chosen = "Sans";
    for (const char* wanted : kPreferred) {
        for (int i = 0; i < count; ++i) {
            if (g_ascii_strcasecmp(pango_font_family_get_name(families[i]), wanted) == 0) {
                chosen = wanted;
                g_free(families);
                return chosen;
            }
        }
    }
    g_free(families);
    return chosen;
}

}  // namespace

GtkAboutView::GtkAboutView(GtkHost& host, float twipsPerPixelX, float twipsPerPixelY)
    : host_(host), tppX_(twipsPerPixelX), tppY_(twipsPerPixelY) {}

int GtkAboutView::PictureScale() const {
    // The window grows with the resolution through its twips; its pictures by whole numbers.
    return BirdScaleFor(DpiForTwipsPerPixel(tppX_) / 96.0);
}

GtkAboutView::~GtkAboutView() {
    Destroy();
}

void GtkAboutView::Destroy() {
    if (window_ != nullptr) {
        GtkWidget* window = window_;
        g_signal_handlers_disconnect_by_data(window, this);
        Forget();
        gtk_widget_destroy(window);
    }
}

GtkWidget* GtkAboutView::MakeLabel(const AboutControl& control) {
    GtkWidget* label = gtk_label_new(std::string(control.text).c_str());
    gtk_label_set_xalign(GTK_LABEL(label), control.align == TextAlign::Center ? 0.5f : 0.0f);
    gtk_label_set_yalign(GTK_LABEL(label), 0.0f);
    PangoAttrList* attributes = pango_attr_list_new();
    pango_attr_list_insert(attributes, pango_attr_family_new(fontFamily_.c_str()));
    const float points = control.font.sizePoints > 0 ? control.font.sizePoints : 8.25f;
    pango_attr_list_insert(attributes, pango_attr_size_new(static_cast<int>(points * PANGO_SCALE)));
    if (control.font.underline) {
        pango_attr_list_insert(attributes, pango_attr_underline_new(PANGO_UNDERLINE_SINGLE));
    }
    gtk_label_set_attributes(GTK_LABEL(label), attributes);
    pango_attr_list_unref(attributes);
    return label;
}

GtkWidget* GtkAboutView::MakeLink(GtkWidget* child, Control& control) {
    GtkWidget* box = gtk_event_box_new();
    gtk_event_box_set_visible_window(GTK_EVENT_BOX(box), FALSE);
    gtk_widget_add_events(box, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK);
    gtk_container_add(GTK_CONTAINER(box), child);
    g_signal_connect_after(box, "realize", G_CALLBACK(&GtkAboutView::OnLinkRealize), this);
    g_signal_connect(box, "button-release-event", G_CALLBACK(&GtkAboutView::OnLinkRelease),
                     &control);
    return box;
}

void GtkAboutView::Create(const AboutDesign& design) {
    Destroy();
    window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    GtkWindow* window = GTK_WINDOW(window_);
    gtk_window_set_title(window, std::string(design.caption).c_str());
    gtk_window_set_resizable(window, FALSE);
    gtk_window_set_type_hint(window, GDK_WINDOW_TYPE_HINT_DIALOG);
    const std::span<const std::uint8_t> icons[] = {
        assets::AboutIconPng(16), assets::AboutIconPng(32), assets::AboutIconPng(48)};
    SetIconsFromPngs(window, icons);

    // A layout, unlike a fixed container, keeps the client area at its design size and clips a
    // label whose text runs wider than the form, as the form itself would.
    GtkWidget* layout = gtk_layout_new(nullptr, nullptr);
    gtk_widget_set_size_request(layout, TwipsToPixels(design.clientWidthTwips, tppX_),
                                TwipsToPixels(design.clientHeightTwips, tppY_));
    gtk_container_add(GTK_CONTAINER(window_), layout);
    if (fontFamily_.empty()) {
        fontFamily_ = PickFontFamily(window_);
    }

    if (handCursor_ == nullptr) {
        if (GObjectPtr<GdkPixbuf> hand = PixbufFromPng(assets::HandCursorPng(), PictureScale());
            hand != nullptr) {
            handCursor_.reset(gdk_cursor_new_from_pixbuf(gdk_display_get_default(), hand.get(),
                                                         assets::kHandHotspotX * PictureScale(),
                                                         assets::kHandHotspotY * PictureScale()));
        } else {
            handCursor_.reset(gdk_cursor_new_for_display(gdk_display_get_default(), GDK_HAND2));
        }
    }

    std::int32_t frameLeft = 0;
    std::int32_t frameTop = 0;
    for (const AboutControl& control : design.controls) {
        std::int32_t left = control.leftTwips;
        std::int32_t top = control.topTwips;
        if (control.inFrame) {
            left += frameLeft;
            top += frameTop;
        }
        controls_.push_back({this, control.id, nullptr});
        Control& entry = controls_.back();
        GtkWidget* widget = nullptr;
        switch (control.kind) {
            case AboutControlKind::Frame:
                frameLeft = control.leftTwips;
                frameTop = control.topTwips;
                widget = gtk_frame_new(nullptr);
                break;
            case AboutControlKind::Picture: {
                GObjectPtr<GdkPixbuf> picture = PixbufFromPng(assets::DonatePng(), PictureScale());
                widget =
                    picture != nullptr ? gtk_image_new_from_pixbuf(picture.get()) : gtk_image_new();
                gtk_widget_set_halign(widget, GTK_ALIGN_START);
                gtk_widget_set_valign(widget, GTK_ALIGN_START);
                break;
            }
            case AboutControlKind::Label:
                widget = MakeLabel(control);
                entry.label = widget;
                break;
        }
        gtk_widget_set_size_request(widget, TwipsToPixels(control.widthTwips, tppX_),
                                    TwipsToPixels(control.heightTwips, tppY_));
        if (control.handCursor) {
            widget = MakeLink(widget, entry);
        }
        gtk_layout_put(GTK_LAYOUT(layout), widget, TwipsToPixels(left, tppX_),
                       TwipsToPixels(top, tppY_));
    }

    g_signal_connect(window_, "delete-event", G_CALLBACK(&GtkAboutView::OnDelete), this);
    g_signal_connect(window_, "destroy", G_CALLBACK(&GtkAboutView::OnDestroy), this);
    g_signal_connect(window_, "notify::is-active", G_CALLBACK(&GtkAboutView::OnActiveChanged),
                     this);
    gtk_widget_realize(window_);
    GdkWindow* gdkWindow = gtk_widget_get_window(window_);
    // A close box and nothing else: no minimise, no maximise, no resize.
    gdk_window_set_functions(gdkWindow, static_cast<GdkWMFunction>(GDK_FUNC_MOVE | GDK_FUNC_CLOSE));
    gdk_window_set_decorations(gdkWindow, static_cast<GdkWMDecoration>(
                                              GDK_DECOR_BORDER | GDK_DECOR_TITLE | GDK_DECOR_MENU));
    // An X11 window is known to the program by its id; on Wayland it has none, and none is needed.
    if (GDK_IS_X11_WINDOW(gdkWindow)) {
        xid_ = GDK_WINDOW_XID(gdkWindow);
        host_.AddOwnWindow(xid_, this);
    }
    shownOnce_ = false;
    unloaded_ = false;
}

void GtkAboutView::SetText(AboutControlId id, std::string_view text) {
    for (Control& control : controls_) {
        if (control.id == id && control.label != nullptr) {
            gtk_label_set_text(GTK_LABEL(control.label), std::string(text).c_str());
        }
    }
}

void GtkAboutView::Show() {
    if (window_ == nullptr) {
        return;
    }
    if (!shownOnce_) {
        gtk_window_set_position(GTK_WINDOW(window_), GTK_WIN_POS_CENTER);
        shownOnce_ = true;
    }
    gtk_widget_show_all(window_);
    gtk_window_present(GTK_WINDOW(window_));
    host_.MarkRepaintBird();  // the bird is drawn afresh once a window of ours came or went
}

void GtkAboutView::KeepAbove(bool show) {
    if (window_ == nullptr) {
        return;
    }
    gtk_window_set_keep_above(GTK_WINDOW(window_), TRUE);
    if (show && !gtk_widget_get_visible(window_)) {
        gtk_widget_show(window_);
    }
}

void GtkAboutView::Unload() {
    if (!unloaded_) {
        unloaded_ = true;
        if (events_ != nullptr) {
            events_->OnUnload();
        }
    }
}

void GtkAboutView::Forget() {
    if (xid_ != 0) {
        host_.RemoveOwnWindow(xid_);
    }
    window_ = nullptr;
    xid_ = 0;
    controls_.clear();
    host_.MarkRepaintBird();
}

gboolean GtkAboutView::OnDelete(GtkWidget*, GdkEvent*, gpointer self) {
    static_cast<GtkAboutView*>(self)->Unload();
    return FALSE;  // the close goes ahead: GTK destroys the window
}

void GtkAboutView::OnDestroy(GtkWidget*, gpointer self) {
    auto* view = static_cast<GtkAboutView*>(self);
    // Also when the window was destroyed from outside (a force-close, XDestroyWindow): the
    // close logic runs once either way, or the bird would stay paused off-screen.
    view->Unload();
    view->Forget();
}

void GtkAboutView::OnActiveChanged(GObject* window, GParamSpec*, gpointer self) {
    auto* view = static_cast<GtkAboutView*>(self);
    if (gtk_window_is_active(GTK_WINDOW(window)) && view->events_ != nullptr) {
        view->events_->OnActivate();
    }
}

void GtkAboutView::OnLinkRealize(GtkWidget* widget, gpointer self) {
    auto* view = static_cast<GtkAboutView*>(self);
    // An event box without a visible window keeps an input-only window of its own: the cursor
    // goes there, so it shows exactly over the link.
    GdkWindow* input = gtk_event_box_get_visible_window(GTK_EVENT_BOX(widget))
                           ? gtk_widget_get_window(widget)
                           : nullptr;
    if (input == nullptr) {
        GList* children = gdk_window_peek_children(gtk_widget_get_window(widget));
        for (GList* l = children; l != nullptr; l = l->next) {
            gpointer owner = nullptr;
            gdk_window_get_user_data(GDK_WINDOW(l->data), &owner);
            if (owner == widget) {
                input = GDK_WINDOW(l->data);
            }
        }
    }
    if (input != nullptr) {
        gdk_window_set_cursor(input, view->handCursor_.get());
    }
}

gboolean GtkAboutView::OnLinkRelease(GtkWidget* widget, GdkEventButton* event, gpointer data) {
    auto* control = static_cast<Control*>(data);
    GtkAllocation area{};
    gtk_widget_get_allocation(widget, &area);
    // A click is a press and a release over the link; a release elsewhere cancels it.
    const bool inside =
        event->x >= 0 && event->y >= 0 && event->x < area.width && event->y < area.height;
    if (event->button == 1 && inside && control->owner->events_ != nullptr) {
        control->owner->events_->OnClick(control->id);
    }
    return TRUE;
}

}  // namespace tb::linux_desktop
