// What the shell puts in the foreground on Windows 10 and 11, as the window system reports it:
// short strips (the taskbar), windows as large as a monitor or the whole desktop (the desktop,
// Task View, full-screen games), windows nothing of which is on screen (cloaked on another
// virtual desktop) and no foreground window at all (the lock screen, the secure desktop of an
// elevation prompt, Explorer restarting); and windows flush with a monitor's edge on each layout
// of monitors. The bird perches only where it would be seen beside a window, and is out of sight
// otherwise.
#include <ostream>

#include "scenario.h"

namespace tb::test {
namespace {

struct ShellCase {
    const char* name;
    std::vector<Rect> extra;  // monitors beside the 1920 x 1080 primary at (0, 0)
    Rect target;
    bool visible;
    Point expected;
};
std::ostream& operator<<(std::ostream& os, const ShellCase& c) {
    return os << c.name;
}

class ShellCaseTest : public Scenario, public ::testing::WithParamInterface<ShellCase> {
  protected:
    void SetUp() override {
        desk.Random().Script(std::vector<float>(1000, 0.15f));  // a quarter down, no pecks
        for (const Rect& m : GetParam().extra) {
            desk.AddMonitor(m);
        }
        StartOn({300, 300, 700, 700});
    }
};

TEST_P(ShellCaseTest, TheBirdPerchesOnlyWhereItIsSeenBesideTheWindow) {
    const WindowHandle w = desk.AddWindow(GetParam().target, GetParam().visible);
    desk.Activate(w);
    Wait(200);
    EXPECT_EQ(LastPoint(), GetParam().expected);
    EXPECT_FALSE(desk.Windows().BirdEverActivated());
    EXPECT_TRUE(desk.Forms().MessageBoxes().empty());
}

constexpr Point kHidden{1920, 1080};
constexpr Point kHiddenPastTwo{3200, 1080};
const std::vector<Rect> kRightMonitor{{1920, 0, 3200, 1024}};

INSTANTIATE_TEST_SUITE_P(
    Shell, ShellCaseTest,
    ::testing::Values(
        ShellCase{"Taskbar", {}, {0, 1032, 1920, 1080}, true, kHidden},
        ShellCase{
            "TaskbarOnTheLeftMonitor", kRightMonitor, {0, 1032, 1920, 1080}, true, kHiddenPastTwo},
        // The desktop window, Task View and full-screen games cover a monitor or every monitor:
        // the bird sits beyond their right edge, which is the screen's own. Maximised or full
        // screen on the left it would sit on the right monitor, so it hides; on the right monitor
        // the edge is the desktop's own, as on one monitor.
        ShellCase{"DesktopOrFullScreenGame", {}, {0, 0, 1920, 1080}, true, {1920, 270}},
        ShellCase{"DesktopOverTwoMonitors", kRightMonitor, {0, 0, 3200, 1080}, true, {3200, 270}},
        ShellCase{
            "FullScreenGameLeftOfAnother", kRightMonitor, {0, 0, 1920, 1080}, true, kHiddenPastTwo},
        ShellCase{
            "MaximisedRightOfAnother", kRightMonitor, {1920, 0, 3200, 1000}, true, {3200, 250}},
        // A window ending at the right monitor's edge though most of it is on the left one.
        ShellCase{"AcrossToTheRightEdge", kRightMonitor, {400, 100, 3200, 900}, true, {3200, 300}},
        // The Start menu and an elevated window are ordinary windows to the bird.
        ShellCase{"StartMenu", {}, {0, 340, 660, 1032}, true, {656, 513}},
        // On another virtual desktop: user32 calls it visible, DWM has cloaked it.
        ShellCase{"Cloaked", {}, {100, 100, 900, 900}, false, kHidden},
        ShellCase{"CloakedTwoMonitors", kRightMonitor, {100, 100, 900, 900}, false, kHiddenPastTwo},
        ShellCase{"BesideAnotherNotFlush", kRightMonitor, {100, 100, 900, 900}, true, {896, 300}},
        ShellCase{"Stacked", {{0, 1080, 1920, 2160}}, {0, 0, 1920, 1040}, true, {1920, 260}},
        ShellCase{"LeftOfPrimary", {{-1280, 0, 0, 1024}}, {-1280, 0, 0, 1000}, true, kHidden},
        ShellCase{
            "PrimaryRightOfAnother", {{-1280, 0, 0, 1024}}, {0, 0, 1920, 1040}, true, {1920, 260}},
        // The monitor on the right starts below the target: nothing shows beside it.
        ShellCase{
            "RightMonitorLower", {{1920, 1040, 3200, 2064}}, {0, 0, 1920, 1000}, true, {1920, 250}},
        ShellCase{"ThreeMiddle",
                  {{-1280, 0, 0, 1024}, {1920, 0, 3200, 1024}},
                  {0, 0, 1920, 1040},
                  true,
                  kHiddenPastTwo}),
    [](const ::testing::TestParamInfo<ShellCase>& p) { return std::string(p.param.name); });

class NoForegroundTest : public Scenario {};

// The lock screen, the secure desktop and Explorer restarting leave no foreground window: the
// bird goes past every monitor, quietly, and comes back with the first window the user brings
// up, after the usual rest.
TEST_F(NoForegroundTest, TheBirdWaitsOutOfSightAndReturnsWithTheNextWindow) {
    desk.Random().Script(std::vector<float>(1000, 0.15f));
    desk.AddMonitor({-1280, 0, 0, 1024});
    const WindowHandle w = StartOn({300, 300, 700, 700});
    EXPECT_EQ(LastPoint(), (Point{696, 400}));
    desk.SetForeground(0);
    Wait(300);
    EXPECT_EQ(LastPoint(), kHidden);
    Wait(10000);  // a long lock: nothing else happens
    EXPECT_EQ(LastPoint(), kHidden);
    EXPECT_TRUE(desk.Forms().MessageBoxes().empty());
    EXPECT_FALSE(desk.Windows().BirdEverActivated());

    desk.Activate(w);  // unlocked: the same window comes back to the foreground
    Wait(200);
    EXPECT_EQ(LastPoint(), (Point{696, 400}));
    EXPECT_EQ(LastFrame(), 1);  // resting after the change
    EXPECT_GT(State().settleSeconds, 0);
}

}  // namespace
}  // namespace tb::test
