// BMP decoding for the built-in frames; see bmp_frame.h.
#include "platform/linux/bmp_frame.h"

namespace tb::linux_desktop {
namespace {

std::uint32_t ReadU32(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::uint32_t>(b[at]) | static_cast<std::uint32_t>(b[at + 1]) << 8 |
           static_cast<std::uint32_t>(b[at + 2]) << 16 |
           static_cast<std::uint32_t>(b[at + 3]) << 24;
}

std::uint16_t ReadU16(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8);
}

constexpr std::size_t kFileHeaderBytes = 14;
constexpr std::uint32_t kBiRgb = 0;
constexpr std::uint32_t kBiBitfields = 3;
constexpr int kMaxSide = 4096;

}  // namespace

bool DecodeBmp32(std::span<const std::uint8_t> bmp, DecodedFrame& frame) {
    if (bmp.size() < kFileHeaderBytes + 40 || bmp[0] != 'B' || bmp[1] != 'M') {
        return false;
    }
    const std::uint32_t pixelOffset = ReadU32(bmp, 10);
    const std::uint32_t headerBytes = ReadU32(bmp, 14);
    const auto width = static_cast<std::int32_t>(ReadU32(bmp, 18));
    const auto rawHeight = static_cast<std::int32_t>(ReadU32(bmp, 22));
    const std::uint16_t bitsPerPixel = ReadU16(bmp, 28);
    const std::uint32_t compression = ReadU32(bmp, 30);
    if (headerBytes < 40 || bitsPerPixel != 32 ||
        (compression != kBiRgb && compression != kBiBitfields)) {
        return false;
    }
    const bool topDown = rawHeight < 0;
    const std::int32_t height = topDown ? -rawHeight : rawHeight;
    if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide) {
        return false;
    }
    const std::size_t rowBytes = static_cast<std::size_t>(width) * 4;
    if (pixelOffset > bmp.size() || bmp.size() - pixelOffset < rowBytes * height) {
        return false;
    }
    frame.width = width;
    frame.height = height;
    frame.argb.assign(static_cast<std::size_t>(width) * height, 0);
    for (std::int32_t y = 0; y < height; ++y) {
        const std::int32_t sourceRow = topDown ? y : height - 1 - y;
        const std::size_t at = pixelOffset + static_cast<std::size_t>(sourceRow) * rowBytes;
        for (std::int32_t x = 0; x < width; ++x) {
            frame.argb[static_cast<std::size_t>(y) * width + x] = ReadU32(bmp, at + 4 * x);
        }
    }
    return true;
}

DecodedFrame EnlargeFrame(const DecodedFrame& frame, int factor) {
    DecodedFrame big;
    big.width = frame.width * factor;
    big.height = frame.height * factor;
    big.argb.resize(static_cast<std::size_t>(big.width) * big.height);
    for (int y = 0; y < big.height; ++y) {
        for (int x = 0; x < big.width; ++x) {
            big.argb[static_cast<std::size_t>(y) * big.width + x] =
                frame.argb[static_cast<std::size_t>(y / factor) * frame.width + x / factor];
        }
    }
    return big;
}

std::vector<std::uint8_t> OpacityMaskBits(const DecodedFrame& frame) {
    const std::size_t stride = (static_cast<std::size_t>(frame.width) + 7) / 8;
    std::vector<std::uint8_t> bits(stride * frame.height, 0);
    for (int y = 0; y < frame.height; ++y) {
        for (int x = 0; x < frame.width; ++x) {
            if ((frame.argb[static_cast<std::size_t>(y) * frame.width + x] >> 24) != 0) {
                bits[y * stride + x / 8] |= static_cast<std::uint8_t>(1u << (x % 8));
            }
        }
    }
    return bits;
}

}  // namespace tb::linux_desktop
