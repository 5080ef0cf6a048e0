// Many monitors and high DPI: the bird stays out of sight on the About pause, and grows by whole
// numbers with the scale of the monitor it perches on. (Where it perches on each layout of
// monitors is in the table of shell cases.)
#include "desktop/monitors.h"
#include "scenario.h"

namespace tb::test {
namespace {

class MonitorsTest : public Scenario {
  protected:
    // Every perch height a quarter down and no pecks.
    void Start(Rect first = {300, 300, 700, 700}) {
        desk.Random().Script(std::vector<float>(1000, 0.15f));
        StartOn(first);
    }
    Point PerchOn(Rect rect) {
        OpenWindow(rect);
        Wait(200);
        return LastPoint();
    }
};

TEST_F(MonitorsTest, TheAboutPauseHidesPastEveryMonitor) {
    desk.AddMonitor({1920, 0, 3200, 1024});
    desk.Registry().CreateKeyPath(kMarkerKey);
    Start();
    Choose(MenuItem::About);
    const Rect bird = desk.Bird().WindowRect();
    EXPECT_EQ(bird.Left, 3200);
    EXPECT_EQ(bird.Top, 1080);
}

TEST(BirdScaleTest, TheMonitorsScaleRoundsToTheNearestWholeNumberHalvesDown) {
    const std::pair<double, int> table[] = {{0.0, 1},  {1.0, 1}, {1.25, 1}, {1.5, 1},
                                            {1.75, 2}, {2.0, 2}, {2.5, 2},  {2.75, 3},
                                            {3.0, 3},  {3.5, 3}, {3.75, 4}, {1e9, 16}};
    for (const auto& [scale, factor] : table) {
        EXPECT_EQ(BirdScaleFor(scale), factor) << scale;
    }
}

// Everything measured in the bird's pixels grows with it: the size, the grip, the height rule.
TEST_F(MonitorsTest, AtEachDpiTheBirdGrowsByItsWholeFactor) {
    const std::pair<int, int> dpis[] = {{96, 1}, {120, 1}, {144, 1}, {168, 2}, {192, 2}, {288, 3}};
    for (const auto& [dpi, f] : dpis) {
        SCOPED_TRACE(dpi);
        sim::SimDesktop d;
        d.SetScreen(3840, 2160, dpi);
        d.Random().Script(std::vector<float>(1000, 0.15f));
        const WindowHandle w = d.AddWindow({100, 100, 1100, 1100});
        d.Activate(w);
        Program program(d.GetPlatform());
        program.Start();
        d.RunFor(250);
        const sim::PresentRecord shown = d.Bird().LastPresent().value();
        EXPECT_EQ(shown.scale, f);
        EXPECT_EQ(shown.size, (Size{43 * f, 71 * f}));
        EXPECT_EQ(shown.point, (Point{1100 - 4 * f, 350}));

        // "More than one and a half birds tall", in this monitor's bird pixels.
        const std::int32_t threshold = 71 * f * 3 / 2;  // within half a pixel of the true one
        d.MoveWindow(w, {100, 100, 1100, 100 + threshold - 1});
        d.RunFor(100);
        EXPECT_EQ(d.Bird().LastPresent()->point, (Point{3840, 2160})) << "too short";
        d.MoveWindow(w, {100, 100, 1100, 100 + threshold + 1});
        d.RunFor(100);
        EXPECT_EQ(d.Bird().LastPresent()->point.x, 1100 - 4 * f) << "tall enough";
    }
}

TEST_F(MonitorsTest, TheBirdTakesTheScaleOfTheMonitorItPerchesOn) {
    desk.AddMonitor({1920, 0, 5760, 2160}, 2.0);
    Start();
    EXPECT_EQ(desk.Bird().LastPresent()->scale, 1);
    EXPECT_EQ(PerchOn({2000, 100, 3000, 1100}), (Point{2992, 350}));
    EXPECT_EQ(desk.Bird().LastPresent()->size, (Size{86, 142}));
    // A window too short for the big bird but not for the small one: judged where it is.
    EXPECT_EQ(PerchOn({2000, 100, 3000, 300}), (Point{5760, 2160}));
    EXPECT_EQ(PerchOn({100, 100, 900, 300}), (Point{896, 150}));
    EXPECT_EQ(desk.Bird().LastPresent()->size, (Size{43, 71}));
}

}  // namespace
}  // namespace tb::test
