// Premultiplied ARGB packed for the X visuals the bird window may get.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>

#include "platform/x11/pixel_format.h"

namespace tb::linux_desktop::x11 {
namespace {

constexpr std::array<std::uint32_t, 4> kPixels = {
    0xff123456,  // opaque
    0x00000000,  // clear
    0x80402010,  // half-transparent, premultiplied
    0xffffffff,
};

std::array<std::uint32_t, 4> Pack(const PixelFormat& format) {
    std::array<std::uint32_t, 4> out{};
    PackPixels(kPixels, format, out);
    return out;
}

TEST(PackPixelsTest, ArgbVisualKeepsAlphaInTheTopByte) {
    const auto out = Pack({0xff0000, 0x00ff00, 0x0000ff, 32});
    EXPECT_EQ(out, (std::array<std::uint32_t, 4>{0xff123456, 0, 0x80402010, 0xffffffff}));
}

TEST(PackPixelsTest, DepthTwentyFourDropsAlphaAndKeepsPremultipliedColour) {
    const auto out = Pack({0xff0000, 0x00ff00, 0x0000ff, 24});
    EXPECT_EQ(out, (std::array<std::uint32_t, 4>{0x123456, 0, 0x402010, 0xffffff}));
}

TEST(PackPixelsTest, OtherChannelOrdersAndWidths) {
    // Blue in the high byte, red in the low one.
    const auto bgr = Pack({0x0000ff, 0x00ff00, 0xff0000, 24});
    EXPECT_EQ(bgr[0], 0x563412u);
    EXPECT_EQ(bgr[2], 0x102040u);
    // 16 bits, 5-6-5: the top bits of each channel.
    const auto rgb565 = Pack({0xf800, 0x07e0, 0x001f, 16});
    EXPECT_EQ(rgb565[0], (0x12u >> 3) << 11 | (0x34u >> 2) << 5 | (0x56u >> 3));
    EXPECT_EQ(rgb565[3], 0xffffu);
    // 30-bit colour, 10 bits a channel, alpha in the two top bits.
    const auto deep = Pack({0x3ff00000, 0x000ffc00, 0x000003ff, 32});
    EXPECT_EQ(deep[3], 0xffffffffu & ~0x3u & ~(0x3u << 10) & ~(0x3u << 20));
    EXPECT_EQ(deep[1], 0u);
}

TEST(PackPixelsTest, WritesNoMoreThanTheOutputHolds) {
    std::array<std::uint32_t, 2> out{7, 7};
    PackPixels(kPixels, {0xff0000, 0x00ff00, 0x0000ff, 24}, out);
    EXPECT_EQ(out[1], 0u);
}

}  // namespace
}  // namespace tb::linux_desktop::x11
