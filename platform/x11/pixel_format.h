// Premultiplied ARGB pixels in the layout of an X TrueColor visual, for XPutImage: the colour
// channels moved into the visual's masks, and alpha into the bits no colour uses when the visual
// is 32 bits deep (the ARGB visual a compositor blends). Kept apart from Xlib for its tests.
#pragma once

#include <cstdint>
#include <span>

namespace tb::linux_desktop::x11 {

struct PixelFormat {
    std::uint32_t redMask = 0;
    std::uint32_t greenMask = 0;
    std::uint32_t blueMask = 0;
    int depth = 24;
};

// Writes argb.size() pixels to `out` (at least as long). Channels wider than 8 bits get the
// 8 bits in their top bits; narrower ones keep their top bits.
void PackPixels(std::span<const std::uint32_t> argb, const PixelFormat& format,
                std::span<std::uint32_t> out);

}  // namespace tb::linux_desktop::x11
