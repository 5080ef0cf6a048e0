// The desktop helpers: the random range and the top-most call.
#include <gtest/gtest.h>

#include <cmath>

#include "desktop/random_between.h"
#include "desktop/topmost.h"
#include "platform/sim/sim_desktop.h"

namespace {

TEST(RandomBetweenTest, EndsOfTheSourceMapToTheEndsOfTheRange) {
    struct Case {
        float r;
        int low, high, expected;
    };
    const float justBelowOne = std::nextafter(1.0f, 0.0f);
    // 0.69999999 * 10 is 7 in single precision; widened to double first it stays below 7.
    const Case cases[] = {{0.0f, 1, 10, 1},          {justBelowOne, 1, 10, 10}, {0.0f, 1, 20, 1},
                          {justBelowOne, 1, 20, 20}, {0.5f, -5, 5, 0},          {0.7f, 1, 10, 7}};
    tb::sim::SimRandom random;
    for (const Case& c : cases) {
        random.Script({c.r});
        EXPECT_EQ(tb::RandomBetween(random, c.low, c.high), c.expected) << c.r;
    }
}

// The simulated desktop activates a window lifted without SWP_NOACTIVATE, as Windows does, so the
// scenario tests would see a bird that takes the focus.
TEST(SetTopmostTest, LiftsTheBirdWithoutMovingOrActivatingIt) {
    tb::sim::SimDesktop desk;
    const tb::WindowHandle bird = desk.Bird().Handle();
    const tb::WindowHandle editor = desk.AddWindow({0, 0, 800, 600});
    desk.Activate(editor);
    tb::SetTopmost(desk.Windows(), bird);
    ASSERT_EQ(desk.Windows().TopmostCalls().size(), 1u);
    EXPECT_EQ(desk.Windows().TopmostCalls()[0].flags, 0x53u)
        << "no size, no move, show, no activate";
    EXPECT_EQ(desk.Windows().GetForegroundWindow(), editor);

    desk.Windows().MakeTopmost(bird, 0x43);
    EXPECT_EQ(desk.Windows().GetForegroundWindow(), bird);
    EXPECT_TRUE(desk.Windows().BirdEverActivated());
}

}  // namespace
