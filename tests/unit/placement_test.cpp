// Where the bird sits: the first show far off-screen, the perch on the target's right edge a
// quarter (or once a third) of the way down, and the hiding place for unsuitable targets.
#include "scenario.h"

namespace tb::test {
namespace {

constexpr Point kHidden{1920, 1080};  // just past the corner of the 1920 x 1080 screen

class PlacementTest : public Scenario {
  protected:
    // Every perch-height draw even (a quarter down) and no pecks; 0.05 makes every one odd.
    void ScriptDraws(float value) { desk.Random().Script(std::vector<float>(1000, value)); }
    // The user brings a new window forward; the poll adopts it and the next tick presents there.
    Point SwitchTo(Rect rect) {
        last_ = OpenWindow(rect);
        Wait(200);
        return LastPoint();
    }

    WindowHandle last_ = 0;
};

TEST_F(PlacementTest, FirstShowIsFarOffScreenThenThePerchAQuarterDown) {
    OpenWindow({100, 100, 900, 800});
    StartProgram();
    Wait(100);
    EXPECT_EQ(LastPoint(), (Point{28800, 16200}));
    EXPECT_EQ(State().targetRect, Rect{}) << "the first show does not look at the target";
    Wait(100);
    EXPECT_EQ(LastPoint(), (Point{896, 275}));
}

TEST_F(PlacementTest, ATargetMustBeMoreThanOneAndAHalfBirdsTallAndTheClawsGripItsRightEdge) {
    StartOn({100, 100, 900, 800});
    ScriptDraws(0.5f);
    EXPECT_EQ(SwitchTo({500, 200, 1000, 306}), kHidden);            // 106 px
    EXPECT_EQ(SwitchTo({500, 200, 1000, 307}), (Point{996, 227}));  // 107 px
    // The claws grip the right edge 4 px inside it, unless it is the screen's.
    EXPECT_EQ(SwitchTo({1000, 100, 1920, 900}).x, 1920);
    EXPECT_EQ(SwitchTo({1000, 100, 1919, 900}).x, 1915);
    EXPECT_EQ(SwitchTo({1000, 100, 1928, 900}).x, 1924);
}

TEST_F(PlacementTest, HeightsRoundHalfToEven) {
    const WindowHandle start = StartOn({100, 0, 900, 402});
    EXPECT_EQ(LastPoint().y, 100);  // 100.5
    desk.MoveWindow(start, {100, 1, 900, 403});
    Wait(100);
    EXPECT_EQ(LastPoint().y, 102);  // 101.5
}

TEST_F(PlacementTest, AnOddDrawPerchesAThirdDownForOneFrame) {
    StartOn({100, 100, 900, 800});
    ScriptDraws(0.05f);
    const std::int64_t drawsBefore = desk.Random().Draws();
    EXPECT_EQ(SwitchTo({100, 100, 900, 700}), (Point{896, 300}));
    Wait(100);
    EXPECT_EQ(LastPoint(), (Point{896, 250}));
    Wait(1000);
    EXPECT_EQ(desk.Random().Draws(), drawsBefore + 1) << "one height draw, none while settling";
}

TEST_F(PlacementTest, ATooSmallNewTargetKeepsItsHeightDrawUntilItPerches) {
    StartOn({100, 100, 900, 800});
    ScriptDraws(0.05f);
    const std::int64_t drawsBefore = desk.Random().Draws();
    EXPECT_EQ(SwitchTo({100, 100, 900, 200}), kHidden);
    Wait(500);
    EXPECT_EQ(LastPoint(), kHidden);
    EXPECT_EQ(desk.Random().Draws(), drawsBefore);

    desk.MoveWindow(last_, {100, 100, 900, 700});  // the user makes it taller
    Wait(100);
    EXPECT_EQ(LastPoint(), (Point{896, 300}));
    Wait(100);
    EXPECT_EQ(LastPoint(), (Point{896, 250}));
}

TEST_F(PlacementTest, AHiddenTargetOrTheBirdItselfSendsItToTheHidingPlace) {
    const WindowHandle start = StartOn({100, 100, 900, 800});
    desk.SetVisible(start, false);
    Wait(100);
    EXPECT_EQ(LastPoint(), kHidden);
    desk.SetVisible(start, true);
    Wait(100);
    EXPECT_EQ(LastPoint(), (Point{896, 275}));

    desk.Activate(desk.Bird().Handle());  // e.g. a click that activates it despite everything
    Wait(200);
    EXPECT_EQ(State().targetWindow, desk.Bird().Handle());
    EXPECT_EQ(LastPoint(), kHidden);
}

TEST_F(PlacementTest, ANewForegroundWindowsRectangleIsStoredAtOnce) {
    StartOn({100, 100, 900, 800});
    Wait(50);  // between two ticks
    OpenWindow({1000, 200, 1700, 900});
    ASSERT_TRUE(desk.Step());  // the animation tick, still on the old target
    ASSERT_TRUE(desk.Step());  // the poll adopts the new one
    EXPECT_EQ(State().targetRect, (Rect{1000, 200, 1700, 900}));
}

// Between the rectangle read and the visibility test of one frame, or before both.
TEST_F(PlacementTest, ATargetClosingMidTickHidesTheBirdAndKeepsItsLastRectangle) {
    const WindowHandle behind = StartOn({0, 0, 500, 500});
    for (auto call : {sim::WindowCall::GetWindowRect, sim::WindowCall::IsWindowVisible}) {
        const WindowHandle target = OpenWindow({100, 100, 900, 800});
        Wait(200);
        ASSERT_EQ(LastPoint().x, 896);
        desk.CloseWindowBefore(call, target);
        ASSERT_TRUE(desk.Step());  // that animation tick only
        EXPECT_EQ(LastPoint(), kHidden);
        EXPECT_EQ(State().targetRect, (Rect{100, 100, 900, 800})) << "the last good one stays";
        // The foreground passed back to the window behind; the poll adopts it as a new target.
        Wait(200);
        EXPECT_EQ(State().targetWindow, behind);
        EXPECT_EQ(LastPoint().x, 496);
    }
}

}  // namespace
}  // namespace tb::test
