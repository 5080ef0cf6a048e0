// The desktop helpers: the random range, the never-seeded generator and the top-most call.
#include <gtest/gtest.h>

#include <cmath>

#include "platform/sim/sim_desktop.h"
#include "desktop/random_between.h"
#include "desktop/topmost.h"

namespace {

using tb::RandomBetween;

TEST(RandomBetweenTest, EndsOfTheSourceMapToTheEndsOfTheRange) {
    tb::sim::SimRandom random;
    const float justBelowOne = std::nextafter(1.0f, 0.0f);
    const float justBelowSevenTenths = 0.7f;  // 0.69999999
    random.Script({0.0f, justBelowOne, 0.0f, justBelowOne, 0.5f, justBelowSevenTenths});
    EXPECT_EQ(RandomBetween(random, 1, 10), 1);
    EXPECT_EQ(RandomBetween(random, 1, 10), 10);
    EXPECT_EQ(RandomBetween(random, 1, 20), 1);
    EXPECT_EQ(RandomBetween(random, 1, 20), 20);
    EXPECT_EQ(RandomBetween(random, -5, 5), 0);
    // 0.69999999 * 10 is 7 in single precision; widened to double first it stays below 7.
    EXPECT_EQ(RandomBetween(random, 1, 10), 7);
}

TEST(RandomBetweenTest, TheNeverSeededGeneratorStartsWithTheKnownValues) {
    tb::Lcg24Random known;
    for (float expected : {0.7055475f, 0.5334240f, 0.5795186f, 0.2895625f, 0.3019480f}) {
        EXPECT_NEAR(known.NextSingle(), expected, 1e-7f);
    }
    tb::Lcg24Random first;
    EXPECT_EQ(RandomBetween(first, 1, 20), 15);
}

TEST(SetTopmostTest, LiftsWithoutMovingOrActivating) {
    tb::sim::SimDesktop desk;
    const tb::WindowHandle w = desk.AddWindow({10, 20, 300, 400});
    const tb::WindowHandle other = desk.AddWindow({0, 0, 100, 100});
    desk.Activate(other);
    tb::SetTopmost(desk.Windows(), w);
    ASSERT_EQ(desk.Windows().TopmostCalls().size(), 1u);
    EXPECT_EQ(desk.Windows().TopmostCalls().back().flags, 0x53u);
    EXPECT_TRUE(desk.Windows().IsTopmost(w));
    EXPECT_EQ(desk.Windows().RectOf(w), (tb::Rect{10, 20, 300, 400}));
    EXPECT_EQ(desk.Windows().GetForegroundWindow(), other);
}

}  // namespace
