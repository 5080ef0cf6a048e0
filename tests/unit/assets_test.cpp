// Checks the pictures the program embeds, read back as a loader would: the frame bitmaps, the icon
// and cursor files, the donate button and the PNGs. The art's own rules are the generator's.
#include "assets/assets.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <set>
#include <string_view>
#include <utility>
#include <vector>

namespace {

using namespace tb::assets;
using Size = std::pair<std::uint32_t, std::uint32_t>;
using Pixel = std::uint32_t;  // 0xAARRGGBB: a BGRA pixel read little-endian

constexpr Pixel kClear = 0, kBlack = 0xFF000000, kWhite = 0xFFFFFFFF, kChip = 0xFF9F9F7F;

const auto U16 = [](Bytes b, std::size_t at) { return std::uint32_t{b[at]} | b[at + 1] << 8u; };
const auto U32 = [](Bytes b, std::size_t at) { return U16(b, at) | U16(b, at + 2) << 16u; };
const auto U32BigEndian = [](Bytes b, std::size_t at) {
    return std::uint32_t{b[at]} << 24u | b[at + 1] << 16u | b[at + 2] << 8u | b[at + 3];
};

// The pixels of a bottom-up bitmap, row by row from the top-left: its rows start at `bits`, and at
// `palette` its colour table for depths up to 8 bits. Nothing when the bytes are too few.
std::vector<Pixel> Pixels(Bytes b, std::size_t bits, std::size_t palette, std::size_t w,
                          std::size_t h, std::size_t bpp) {
    const std::size_t stride = (w * bpp + 31) / 32 * 4;
    std::vector<Pixel> out;
    for (std::size_t i = 0; i < w * h && bits + stride * h <= b.size(); ++i) {
        const std::size_t bit = (h - 1 - i / w) * stride * 8 + i % w * bpp;
        // A palette index sits in the top bits of what is left of its byte.
        const std::size_t at =
            bpp <= 8 ? palette + 4 * ((b[bits + bit / 8] << bit % 8 & 0xFF) >> (8 - bpp))
                     : bits + bit / 8;
        out.push_back(bpp == 32 ? U32(b, at) : (U32(b, at) & 0xFFFFFF) | kBlack);
    }
    return out;
}

TEST(Frames, EachIsTheExactBitmapWithItsPaletteExtentAndChips) {
    // "BM", file size, reserved, pixel offset; a 40-byte header, 43 x 71 bottom-up, 1 plane and
    // 32 bits, no compression, the pixels' size, 2834 px/m twice, no palette; two trailing zeros.
    const std::vector<std::uint32_t> header{0x4D42, 12268, 0,    54,   40, 43, 71, 1 | 32 << 16,
                                            0,      12214, 2834, 2834, 0,  0,  0};
    // Premultiplied, alpha 0 or 255, transparent all zero: black, white, red, dark red and chips.
    const std::set<Pixel> palette{kClear, kBlack, kWhite, 0xFFFF0000, 0xFF800000, kChip};
    const std::array<int, 6> right{34, 30, 34, 38, 42, 38}, top{9, 6, 5, 6, 5, 6};
    const std::array<long, 6> chips{0, 13, 15, 31, 20, 32};
    EXPECT_TRUE(FrameBmp(0).empty() && FrameBmp(7).empty() && FrameBmp(-1).empty());
    for (std::size_t i = 0; i < 6; ++i) {
        SCOPED_TRACE(testing::Message() << "frame " << i + 1);
        const Bytes b = FrameBmp(static_cast<int>(i + 1));
        ASSERT_EQ(b.size(), 12268u);
        EXPECT_EQ((std::vector{U16(b, 0), U32(b, 2), U32(b, 6), U32(b, 10), U32(b, 14), U32(b, 18),
                               U32(b, 22), U32(b, 26), U32(b, 30), U32(b, 34), U32(b, 38),
                               U32(b, 42), U32(b, 46), U32(b, 50), U16(b, 12266)}),
                  header);
        const auto f = Pixels(b, 54, 0, kFrameWidth, kFrameHeight, 32);
        EXPECT_TRUE(std::ranges::includes(palette, std::set<Pixel>(f.begin(), f.end())));
        // Opaque extent: first and last column, first and last row. Column 0 is the perching edge.
        std::array<int, 4> extent{kFrameWidth, -1, kFrameHeight, -1};
        for (int p = 0; p < kFrameWidth * kFrameHeight; ++p) {
            const int x = p % kFrameWidth, y = p / kFrameWidth;
            if (f[static_cast<std::size_t>(p)] != kClear) {
                extent = {std::min(extent[0], x), std::max(extent[1], x), std::min(extent[2], y),
                          std::max(extent[3], y)};
            }
        }
        EXPECT_EQ(extent, (std::array{0, right[i], top[i], 70}));
        EXPECT_EQ(std::ranges::count(f, kChip), chips[i]);
    }
}

// One image of an .ico or .cur: its directory entry, its depth, its pixels top-down, mask applied.
struct IconImage {
    int width, planesOrHotX, bppOrHotY, bpp;
    std::vector<Pixel> px;
};

// The images of an .ico (type 1) or .cur (type 2), checking the layout on the way: square images
// back to back after the directory up to the end of the file, each header matching its entry, and
// each a picture rather than an empty or solid square.
std::vector<IconImage> ReadIconFile(Bytes b, std::uint32_t type) {
    EXPECT_EQ(U32(b, 0), type << 16) << "reserved, then the type";
    std::vector<IconImage> out;
    std::size_t next = 6 + 16 * std::size_t{U16(b, 4)};
    for (std::size_t e = 6; e < 6 + 16 * std::size_t{U16(b, 4)} && next + 40 <= b.size(); e += 16) {
        const std::size_t w = b[e] == 0 ? 256 : b[e], size = U32(b, e + 8), bpp = U16(b, next + 14);
        const std::size_t bits = next + 40 + (bpp <= 8 ? 4u << bpp : 0),
                          maskRow = (w + 31) / 32 * 4;
        const std::size_t mask = bits + (w * bpp + 31) / 32 * 4 * w, end = mask + maskRow * w;
        EXPECT_EQ(
            (std::array<std::size_t, 7>{b[e + 1], U32(b, e + 12), U32(b, next), U32(b, next + 4),
                                        U32(b, next + 8), U16(b, next + 12), size}),
            (std::array<std::size_t, 7>{b[e], next, 40, w, 2 * w, 1, end - next}));
        IconImage& image =
            out.emplace_back(IconImage{int(w), int(U16(b, e + 4)), int(U16(b, e + 6)), int(bpp),
                                       Pixels(b, bits, next + 40, w, w, bpp)});
        for (std::size_t i = 0; i < w * w && end <= b.size(); ++i) {  // set mask bits: transparent
            if (b[mask + (w - 1 - i / w) * maskRow + i % w / 8] << i % w % 8 & 0x80) {
                image.px[i] = kClear;
            }
        }
        const auto clear = static_cast<std::size_t>(std::ranges::count(image.px, kClear));
        EXPECT_TRUE(clear * 10 > w * w && clear * 10 < w * w * 9) << w;
        next += size;
    }
    EXPECT_EQ(next, b.size());
    return out;
}

// Each icon image's {size, bits}, checking that its entry names one plane and its depth.
std::vector<std::pair<int, int>> SizesAndDepths(const std::vector<IconImage>& images) {
    std::vector<std::pair<int, int>> out;
    for (const IconImage& i : images) {
        EXPECT_EQ(std::pair(i.planesOrHotX, i.bppOrHotY), std::pair(1, i.bpp)) << i.width;
        out.emplace_back(i.width, i.bpp);
    }
    return out;
}

TEST(Icons, ApplicationIconHasSevenImagesInOrderShowingOnePicture) {
    const auto images = ReadIconFile(AppIconIco(), 1);
    ASSERT_EQ(SizesAndDepths(images),
              (std::vector<std::pair<int, int>>{
                  {48, 8}, {32, 8}, {16, 8}, {48, 32}, {32, 32}, {16, 32}, {128, 8}}));
    // The 8-bit and 32-bit images of a size agree, and the 128 px image is the 32 px one enlarged.
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_TRUE(images[i].px == images[i + 3].px) << images[i].width;
    }
    for (std::size_t i = 0; i < 128 * 128; i += 7) {
        EXPECT_EQ(images[6].px[i], images[4].px[i / 128 / 4 * 32 + i % 128 / 4]) << i;
    }
    const auto about = SizesAndDepths(ReadIconFile(AboutIconIco(), 1));
    EXPECT_EQ(std::multiset(about.begin(), about.end()),
              (std::multiset<std::pair<int, int>>{
                  {48, 8}, {48, 32}, {32, 8}, {32, 32}, {16, 8}, {16, 32}}));
}

TEST(Cursor, MonochromeHandWithTheHotSpotOnTheFingertip) {
    const auto images = ReadIconFile(HandCursorCur(), 2);
    ASSERT_EQ(images.size(), 1u);
    const IconImage& hand = images[0];
    // 32 px at 1 bit; the file and the toolkit cursor's constants agree on the hot spot.
    EXPECT_EQ((std::array{hand.width, hand.bpp, hand.planesOrHotX, hand.bppOrHotY}),
              (std::array{32, 1, kHandHotspotX, kHandHotspotY}));
    // A white hand in a black outline whose topmost pixel is the fingertip.
    EXPECT_EQ(hand.px[kHandHotspotY * 32 + kHandHotspotX], kBlack);
    EXPECT_LE(32 - std::count(hand.px.begin(), hand.px.begin() + 32, kClear), 3);
    EXPECT_GT(std::ranges::count(hand.px, kWhite), 100);
}

// An 8-bit RGBA PNG's size, once its chunks are seen to chain from the header to the closing IEND
// (whose CRC never changes, so a wrong CRC routine shows there); {0, 0} when malformed.
Size PngSize(Bytes b) {
    using namespace std::string_view_literals;
    const std::string_view s(reinterpret_cast<const char*>(b.data()), b.size());
    std::size_t at = 8;
    while (at + 12 <= s.size() && s.substr(at + 4, 4) != "IEND") {
        at += 12 + U32BigEndian(b, at);
    }
    const bool ok = s.size() >= 33 && s.starts_with("\x89PNG\r\n\x1A\n\0\0\0\x0DIHDR"sv) &&
                    s.substr(24, 2) == "\x08\x06"sv && at <= s.size() &&
                    s.substr(at) == "\0\0\0\0IEND\xAE\x42\x60\x82"sv;
    return ok ? Size{U32BigEndian(b, 16), U32BigEndian(b, 20)} : Size{};
}

TEST(Donate, OrangeButtonWithLetteringAsBitmapAndPng) {
    const Bytes bmp = DonateBmp();
    ASSERT_GE(bmp.size(), 54u + 62u * 31u * 4u);
    EXPECT_EQ((std::array{U16(bmp, 0), U32(bmp, 2), U32(bmp, 18), U32(bmp, 22), U16(bmp, 28)}),
              (std::array<std::uint32_t, 5>{0x4D42, std::uint32_t(bmp.size()), 62, 31, 32}));
    int orange = 0, dark = 0;
    for (std::size_t at = 54; at < 54 + 62 * 31 * 4; at += 4) {
        const int b = bmp[at], g = bmp[at + 1], r = bmp[at + 2], a = bmp[at + 3];
        orange += a == 255 && r > 200 && g > 120 && g < 230 && b < 160;
        dark += a == 255 && r + g + b < 200;  // the lettering
    }
    EXPECT_TRUE(orange > 62 * 31 / 2 && dark > 100) << orange << " orange, " << dark << " dark";
    EXPECT_EQ(PngSize(DonatePng()), Size(62, 31));
}

TEST(Png, EveryRenderingIsAWellFormedImageOfItsSizeAndOtherSizesGiveNothing) {
    for (std::uint32_t size : {16, 32, 48, 128, 256}) {
        EXPECT_EQ(PngSize(AppIconPng(int(size))), Size(size, size));
        EXPECT_EQ(PngSize(AboutIconPng(int(size))), size <= 48 ? Size(size, size) : Size());
    }
    EXPECT_EQ(PngSize(HandCursorPng()), Size(32, 32));
    EXPECT_TRUE(AppIconPng(0).empty() && AppIconPng(24).empty() && AppIconPng(-16).empty());
}

}  // namespace
