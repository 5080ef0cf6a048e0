// The Wayland bird's arithmetic: presses reach it exactly on its opaque pixels, and it shows on
// the output that holds most of it, or nowhere, each output where the compositor says it is.
#include <gtest/gtest.h>

#include <vector>

#include "assets/assets.h"
#include "platform/wayland/bird_pixels.h"

namespace tb::linux_desktop::wayland {
namespace {

TEST(OpaqueRegion, CoversEveryOpaquePixelOnceAndNoOther) {
    for (int index = 1; index <= assets::kFrameCount; ++index) {
        DecodedFrame frame;
        ASSERT_TRUE(DecodeBmp32(assets::FrameBmp(index), frame));
        for (const int scale : {1, 3}) {
            const int w = frame.width * scale;
            std::vector<int> covered(static_cast<std::size_t>(w * frame.height * scale), 0);
            for (const Rect& r : OpaqueRegion(frame, scale)) {
                for (int y = r.Top; y < r.Bottom; ++y) {
                    for (int x = r.Left; x < r.Right; ++x) {
                        ++covered[static_cast<std::size_t>(y * w + x)];
                    }
                }
            }
            for (int y = 0; y < frame.height * scale; ++y) {
                for (int x = 0; x < w; ++x) {
                    const bool opaque = (frame.argb[static_cast<std::size_t>(
                                             (y / scale) * frame.width + x / scale)] >>
                                         24) != 0;
                    ASSERT_EQ(covered[static_cast<std::size_t>(y * w + x)], opaque ? 1 : 0)
                        << "frame " << index << " scale " << scale << " at " << x << "," << y;
                }
            }
        }
    }
}

TEST(OpaqueRegion, GrowsARunDownwardsWhileTheRowsBelowMatch) {
    // Two columns of two rows, then a row where the left run widens: three rectangles.
    const std::uint32_t o = 0xff000000, t = 0;
    const DecodedFrame frame{4,
                             3,
                             {o, t, o, t,  //
                              o, t, o, t,  //
                              o, o, t, t}};
    EXPECT_EQ(OpaqueRegion(frame, 2),
              (std::vector<Rect>{{0, 0, 2, 4}, {4, 0, 6, 4}, {0, 4, 4, 6}}));
}

TEST(OutputFor, PicksTheOutputShowingMostOfTheBirdAndDrawsItOnEveryOneShowingSome) {
    const OutputPlace outputs[] = {{{0, 0, 1280, 800}, 1}, {{1280, 0, 2560, 1440}, 2}};
    const struct {
        Rect box;
        int output;
        std::uint32_t showing;
    } cases[] = {
        {{1200, 100, 1243, 171}, 0, 0b01},  // wholly on the first
        {{1237, 100, 1280, 171}, 0, 0b01},  // ending at the border: on the first alone
        {{1270, 100, 1313, 171}, 1, 0b11},  // more of it on the second, some on the first
        {{1270, 790, 1313, 861}, 1, 0b11},  // below the first's bottom, on the taller second
        {{-43, 100, 0, 171}, -1, 0},        // just left of everything: out of sight
        {{2560, 1440, 2603, 1511}, -1, 0},  // the hiding place past the bottom-right corner
        {{600, -70, 643, 1}, 0, 0b01},      // one row showing at the top
    };
    for (const auto& c : cases) {
        EXPECT_EQ(OutputFor(outputs, c.box), c.output) << c.box.Left << "," << c.box.Top;
        EXPECT_EQ(OutputsShowing(outputs, c.box), c.showing) << c.box.Left << "," << c.box.Top;
    }
}

TEST(OutputBounds, TheLogicalPlaceWhenKnownElseTheModeOverTheScale) {
    // 1280 x 800 at a scale of 1.5, which the output reports as 2.
    EXPECT_EQ(OutputBounds({1280, 0, 2133, 533}, {1280, 0}, {1280, 800}, 2),
              (Rect{1280, 0, 2133, 533}));
    EXPECT_EQ(OutputBounds({}, {1280, 0}, {1280, 800}, 2), (Rect{1280, 0, 1920, 400}));
}

}  // namespace
}  // namespace tb::linux_desktop::wayland
