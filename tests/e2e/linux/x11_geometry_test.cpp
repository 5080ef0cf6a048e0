// The display-free arithmetic of the Linux program's window queries: the visible frame of a
// top-level from its client area and announced extents, the X coordinate range, the place in
// the stacking order, and the display named on the command line.
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "platform/x11/display_name.h"
#include "platform/x11/frame_geometry.h"
#include "platform/x11/stacking.h"

namespace tb::linux_desktop::x11 {
namespace {

TEST(VisibleFrameTest, GrowsByTheWindowManagerFrameAndShrinksByClientShadows) {
    // An xterm under mutter: client 364x264 at (100, 137), a 37 px title bar above it. The frame
    // window around it is larger (invisible resize borders) and plays no part.
    EXPECT_EQ(VisibleFrame(100, 137, 364, 264, FrameExtents{0, 0, 37, 0}, std::nullopt),
              (Rect{100, 100, 464, 401}));
    // A header-bar window under a compositor: its client area includes 23/23/16/30 px shadows.
    EXPECT_EQ(VisibleFrame(500, 100, 366, 446, std::nullopt, FrameExtents{23, 23, 16, 30}),
              (Rect{523, 116, 843, 516}));
    // Both at once, and neither (a window without decorations).
    EXPECT_EQ(VisibleFrame(10, 20, 100, 50, FrameExtents{1, 2, 3, 4}, FrameExtents{5, 6, 7, 8}),
              (Rect{14, 24, 106, 66}));
    EXPECT_EQ(VisibleFrame(-5, -7, 30, 40, std::nullopt, std::nullopt), (Rect{-5, -7, 25, 33}));
}

TEST(VisibleFrameTest, HostileExtentsAndFarPlacesStayInsideTheXCoordinateRange) {
    constexpr long kMaxInt32 = std::numeric_limits<std::int32_t>::max();
    // Shadows wider than the window leave an empty rectangle, not an inverted one, and a value
    // that would overflow 32-bit arithmetic is only a very large number.
    const Rect swallowed = VisibleFrame(100, 100, 300, 200, std::nullopt,
                                        FrameExtents{kMaxInt32, kMaxInt32, kMaxInt32, kMaxInt32});
    EXPECT_EQ(swallowed.Right, swallowed.Left);
    EXPECT_EQ(swallowed.Bottom, swallowed.Top);
    EXPECT_EQ(swallowed.Left, kMaxXCoordinate);
    // Xlib hands format-32 data over sign-extended in a long: -1 stands for 4294967295.
    const Rect huge = VisibleFrame(0, 0, 10, 10, FrameExtents{-1, -1, -1, -1}, std::nullopt);
    EXPECT_EQ(huge, (Rect{kMinXCoordinate, kMinXCoordinate, kMaxXCoordinate, kMaxXCoordinate}));
    // A window whose right edge lies past what X can address: the edge stops at the limit, so
    // the bird's place is far off to the right rather than wrapped round to the left.
    const Rect farRight =
        VisibleFrame(32000, 100, 3000, 200, FrameExtents{0, 0, 20, 0}, std::nullopt);
    EXPECT_EQ(farRight, (Rect{32000, 80, kMaxXCoordinate, 300}));
    EXPECT_EQ(VisibleFrame(0, 0, -5, -5, std::nullopt, std::nullopt), (Rect{0, 0, 0, 0}));

    EXPECT_EQ(ClampToXCoordinate(33000), kMaxXCoordinate);
    EXPECT_EQ(ClampToXCoordinate(-40000), kMinXCoordinate);
    EXPECT_EQ(ClampToXCoordinate(std::numeric_limits<std::int64_t>::min()), kMinXCoordinate);
    EXPECT_EQ(ClampToXCoordinate(-1234), -1234);
}

// A stack bottom first, one letter per window: M managed, O override-redirect, H unmapped,
// I input-only, B the bird. Returns the sibling chosen, or -1, and the windows asked about.
std::pair<int, std::string> Restack(const std::string& stack) {
    std::string asked;
    const auto sibling = SiblingToStayAbove(stack.size(), stack.find('B'), [&](std::size_t i) {
        asked += stack[i];
        const char c = stack[i];
        return StackedWindow{c != 'H', c == 'O' || c == 'B', c == 'I'};
    });
    return {sibling ? static_cast<int>(*sibling) : -1, asked};
}

TEST(StackingTest, StaysJustAboveTheHighestManagedWindowAndUnderOtherPopups) {
    EXPECT_EQ(Restack("MMB"), std::pair(-1, std::string()));  // on top already: nothing asked
    EXPECT_EQ(Restack("MBM"), std::pair(2, std::string("M")));
    // A menu or a locker above the bird stays above it; so does a second bird.
    EXPECT_EQ(Restack("MBO"), std::pair(-1, std::string("O")));
    EXPECT_EQ(Restack("MBB"), std::pair(-1, std::string("B")));
    // A new window over the bird with a pop-up over that: under the pop-up, over the window.
    EXPECT_EQ(Restack("BMMO"), std::pair(2, std::string("OM")));
    // Unmapped and input-only windows hide nothing.
    EXPECT_EQ(Restack("MBHIO"), std::pair(-1, std::string("OIH")));
}

TEST(DisplayToOpenTest, TheCommandLineWinsOverTheEnvironment) {
    const char* equals[] = {"tapperbird", "--display=:7"};
    EXPECT_EQ(DisplayToOpen(2, equals, ":0"), ":7");
    const char* separate[] = {"tapperbird", "--sync", "--display", "host:3.1"};
    EXPECT_EQ(DisplayToOpen(4, separate, nullptr), "host:3.1");
    const char* twice[] = {"tapperbird", "--display=:1", "--display=:2"};
    EXPECT_EQ(DisplayToOpen(3, twice, ":0"), ":2");
    // Neither a dangling option, a look-alike nor anything after "--" names a display.
    const char* other[] = {"tapperbird", "--displayx=:5", "--", "--display=:6", "--display"};
    EXPECT_EQ(DisplayToOpen(5, other, ":0"), ":0");
    EXPECT_EQ(DisplayToOpen(1, other, nullptr), "");
}

}  // namespace
}  // namespace tb::linux_desktop::x11
