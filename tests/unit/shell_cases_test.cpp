// What the shell puts in the foreground on Windows 10 and 11, as the window system reports it:
// short strips (the taskbar), windows as large as a monitor or the whole desktop (the desktop,
// Task View, full-screen games), windows nothing of which is on screen (cloaked on another
// virtual desktop) and no foreground window at all (the lock screen, the secure desktop of an
// elevation prompt, Explorer restarting). The bird perches only where it would be seen beside
// a window, and is out of sight otherwise.
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
        // The desktop window and Task View cover a monitor or every monitor: the bird sits
        // beyond their right edge, which is the screen's own.
        ShellCase{"Desktop", {}, {0, 0, 1920, 1080}, true, {1920, 270}},
        ShellCase{"DesktopOverTwoMonitors", kRightMonitor, {0, 0, 3200, 1080}, true, {3200, 270}},
        ShellCase{"FullScreenGame", {}, {0, 0, 1920, 1080}, true, {1920, 270}},
        ShellCase{
            "FullScreenGameLeftOfAnother", kRightMonitor, {0, 0, 1920, 1080}, true, kHiddenPastTwo},
        // A window ending at the right monitor's edge though most of it is on the left one.
        ShellCase{"AcrossToTheRightEdge", kRightMonitor, {400, 100, 3200, 900}, true, {3200, 300}},
        // The Start menu and an elevated window are ordinary windows to the bird.
        ShellCase{"StartMenu", {}, {0, 340, 660, 1032}, true, {656, 513}},
        // On another virtual desktop: user32 calls it visible, DWM has cloaked it.
        ShellCase{"Cloaked", {}, {100, 100, 900, 900}, false, kHidden},
        ShellCase{
            "CloakedTwoMonitors", kRightMonitor, {100, 100, 900, 900}, false, kHiddenPastTwo}),
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
