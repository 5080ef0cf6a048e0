// The bird window on X11. The six frames live on the server as pixmaps with matching 1-bit
// masks, made once at start-up; a presentation that changes something sets two shapes, copies
// one pixmap and moves the window - no allocation on our side, and nothing at all when the bird
// sits still on an unchanged frame.
#include "platform/x11/x11_bird_surface.h"

#include <cairo-xlib.h>
#include <gdk/gdkx.h>
#include <X11/extensions/shape.h>

#include <algorithm>
#include <stdexcept>
#include <string>

#include "assets/assets.h"
#include "platform/units.h"
#include "platform/x11/bmp_frame.h"
#include "platform/x11/frame_geometry.h"

namespace tb::x11 {

X11BirdSurface::X11BirdSurface(X11Session& session, float twipsPerPixelX, float twipsPerPixelY)
    : session_(session), tppX_(twipsPerPixelX), tppY_(twipsPerPixelY) {
    int eventBase = 0;
    int errorBase = 0;
    if (!XShapeQueryExtension(session_.display(), &eventBase, &errorBase)) {
        throw std::runtime_error("tapperbird: the X server lacks the SHAPE extension");
    }
    window_ = gtk_window_new(GTK_WINDOW_POPUP);
    gtk_window_set_title(GTK_WINDOW(window_), "Tapperbird");
    gtk_window_set_skip_taskbar_hint(GTK_WINDOW(window_), TRUE);
    gtk_window_set_skip_pager_hint(GTK_WINDOW(window_), TRUE);
    gtk_window_set_accept_focus(GTK_WINDOW(window_), FALSE);
    gtk_window_set_focus_on_map(GTK_WINDOW(window_), FALSE);
    gtk_widget_set_app_paintable(window_, TRUE);
    // With a compositor the alpha channel does the cutting out; without one the outline does.
    GdkVisual* rgba = gdk_screen_get_rgba_visual(session_.screen());
    rgbaVisual_ = rgba != nullptr && gdk_screen_is_composited(session_.screen());
    if (rgbaVisual_) {
        gtk_widget_set_visual(window_, rgba);
    }
    composited_ = rgbaVisual_;
    g_signal_connect(session_.screen(), "composited-changed",
                     G_CALLBACK(&X11BirdSurface::OnCompositedChanged), this);
    gtk_widget_add_events(window_, GDK_BUTTON_PRESS_MASK);
    g_signal_connect(window_, "draw", G_CALLBACK(&X11BirdSurface::OnDraw), this);
    g_signal_connect(window_, "button-press-event", G_CALLBACK(&X11BirdSurface::OnButtonPress),
                     this);
    gtk_widget_realize(window_);
    GdkWindow* gdkWindow = gtk_widget_get_window(window_);
    xid_ = GDK_WINDOW_XID(gdkWindow);
    session_.SetBirdWindow(xid_);
    // No server-side background: an exposed strip keeps what was there until we draw it.
    XSetWindowBackgroundPixmap(session_.display(), xid_, None);
    // Copies from our own pixmaps never need exposure events.
    XGCValues gcValues{};
    gcValues.graphics_exposures = False;
    gc_ = XGcOwner(session_.display(),
                   XCreateGC(session_.display(), xid_, GCGraphicsExposures, &gcValues));
    LoadFrames(1);
    ClearShapes();
    gdk_window_add_filter(gdkWindow, &X11BirdSurface::FilterExpose, this);
    // The window's background is always the frame on show, so the server repaints any exposed
    // part by itself: no exposure events (an outline change alone exposes dozens of strips, and
    // GDK allocates for each event it reads). GDK does set the server-side background back to its
    // own idea of it (none) while it shows or withdraws our other windows - the menu, the About
    // window, a message box - so the session asks for a repaint after each of those.
    XWindowAttributes attributes{};
    XGetWindowAttributes(session_.display(), xid_, &attributes);
    XSelectInput(session_.display(), xid_, attributes.your_event_mask & ~ExposureMask);
    // Nobody manages this window, so no compositor may wait on GDK's frame counter before it
    // shows new content: GDK only completes the frames it paints itself, and most of ours are
    // copied straight to the window. Mutter would otherwise keep a fully painted bird hidden.
    gdk_x11_window_set_frame_sync_enabled(gdkWindow, FALSE);
    XDeleteProperty(session_.display(), xid_,
                    XInternAtom(session_.display(), "_NET_WM_SYNC_REQUEST_COUNTER", False));
}

X11BirdSurface::~X11BirdSurface() {
    g_signal_handlers_disconnect_by_data(session_.screen(), this);
    gdk_window_remove_filter(gtk_widget_get_window(window_), &X11BirdSurface::FilterExpose, this);
    session_.SetBirdWindow(0);
    for (Frame& frame : frames_) {
        frame.pixels.reset();
        frame.mask.reset();
    }
    gc_.reset();
    gtk_widget_destroy(window_);
}

void X11BirdSurface::LoadFrames(int scale) {
    Display* display = session_.display();
    GdkVisual* gdkVisual = gtk_widget_get_visual(window_);
    Visual* visual = GDK_VISUAL_XVISUAL(gdkVisual);
    const int depth = gdk_visual_get_depth(gdkVisual);
    for (int i = 0; i < assets::kFrameCount; ++i) {
        DecodedFrame decoded;
        if (!DecodeBmp32(assets::FrameBmp(i + 1), decoded)) {
            throw std::runtime_error("tapperbird: built-in frame " + std::to_string(i + 1) +
                                     " is not a 32-bit bitmap");
        }
        if (scale > 1) {
            decoded = EnlargeFrame(decoded, scale);
        }
        Frame& frame = frames_[i];
        frame.image.reset(
            cairo_image_surface_create(CAIRO_FORMAT_ARGB32, decoded.width, decoded.height));
        cairo_surface_flush(frame.image.get());
        unsigned char* data = cairo_image_surface_get_data(frame.image.get());
        const int stride = cairo_image_surface_get_stride(frame.image.get());
        for (int y = 0; y < decoded.height; ++y) {
            auto* row =
                reinterpret_cast<std::uint32_t*>(data + static_cast<std::size_t>(y) * stride);
            for (int x = 0; x < decoded.width; ++x) {
                row[x] = decoded.argb[static_cast<std::size_t>(y) * decoded.width + x];
            }
        }
        cairo_surface_mark_dirty(frame.image.get());

        frame.pixels = XPixmapOwner(
            display, XCreatePixmap(display, xid_, decoded.width, decoded.height, depth));
        CairoSurfacePtr target(cairo_xlib_surface_create(display, frame.pixels.get(), visual,
                                                         decoded.width, decoded.height));
        CairoPtr cr(cairo_create(target.get()));
        cairo_set_operator(cr.get(), CAIRO_OPERATOR_SOURCE);
        cairo_set_source_surface(cr.get(), frame.image.get(), 0, 0);
        cairo_paint(cr.get());
        cr.reset();
        cairo_surface_flush(target.get());

        std::vector<std::uint8_t> bits = OpacityMaskBits(decoded);
        frame.mask =
            XPixmapOwner(display, XCreateBitmapFromData(display, xid_,
                                                        reinterpret_cast<const char*>(bits.data()),
                                                        decoded.width, decoded.height));
    }
}

void X11BirdSurface::ClearShapes() {
    Display* display = session_.display();
    if (!composited_) {
        XShapeCombineRectangles(display, xid_, ShapeBounding, 0, 0, nullptr, 0, ShapeSet, Unsorted);
    }
    XShapeCombineRectangles(display, xid_, ShapeInput, 0, 0, nullptr, 0, ShapeSet, Unsorted);
    shownFrame_ = 0;
}

void X11BirdSurface::SetShapes(int frameIndex) {
    Display* display = session_.display();
    const Pixmap mask = frames_[frameIndex - 1].mask.get();
    if (!composited_) {
        XShapeCombineMask(display, xid_, ShapeBounding, 0, 0, mask, ShapeSet);
    }
    XShapeCombineMask(display, xid_, ShapeInput, 0, 0, mask, ShapeSet);
}

void X11BirdSurface::OnCompositedChanged(GdkScreen* screen, gpointer self) {
    auto* surface = static_cast<X11BirdSurface*>(self);
    // The visual is fixed once the window exists, but the outline is not: a compositor that goes
    // away would leave the RGBA window's clear pixels black, so the outline takes over; one that
    // arrives later composites the outlined window just as well.
    const bool composited = surface->rgbaVisual_ && gdk_screen_is_composited(screen);
    if (composited == surface->composited_) {
        return;
    }
    surface->composited_ = composited;
    Display* display = surface->session_.display();
    if (composited) {
        XShapeCombineMask(display, surface->xid_, ShapeBounding, 0, 0, None, ShapeSet);
    } else if (surface->shownFrame_ != 0) {
        surface->SetShapes(surface->shownFrame_);
    } else {
        XShapeCombineRectangles(display, surface->xid_, ShapeBounding, 0, 0, nullptr, 0, ShapeSet,
                                Unsorted);
    }
    XFlush(display);
}

void X11BirdSurface::SetCaption(std::string_view caption) {
    gtk_window_set_title(GTK_WINDOW(window_), std::string(caption).c_str());
}

void X11BirdSurface::Resize(Size size) {
    if (size.cx <= 0 || size.cy <= 0) {
        return;
    }
    size_ = size;
    // Keep GTK's idea of the window in step, or its next layout pass would undo ours.
    gtk_widget_set_size_request(window_, size.cx, size.cy);
    gtk_window_resize(GTK_WINDOW(window_), size.cx, size.cy);
    XResizeWindow(session_.display(), xid_, static_cast<unsigned>(size.cx),
                  static_cast<unsigned>(size.cy));
}

void X11BirdSurface::SetSizeTwips(std::int32_t widthTwips, std::int32_t heightTwips) {
    Resize({TwipsToPixels(widthTwips, tppX_), TwipsToPixels(heightTwips, tppY_)});
}

void X11BirdSurface::MoveTwips(std::int32_t leftTwips, std::int32_t topTwips) {
    position_ = {TwipsToPixels(leftTwips, tppX_), TwipsToPixels(topTwips, tppY_)};
    XMoveWindow(session_.display(), xid_, ClampToXCoordinate(position_.x),
                ClampToXCoordinate(position_.y));
    XFlush(session_.display());
}

std::int32_t X11BirdSurface::HeightTwips() const {
    return PixelsToTwips(size_.cy, tppY_);
}

void X11BirdSurface::Show() {
    // Mapped with an empty outline: nothing shows and nothing is hit until the first frame.
    gtk_window_move(GTK_WINDOW(window_), ClampToXCoordinate(position_.x),
                    ClampToXCoordinate(position_.y));
    gtk_widget_show(window_);
}

void X11BirdSurface::Present(int frameIndex, int scale, Point topLeft, Size size) {
    if (frameIndex < 1 || frameIndex > assets::kFrameCount || scale < 1) {
        return;
    }
    Display* display = session_.display();
    bool changed = false;
    if (scale != framesScale_) {
        // Enlarged once per change of scale, never per tick.
        LoadFrames(scale);
        framesScale_ = scale;
        shownFrame_ = 0;
    }
    bool changedFrame = false;
    if (size != size_) {
        Resize(size);
        gtk_window_move(GTK_WINDOW(window_), ClampToXCoordinate(topLeft.x),
                        ClampToXCoordinate(topLeft.y));
        shownFrame_ = 0;
    }
    if (frameIndex != shownFrame_) {
        // The input shape changes before the pixels, so a press never lands on a stale outline.
        SetShapes(frameIndex);
        shownFrame_ = frameIndex;
        Repaint();
        changed = true;
        changedFrame = true;
    }
    if (topLeft != position_) {
        position_ = topLeft;
        XMoveWindow(display, xid_, ClampToXCoordinate(topLeft.x), ClampToXCoordinate(topLeft.y));
        changed = true;
    }
    // Nobody keeps an override-redirect window on top: when a top-level appeared or was
    // restacked, climb back just above the user's windows, but never over our own menu or a
    // modal box, nor over another program's pop-ups.
    bool repaint = session_.ConsumeRepaintBird();
    if (!session_.PopupOpen() && session_.ConsumeStackChanged() &&
        session_.KeepBirdAboveUserWindows()) {
        repaint = true;
    }
    if (repaint && shownFrame_ != 0 && !changedFrame) {
        Repaint();
    }
    if (repaint) {
        changed = true;
    }
    if (changed) {
        XFlush(display);
    }
}

void X11BirdSurface::Repaint() {
    Display* display = session_.display();
    const Pixmap pixels = frames_[shownFrame_ - 1].pixels.get();
    XSetWindowBackgroundPixmap(display, xid_, pixels);
    const int width = std::min(size_.cx, assets::kFrameWidth * framesScale_);
    const int height = std::min(size_.cy, assets::kFrameHeight * framesScale_);
    XCopyArea(display, pixels, xid_, gc_.get(), 0, 0, static_cast<unsigned>(width),
              static_cast<unsigned>(height), 0, 0);
}

GdkFilterReturn X11BirdSurface::FilterExpose(GdkXEvent* xevent, GdkEvent*, gpointer self) {
    auto* surface = static_cast<X11BirdSurface*>(self);
    const XEvent* event = static_cast<const XEvent*>(xevent);
    if (event->type != Expose || event->xexpose.window != surface->xid_) {
        return GDK_FILTER_CONTINUE;
    }
    // Exposures are not asked for, but GDK may select them again. Paint from the frame already on
    // the server (GTK's own redraw would cost allocations), and put the background back.
    if (surface->shownFrame_ != 0) {
        const XExposeEvent& e = event->xexpose;
        XSetWindowBackgroundPixmap(surface->session_.display(), surface->xid_,
                                   surface->frames_[surface->shownFrame_ - 1].pixels.get());
        XCopyArea(surface->session_.display(),
                  surface->frames_[surface->shownFrame_ - 1].pixels.get(), surface->xid_,
                  surface->gc_.get(), e.x, e.y, static_cast<unsigned>(e.width),
                  static_cast<unsigned>(e.height), e.x, e.y);
    }
    return GDK_FILTER_REMOVE;
}

gboolean X11BirdSurface::OnDraw(GtkWidget*, cairo_t* cr, gpointer self) {
    auto* surface = static_cast<X11BirdSurface*>(self);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    if (surface->shownFrame_ == 0) {
        cairo_set_source_rgba(cr, 0, 0, 0, 0);
    } else {
        cairo_set_source_surface(cr, surface->frames_[surface->shownFrame_ - 1].image.get(), 0, 0);
    }
    cairo_paint(cr);
    return TRUE;
}

gboolean X11BirdSurface::OnButtonPress(GtkWidget*, GdkEventButton* event, gpointer self) {
    auto* surface = static_cast<X11BirdSurface*>(self);
    if (event->type != GDK_BUTTON_PRESS || surface->events_ == nullptr) {
        return TRUE;  // the second and third press of a multi-click arrive twice
    }
    MouseButton button = MouseButton::Left;
    switch (event->button) {
        case 1:
            button = MouseButton::Left;
            break;
        case 2:
            button = MouseButton::Middle;
            break;
        case 3:
            button = MouseButton::Right;
            break;
        default:
            return TRUE;  // side buttons have no counterpart in the forms runtime
    }
    std::int16_t shift = 0;
    if ((event->state & GDK_SHIFT_MASK) != 0) {
        shift |= 1;
    }
    if ((event->state & GDK_CONTROL_MASK) != 0) {
        shift |= 2;
    }
    if ((event->state & GDK_MOD1_MASK) != 0) {
        shift |= 4;
    }
    surface->events_->OnMouseDown(button, shift, static_cast<float>(event->x * surface->tppX_),
                                  static_cast<float>(event->y * surface->tppY_));
    return TRUE;
}

}  // namespace tb::x11
