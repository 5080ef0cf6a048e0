// The layer-shell bird: frames in shared memory, the surface made on the output that shows it.
#include "platform/wayland/wayland_bird_surface.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <stdexcept>

#include "assets/assets.h"
#include "platform/linux/bmp_frame.h"
#include "platform/linux/unique_fd.h"
#include "platform/units.h"
#include "platform/wayland/bird_pixels.h"

namespace tb::linux_desktop::wayland {

WaylandBirdSurface::WaylandBirdSurface(WaylandSession& session, float twipsPerPixelX,
                                       float twipsPerPixelY)
    : session_(session), tppX_(twipsPerPixelX), tppY_(twipsPerPixelY) {
    session_.SetPointerTarget(this);
}

WaylandBirdSurface::~WaylandBirdSurface() {
    session_.SetPointerTarget(nullptr);
}

void WaylandBirdSurface::SetSizeTwips(std::int32_t widthTwips, std::int32_t heightTwips) {
    size_ = {TwipsToPixels(widthTwips, tppX_), TwipsToPixels(heightTwips, tppY_)};
}

void WaylandBirdSurface::MoveTwips(std::int32_t leftTwips, std::int32_t topTwips) {
    const Point to{TwipsToPixels(leftTwips, tppX_), TwipsToPixels(topTwips, tppY_)};
    // A move shows at once, as a window's does, not at the next frame: the paused bird (About
    // open) is sent out of sight by a move alone.
    if (shownFrame_ > 0) {
        Present(shownFrame_, loadedScale_, to, size_);
    } else {
        position_ = to;
    }
}

std::int32_t WaylandBirdSurface::HeightTwips() const {
    return PixelsToTwips(size_.cy, tppY_);
}

void WaylandBirdSurface::LoadFrames(int scale, int outputScale, Size size) {
    const int enlargement = scale * outputScale;
    const int frameWidth = assets::kFrameWidth * enlargement;
    const int frameHeight = assets::kFrameHeight * enlargement;
    // Surface pixels (logical) cut to the size asked for, and the buffer's pixels behind them.
    const int width = std::clamp(size.cx, 1, assets::kFrameWidth * scale);
    const int height = std::clamp(size.cy, 1, assets::kFrameHeight * scale);
    const std::size_t frameBytes = static_cast<std::size_t>(frameWidth) * frameHeight * 4;
    const std::size_t poolBytes = frameBytes * assets::kFrameCount;

    for (Frame& frame : frames_) {
        frame.buffer.reset();
        frame.input.reset();
    }
    pool_.reset();
    pixels_.reset();
    UniqueFd memory(::memfd_create("tapperbird-frames", MFD_CLOEXEC));
    if (!memory || ::ftruncate(memory.get(), static_cast<off_t>(poolBytes)) != 0) {
        throw std::runtime_error("tapperbird: no shared memory for the bird's frames");
    }
    void* address = ::mmap(nullptr, poolBytes, PROT_READ | PROT_WRITE, MAP_SHARED, memory.get(), 0);
    if (address == MAP_FAILED) {
        throw std::runtime_error("tapperbird: cannot map the bird's frames");
    }
    pixels_ = Mapping(address, poolBytes);
    pool_.reset(wl_shm_create_pool(session_.shm(), memory.get(), static_cast<int>(poolBytes)));

    for (int i = 0; i < assets::kFrameCount; ++i) {
        DecodedFrame decoded;
        if (!DecodeBmp32(assets::FrameBmp(i + 1), decoded)) {
            throw std::runtime_error("tapperbird: built-in frame " + std::to_string(i + 1) +
                                     " is not a 32-bit bitmap");
        }
        // Premultiplied ARGB words, as wl_shm's ARGB8888 wants them.
        const DecodedFrame enlarged =
            enlargement > 1 ? EnlargeFrame(decoded, enlargement) : decoded;
        const std::size_t offset = frameBytes * static_cast<std::size_t>(i);
        std::memcpy(static_cast<char*>(address) + offset, enlarged.argb.data(), frameBytes);
        Frame& frame = frames_[static_cast<std::size_t>(i)];
        frame.buffer.reset(wl_shm_pool_create_buffer(pool_.get(), static_cast<std::int32_t>(offset),
                                                     width * outputScale, height * outputScale,
                                                     frameWidth * 4, WL_SHM_FORMAT_ARGB8888));
        frame.input.reset(wl_compositor_create_region(session_.compositor()));
        for (const Rect& r : OpaqueRegion(decoded, scale)) {
            const int right = std::min(r.Right, width);
            const int bottom = std::min(r.Bottom, height);
            if (right > r.Left && bottom > r.Top) {
                wl_region_add(frame.input.get(), r.Left, r.Top, right - r.Left, bottom - r.Top);
            }
        }
    }
    loadedScale_ = scale;
    loadedOutputScale_ = outputScale;
    loadedSize_ = size;
}

void WaylandBirdSurface::CreateLayerSurface(Piece& piece, int output) {
    piece.owner = this;
    piece.surface.reset(wl_compositor_create_surface(session_.compositor()));
    piece.layer.reset(zwlr_layer_shell_v1_get_layer_surface(
        session_.layerShell(), piece.surface.get(), session_.output(output),
        ZWLR_LAYER_SHELL_V1_LAYER_OVERLAY, "tapperbird"));
    static const zwlr_layer_surface_v1_listener listener = {&OnConfigure, &OnClosed};
    zwlr_layer_surface_v1_add_listener(piece.layer.get(), &listener, &piece);
    zwlr_layer_surface_v1_set_anchor(
        piece.layer.get(), ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP | ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT);
    zwlr_layer_surface_v1_set_exclusive_zone(piece.layer.get(), -1);
    zwlr_layer_surface_v1_set_keyboard_interactivity(piece.layer.get(), 0);
    piece.output = output;
    piece.configured = false;
}

void WaylandBirdSurface::HidePiece(Piece& piece) {
    piece.layer.reset();
    piece.surface.reset();
    piece.output = -1;
    piece.configured = false;
}

void WaylandBirdSurface::Hide() {
    for (Piece& piece : pieces_) {
        HidePiece(piece);
    }
    output_ = -1;
    wl_display_flush(session_.display());
}

void WaylandBirdSurface::Present(int frameIndex, int scale, Point topLeft, Size size) {
    if (frameIndex < 1 || frameIndex > assets::kFrameCount || scale < 1 || size.cx <= 0 ||
        size.cy <= 0) {
        return;
    }
    const std::vector<OutputPlace>& outputs = session_.outputs();
    const Rect box{topLeft.x, topLeft.y, topLeft.x + size.cx, topLeft.y + size.cy};
    const int output = OutputFor(outputs, box);
    const bool moved = topLeft != position_ || size != size_;
    position_ = topLeft;
    size_ = size;
    if (output < 0) {
        if (output_ >= 0) {
            Hide();  // out of sight: not shown at all, and nothing to press
        }
        return;
    }
    if (output_ >= 0 && (output != output_ || outputsEpoch_ != session_.outputsEpoch())) {
        Hide();  // a layer surface stays on its output: make it again on the other one
    }
    output_ = output;
    outputsEpoch_ = session_.outputsEpoch();
    const int outputScale = outputs[static_cast<std::size_t>(output)].scale;
    bool newFrame = frameIndex != shownFrame_;
    if (scale != loadedScale_ || outputScale != loadedOutputScale_ || size != loadedSize_) {
        // Once per change of enlargement or size, never per tick.
        LoadFrames(scale, outputScale, size);
        newFrame = true;
    }
    shownFrame_ = frameIndex;

    // One piece on each output that shows some of the bird: the output that shows most of it
    // first, so that it is never left out; what lies on an output with no piece stays unseen.
    const std::uint32_t showing = OutputsShowing(outputs, box);
    for (Piece& piece : pieces_) {
        if (piece.output >= 0 && (showing & (std::uint32_t{1} << piece.output)) == 0) {
            HidePiece(piece);  // the bird left that output
        }
    }
    auto hasPiece = [&](int index) {
        return std::any_of(pieces_.begin(), pieces_.end(),
                           [&](const Piece& piece) { return piece.output == index; });
    };
    std::uint32_t created = 0;
    for (int index = -1; index < 32; ++index) {
        const int o = index < 0 ? output : index;
        if (o >= 32 || (showing & (std::uint32_t{1} << o)) == 0 || hasPiece(o)) {
            continue;
        }
        const auto free = std::find_if(pieces_.begin(), pieces_.end(),
                                       [](const Piece& piece) { return piece.output < 0; });
        if (free == pieces_.end()) {
            break;
        }
        CreateLayerSurface(*free, o);
        created |= std::uint32_t{1} << o;
    }
    for (Piece& piece : pieces_) {
        if (piece.output < 0) {
            continue;
        }
        const bool isNew = (created & (std::uint32_t{1} << piece.output)) != 0;
        if (isNew || moved) {
            const Rect& bounds = outputs[static_cast<std::size_t>(piece.output)].bounds;
            zwlr_layer_surface_v1_set_size(piece.layer.get(), static_cast<std::uint32_t>(size.cx),
                                           static_cast<std::uint32_t>(size.cy));
            zwlr_layer_surface_v1_set_margin(piece.layer.get(), topLeft.y - bounds.Top, 0, 0,
                                             topLeft.x - bounds.Left);
        }
        if (isNew) {
            wl_surface_commit(piece.surface.get());  // with no buffer: it asks for a configure
        } else if (piece.configured && (newFrame || moved)) {
            Commit(piece, newFrame);
        }
    }
    wl_display_flush(session_.display());
}

void WaylandBirdSurface::Commit(Piece& piece, bool newFrame) {
    if (newFrame && shownFrame_ > 0) {
        const Frame& frame = frames_[static_cast<std::size_t>(shownFrame_ - 1)];
        // The input region before the pixels, in one commit: a press never meets a stale outline.
        wl_surface_set_input_region(piece.surface.get(), frame.input.get());
        wl_surface_attach(piece.surface.get(), frame.buffer.get(), 0, 0);
        wl_surface_set_buffer_scale(piece.surface.get(), loadedOutputScale_);
        wl_surface_damage_buffer(piece.surface.get(), 0, 0,
                                 std::numeric_limits<std::int32_t>::max(),
                                 std::numeric_limits<std::int32_t>::max());
    }
    wl_surface_commit(piece.surface.get());
}

void WaylandBirdSurface::OnConfigure(void* data, zwlr_layer_surface_v1* surface,
                                     std::uint32_t serial, std::uint32_t, std::uint32_t) {
    auto* piece = static_cast<Piece*>(data);
    zwlr_layer_surface_v1_ack_configure(surface, serial);
    const bool first = !piece->configured;
    piece->configured = true;
    // The first configure lets the frame show; later ones only need their acknowledgement.
    piece->owner->Commit(*piece, first);
}

void WaylandBirdSurface::OnClosed(void* data, zwlr_layer_surface_v1*) {
    // The compositor took the surface away (its output went): the next frame makes it again.
    HidePiece(*static_cast<Piece*>(data));
}

bool WaylandBirdSurface::Shows(const wl_surface* surface) const {
    return std::any_of(pieces_.begin(), pieces_.end(),
                       [&](const Piece& piece) { return piece.surface.get() == surface; });
}

void WaylandBirdSurface::OnPress(unsigned button, double x, double y) {
    if (events_ == nullptr) {
        return;
    }
    session_.SetLastPress({position_.x + static_cast<int>(x), position_.y + static_cast<int>(y),
                           button, session_.pressTime()});
    const MouseButton pressed = button == 3   ? MouseButton::Right
                                : button == 2 ? MouseButton::Middle
                                              : MouseButton::Left;
    events_->OnMouseDown(pressed, 0, static_cast<float>(x * tppX_), static_cast<float>(y * tppY_));
}

}  // namespace tb::linux_desktop::wayland
