// Owners for the Xlib and POSIX handles the X11 realisation holds, so that every
// one of them is released exactly once. Copying is deleted; moving is allowed.
#pragma once

#include <X11/Xlib.h>

#include <memory>
#include <utility>

#include "platform/linux/unique_fd.h"

namespace tb::linux_desktop::x11 {

struct XFreeDeleter {
    void operator()(void* p) const {
        if (p != nullptr) {
            XFree(p);
        }
    }
};
// Memory Xlib hands out (property data, XQueryTree's child list).
template <typename T>
using XMemPtr = std::unique_ptr<T, XFreeDeleter>;

// A server-side pixmap; freed on the display it was made on.
class XPixmapOwner {
  public:
    XPixmapOwner() = default;
    XPixmapOwner(Display* display, Pixmap pixmap) : display_(display), pixmap_(pixmap) {}
    ~XPixmapOwner() { reset(); }
    XPixmapOwner(const XPixmapOwner&) = delete;
    XPixmapOwner& operator=(const XPixmapOwner&) = delete;
    XPixmapOwner(XPixmapOwner&& other) noexcept
        : display_(other.display_), pixmap_(std::exchange(other.pixmap_, None)) {}
    XPixmapOwner& operator=(XPixmapOwner&& other) noexcept {
        if (this != &other) {
            reset();
            display_ = other.display_;
            pixmap_ = std::exchange(other.pixmap_, None);
        }
        return *this;
    }
    Pixmap get() const { return pixmap_; }
    void reset() {
        if (pixmap_ != None) {
            XFreePixmap(display_, pixmap_);
        }
        pixmap_ = None;
    }

  private:
    Display* display_ = nullptr;
    Pixmap pixmap_ = None;
};

// A graphics context on one display.
class XGcOwner {
  public:
    XGcOwner() = default;
    XGcOwner(Display* display, GC gc) : display_(display), gc_(gc) {}
    ~XGcOwner() { reset(); }
    XGcOwner(const XGcOwner&) = delete;
    XGcOwner& operator=(const XGcOwner&) = delete;
    XGcOwner(XGcOwner&& other) noexcept
        : display_(other.display_), gc_(std::exchange(other.gc_, nullptr)) {}
    XGcOwner& operator=(XGcOwner&& other) noexcept {
        if (this != &other) {
            reset();
            display_ = other.display_;
            gc_ = std::exchange(other.gc_, nullptr);
        }
        return *this;
    }
    GC get() const { return gc_; }
    void reset() {
        if (gc_ != nullptr) {
            XFreeGC(display_, gc_);
        }
        gc_ = nullptr;
    }

  private:
    Display* display_ = nullptr;
    GC gc_ = nullptr;
};

// A colormap; freed on the display it was made on.
class XColormapOwner {
  public:
    XColormapOwner() = default;
    XColormapOwner(Display* display, Colormap colormap) : display_(display), colormap_(colormap) {}
    ~XColormapOwner() { reset(); }
    XColormapOwner(const XColormapOwner&) = delete;
    XColormapOwner& operator=(const XColormapOwner&) = delete;
    XColormapOwner(XColormapOwner&& other) noexcept
        : display_(other.display_), colormap_(std::exchange(other.colormap_, None)) {}
    XColormapOwner& operator=(XColormapOwner&& other) noexcept {
        if (this != &other) {
            reset();
            display_ = other.display_;
            colormap_ = std::exchange(other.colormap_, None);
        }
        return *this;
    }
    Colormap get() const { return colormap_; }
    void reset() {
        if (colormap_ != None) {
            XFreeColormap(display_, colormap_);
        }
        colormap_ = None;
    }

  private:
    Display* display_ = nullptr;
    Colormap colormap_ = None;
};

}  // namespace tb::linux_desktop::x11
