// The bird on Wayland: a layer-shell surface on the overlay layer, anchored top-left on the output
// that shows it, with margins for its place (across outputs' borders, one on each that shows part
// of it); it takes no keyboard and no space, and presses reach
// it only on its opaque pixels. Each frame is put in shared memory once per enlargement; a
// presentation only attaches it. Out of sight (on no output) it is not shown at all.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/bird_surface.h"
#include "platform/wayland/wayland_handles.h"
#include "platform/wayland/wayland_session.h"

namespace tb::linux_desktop::wayland {

// The bird's handle: never a window id the window sources report.
inline constexpr WindowHandle kBirdHandle = 0x7fff'ffff'0000'0001;

class WaylandBirdSurface final : public BirdSurface, private PointerTarget {
  public:
    WaylandBirdSurface(WaylandSession& session, float twipsPerPixelX, float twipsPerPixelY);
    ~WaylandBirdSurface() override;
    WaylandBirdSurface(const WaylandBirdSurface&) = delete;
    WaylandBirdSurface& operator=(const WaylandBirdSurface&) = delete;

    void SetEvents(BirdSurfaceEvents* events) override { events_ = events; }
    WindowHandle Handle() const override { return kBirdHandle; }
    void SetCaption(std::string_view) override {}
    void SetSizeTwips(std::int32_t widthTwips, std::int32_t heightTwips) override;
    void MoveTwips(std::int32_t leftTwips, std::int32_t topTwips) override;
    std::int32_t HeightTwips() const override;
    std::int32_t GetExtendedStyle() override { return exStyle_; }
    void SetExtendedStyle(std::int32_t style) override { exStyle_ = style; }
    void Show() override {}
    void Present(int frameIndex, int scale, Point topLeft, Size size) override;

  private:
    struct Frame {
        BufferPtr buffer;
        RegionPtr input;  // the opaque pixels, in surface coordinates
    };
    // The whole bird on one output, which shows the part of it that lies there.
    struct Piece {
        WaylandBirdSurface* owner = nullptr;
        SurfacePtr surface;
        LayerSurfacePtr layer;
        int output = -1;  // -1: none, not shown
        bool configured = false;
    };
    // More than a bird's box ever touches on outputs side by side.
    static constexpr std::size_t kMaxPieces = 4;

    // The six frames enlarged `scale` times on an output of scale `outputScale`, cut to `size`.
    void LoadFrames(int scale, int outputScale, Size size);
    // A layer surface on output `output`; the compositor answers with a configure.
    void CreateLayerSurface(Piece& piece, int output);
    static void HidePiece(Piece& piece);
    void Hide();
    // Attaches the shown frame and its input region and commits, once configured.
    void Commit(Piece& piece, bool newFrame);

    static void OnConfigure(void* data, zwlr_layer_surface_v1* surface, std::uint32_t serial,
                            std::uint32_t width, std::uint32_t height);
    static void OnClosed(void* data, zwlr_layer_surface_v1* surface);
    bool Shows(const wl_surface* surface) const override;
    void OnPress(unsigned button, double x, double y) override;

    WaylandSession& session_;
    float tppX_;
    float tppY_;
    BirdSurfaceEvents* events_ = nullptr;
    std::int32_t exStyle_ = 0;

    Mapping pixels_;
    ShmPoolPtr pool_;
    std::array<Frame, 6> frames_{};
    int loadedScale_ = 0;  // 0: nothing loaded
    int loadedOutputScale_ = 0;
    Size loadedSize_{};

    std::array<Piece, kMaxPieces> pieces_{};
    int output_ = -1;  // the output that shows most of it, whose scale the buffers have
    std::uint64_t outputsEpoch_ = 0;
    int shownFrame_ = 0;
    Size size_{};
    Point position_{};
};

}  // namespace tb::linux_desktop::wayland
