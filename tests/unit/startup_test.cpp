// Starting the program: the first-run registration, the bird window's set-up, the state it
// starts from, and what an error on the way leaves behind.
#include <string>

#include "scenario.h"
#include "shell/form2.h"

namespace tb::test {
namespace {

class StartupTest : public Scenario {
  protected:
    StartupTest() { desk.Registry().CreateKeyPath(kRunKey); }
    std::optional<sim::RegValue> RunValue() {
        return desk.Registry().GetValue(kRunKey, "Tapperbird");
    }
};

TEST_F(StartupTest, FirstRunRegistersThenShowsTheBirdOnTheForegroundWindow) {
    const WindowHandle editor = OpenWindow({100, 100, 900, 800});
    StartProgram();

    ASSERT_TRUE(RunValue().has_value());
    EXPECT_TRUE(desk.Registry().KeyExists(kMarkerKey));
    EXPECT_EQ(App().HostForm().Caption(), "Tapperbird");
    EXPECT_EQ(desk.Mutex().Created(), std::vector<std::string>{"Tapperbird"});
    EXPECT_EQ(desk.Menu().BuildCount(), 1);

    // The bird window: sized to the picture box, titled, layered, shown without the focus.
    EXPECT_EQ(desk.Bird().WidthTwips(), 705);
    EXPECT_EQ(desk.Bird().HeightTwips(), 1125);
    EXPECT_EQ(desk.Bird().Caption(), "Tapperbird");
    EXPECT_NE(desk.Bird().ExtendedStyle() & kWsExLayered, 0);
    EXPECT_TRUE(desk.Bird().Shown());
    EXPECT_EQ(desk.Windows().GetForegroundWindow(), editor);
    EXPECT_FALSE(desk.Windows().BirdEverActivated());
    EXPECT_EQ(Bird().FrameWidth, 43);
    EXPECT_EQ(Bird().FrameHeight, 71);

    EXPECT_EQ(State().TargetWnd, editor);
    EXPECT_TRUE(State().FirstShow);
    EXPECT_FALSE(State().NewTarget);
    EXPECT_EQ(State().AnimState, 6);
    EXPECT_EQ(State().SettleTicks, 0);
    EXPECT_TRUE(Bird().Timer1->Enabled());
    EXPECT_TRUE(Bird().Timer2->Enabled());
    EXPECT_FALSE(Bird().TmrnewWinDelay->Enabled());

    // Nothing shows until the first tick; the start-up target needs no settle or top-most call.
    EXPECT_EQ(desk.Bird().PresentCount(), 0);
    Wait(1000);
    EXPECT_EQ(desk.Bird().PresentCount(), 10);
    EXPECT_TRUE(desk.Windows().TopmostCalls().empty());
    EXPECT_TRUE(desk.Forms().MessageBoxes().empty());
}

TEST_F(StartupTest, OnlyTheFirstRunWritesTheRunValue) {
    OpenWindow({100, 100, 900, 800});
    desk.Registry().CreateKeyPath(kMarkerKey);
    StartProgram();
    EXPECT_FALSE(RunValue().has_value()) << "a marker means the user's choice stands";
    EXPECT_TRUE(desk.Bird().Shown());

    // The user ticks "Run at Startup", then unticks it with the menu; a restart keeps it off.
    desk.ClickBird(MouseButton::Left);
    desk.Choose(MenuItem::Start);
    ASSERT_TRUE(RunValue().has_value());
    desk.ClickBird(MouseButton::Left);
    desk.Choose(MenuItem::Start);
    EXPECT_FALSE(RunValue().has_value());
    StartProgram();
    EXPECT_FALSE(RunValue().has_value());
}

TEST_F(StartupTest, AnErrorShowsOneWarningAndSkipsTheRestOfTheStart) {
    OpenWindow({100, 100, 900, 800});
    desk.Raise(sim::SimCall::BirdShow, "Out of memory");
    StartProgram();

    ASSERT_EQ(desk.Forms().MessageBoxes().size(), 1u);
    const auto& box = desk.Forms().MessageBoxes()[0];
    EXPECT_EQ(box.text, "Out of memory");
    EXPECT_EQ(box.title, "Tapperbird");
    EXPECT_EQ(box.style, 48);
    // Registered before the bird was shown; the steps after the show never ran.
    EXPECT_TRUE(RunValue().has_value());
    EXPECT_TRUE(desk.Registry().KeyExists(kMarkerKey));
    EXPECT_FALSE(desk.Bird().Shown());
    EXPECT_EQ(State().TargetWnd, 0u);
    EXPECT_FALSE(Bird().Timer2->Enabled());
    // The bird window had loaded, so its animation runs on, unseen, as the completed steps left it.
    EXPECT_TRUE(Bird().Timer1->Enabled());
    EXPECT_EQ(desk.Menu().BuildCount(), 1);
    Wait(1000);
    EXPECT_EQ(desk.Forms().MessageBoxes().size(), 1u);
    EXPECT_FALSE(desk.Forms().Ended());
}

TEST_F(StartupTest, AMarkerKeyErrorStopsTheStartBeforeTheBirdLoads) {
    desk.Raise(sim::SimCall::RegCreateKey, "Registry unavailable", 1);
    StartProgram();
    ASSERT_EQ(desk.Forms().MessageBoxes().size(), 1u);
    EXPECT_EQ(desk.Forms().MessageBoxes()[0].text, "Registry unavailable");
    EXPECT_EQ(App().HostForm().Caption(), "Form2");
    EXPECT_TRUE(desk.Mutex().Created().empty());
    EXPECT_FALSE(Bird().Timer1->Enabled());
    Wait(1000);
    EXPECT_EQ(desk.Bird().PresentCount(), 0);
}

TEST_F(StartupTest, At120DpiTheFrameSizeSurvivesTheRoundTripThroughHimetric) {
    desk.SetScreen(1920, 1080, 120);
    OpenWindow({100, 100, 900, 800});
    StartProgram();
    EXPECT_EQ(Bird().FrameWidth, 43);
    EXPECT_EQ(Bird().FrameHeight, 71);
    EXPECT_EQ(desk.Bird().WidthTwips(), 47 * 12);
    Wait(200);
    const auto& log = desk.Bird().Presents();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].point, (Point{1920 * 12, 1080 * 12}));  // twips used as pixels
    EXPECT_EQ(log[1].point, (Point{896, 275}));
    EXPECT_EQ(log[1].size, (Size{43, 71}));
}

}  // namespace
}  // namespace tb::test
