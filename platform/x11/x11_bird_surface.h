// The bird window on X11, with Xlib alone: an override-redirect window whose outline (without a
// compositor) or alpha (with one) follows the frame, and whose input shape lets presses on
// transparent pixels through. Every frame is uploaded to the server once per scale; a
// presentation only points at it.
#pragma once

#include <X11/Xlib.h>

#include <array>
#include <cstdint>

#include "platform/bird_surface.h"
#include "platform/x11/x11_handles.h"
#include "platform/x11/x11_session.h"

namespace tb::linux_desktop::x11 {

class X11BirdSurface final : public BirdSurface, private XEventHandler {
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
        XPixmapOwner pixels;  // in the window's depth, on the server
        XPixmapOwner mask;    // 1 bit per pixel: opaque
    };

    // True while a compositing manager owns the screen's _NET_WM_CM_Sn selection.
    bool CompositorRunning() const;
    // Uploads the six frames enlarged `scale` times, replacing those of another scale.
    void LoadFrames(int scale);
    void SetShapes(int frameIndex);
    void ClearShapes();
    void Resize(Size size);
    // Puts the shown frame on the window and behind it, as the server's background.
    void Repaint();
    void OnCompositedChanged();
    void OnButtonPress(const XButtonEvent& event);
    void OnXEvent(const XEvent& event) override;

    X11Session& session_;
    float tppX_;
    float tppY_;
    Window xid_ = 0;
    Atom compositorSelection_ = None;
    int fixesEventBase_ = -1;  // -1: no XFIXES, so no news of compositors coming and going
    Visual* visual_ = nullptr;
    int depth_ = 0;
    XColormapOwner colormap_;
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

}  // namespace tb::linux_desktop::x11
