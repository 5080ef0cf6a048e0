// The animation cycle and the settle delay after a change of foreground window.
#include "scenario.h"

namespace tb::test {
namespace {

// A draw value that RandomBetween(1, 20) turns into `roll`.
float Roll20(int roll) {
    return (static_cast<float>(roll) - 0.5f) / 20.0f;
}

class AnimationTest : public Scenario {
  protected:
    // Running and perched on a tall window, past the first show.
    void StartPerched() {
        a_ = OpenWindow({100, 100, 900, 800});
        StartProgram();
        Wait(250);
    }
    WindowHandle a_ = 0;
};

TEST_F(AnimationTest, EachTickStepsTheMachineByTheTable) {
    StartPerched();
    struct Row {
        std::int32_t before;
        bool peckNext;
        int picture;  // 0: the picture is left alone
        std::int32_t after;
    };
    const Row rows[] = {
        {1, true, 2, 2}, {1, false, 0, 6}, {2, false, 3, 3}, {3, true, 4, 4}, {4, false, 5, 5},
        {5, true, 6, 6}, {6, false, 1, 1}, {6, true, 1, 1},  {0, true, 0, 6}, {7, false, 0, 6},
    };
    desk.Random().Script(std::vector<float>(100, Roll20(5)));
    for (const Row& row : rows) {
        State().AnimState = row.before;
        Bird().PeckNext = row.peckNext;
        Bird().Picture1 = 4;
        const std::int64_t draws = desk.Random().Draws();
        const std::int64_t presents = desk.Bird().PresentCount();
        Bird().Timer1_Timer();
        const int expected = row.picture == 0 ? 4 : row.picture;
        EXPECT_EQ(State().AnimState, row.after) << row.before;
        EXPECT_EQ(LastFrame(), expected) << row.before;
        EXPECT_EQ(desk.Bird().PresentCount(), presents + 1) << "one presentation per tick";
        EXPECT_EQ(desk.Random().Draws() - draws, row.after == 6 ? 1 : 0) << row.before;
    }
}

TEST_F(AnimationTest, OnlyDrawsOfNineAndEighteenStartAPeck) {
    StartPerched();
    for (int roll : {8, 9, 10, 17, 18, 19, 20, 1}) {
        desk.Random().Script({Roll20(roll)});
        State().AnimState = 1;
        Bird().PeckNext = false;
        Bird().Timer1_Timer();
        EXPECT_EQ(Bird().LastRoll, roll);
        EXPECT_EQ(Bird().PeckNext, roll == 9 || roll == 18) << roll;
    }
}

TEST_F(AnimationTest, ThePerchDrawIsTakenBeforeThePeckDrawOfTheSameTick) {
    StartPerched();
    State().NewTarget = true;
    State().AnimState = 1;
    Bird().PeckNext = false;
    // Taken in this order: height 2 (a quarter), then peck 9. Swapped: height 5, no peck.
    desk.Random().Script({0.12f, 0.43f});
    Bird().Timer1_Timer();
    EXPECT_EQ(LastPoint(), (Point{896, 275}));
    EXPECT_EQ(Bird().LastRoll, 9);
    EXPECT_TRUE(Bird().PeckNext);
}

class SettleTest : public AnimationTest {
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
    WindowHandle b_ = 0;
};

TEST_F(SettleTest, RestsThreeCountdownTicksThenResumesWhereItStopped) {
    PeckThenSwitch();
    WaitUntil(3950);
    std::vector<int> expected{4};                // 600 ms: Timer1 runs before the poll
    expected.insert(expected.end(), 30, 1);      // 700..3600 ms: resting on B
    expected.insert(expected.end(), {5, 6, 1});  // the peck goes on from frame 5
    EXPECT_EQ(FramesSince(5), expected);
    EXPECT_EQ(desk.Bird().Presents()[6].point, (Point{1796, 300}));
    EXPECT_EQ(desk.Random().Draws(), 3) << "nothing is drawn while resting";

    WaitUntil(4599);
    EXPECT_TRUE(Bird().TmrnewWinDelay->Enabled());
    WaitUntil(4600);
    EXPECT_FALSE(Bird().TmrnewWinDelay->Enabled()) << "one tick after reaching zero";
    EXPECT_EQ(State().SettleTicks, 0);
}

TEST_F(SettleTest, AChangeDuringTheRestStartsItAgain) {
    PeckThenSwitch();
    WaitUntil(2050);
    EXPECT_EQ(State().SettleTicks, 2);
    desk.Activate(a_);
    WaitUntil(4650);
    // Back to three at 2100 ms; the running countdown keeps its period: 2, 1, 0 at 2.6, 3.6, 4.6 s.
    const std::vector<int> frames = FramesSince(6);
    ASSERT_EQ(frames.size(), 40u);
    EXPECT_EQ(frames, std::vector<int>(40, 1));
    Wait(100);
    EXPECT_EQ(LastFrame(), 5);
    EXPECT_EQ(LastPoint(), (Point{896, 275}));
    WaitUntil(5650);
    EXPECT_FALSE(Bird().TmrnewWinDelay->Enabled());
}

TEST_F(SettleTest, SwitchingEverySecondKeepsTheBirdResting) {
    PeckThenSwitch();
    desk.Random().Script(std::vector<float>(20, 0.12f));  // a height draw for every change
    const std::size_t from = desk.Bird().Presents().size() + 1;
    for (int i = 0; i < 10; ++i) {
        Wait(1000);
        desk.Activate(i % 2 == 0 ? a_ : b_);
    }
    const std::vector<int> frames = FramesSince(from);
    EXPECT_EQ(frames, std::vector<int>(frames.size(), 1));
    EXPECT_EQ(frames.size(), 99u);
}

TEST_F(AnimationTest, AChangeIsSeenWithinOneTickWhicheverTimerFiresFirst) {
    StartPerched();
    desk.Random().Script(std::vector<float>(10, 0.12f));
    OpenWindow({1000, 100, 1800, 900});
    ASSERT_TRUE(desk.Step());  // Timer1 at 300 ms, before the poll: still on A
    EXPECT_EQ(LastPoint(), (Point{896, 275}));
    Wait(100);
    EXPECT_EQ(LastPoint(), (Point{1796, 300}));

    // The other order: the poll runs first and the same period's frame is already on the new
    // target.
    OpenWindow({100, 200, 700, 1000});
    Bird().Timer2_Timer();
    ASSERT_TRUE(desk.Step());
    EXPECT_EQ(LastPoint(), (Point{696, 400}));
}

TEST_F(AnimationTest, OnlyChangesThatLastUntilAPollCount) {
    StartPerched();
    const WindowHandle b = OpenWindow({1000, 100, 1800, 900});
    desk.Activate(a_);  // undone before the poll
    Wait(300);
    EXPECT_EQ(State().TargetWnd, a_);
    EXPECT_FALSE(Bird().TmrnewWinDelay->Enabled());
    EXPECT_TRUE(desk.Windows().TopmostCalls().empty());

    // No foreground window at all is a target like any other, and hides the bird.
    desk.Activate(0);
    Wait(200);
    EXPECT_EQ(State().TargetWnd, 0u);
    EXPECT_EQ(LastPoint(), (Point{1920, 1080}));
    desk.Activate(b);
    Wait(200);
    EXPECT_EQ(State().TargetWnd, b);
    EXPECT_EQ(LastPoint().x, 1796);
    ASSERT_EQ(desk.Windows().TopmostCalls().size(), 2u);
    EXPECT_EQ(desk.Windows().TopmostCalls()[1].window, desk.Bird().Handle());
    EXPECT_EQ(desk.Windows().TopmostCalls()[1].flags, 0x53u);
    EXPECT_EQ(desk.Windows().GetForegroundWindow(), b) << "the bird never takes the focus";
}

}  // namespace
}  // namespace tb::test
