// The popup menu on the bird and the About window it opens.
#include <string>

#include "scenario.h"
#include "tapperbird_version.h"

namespace tb::test {
namespace {

class MenuTest : public Scenario {
  protected:
    MenuTest() {
        desk.Registry().CreateKeyPath(kRunKey);
        desk.Registry().CreateKeyPath(kMarkerKey);  // not a first run: the registry is the test's
        a_ = StartOn({100, 100, 900, 800});
    }
    // The tick the last popup showed.
    bool ShownTicked() { return desk.Menu().Popups().back().startChecked; }
    WindowHandle a_ = 0;
};

TEST_F(MenuTest, AnyButtonOpensTheMenuAsBuilt) {
    const auto& entries = desk.Menu().Entries();
    ASSERT_EQ(entries.size(), 6u);
    EXPECT_EQ(entries[2].caption, "Run at Startup");
    EXPECT_EQ(entries[2].kind, MenuItemKind::Check);
    for (MouseButton button : {MouseButton::Left, MouseButton::Right, MouseButton::Middle}) {
        desk.ClickBird(button);
        EXPECT_TRUE(desk.Menu().IsOpen());
        desk.DismissMenu();
    }
}

TEST_F(MenuTest, TheTickShowsTheRegistryAtEveryPopup) {
    Choose(MenuItem::RunAtStartup);
    EXPECT_FALSE(ShownTicked());
    EXPECT_TRUE(RunValue());
    desk.ClickBird(MouseButton::Right);
    EXPECT_TRUE(ShownTicked());
    desk.DismissMenu();

    // Other programs change it while the menu is closed.
    desk.Registry().DeleteKey(kRunKey);
    desk.Registry().CreateKeyPath(kRunKey);
    desk.ClickBird(MouseButton::Right);
    EXPECT_FALSE(ShownTicked());
    desk.DismissMenu();
    desk.Registry().SetString(kRunKey, "Tapperbird", "C:\\elsewhere.exe");
    Choose(MenuItem::RunAtStartup);
    EXPECT_TRUE(ShownTicked());
    EXPECT_FALSE(RunValue());
}

TEST_F(MenuTest, RunAtStartupFollowsTheTickItShowedNotAFreshRead) {
    desk.ClickBird(MouseButton::Left);
    ASSERT_FALSE(ShownTicked());
    // Another program registers us while the menu is open: the tick said "off", so this adds.
    desk.Registry().SetString(kRunKey, "Tapperbird", "C:\\elsewhere.exe");
    desk.Choose(MenuItem::RunAtStartup);
    EXPECT_TRUE(desk.Menu().IsChecked(MenuItem::RunAtStartup));
    ASSERT_TRUE(RunValue());

    desk.ClickBird(MouseButton::Left);
    ASSERT_TRUE(ShownTicked());
    desk.Registry().DeleteKey(kRunKey);
    desk.Registry().CreateKeyPath(kRunKey);
    desk.Choose(MenuItem::RunAtStartup);  // the tick said "on": remove, however it stands now
    EXPECT_FALSE(desk.Menu().IsChecked(MenuItem::RunAtStartup));
    EXPECT_FALSE(RunValue());
}

TEST_F(MenuTest, ARefusedKeyStillFlipsTheTickUntilTheNextPopup) {
    desk.Registry().DenyWriteAccess(kRunKey);
    Choose(MenuItem::RunAtStartup);
    EXPECT_FALSE(RunValue());
    EXPECT_TRUE(desk.Menu().IsChecked(MenuItem::RunAtStartup));
    EXPECT_TRUE(desk.Forms().MessageBoxes().empty()) << "a refused key is not reported";
    desk.ClickBird(MouseButton::Left);
    EXPECT_FALSE(ShownTicked());
}

TEST_F(MenuTest, DonationOpensTheMakersSiteAndExitEndsAtOnce) {
    Choose(MenuItem::Donate);
    EXPECT_EQ(desk.Shell().Opened(), std::vector<std::string>{TB_MAKER_URL});
    Choose(MenuItem::About);
    Choose(MenuItem::Exit);
    EXPECT_TRUE(desk.Forms().Ended());
    // The About window went without its unload: nothing restarted the bird's timers.
    EXPECT_FALSE(Bird().animationTimer->Enabled());
}

TEST_F(MenuTest, AnErrorInACommandIsShownOnceAndTheBirdCarriesOn) {
    desk.Raise(sim::SimCall::AboutCreate, "Not enough memory to create the window", 1);
    Choose(MenuItem::About);
    ExpectOneWarning("Not enough memory to create the window");
    EXPECT_TRUE(Bird().animationTimer->Enabled()) << "the load never ran";

    // The next try opens it; a browser that cannot be started says nothing.
    Choose(MenuItem::About);
    EXPECT_TRUE(desk.About().Shown());
    desk.Raise(sim::SimCall::ShellOpen, "No browser");
    EXPECT_TRUE(desk.ClickAbout(AboutControlId::ArtistLink));
    EXPECT_EQ(desk.Forms().MessageBoxes().size(), 1u);
}

using AboutTest = MenuTest;

TEST_F(AboutTest, OpeningPausesTheBirdOffTheRightEdge) {
    SetStep(3);
    Choose(MenuItem::About);
    ASSERT_TRUE(desk.About().Shown());
    EXPECT_EQ(desk.About().Text(AboutControlId::Version), "Version 1.0.0");
    EXPECT_FALSE(Bird().animationTimer->Enabled());
    EXPECT_FALSE(Bird().foregroundWatch->Enabled());
    EXPECT_EQ(Step(), 6);
    EXPECT_EQ(desk.Bird().WindowRect().Left, 1920);
    ASSERT_EQ(desk.Windows().TopmostCalls().size(), 1u);
    EXPECT_EQ(desk.Windows().TopmostCalls()[0].window, desk.About().Handle());
}

TEST_F(AboutTest, ChoosingAboutAgainOnlyBringsTheOpenWindowForward) {
    Choose(MenuItem::About);
    desk.Activate(a_);
    Bird().animationTimer->SetEnabled(true);  // a load would switch it off again
    Choose(MenuItem::About);
    EXPECT_EQ(desk.About().CreateCount(), 1);
    EXPECT_EQ(desk.About().ActivateCount(), 2);
    EXPECT_TRUE(Bird().animationTimer->Enabled());
    EXPECT_EQ(desk.Windows().TopmostCalls().size(), 2u) << "every activation lifts it";
}

TEST_F(AboutTest, ClosingResumesFromRestAndPicksUpAChangeMadeWhileOpen) {
    Choose(MenuItem::About);
    const WindowHandle b = desk.AddWindow({1000, 100, 1800, 900});
    desk.Activate(b);
    Wait(3000);
    EXPECT_EQ(State().targetWindow, a_);
    desk.CloseAbout();
    ASSERT_TRUE(desk.Step());  // the first tick after closing: still the old target, at rest
    EXPECT_EQ(LastFrame(), 1);
    EXPECT_EQ(LastPoint(), (Point{896, 275}));
    Wait(200);
    EXPECT_EQ(State().targetWindow, b);
    EXPECT_EQ(LastPoint().x, 1796);

    Choose(MenuItem::About);  // a new window, loaded again
    EXPECT_EQ(desk.About().CreateCount(), 2);
    EXPECT_FALSE(Bird().animationTimer->Enabled());
}

// About opens mid-peck, in the rest after a change of window: the countdown runs on while it is
// open, and the draw that started the peck still stands, so the bird pecks at once after it.
TEST_F(AboutTest, ClosingResumesTheCycleWithTheSettleAndPeckItHad) {
    // 9: a peck; 2: the perch height on the new window; 9 again only for a stray draw.
    desk.Random().Script({0.43f, 0.12f, 0.43f});
    SetStep(1);
    for (int tick = 0; tick < 3; ++tick) {  // the cycle ends and draws, rests, strikes
        Bird().OnAnimationTick();
    }
    ASSERT_EQ(LastFrame(), 2);
    OpenWindow({1000, 100, 1800, 900});
    Wait(150);  // adopted: three seconds of rest begin
    ASSERT_EQ(State().settleSeconds, 3);
    Choose(MenuItem::About);
    Wait(5000);
    desk.CloseAbout();
    const std::size_t from = desk.Bird().Presents().size();
    Wait(200);
    EXPECT_EQ(FramesSince(from), (std::vector<int>{1, 2}));
}

TEST_F(AboutTest, TheThreeLinksOpenTheirSitesAndNothingElseIsALink) {
    Choose(MenuItem::About);
    EXPECT_TRUE(desk.ClickAbout(AboutControlId::DonateButton));
    EXPECT_TRUE(desk.ClickAbout(AboutControlId::MakerLink));
    EXPECT_TRUE(desk.ClickAbout(AboutControlId::ArtistLink));
    for (AboutControlId id : {AboutControlId::Title, AboutControlId::Copyright,
                              AboutControlId::ArtistCredit, AboutControlId::Version}) {
        EXPECT_FALSE(desk.ClickAbout(id));
    }
    EXPECT_EQ(desk.Shell().Opened(),
              (std::vector<std::string>{TB_MAKER_URL, TB_MAKER_URL, TB_ARTIST_URL}));
}

}  // namespace
}  // namespace tb::test
