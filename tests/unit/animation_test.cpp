// The animation cycle and the settle delay after a change of foreground window.
#include "scenario.h"

namespace tb::test {
namespace {

// A draw value that RandomBetween(1, 20) turns into `roll`.
float Roll20(int roll) {
    return (static_cast<float>(roll) - 0.5f) / 20.0f;
}

using AnimationTest = Scenario;

TEST_F(AnimationTest, EachTickStepsTheMachineByTheTable) {
    StartOn({100, 100, 900, 800});
    // State before, peck pending, frame shown (0: the picture is left alone), state after.
    const int rows[][4] = {{1, 1, 2, 2}, {1, 0, 0, 6}, {2, 0, 3, 3}, {3, 1, 4, 4}, {4, 0, 5, 5},
                           {5, 1, 6, 6}, {6, 0, 1, 1}, {6, 1, 1, 1}, {0, 1, 0, 6}, {7, 0, 0, 6}};
    desk.Random().Script(std::vector<float>(100, Roll20(5)));
    for (const auto& [before, peck, picture, after] : rows) {
        SetStep(before);
        Bird().peckNext = peck != 0;
        Bird().currentFrame = 4;
        const std::int64_t draws = desk.Random().Draws();
        const std::int64_t presents = desk.Bird().PresentCount();
        Bird().OnAnimationTick();
        EXPECT_EQ(Step(), after) << before;
        EXPECT_EQ(LastFrame(), picture == 0 ? 4 : picture) << before;
        EXPECT_EQ(desk.Bird().PresentCount(), presents + 1) << "one presentation per tick";
        EXPECT_EQ(desk.Random().Draws() - draws, after == 6 ? 1 : 0) << before;
    }
}

TEST_F(AnimationTest, OnlyDrawsOfNineAndEighteenStartAPeck) {
    StartOn({100, 100, 900, 800});
    for (int roll : {8, 9, 10, 17, 18, 19, 20, 1}) {
        desk.Random().Script({Roll20(roll)});
        SetStep(1);
        Bird().peckNext = false;
        Bird().OnAnimationTick();
        EXPECT_EQ(Bird().lastRoll, roll);
        EXPECT_EQ(Bird().peckNext, roll == 9 || roll == 18) << roll;
    }
}

TEST_F(AnimationTest, ThePerchDrawIsTakenBeforeThePeckDrawOfTheSameTick) {
    StartOn({100, 100, 900, 800});
    State().newTarget = true;
    SetStep(1);
    Bird().peckNext = false;
    // Taken in this order: height 2 (a quarter), then peck 9. Swapped: height 5, no peck.
    desk.Random().Script({0.12f, 0.43f});
    Bird().OnAnimationTick();
    EXPECT_EQ(LastPoint(), (Point{896, 275}));
    EXPECT_EQ(Bird().lastRoll, 9);
    EXPECT_TRUE(Bird().peckNext);
}

class SettleTest : public Scenario {
  protected:
    // A peck starts at 400 ms; the user switches to B at 550 ms, while frame 3 shows.
    void PeckThenSwitch() {
        desk.Random().Script({Roll20(9), 0.12f, Roll20(19), Roll20(19), Roll20(19), Roll20(19),
                              Roll20(19), Roll20(19)});
        a_ = OpenWindow({100, 100, 900, 800});
        StartProgram();
        Wait(550);
        ASSERT_EQ(FramesSince(0), (std::vector<int>{1, 1, 1, 2, 3}));
        b_ = OpenWindow({1000, 100, 1800, 900});
    }
    WindowHandle a_ = 0;
    WindowHandle b_ = 0;
};

TEST_F(SettleTest, RestsThreeCountdownTicksThenResumesWhereItStopped) {
    PeckThenSwitch();
    WaitUntil(3950);
    std::vector<int> expected{4};                // 600 ms: the animation tick runs before the poll
    expected.insert(expected.end(), 30, 1);      // 700..3600 ms: resting on B
    expected.insert(expected.end(), {5, 6, 1});  // the peck goes on from frame 5
    EXPECT_EQ(FramesSince(5), expected);
    EXPECT_EQ(desk.Bird().Presents()[6].point, (Point{1796, 300}));
    EXPECT_EQ(desk.Random().Draws(), 3) << "nothing is drawn while resting";

    WaitUntil(4599);
    EXPECT_TRUE(Bird().settleTimer->Enabled());
    WaitUntil(4600);
    EXPECT_FALSE(Bird().settleTimer->Enabled()) << "one tick after reaching zero";
}

TEST_F(SettleTest, AChangeDuringTheRestStartsItAgain) {
    PeckThenSwitch();
    WaitUntil(2050);
    desk.Activate(a_);
    WaitUntil(4650);
    // Back to three at 2100 ms; the running countdown keeps its period: 2, 1, 0 at 2.6, 3.6, 4.6 s.
    EXPECT_EQ(FramesSince(6), std::vector<int>(40, 1));
    Wait(100);
    EXPECT_EQ(LastFrame(), 5);
    EXPECT_EQ(LastPoint(), (Point{896, 275}));
}

TEST_F(AnimationTest, OnlyChangesThatLastUntilAPollCount) {
    const WindowHandle a = StartOn({100, 100, 900, 800});
    const WindowHandle b = OpenWindow({1000, 100, 1800, 900});
    desk.Activate(a);  // undone before the poll
    Wait(300);
    EXPECT_EQ(State().targetWindow, a);
    EXPECT_TRUE(desk.Windows().TopmostCalls().empty());

    // No foreground window at all is a target like any other, and hides the bird.
    desk.Activate(0);
    Wait(200);
    EXPECT_EQ(LastPoint(), (Point{1920, 1080}));
    desk.Activate(b);
    Wait(200);
    EXPECT_EQ(LastPoint().x, 1796);
    ASSERT_EQ(desk.Windows().TopmostCalls().size(), 2u);
    EXPECT_EQ(desk.Windows().TopmostCalls()[1].window, desk.Bird().Handle());
}

}  // namespace
}  // namespace tb::test
