// Checks the pictures the program embeds: the frame bitmaps and the rules the animation relies on,
// the icon and cursor files parsed back, the PNGs, and the copies the build leaves on disk.
#include "assets/assets.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

using namespace tb::assets;
using Size = std::pair<std::uint32_t, std::uint32_t>;
using Point = std::pair<int, int>;  // column, row from the top-left corner
using Extent = std::array<int, 4>;  // first column, last column, first row, last row
using Pixel = std::uint32_t;        // 0xAARRGGBB: a BGRA pixel read little-endian

constexpr Pixel kClear = 0, kBlack = 0xFF000000, kWhite = 0xFFFFFFFF, kRed = 0xFFFF0000,
                kDarkRed = 0xFF800000, kChip = 0xFF9F9F7F;

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

const auto F = [](int n) { return Pixels(FrameBmp(n), 54, 0, kFrameWidth, kFrameHeight, 32); };

std::set<Point> Where(const std::vector<Pixel>& f, auto&& pred) {  // pred(column, row, pixel)
    std::set<Point> out;
    for (int i = 0; i < static_cast<int>(f.size()); ++i) {
        if (pred(i % kFrameWidth, i / kFrameWidth, f[static_cast<std::size_t>(i)])) {
            out.insert({i % kFrameWidth, i / kFrameWidth});
        }
    }
    return out;
}

const auto IsChip = [](int, int, Pixel p) { return p == kChip; };

Extent ExtentOf(const std::set<Point>& pts) {
    Extent e{kFrameWidth, -1, kFrameHeight, -1};
    for (auto [x, y] : pts) {
        e = {std::min(e[0], x), std::max(e[1], x), std::min(e[2], y), std::max(e[3], y)};
    }
    return e;
}

TEST(Frames, EachIsTheExactBitmapWithItsPaletteExtentChipsClawsTailAndBeak) {
    // "BM", file size, reserved, pixel offset; a 40-byte header, 43 x 71 bottom-up, 1 plane and
    // 32 bits, no compression, the pixels' size, 2834 px/m twice, no palette; two trailing zeros.
    const std::vector<std::uint32_t> header{0x4D42, 12268, 0,    54,   40, 43, 71, 1 | 32 << 16,
                                            0,      12214, 2834, 2834, 0,  0,  0};
    const std::set<Pixel> palette{kClear, kBlack, kWhite, kRed, kDarkRed, kChip};
    const std::array<int, 6> right{34, 30, 34, 38, 42, 38}, top{9, 6, 5, 6, 5, 6};
    const std::array<std::size_t, 6> chips{0, 13, 15, 31, 20, 32};
    EXPECT_TRUE(FrameBmp(0).empty() && FrameBmp(7).empty() && FrameBmp(-1).empty());
    for (std::size_t i = 0; i < 6; ++i) {
        SCOPED_TRACE(testing::Message() << "frame " << i + 1);
        const Bytes b = FrameBmp(static_cast<int>(i + 1));
        ASSERT_EQ(b.size(), 12268u);
        EXPECT_EQ((std::vector{U16(b, 0), U32(b, 2), U32(b, 6), U32(b, 10), U32(b, 14), U32(b, 18),
                               U32(b, 22), U32(b, 26), U32(b, 30), U32(b, 34), U32(b, 38),
                               U32(b, 42), U32(b, 46), U32(b, 50), U16(b, 12266)}),
                  header);
        const auto f = F(static_cast<int>(i + 1));
        const bool raised = i % 2 == 0;
        // The palette alone also means premultiplied, alpha 0 or 255, transparent all zero.
        EXPECT_TRUE(std::ranges::includes(palette, std::set<Pixel>(f.begin(), f.end())));
        EXPECT_EQ(ExtentOf(Where(f, [](int, int, Pixel p) { return p != kClear; })),
                  (Extent{0, right[i], top[i], 70}));
        EXPECT_EQ(Where(f, IsChip).size(), chips[i]);
        // Rows 5 to 8 and columns 35 to 42 hold only chips; the body reaches 34 or 30.
        const Extent body =
            ExtentOf(Where(f, [](int, int, Pixel p) { return p != kClear && p != kChip; }));
        EXPECT_GE(body[2], 9);
        EXPECT_EQ(body[1], raised ? 34 : 30);

        // Column 0 is the perching edge: claws only, and at least one. Other dark red is beak.
        std::set<Point> claws, beak;
        for (auto [x, y] : Where(f, [](int, int, Pixel p) { return p == kDarkRed; })) {
            (x <= 6 && y >= 24 && y <= 38 ? claws : beak).insert({x, y});
        }
        const auto edge = Where(f, [](int x, int, Pixel p) { return x == 0 && p != kClear; });
        EXPECT_TRUE(!edge.empty() && std::ranges::includes(claws, edge));

        const auto tail = Where(f, [](int, int y, Pixel p) { return y == 70 && p != kClear; });
        EXPECT_EQ(tail, (raised ? std::set<Point>{{4, 70}, {5, 70}, {6, 70}}
                                : std::set<Point>{{6, 70}, {7, 70}}));
        EXPECT_EQ(ExtentOf(beak), (raised ? Extent{13, 21, 9, 13} : Extent{5, 13, 13, 14}));
        EXPECT_TRUE(!raised || beak.contains({13, 9})) << "the raised beak's tip";
    }
}

TEST(Frames, BodyPosesRepeatAndChipCloudsGrow) {
    auto body = [](int n) {
        std::vector<Pixel> px = F(n);
        std::ranges::replace(px, kChip, kClear);
        return px;
    };
    for (auto [a, b] : {Point{1, 3}, {1, 5}, {4, 6}}) {
        EXPECT_TRUE(body(a) == body(b)) << a << " and " << b << " differ in more than chips";
    }
    // Frame 2 is frame 4's striking pose with two under-tail pixels changed to or from red.
    const auto two = body(2), four = body(4);
    int changed = 0;
    for (std::size_t i = 0; i < two.size(); ++i) {
        changed += two[i] != four[i];
        EXPECT_TRUE(two[i] == four[i] ||
                    (i / kFrameWidth > 40 && (two[i] == kRed || four[i] == kRed)))
            << "column " << i % kFrameWidth << ", row " << i / kFrameWidth;
    }
    EXPECT_EQ(changed, 2);
    for (auto [small, big] : {Point{2, 4}, {4, 6}, {3, 5}}) {
        EXPECT_TRUE(std::ranges::includes(Where(F(big), IsChip), Where(F(small), IsChip)))
            << small << " within " << big;
    }
}

// One image of an .ico or .cur: its directory entry, its depth, its pixels top-down, mask applied.
struct IconImage {
    int width, planesOrHotX, bppOrHotY, bpp;
    std::vector<Pixel> px;
};

// The images of an .ico (type 1) or .cur (type 2), checking the layout on the way: square images
// back to back after the directory up to the end of the file, each header matching its entry.
std::vector<IconImage> ReadIconFile(Bytes b, std::uint32_t type) {
    EXPECT_EQ(U32(b, 0), type << 16) << "reserved, then the type";
    std::vector<IconImage> out;
    std::size_t next = 6 + 16 * std::size_t{U16(b, 4)};
    for (std::size_t e = 6; e < 6 + 16 * std::size_t{U16(b, 4)} && next + 40 <= b.size(); e += 16) {
        const std::size_t w = b[e] == 0 ? 256 : b[e], size = U32(b, e + 8), bpp = U16(b, next + 14);
        const std::size_t bits = next + 40 + (bpp <= 8 ? 4u << bpp : 0),
                          maskRow = (w + 31) / 32 * 4;
        const std::size_t mask = bits + (w * bpp + 31) / 32 * 4 * w, end = mask + maskRow * w;
        EXPECT_EQ(Point(b[e + 1], int(U32(b, e + 12))), Point(b[e], int(next)));
        EXPECT_EQ((std::array<std::size_t, 5>{U32(b, next), U32(b, next + 4), U32(b, next + 8),
                                              U16(b, next + 12), size}),
                  (std::array<std::size_t, 5>{40, w, 2 * w, 1, end - next}));
        out.push_back({int(w), int(U16(b, e + 4)), int(U16(b, e + 6)), int(bpp),
                       Pixels(b, bits, next + 40, w, w, bpp)});
        for (std::size_t i = 0; i < w * w && end <= b.size(); ++i) {  // set mask bits: transparent
            if (b[mask + (w - 1 - i / w) * maskRow + i % w / 8] << i % w % 8 & 0x80) {
                out.back().px[i] = kClear;
            }
        }
        next += size;
    }
    EXPECT_EQ(next, b.size());
    return out;
}

// Each icon image's {size, bits}, checking that it is a picture, not an empty or solid square.
std::vector<Point> SizesAndDepths(const std::vector<IconImage>& images) {
    std::vector<Point> out;
    for (const IconImage& i : images) {
        const auto clear = static_cast<std::size_t>(std::ranges::count(i.px, kClear));
        EXPECT_TRUE(clear * 10 > i.px.size() && clear * 10 < i.px.size() * 9) << i.width;
        EXPECT_EQ(Point(i.planesOrHotX, i.bppOrHotY), Point(1, i.bpp)) << i.width;
        out.push_back({i.width, i.bpp});
    }
    return out;
}

TEST(Icons, ApplicationIconHasSevenImagesInOrderShowingOnePicture) {
    const auto images = ReadIconFile(AppIconIco(), 1);
    ASSERT_EQ(
        SizesAndDepths(images),
        (std::vector<Point>{{48, 8}, {32, 8}, {16, 8}, {48, 32}, {32, 32}, {16, 32}, {128, 24}}));
    // The 8-bit and 32-bit images of a size agree, and the 128 px image is the 32 px one enlarged.
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_TRUE(images[i].px == images[i + 3].px) << images[i].width;
    }
    for (std::size_t i = 0; i < 128 * 128; i += 7) {
        EXPECT_EQ(images[6].px[i], images[4].px[i / 128 / 4 * 32 + i % 128 / 4]) << i;
    }
}

TEST(Icons, AboutIconHasEachSizeAtEightAndThirtyTwoBits) {
    const auto images = SizesAndDepths(ReadIconFile(AboutIconIco(), 1));
    EXPECT_EQ(std::multiset(images.begin(), images.end()),
              (std::multiset<Point>{{48, 8}, {48, 32}, {32, 8}, {32, 32}, {16, 8}, {16, 32}}));
}

TEST(Cursor, MonochromeHandWithTheHotSpotOnTheFingertip) {
    const auto images = ReadIconFile(HandCursorCur(), 2);
    ASSERT_EQ(images.size(), 1u);
    const IconImage& hand = images[0];
    // 32 px at 1 bit; the file and the toolkit cursor's constants agree on the hot spot.
    EXPECT_EQ((std::array{hand.width, hand.bpp, hand.planesOrHotX, hand.bppOrHotY}),
              (std::array{32, 1, 5, 0}));
    EXPECT_EQ(Point(kHandHotspotX, kHandHotspotY), Point(5, 0));
    // A white hand in a black outline whose topmost pixel is the fingertip.
    EXPECT_EQ(hand.px[5], kBlack);
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

TEST(BuiltFiles, MatchTheEmbeddedBytes) {
    // frames.png has no embedded twin: six 43 x 71 frames, a 1 px margin each, enlarged 8 times.
    std::vector<std::pair<std::string, Bytes>> files{
        {"tapperbird.ico", AppIconIco()}, {"about.ico", AboutIconIco()},
        {"hand.cur", HandCursorCur()},    {"donate.bmp", DonateBmp()},
        {"donate.png", DonatePng()},      {"frames.png", {}},
    };
    for (int n = 1; n <= 6; ++n) {
        files.push_back({"frame" + std::to_string(n) + ".bmp", FrameBmp(n)});
    }
    for (int size : {16, 32, 48, 128, 256}) {
        files.push_back({"tapperbird-" + std::to_string(size) + ".png", AppIconPng(size)});
    }
    for (const auto& [name, embedded] : files) {
        std::ifstream in(std::string(TB_ASSETS_DIR) + "/" + name, std::ios::binary);
        const std::vector<std::uint8_t> onDisk{std::istreambuf_iterator<char>(in), {}};
        EXPECT_TRUE(embedded.empty() ? PngSize(onDisk) == Size(8 * (1 + 6 * 44), 8 * 73)
                                     : std::ranges::equal(onDisk, embedded))
            << name;
    }
}

}  // namespace
