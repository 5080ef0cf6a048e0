// The bird window on X11. The six frames live on the server as pixmaps with matching 1-bit
// masks, made once at start-up; a presentation that changes something sets two shapes, copies
// one pixmap and moves the window - no allocation on our side, and nothing at all when the bird
// sits still on an unchanged frame.
#include "platform/x11/x11_bird_surface.h"

#include <unistd.h>
#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xfixes.h>
#include <X11/extensions/shape.h>

#include <algorithm>
#include <bit>
#include <stdexcept>
#include <string>
#include <vector>

#include "assets/assets.h"
#include "platform/units.h"
#include "platform/linux/bmp_frame.h"
#include "platform/x11/frame_geometry.h"
#include "platform/x11/pixel_format.h"

namespace tb::linux_desktop::x11 {
namespace {

struct XImageDestroy {
    void operator()(XImage* image) const {
        image->data = nullptr;  // the pixels belong to a vector
        XDestroyImage(image);
    }
};
using XImagePtr = std::unique_ptr<XImage, XImageDestroy>;

}  // namespace

X11BirdSurface::X11BirdSurface(X11Session& session, float twipsPerPixelX, float twipsPerPixelY)
    : session_(session), tppX_(twipsPerPixelX), tppY_(twipsPerPixelY) {
    Display* display = session_.display();
    int eventBase = 0;
    int errorBase = 0;
    if (!XShapeQueryExtension(display, &eventBase, &errorBase)) {
        throw std::runtime_error("tapperbird: the X server lacks the SHAPE extension");
    }
    const int screen = session_.screen();
    compositorSelection_ =
        XInternAtom(display, ("_NET_WM_CM_S" + std::to_string(screen)).c_str(), False);
    if (XFixesQueryExtension(display, &fixesEventBase_, &errorBase)) {
        XFixesSelectSelectionInput(display, session_.root(), compositorSelection_,
                                   XFixesSetSelectionOwnerNotifyMask |
                                       XFixesSelectionWindowDestroyNotifyMask |
                                       XFixesSelectionClientCloseNotifyMask);
    } else {
        fixesEventBase_ = -1;
    }

    // With a compositor the alpha channel does the cutting out; without one the outline does.
    XVisualInfo argb{};
    rgbaVisual_ = CompositorRunning() && XMatchVisualInfo(display, screen, 32, TrueColor, &argb) &&
                  argb.red_mask == 0xff0000 && argb.green_mask == 0x00ff00 &&
                  argb.blue_mask == 0x0000ff;
    XSetWindowAttributes attributes{};
    unsigned long mask = CWOverrideRedirect | CWBackPixel | CWBorderPixel | CWEventMask;
    attributes.override_redirect = True;
    attributes.background_pixel = 0;  // clear until the first frame (ARGB) or shaped away
    attributes.border_pixel = 0;
    // Presses only: the window's background is always the frame on show, so the server repaints
    // any exposed part by itself.
    attributes.event_mask = ButtonPressMask;
    if (rgbaVisual_) {
        visual_ = argb.visual;
        depth_ = 32;
        colormap_ =
            XColormapOwner(display, XCreateColormap(display, session_.root(), visual_, AllocNone));
        attributes.colormap = colormap_.get();
        mask |= CWColormap;
    } else {
        visual_ = DefaultVisual(display, screen);
        depth_ = DefaultDepth(display, screen);
    }
    composited_ = rgbaVisual_;
    xid_ = XCreateWindow(display, session_.root(), 0, 0, assets::kFrameWidth, assets::kFrameHeight,
                         0, depth_, InputOutput, visual_, mask, &attributes);
    size_ = {assets::kFrameWidth, assets::kFrameHeight};
    session_.SetBirdWindow(xid_);
    session_.AddHandler(this);

    // Who it is, for tools that list windows: its name, its program and its process.
    XClassHint classHint{const_cast<char*>("tapperbird"), const_cast<char*>("Tapperbird")};
    XSetClassHint(display, xid_, &classHint);
    const long pid = static_cast<long>(::getpid());
    XChangeProperty(display, xid_, XInternAtom(display, "_NET_WM_PID", False), XA_CARDINAL, 32,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(&pid), 1);
    SetCaption("Tapperbird");

    // Copies from our own pixmaps never need exposure events.
    XGCValues gcValues{};
    gcValues.graphics_exposures = False;
    gc_ = XGcOwner(display, XCreateGC(display, xid_, GCGraphicsExposures, &gcValues));
    LoadFrames(1);
    ClearShapes();
}

X11BirdSurface::~X11BirdSurface() {
    session_.RemoveHandler(this);
    session_.SetBirdWindow(0);
    for (Frame& frame : frames_) {
        frame.pixels.reset();
        frame.mask.reset();
    }
    gc_.reset();
    XDestroyWindow(session_.display(), xid_);
    colormap_.reset();
}

bool X11BirdSurface::CompositorRunning() const {
    return XGetSelectionOwner(session_.display(), compositorSelection_) != None;
}

void X11BirdSurface::LoadFrames(int scale) {
    Display* display = session_.display();
    const PixelFormat format{static_cast<std::uint32_t>(visual_->red_mask),
                             static_cast<std::uint32_t>(visual_->green_mask),
                             static_cast<std::uint32_t>(visual_->blue_mask), depth_};
    for (int i = 0; i < assets::kFrameCount; ++i) {
        DecodedFrame decoded;
        if (!DecodeBmp32(assets::FrameBmp(i + 1), decoded)) {
            throw std::runtime_error("tapperbird: built-in frame " + std::to_string(i + 1) +
                                     " is not a 32-bit bitmap");
        }
        if (scale > 1) {
            decoded = EnlargeFrame(decoded, scale);
        }
        std::vector<std::uint32_t> pixels(decoded.argb.size());
        PackPixels(decoded.argb, format, pixels);
        const auto width = static_cast<unsigned>(decoded.width);
        const auto height = static_cast<unsigned>(decoded.height);
        XImagePtr image(XCreateImage(display, visual_, static_cast<unsigned>(depth_), ZPixmap, 0,
                                     reinterpret_cast<char*>(pixels.data()), width, height, 32,
                                     decoded.width * 4));
        if (image == nullptr || image->bits_per_pixel != 32) {
            throw std::runtime_error("tapperbird: the X server's pixel layout is not supported");
        }
        // The words are in this machine's order; Xlib swaps them for a server of the other.
        image->byte_order = std::endian::native == std::endian::little ? LSBFirst : MSBFirst;
        Frame& frame = frames_[i];
        frame.pixels = XPixmapOwner(
            display, XCreatePixmap(display, xid_, width, height, static_cast<unsigned>(depth_)));
        XPutImage(display, frame.pixels.get(), gc_.get(), image.get(), 0, 0, 0, 0, width, height);

        std::vector<std::uint8_t> bits = OpacityMaskBits(decoded);
        frame.mask = XPixmapOwner(
            display, XCreateBitmapFromData(
                         display, xid_, reinterpret_cast<const char*>(bits.data()), width, height));
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

void X11BirdSurface::OnCompositedChanged() {
    // The visual is fixed once the window exists, but the outline is not: a compositor that goes
    // away would leave the ARGB window's clear pixels black, so the outline takes over; one that
    // arrives later composites the outlined window just as well.
    const bool composited = rgbaVisual_ && CompositorRunning();
    if (composited == composited_) {
        return;
    }
    composited_ = composited;
    Display* display = session_.display();
    if (composited) {
        XShapeCombineMask(display, xid_, ShapeBounding, 0, 0, None, ShapeSet);
    } else if (shownFrame_ != 0) {
        SetShapes(shownFrame_);
    } else {
        XShapeCombineRectangles(display, xid_, ShapeBounding, 0, 0, nullptr, 0, ShapeSet, Unsorted);
    }
    XFlush(display);
}

void X11BirdSurface::OnXEvent(const XEvent& event) {
    if (event.type == ButtonPress && event.xbutton.window == xid_) {
        OnButtonPress(event.xbutton);
    } else if (fixesEventBase_ >= 0 && event.type == fixesEventBase_ + XFixesSelectionNotify) {
        OnCompositedChanged();
    }
}

void X11BirdSurface::SetCaption(std::string_view caption) {
    Display* display = session_.display();
    const std::string title(caption);
    XStoreName(display, xid_, title.c_str());
    XChangeProperty(display, xid_, XInternAtom(display, "_NET_WM_NAME", False),
                    XInternAtom(display, "UTF8_STRING", False), 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(title.data()),
                    static_cast<int>(title.size()));
}

void X11BirdSurface::Resize(Size size) {
    if (size.cx <= 0 || size.cy <= 0) {
        return;
    }
    size_ = size;
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
    Display* display = session_.display();
    XMoveWindow(display, xid_, ClampToXCoordinate(position_.x), ClampToXCoordinate(position_.y));
    XMapRaised(display, xid_);
    XFlush(display);
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
        shownFrame_ = 0;
        changed = true;
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
    // Nobody keeps an override-redirect window on top: when a window came above the bird, climb
    // back just above the user's windows, but never over our own menu or a modal box, nor over
    // another program's pop-ups.
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

void X11BirdSurface::OnButtonPress(const XButtonEvent& event) {
    if (events_ == nullptr) {
        return;
    }
    MouseButton button = MouseButton::Left;
    switch (event.button) {
        case Button1:
            button = MouseButton::Left;
            break;
        case Button2:
            button = MouseButton::Middle;
            break;
        case Button3:
            button = MouseButton::Right;
            break;
        default:
            return;  // wheel and side buttons have no counterpart in the forms runtime
    }
    std::int16_t shift = 0;
    if ((event.state & ShiftMask) != 0) {
        shift |= 1;
    }
    if ((event.state & ControlMask) != 0) {
        shift |= 2;
    }
    if ((event.state & Mod1Mask) != 0) {
        shift |= 4;
    }
    session_.SetLastPress({event.x_root, event.y_root, event.button, event.time});
    events_->OnMouseDown(button, shift, static_cast<float>(event.x * tppX_),
                         static_cast<float>(event.y * tppY_));
}

}  // namespace tb::linux_desktop::x11
