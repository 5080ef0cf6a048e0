// Opaque runs and output look-up for the Wayland bird.
#include "platform/wayland/bird_pixels.h"

#include <algorithm>
#include <cstdint>

namespace tb::linux_desktop::wayland {

std::vector<Rect> OpaqueRegion(const DecodedFrame& frame, int scale) {
    std::vector<Rect> rects;
    // The runs of the row above still open, as indexes into `rects`; a run that continues
    // unchanged into the next row grows downwards instead of adding a rectangle.
    std::vector<std::size_t> open;
    std::vector<std::size_t> next;
    for (int y = 0; y < frame.height; ++y) {
        next.clear();
        const std::uint32_t* row = frame.argb.data() + static_cast<std::size_t>(y) * frame.width;
        for (int x = 0; x < frame.width;) {
            if ((row[x] >> 24) == 0) {
                ++x;
                continue;
            }
            const int start = x;
            while (x < frame.width && (row[x] >> 24) != 0) {
                ++x;
            }
            const Rect run{start * scale, y * scale, x * scale, (y + 1) * scale};
            std::size_t grown = rects.size();
            for (const std::size_t i : open) {
                if (rects[i].Left == run.Left && rects[i].Right == run.Right &&
                    rects[i].Bottom == run.Top) {
                    grown = i;
                    break;
                }
            }
            if (grown == rects.size()) {
                rects.push_back(run);
            } else {
                rects[grown].Bottom = run.Bottom;
            }
            next.push_back(grown);
        }
        open.swap(next);
    }
    return rects;
}

Rect OutputBounds(const Rect& logical, Point position, Size mode, int scale) {
    if (logical.Right > logical.Left && logical.Bottom > logical.Top) {
        return logical;
    }
    scale = std::max(scale, 1);
    return {position.x, position.y, position.x + mode.cx / scale, position.y + mode.cy / scale};
}

namespace {

// How many of the box's pixels the output shows.
std::int64_t AreaShown(const OutputPlace& output, const Rect& box) {
    const Rect& b = output.bounds;
    const std::int64_t w = std::int64_t{std::min(b.Right, box.Right)} - std::max(b.Left, box.Left);
    const std::int64_t h = std::int64_t{std::min(b.Bottom, box.Bottom)} - std::max(b.Top, box.Top);
    return w > 0 && h > 0 ? w * h : 0;
}

}  // namespace

int OutputFor(std::span<const OutputPlace> outputs, const Rect& box) {
    int best = -1;
    std::int64_t bestArea = 0;
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        const std::int64_t area = AreaShown(outputs[i], box);
        if (area > bestArea) {
            best = static_cast<int>(i);
            bestArea = area;
        }
    }
    return best;
}

std::uint32_t OutputsShowing(std::span<const OutputPlace> outputs, const Rect& box) {
    std::uint32_t showing = 0;
    for (std::size_t i = 0; i < outputs.size() && i < 32; ++i) {
        if (AreaShown(outputs[i], box) > 0) {
            showing |= std::uint32_t{1} << i;
        }
    }
    return showing;
}

}  // namespace tb::linux_desktop::wayland
