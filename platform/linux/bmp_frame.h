// Decoding the built-in 32-bit BMP frames into the pixel and outline forms X11 wants: rows top
// down as premultiplied ARGB words (cairo's layout) and a 1-bit opacity mask (XBM's layout).
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace tb::linux_desktop {

struct DecodedFrame {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> argb;  // width * height, top row first
};

// Accepts uncompressed (or BI_BITFIELDS with the usual masks) 32-bit BMPs, bottom-up or top-down.
// Returns false for anything else or for a file shorter than its header says.
bool DecodeBmp32(std::span<const std::uint8_t> bmp, DecodedFrame& frame);

// The frame enlarged `factor` times, every pixel a factor x factor block.
DecodedFrame EnlargeFrame(const DecodedFrame& frame, int factor);

// One bit per pixel, set where alpha is not 0; rows padded to whole bytes, least significant bit
// first, as XCreateBitmapFromData reads them.
std::vector<std::uint8_t> OpacityMaskBits(const DecodedFrame& frame);

}  // namespace tb::linux_desktop
