// Starting the program: the first-run registration, the bird window's set-up, and what an error
// on the way leaves behind.
#include <string>

#include "scenario.h"
#include "app/host.h"

namespace tb::test {
namespace {

class StartupTest : public Scenario {
  protected:
    StartupTest() { desk.Registry().CreateKeyPath(kRunKey); }
};

TEST_F(StartupTest, FirstRunRegistersThenShowsTheBirdWithoutTakingTheFocus) {
    const WindowHandle editor = OpenWindow({100, 100, 900, 800});
    StartProgram();
    EXPECT_TRUE(RunValue().has_value());
    EXPECT_EQ(App().GetHost().Caption(), "Tapperbird");
    EXPECT_EQ(desk.Mutex().Created(), std::vector<std::string>{"Tapperbird"});

    // Sized to the picture box, titled, layered, shown without the focus.
    EXPECT_EQ(desk.Bird().WidthTwips(), 705);
    EXPECT_EQ(desk.Bird().HeightTwips(), 1125);
    EXPECT_EQ(desk.Bird().Caption(), "Tapperbird");
    EXPECT_NE(desk.Bird().ExtendedStyle() & kWsExLayered, 0);
    EXPECT_TRUE(desk.Bird().Shown());
    EXPECT_EQ(desk.Windows().GetForegroundWindow(), editor);
    EXPECT_FALSE(desk.Windows().BirdEverActivated());

    EXPECT_EQ(desk.Bird().PresentCount(), 0) << "nothing shows until the first tick";
}

// The desktop hands the foreground to the bird as it is shown: the target is read after the show,
// so the bird starts out on itself, hidden, with no change of target for the poll to adopt.
TEST_F(StartupTest, TheTargetIsTheForegroundOnceTheBirdIsUp) {
    OpenWindow({100, 100, 900, 800});
    desk.ForegroundOnBirdShow(desk.Bird().Handle());
    StartProgram();
    EXPECT_EQ(State().targetWindow, desk.Bird().Handle());
    Wait(250);
    EXPECT_EQ(LastPoint(), (Point{1920, 1080}));
    EXPECT_EQ(State().settleSeconds, 0);
    EXPECT_TRUE(desk.Windows().TopmostCalls().empty());
}

TEST_F(StartupTest, AnErrorShowsOneWarningAndSkipsTheRestOfTheStart) {
    OpenWindow({100, 100, 900, 800});
    desk.Raise(sim::SimCall::BirdShow, "Out of memory");
    StartProgram();
    ExpectOneWarning("Out of memory");
    // Registered before the bird was shown; the steps after the show never ran.
    EXPECT_TRUE(RunValue().has_value());
    EXPECT_FALSE(desk.Bird().Shown());
    EXPECT_FALSE(Bird().foregroundWatch->Enabled()) << "nothing polls the foreground";
    // The bird window had loaded, so its animation runs on, unseen, as the completed steps left it.
    EXPECT_TRUE(Bird().animationTimer->Enabled());
    EXPECT_EQ(desk.Menu().BuildCount(), 1);
    Wait(1000);
    EXPECT_EQ(desk.Forms().MessageBoxes().size(), 1u);
    EXPECT_FALSE(desk.Forms().Ended());
}

TEST_F(StartupTest, AMarkerKeyErrorStopsTheStartBeforeTheBirdLoads) {
    desk.Raise(sim::SimCall::RegCreateKey, "Registry unavailable", 1);
    StartProgram();
    ExpectOneWarning("Registry unavailable");
    EXPECT_TRUE(App().GetHost().Caption().empty()) << "the start-up never named the host";
    EXPECT_TRUE(desk.Mutex().Created().empty());
    Wait(1000);
    EXPECT_EQ(desk.Bird().PresentCount(), 0);
}

TEST_F(StartupTest, At120DpiTheFrameSizeSurvivesTheRoundTripThroughHimetric) {
    desk.SetScreen(1920, 1080, 120);
    OpenWindow({100, 100, 900, 800});
    StartProgram();
    EXPECT_EQ(desk.Bird().WidthTwips(), 47 * 12);
    Wait(200);
    const auto& log = desk.Bird().Presents();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].point, (Point{1920 * 12, 1080 * 12}));  // twips used as pixels
    EXPECT_EQ(log[1].size, (Size{43, 71}));
}

}  // namespace
}  // namespace tb::test
