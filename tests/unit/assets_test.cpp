// Checks the pictures the program embeds: the frame bitmaps and the rules the animation relies on,
// the icon and cursor directories parsed back, the PNGs, and the copies the build leaves on disk.
#include "assets/assets.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <ostream>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

using tb::assets::Bytes;
using tb::assets::kFrameHeight;
using tb::assets::kFrameWidth;

std::uint32_t U16(Bytes b, std::size_t at) {
    return static_cast<std::uint32_t>(b[at] | (b[at + 1] << 8));
}
std::uint32_t U32(Bytes b, std::size_t at) {
    return U16(b, at) | (U16(b, at + 2) << 16);
}
std::int32_t I32(Bytes b, std::size_t at) {
    return static_cast<std::int32_t>(U32(b, at));
}
std::uint32_t U32BigEndian(Bytes b, std::size_t at) {
    return (std::uint32_t{b[at]} << 24) | (std::uint32_t{b[at + 1]} << 16) |
           (std::uint32_t{b[at + 2]} << 8) | b[at + 3];
}

struct Rgba {
    int r, g, b, a;
    auto operator<=>(const Rgba&) const = default;
};
constexpr Rgba kClear{0, 0, 0, 0};
constexpr Rgba kBlack{0, 0, 0, 255};
constexpr Rgba kWhite{255, 255, 255, 255};
constexpr Rgba kRed{255, 0, 0, 255};
constexpr Rgba kDarkRed{128, 0, 0, 255};
constexpr Rgba kChip{159, 159, 127, 255};

using Point = std::pair<int, int>;  // column, row from the top-left corner

// A frame decoded from its BMP, indexed [row from the top][column].
struct Frame {
    std::vector<std::vector<Rgba>> px;
    const Rgba& at(int x, int y) const {
        return px[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)];
    }
    std::set<Point> Where(auto&& pred) const {
        std::set<Point> out;
        for (int y = 0; y < kFrameHeight; ++y) {
            for (int x = 0; x < kFrameWidth; ++x) {
                if (pred(at(x, y))) {
                    out.insert({x, y});
                }
            }
        }
        return out;
    }
    std::set<Point> Opaque() const {
        return Where([](const Rgba& p) { return p.a != 0; });
    }
    std::set<Point> Chips() const {
        return Where([](const Rgba& p) { return p == kChip; });
    }
    std::set<Point> Body() const {
        return Where([](const Rgba& p) { return p.a != 0 && p != kChip; });
    }
    Frame WithoutChips() const {
        Frame f = *this;
        for (auto& row : f.px) {
            std::replace(row.begin(), row.end(), kChip, kClear);
        }
        return f;
    }
};

Frame DecodeFrame(int index) {
    const Bytes bmp = tb::assets::FrameBmp(index);
    Frame f;
    f.px.assign(kFrameHeight, std::vector<Rgba>(kFrameWidth));
    for (int y = 0; y < kFrameHeight; ++y) {
        const std::size_t row =
            54 + static_cast<std::size_t>(kFrameHeight - 1 - y) * kFrameWidth * 4;
        for (int x = 0; x < kFrameWidth; ++x) {
            const std::size_t at = row + static_cast<std::size_t>(x) * 4;
            f.px[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)] = {
                bmp[at + 2], bmp[at + 1], bmp[at], bmp[at + 3]};
        }
    }
    return f;
}

struct Extent {
    int left, right, top, bottom;
    bool operator==(const Extent&) const = default;
};
void PrintTo(const Extent& e, std::ostream* os) {
    *os << "columns " << e.left << "-" << e.right << ", rows " << e.top << "-" << e.bottom;
}
Extent ExtentOf(const std::set<Point>& pts) {
    Extent e{kFrameWidth, -1, kFrameHeight, -1};
    for (auto [x, y] : pts) {
        e = {std::min(e.left, x), std::max(e.right, x), std::min(e.top, y), std::max(e.bottom, y)};
    }
    return e;
}

std::vector<Point> Differences(const Frame& a, const Frame& b) {
    std::vector<Point> out;
    for (int y = 0; y < kFrameHeight; ++y) {
        for (int x = 0; x < kFrameWidth; ++x) {
            if (a.at(x, y) != b.at(x, y)) {
                out.push_back({x, y});
            }
        }
    }
    return out;
}

void PrintTo(const Rgba& p, std::ostream* os) {
    *os << "(" << p.r << ", " << p.g << ", " << p.b << ", " << p.a << ")";
}

bool IsRaised(int n) {
    return n % 2 == 1;
}

class FramesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        for (int n = 1; n <= tb::assets::kFrameCount; ++n) {
            frames_.push_back(DecodeFrame(n));
        }
    }
    const Frame& F(int n) const { return frames_[static_cast<std::size_t>(n - 1)]; }
    std::vector<Frame> frames_;
};

TEST(FrameBmp, EachFrameIsTheExactBitmapFileLayout) {
    for (int n = 1; n <= tb::assets::kFrameCount; ++n) {
        SCOPED_TRACE(n);
        const Bytes b = tb::assets::FrameBmp(n);
        ASSERT_EQ(b.size(), 12268u);
        EXPECT_EQ(b[0], 'B');
        EXPECT_EQ(b[1], 'M');
        EXPECT_EQ(U32(b, 2), 12268u);
        EXPECT_EQ(U32(b, 6), 0u);
        EXPECT_EQ(U32(b, 10), 54u);
        EXPECT_EQ(U32(b, 14), 40u);
        EXPECT_EQ(I32(b, 18), 43);
        EXPECT_EQ(I32(b, 22), 71);
        EXPECT_EQ(U16(b, 26), 1u);
        EXPECT_EQ(U16(b, 28), 32u);
        EXPECT_EQ(U32(b, 30), 0u);
        EXPECT_EQ(U32(b, 34), 12214u);
        EXPECT_EQ(I32(b, 38), 2834);
        EXPECT_EQ(I32(b, 42), 2834);
        EXPECT_EQ(U32(b, 46), 0u);
        EXPECT_EQ(U32(b, 50), 0u);
        EXPECT_EQ(b[12266], 0);
        EXPECT_EQ(b[12267], 0);
    }
}

TEST(FrameBmp, IndexesOutsideOneToSixGiveNothing) {
    for (int n : {0, 7, -1, 100}) {
        EXPECT_TRUE(tb::assets::FrameBmp(n).empty()) << n;
    }
    // The frames are distinct pictures, not one image six times.
    EXPECT_FALSE(std::ranges::equal(tb::assets::FrameBmp(1), tb::assets::FrameBmp(3)));
}

TEST_F(FramesTest, PixelsArePremultipliedAndUseOnlyThePalette) {
    const std::set<Rgba> palette{kClear, kBlack, kWhite, kRed, kDarkRed, kChip};
    for (int n = 1; n <= 6; ++n) {
        std::set<Rgba> used;
        for (const auto& row : F(n).px) {
            used.insert(row.begin(), row.end());
        }
        // Includes the check that every transparent pixel is all zero and alpha is 0 or 255.
        EXPECT_TRUE(std::ranges::includes(palette, used)) << "frame " << n;
        EXPECT_TRUE(used.contains(kBlack) && used.contains(kWhite) && used.contains(kRed) &&
                    used.contains(kDarkRed))
            << "frame " << n;
    }
}

TEST_F(FramesTest, ExtentsAndChipCountsFollowThePeckRun) {
    const std::array<Extent, 6> extents{{{0, 34, 9, 70},
                                         {0, 30, 6, 70},
                                         {0, 34, 5, 70},
                                         {0, 38, 6, 70},
                                         {0, 42, 5, 70},
                                         {0, 38, 6, 70}}};
    const std::array<std::size_t, 6> chips{0, 13, 15, 31, 20, 32};
    for (int n = 1; n <= 6; ++n) {
        SCOPED_TRACE(n);
        const auto i = static_cast<std::size_t>(n - 1);
        EXPECT_EQ(ExtentOf(F(n).Opaque()), extents[i]);
        EXPECT_EQ(F(n).Chips().size(), chips[i]);
        const Extent body = ExtentOf(F(n).Body());
        EXPECT_EQ(body.right, IsRaised(n) ? 34 : 30);
        EXPECT_GE(body.top, 9);
    }
}

TEST_F(FramesTest, BodyPosesRepeatAndChipCloudsGrow) {
    EXPECT_TRUE(Differences(F(1).WithoutChips(), F(3).WithoutChips()).empty());
    EXPECT_TRUE(Differences(F(1).WithoutChips(), F(5).WithoutChips()).empty());
    EXPECT_TRUE(Differences(F(4).WithoutChips(), F(6).WithoutChips()).empty());

    const Frame two = F(2).WithoutChips();
    const Frame four = F(4).WithoutChips();
    const auto differ = Differences(two, four);
    EXPECT_EQ(differ.size(), 2u);
    for (auto [x, y] : differ) {
        EXPECT_TRUE(two.at(x, y) == kRed || four.at(x, y) == kRed) << x << "," << y;
        EXPECT_GT(y, 40) << "the changed pixels belong to the under-tail";
    }

    EXPECT_TRUE(std::ranges::includes(F(4).Chips(), F(2).Chips()));
    EXPECT_TRUE(std::ranges::includes(F(6).Chips(), F(4).Chips()));
    EXPECT_TRUE(std::ranges::includes(F(5).Chips(), F(3).Chips()));
    // Chips fly in front of the bird, never replace part of it.
    for (int n = 2; n <= 6; ++n) {
        const Frame body = F(n).WithoutChips();
        for (auto [x, y] : F(n).Chips()) {
            EXPECT_EQ(body.at(x, y), kClear) << "frame " << n << " chip at " << x << "," << y;
        }
    }
}

TEST_F(FramesTest, ClawsTailAndBeakSitWhereThePerchExpectsThem) {
    for (int n = 1; n <= 6; ++n) {
        SCOPED_TRACE(n);
        const Frame& f = F(n);
        const auto dark = f.Where([](const Rgba& p) { return p == kDarkRed; });
        std::set<Point> claws, beak;
        for (auto [x, y] : dark) {
            (x <= 6 && y >= 24 && y <= 38 ? claws : beak).insert({x, y});
        }
        ASSERT_FALSE(claws.empty());
        ASSERT_FALSE(beak.empty());

        // Column 0 is the perching edge: claws only, and at least one.
        const auto edge = f.Where([](const Rgba& p) { return p.a != 0; });
        int onEdge = 0;
        for (auto [x, y] : edge) {
            if (x == 0) {
                ++onEdge;
                EXPECT_TRUE(claws.contains({x, y})) << "row " << y;
            }
        }
        EXPECT_GT(onEdge, 0);

        std::vector<int> bottom;
        for (int x = 0; x < kFrameWidth; ++x) {
            if (f.at(x, 70).a != 0) {
                bottom.push_back(x);
            }
        }
        const std::vector<int> tailTip =
            IsRaised(n) ? std::vector<int>{4, 5, 6} : std::vector<int>{6, 7};
        EXPECT_EQ(bottom, tailTip);

        const Extent b = ExtentOf(beak);
        if (IsRaised(n)) {
            EXPECT_EQ(b, (Extent{13, 21, 9, 13}));
            EXPECT_EQ(f.at(13, 9), kDarkRed);
            // Rising toward the tip: the beak's left end is higher than its right end.
            EXPECT_EQ(f.at(21, 9), kClear);
        } else {
            EXPECT_EQ(b, (Extent{5, 13, 13, 14}));
        }

        for (auto [x, y] : f.Opaque()) {
            EXPECT_GE(y, 5);
            if (y <= 8 || x >= 35) {
                EXPECT_EQ(f.at(x, y), kChip) << x << "," << y;
            }
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Icons and cursor

struct IconEntry {
    int width, height, colours, planesOrHotX, bppOrHotY;
    std::uint32_t size, offset;
};

struct IconDir {
    int type = 0;
    std::vector<IconEntry> entries;
};

IconDir ParseIconDir(Bytes b) {
    IconDir dir;
    if (b.size() < 6 || U16(b, 0) != 0) {
        return dir;
    }
    dir.type = static_cast<int>(U16(b, 2));
    const std::size_t count = U16(b, 4);
    for (std::size_t i = 0; i < count && 6 + 16 * (i + 1) <= b.size(); ++i) {
        const std::size_t e = 6 + 16 * i;
        dir.entries.push_back({b[e] == 0 ? 256 : b[e], b[e + 1] == 0 ? 256 : b[e + 1], b[e + 2],
                               static_cast<int>(U16(b, e + 4)), static_cast<int>(U16(b, e + 6)),
                               U32(b, e + 8), U32(b, e + 12)});
    }
    return dir;
}

// One icon image decoded to RGBA with its mask applied (transparent = kClear).
std::vector<Rgba> DecodeIconImage(Bytes b, const IconEntry& e) {
    const Bytes img = b.subspan(e.offset, e.size);
    const int w = I32(img, 4);
    const int h = I32(img, 8) / 2;
    const int bpp = static_cast<int>(U16(img, 14));
    const std::size_t palette = bpp == 8 ? 1024 : 0;
    const std::size_t stride = static_cast<std::size_t>((w * bpp + 31) / 32 * 4);
    const std::size_t maskStride = static_cast<std::size_t>((w + 31) / 32 * 4);
    const std::size_t bits = 40 + palette;
    const std::size_t mask = bits + stride * static_cast<std::size_t>(h);
    std::vector<Rgba> out(static_cast<std::size_t>(w * h));
    for (int y = 0; y < h; ++y) {
        const std::size_t row = static_cast<std::size_t>(h - 1 - y);
        for (int x = 0; x < w; ++x) {
            const auto ux = static_cast<std::size_t>(x);
            const bool clear = (img[mask + row * maskStride + ux / 8] & (0x80 >> (ux % 8))) != 0;
            Rgba p{};
            if (bpp == 8) {
                const std::size_t c = 40 + 4 * std::size_t{img[bits + row * stride + ux]};
                p = {img[c + 2], img[c + 1], img[c], 255};
            } else {
                const std::size_t at = bits + row * stride + ux * static_cast<std::size_t>(bpp / 8);
                p = {img[at + 2], img[at + 1], img[at], bpp == 32 ? img[at + 3] : 255};
            }
            out[static_cast<std::size_t>(y * w + x)] = clear ? kClear : p;
        }
    }
    return out;
}

void ExpectWellFormedIconImages(Bytes b, const IconDir& dir) {
    std::uint32_t expectedOffset = 6 + 16 * static_cast<std::uint32_t>(dir.entries.size());
    for (const auto& e : dir.entries) {
        SCOPED_TRACE(testing::Message() << e.width << " px at " << e.bppOrHotY << " bits");
        // Images follow the directory back to back and fill the file.
        ASSERT_EQ(e.offset, expectedOffset);
        ASSERT_LE(std::size_t{e.offset} + e.size, b.size());
        expectedOffset += e.size;
        const Bytes img = b.subspan(e.offset, e.size);
        EXPECT_EQ(U32(img, 0), 40u);
        EXPECT_EQ(I32(img, 4), e.width);
        EXPECT_EQ(I32(img, 8), 2 * e.height);
        EXPECT_EQ(U16(img, 12), 1u);
        EXPECT_EQ(static_cast<int>(U16(img, 14)), e.bppOrHotY);
        const int bpp = e.bppOrHotY;
        const std::size_t stride = static_cast<std::size_t>((e.width * bpp + 31) / 32 * 4);
        const std::size_t maskStride = static_cast<std::size_t>((e.width + 31) / 32 * 4);
        EXPECT_EQ(e.size, 40 + (bpp == 8 ? 1024u : 0u) +
                              (stride + maskStride) * static_cast<std::size_t>(e.height));
        // A picture, not an empty or solid square.
        const auto px = DecodeIconImage(b, e);
        const auto clear = std::ranges::count(px, kClear);
        EXPECT_GT(clear, 0);
        EXPECT_GT(static_cast<std::size_t>(clear) * 10, px.size());
        EXPECT_LT(static_cast<std::size_t>(clear), px.size() * 9 / 10);
    }
    EXPECT_EQ(expectedOffset, b.size());
}

TEST(Icons, ApplicationIconHasSevenImagesInOrder) {
    const Bytes ico = tb::assets::AppIconIco();
    const IconDir dir = ParseIconDir(ico);
    EXPECT_EQ(dir.type, 1);
    ASSERT_EQ(dir.entries.size(), 7u);
    const std::array<std::pair<int, int>, 7> want{
        {{48, 8}, {32, 8}, {16, 8}, {48, 32}, {32, 32}, {16, 32}, {128, 24}}};
    for (std::size_t i = 0; i < want.size(); ++i) {
        EXPECT_EQ(dir.entries[i].width, want[i].first) << i;
        EXPECT_EQ(dir.entries[i].height, want[i].first) << i;
        EXPECT_EQ(dir.entries[i].bppOrHotY, want[i].second) << i;
        EXPECT_EQ(dir.entries[i].planesOrHotX, 1) << i;
    }
    ExpectWellFormedIconImages(ico, dir);

    // The 8-bit and 32-bit images of a size show the same picture, and the 128 px image is the
    // 32 px one enlarged.
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(DecodeIconImage(ico, dir.entries[i]), DecodeIconImage(ico, dir.entries[i + 3]))
            << dir.entries[i].width;
    }
    const auto small = DecodeIconImage(ico, dir.entries[4]);
    const auto large = DecodeIconImage(ico, dir.entries[6]);
    for (int y = 0; y < 128; y += 3) {
        for (int x = 0; x < 128; x += 5) {
            EXPECT_EQ(large[static_cast<std::size_t>(y * 128 + x)],
                      small[static_cast<std::size_t>(y / 4 * 32 + x / 4)])
                << x << "," << y;
        }
    }
}

TEST(Icons, AboutIconHasEachSizeAtEightAndThirtyTwoBits) {
    const Bytes ico = tb::assets::AboutIconIco();
    const IconDir dir = ParseIconDir(ico);
    EXPECT_EQ(dir.type, 1);
    ASSERT_EQ(dir.entries.size(), 6u);
    std::set<std::pair<int, int>> seen;
    for (const auto& e : dir.entries) {
        seen.insert({e.width, e.bppOrHotY});
    }
    EXPECT_EQ(seen, (std::set<std::pair<int, int>>{
                        {48, 8}, {48, 32}, {32, 8}, {32, 32}, {16, 8}, {16, 32}}));
    ExpectWellFormedIconImages(ico, dir);
    EXPECT_FALSE(std::ranges::equal(ico, tb::assets::AppIconIco()));
}

TEST(Cursor, MonochromeHandWithTheHotSpotOnTheFingertip) {
    const Bytes cur = tb::assets::HandCursorCur();
    const IconDir dir = ParseIconDir(cur);
    EXPECT_EQ(dir.type, 2);
    ASSERT_EQ(dir.entries.size(), 1u);
    const IconEntry& e = dir.entries[0];
    EXPECT_EQ(e.width, 32);
    EXPECT_EQ(e.height, 32);
    EXPECT_EQ(e.planesOrHotX, tb::assets::kHandHotspotX);
    EXPECT_EQ(e.bppOrHotY, tb::assets::kHandHotspotY);
    EXPECT_EQ(tb::assets::kHandHotspotX, 5);
    EXPECT_EQ(tb::assets::kHandHotspotY, 0);
    ASSERT_EQ(std::size_t{e.offset} + e.size, cur.size());

    const Bytes img = cur.subspan(e.offset, e.size);
    EXPECT_EQ(I32(img, 4), 32);
    EXPECT_EQ(I32(img, 8), 64);
    EXPECT_EQ(U16(img, 14), 1u);
    EXPECT_EQ(e.size, 40u + 8u + 128u + 128u);
    // Colour table: black then white.
    EXPECT_EQ(U32(img, 40), 0x000000u);
    EXPECT_EQ(U32(img, 44) & 0xFFFFFFu, 0xFFFFFFu);

    // The fingertip is the topmost drawn pixel and the hot spot is on it.
    auto opaque = [&](int x, int y) {
        const std::size_t row = 40 + 8 + 128 + static_cast<std::size_t>(31 - y) * 4;
        return (img[row + static_cast<std::size_t>(x) / 8] & (0x80 >> (x % 8))) == 0;
    };
    EXPECT_TRUE(opaque(5, 0));
    int topRow = 0;
    for (int x = 0; x < 32; ++x) {
        topRow += opaque(x, 0) ? 1 : 0;
    }
    EXPECT_LE(topRow, 3);
    int drawn = 0;
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x) {
            drawn += opaque(x, y) ? 1 : 0;
        }
    }
    EXPECT_GT(drawn, 150);
}

// ---------------------------------------------------------------------------------------------
// The donate picture and the PNGs

std::uint32_t Crc32(Bytes data) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::uint8_t byte : data) {
        crc ^= byte;
        for (int k = 0; k < 8; ++k) {
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
        }
    }
    return ~crc;
}

// Walks the chunks of a PNG; returns its size, or {0, 0} when anything is malformed.
std::pair<std::uint32_t, std::uint32_t> PngSize(Bytes b) {
    const std::array<std::uint8_t, 8> signature{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (b.size() < 33 || !std::equal(signature.begin(), signature.end(), b.begin())) {
        return {0, 0};
    }
    std::pair<std::uint32_t, std::uint32_t> size{0, 0};
    std::size_t at = 8;
    bool ended = false;
    while (at + 12 <= b.size() && !ended) {
        const std::uint32_t length = U32BigEndian(b, at);
        if (at + 12 + length > b.size() ||
            Crc32(b.subspan(at + 4, length + 4)) != U32BigEndian(b, at + 8 + length)) {
            return {0, 0};
        }
        const std::string kind(b.begin() + static_cast<std::ptrdiff_t>(at + 4),
                               b.begin() + static_cast<std::ptrdiff_t>(at + 8));
        if (kind == "IHDR") {
            // 8 bits per channel, RGBA.
            if (b[at + 16] != 8 || b[at + 17] != 6) {
                return {0, 0};
            }
            size = {U32BigEndian(b, at + 8), U32BigEndian(b, at + 12)};
        }
        ended = kind == "IEND";
        at += 12 + length;
    }
    return ended && at == b.size() ? size : std::pair<std::uint32_t, std::uint32_t>{0, 0};
}

TEST(Donate, OrangeButtonAsBitmapAndPng) {
    const Bytes bmp = tb::assets::DonateBmp();
    ASSERT_GE(bmp.size(), 54u + 62u * 31u * 4u);
    EXPECT_EQ(bmp[0], 'B');
    EXPECT_EQ(U32(bmp, 2), bmp.size());
    EXPECT_EQ(I32(bmp, 18), 62);
    EXPECT_EQ(I32(bmp, 22), 31);
    EXPECT_EQ(U16(bmp, 28), 32u);

    int orange = 0, dark = 0, opaque = 0;
    for (std::size_t at = 54; at < 54 + 62 * 31 * 4; at += 4) {
        const int b = bmp[at], g = bmp[at + 1], r = bmp[at + 2], a = bmp[at + 3];
        EXPECT_TRUE(a == 0 || a == 255);
        EXPECT_TRUE(r <= a && g <= a && b <= a);
        opaque += a == 255;
        orange += a == 255 && r > 200 && g > 120 && g < 230 && b < 160;
        dark += a == 255 && r + g + b < 200;  // the lettering
    }
    EXPECT_GT(opaque, 62 * 31 - 10);
    EXPECT_GT(orange, 62 * 31 / 2);
    EXPECT_GT(dark, 100);
    EXPECT_EQ(PngSize(tb::assets::DonatePng()), (std::pair<std::uint32_t, std::uint32_t>{62, 31}));
}

TEST(Png, EveryRenderingIsAWellFormedImageOfItsSize) {
    for (int size : {16, 32, 48, 128, 256}) {
        EXPECT_EQ(PngSize(tb::assets::AppIconPng(size)),
                  (std::pair<std::uint32_t, std::uint32_t>(size, size)));
    }
    for (int size : {16, 32, 48}) {
        EXPECT_EQ(PngSize(tb::assets::AboutIconPng(size)),
                  (std::pair<std::uint32_t, std::uint32_t>(size, size)));
    }
    EXPECT_EQ(PngSize(tb::assets::HandCursorPng()),
              (std::pair<std::uint32_t, std::uint32_t>(32, 32)));
    for (int size : {0, 24, 64, 512, -16}) {
        EXPECT_TRUE(tb::assets::AppIconPng(size).empty()) << size;
    }
    EXPECT_TRUE(tb::assets::AboutIconPng(128).empty());
}

// ---------------------------------------------------------------------------------------------
// The copies in the build directory

std::vector<std::uint8_t> ReadFile(const std::string& name) {
    std::ifstream in(std::string(TB_ASSETS_DIR) + "/" + name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(BuiltFiles, MatchTheEmbeddedBytes) {
    std::vector<std::pair<std::string, Bytes>> files{
        {"tapperbird.ico", tb::assets::AppIconIco()}, {"about.ico", tb::assets::AboutIconIco()},
        {"hand.cur", tb::assets::HandCursorCur()},    {"donate.bmp", tb::assets::DonateBmp()},
        {"donate.png", tb::assets::DonatePng()},
    };
    for (int n = 1; n <= 6; ++n) {
        files.push_back({"frame" + std::to_string(n) + ".bmp", tb::assets::FrameBmp(n)});
    }
    for (int size : {16, 32, 48, 128, 256}) {
        files.push_back(
            {"tapperbird-" + std::to_string(size) + ".png", tb::assets::AppIconPng(size)});
    }
    for (const auto& [name, embedded] : files) {
        const auto onDisk = ReadFile(name);
        EXPECT_TRUE(std::ranges::equal(onDisk, embedded)) << name;
    }
    const auto sheet = ReadFile("frames.png");
    // Six 43 x 71 frames with a one-pixel margin around each, enlarged eight times.
    EXPECT_EQ(PngSize(sheet), (std::pair<std::uint32_t, std::uint32_t>((1 + 6 * 44) * 8, 73 * 8)));
}

}  // namespace
