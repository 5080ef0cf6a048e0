// The bird window on X11: an override-redirect popup whose outline (without a compositor) or
// alpha (with one) follows the frame, and whose input shape lets presses on transparent pixels
// through. Every frame is uploaded to the server once; a presentation only points at it.
#pragma once

#include <gtk/gtk.h>

#include <array>
#include <cstdint>

#include "platform/bird_surface.h"
#include "platform/x11/x11_handles.h"
#include "platform/x11/x11_session.h"

namespace tb::x11 {

class X11BirdSurface final : public BirdSurface {
  public:
    X11BirdSurface(X11Session& session, float twipsPerPixelX, float twipsPerPixelY);
    ~X11BirdSurface() override;
    X11BirdSurface(const X11BirdSurface&) = delete;
    X11BirdSurface& operator=(const X11BirdSurface&) = delete;

    void SetEvents(BirdSurfaceEvents* events) override { events_ = events; }
    WindowHandle Handle() const override { return xid_; }
    void SetCaption(std::string_view caption) override;
    void SetSizeTwips(std::int32_t widthTwips, std::int32_t heightTwips) override;
    void MoveTwips(std::int32_t leftTwips, std::int32_t topTwips) override;
    std::int32_t HeightTwips() const override;
    std::int32_t GetExtendedStyle() override { return exStyle_; }
    void SetExtendedStyle(std::int32_t style) override { exStyle_ = style; }
    void Show() override;
    void Present(int frameIndex, int scale, Point topLeft, Size size) override;

  private:
    struct Frame {
        CairoSurfacePtr image;  // premultiplied ARGB32, for redraws after an expose
        XPixmapOwner pixels;    // the same pixels in the window's depth, on the server
        XPixmapOwner mask;      // 1 bit per pixel: opaque
    };

    // Uploads the six frames enlarged `scale` times, replacing those of another scale.
    void LoadFrames(int scale);
    void SetShapes(int frameIndex);
    void ClearShapes();
    void Resize(Size size);
    // Puts the shown frame on the window and behind it, as the server's background.
    void Repaint();
    static void OnCompositedChanged(GdkScreen* screen, gpointer self);
    static GdkFilterReturn FilterExpose(GdkXEvent* xevent, GdkEvent* event, gpointer self);
    static gboolean OnDraw(GtkWidget* widget, cairo_t* cr, gpointer self);
    static gboolean OnButtonPress(GtkWidget* widget, GdkEventButton* event, gpointer self);

    X11Session& session_;
    float tppX_;
    float tppY_;
    GtkWidget* window_ = nullptr;  // owned; destroyed with the surface
    Window xid_ = 0;
    bool rgbaVisual_ = false;  // chosen at creation: a compositor was running then
    bool composited_ = false;  // the compositor does the cutting out (no bounding outline)
    XGcOwner gc_;
    std::array<Frame, 6> frames_{};
    int framesScale_ = 1;  // the enlargement the uploaded frames have
    BirdSurfaceEvents* events_ = nullptr;
    std::int32_t exStyle_ = 0;
    Size size_{};
    Point position_{};
    int shownFrame_ = 0;  // 0: nothing presented yet (or the outline is empty)
};

}  // namespace tb::x11
