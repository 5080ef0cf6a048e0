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
        a_ = OpenWindow({100, 100, 900, 800});
        StartProgram();
        Wait(250);
    }
    bool RunValueExists() { return desk.Registry().GetValue(kRunKey, "Tapperbird").has_value(); }
    // The tick the last popup showed.
    bool ShownTicked() { return desk.Menu().Popups().back().startChecked; }
    void DeleteRunValueElsewhere() {
        UniqueKey key(desk.Registry());
        ASSERT_EQ(desk.Registry().OpenKeyEx(kRunKey, kKeyWrite, key.out()), kErrorSuccess);
        ASSERT_EQ(desk.Registry().DeleteValue(key.get(), "Tapperbird"), kErrorSuccess);
    }
    WindowHandle a_ = 0;
};

TEST_F(MenuTest, AnyButtonOpensTheMenuAsBuilt) {
    const auto& entries = desk.Menu().Entries();
    ASSERT_EQ(entries.size(), 6u);
    const std::string captions[] = {"About Tapperbird",  "-",   "Run at Startup", "-",
                                    "Donate via PayPal", "Exit"};
    for (std::size_t i = 0; i < entries.size(); ++i) {
        EXPECT_EQ(entries[i].caption, captions[i]);
    }
    EXPECT_EQ(entries[2].kind, MenuItemKind::Check);
    for (MouseButton button : {MouseButton::Left, MouseButton::Right, MouseButton::Middle}) {
        desk.ClickBird(button);
        EXPECT_TRUE(desk.Menu().IsOpen());
        desk.DismissMenu();
    }
    EXPECT_EQ(desk.Menu().Popups().size(), 3u);
}

TEST_F(MenuTest, TheTickShowsTheRegistryAtEveryPopup) {
    desk.ClickBird(MouseButton::Right);
    EXPECT_FALSE(ShownTicked());
    desk.Choose(MenuItem::Start);
    EXPECT_TRUE(RunValueExists());

    desk.ClickBird(MouseButton::Right);
    EXPECT_TRUE(ShownTicked());
    desk.DismissMenu();
    DeleteRunValueElsewhere();  // another program removes it while the menu is closed
    desk.ClickBird(MouseButton::Right);
    EXPECT_FALSE(ShownTicked());
    desk.DismissMenu();
    desk.Registry().SetString(kRunKey, "Tapperbird", "C:\\elsewhere.exe");
    desk.ClickBird(MouseButton::Left);
    EXPECT_TRUE(ShownTicked());
    desk.Choose(MenuItem::Start);
    EXPECT_FALSE(RunValueExists());
}

TEST_F(MenuTest, ARefusedKeyStillFlipsTheTickUntilTheNextPopup) {
    desk.Registry().DenyWriteAccess(kRunKey);
    desk.ClickBird(MouseButton::Left);
    desk.Choose(MenuItem::Start);
    EXPECT_FALSE(RunValueExists());
    EXPECT_TRUE(desk.Menu().IsChecked(MenuItem::Start));
    EXPECT_TRUE(desk.Forms().MessageBoxes().empty()) << "a refused key is not reported";
    desk.ClickBird(MouseButton::Left);
    EXPECT_FALSE(ShownTicked());
}

TEST_F(MenuTest, DonationOpensTheMakersSiteAndExitEndsAtOnce) {
    desk.ClickBird(MouseButton::Left);
    desk.Choose(MenuItem::Donation);
    EXPECT_EQ(desk.Shell().Opened(), std::vector<std::string>{TB_MAKER_URL});

    desk.ClickBird(MouseButton::Left);
    desk.Choose(MenuItem::About);
    desk.ClickBird(MouseButton::Left);
    desk.Choose(MenuItem::Exit);
    EXPECT_TRUE(desk.Forms().Ended());
    // The About window went without its unload: nothing restarted the bird's timers.
    EXPECT_FALSE(Bird().Timer1->Enabled());
    EXPECT_FALSE(RunValueExists());
}

TEST_F(MenuTest, AnErrorInACommandIsShownOnceAndTheBirdCarriesOn) {
    desk.Raise(sim::SimCall::AboutCreate, "Not enough memory to create the window", 1);
    desk.ClickBird(MouseButton::Left);
    desk.Choose(MenuItem::About);
    ASSERT_EQ(desk.Forms().MessageBoxes().size(), 1u);
    EXPECT_EQ(desk.Forms().MessageBoxes()[0].text, "Not enough memory to create the window");
    EXPECT_EQ(desk.Forms().MessageBoxes()[0].style, 48);
    EXPECT_TRUE(Bird().Timer1->Enabled()) << "the load never ran";
    const std::int64_t presents = desk.Bird().PresentCount();
    Wait(500);
    EXPECT_EQ(desk.Bird().PresentCount(), presents + 5);

    // The next try opens it; a browser that cannot be started says nothing.
    desk.ClickBird(MouseButton::Left);
    desk.Choose(MenuItem::About);
    EXPECT_TRUE(desk.About().Shown());
    desk.Raise(sim::SimCall::ShellOpen, "No browser");
    EXPECT_TRUE(desk.ClickAbout(AboutControlId::Label6));
    EXPECT_EQ(desk.Forms().MessageBoxes().size(), 1u);
}

class AboutTest : public MenuTest {
  protected:
    void OpenAbout() {
        desk.ClickBird(MouseButton::Left);
        desk.Choose(MenuItem::About);
    }
};

TEST_F(AboutTest, OpeningPausesTheBirdOffTheRightEdge) {
    State().AnimState = 3;
    OpenAbout();
    const sim::SimAboutView& about = desk.About();
    ASSERT_TRUE(about.Shown());
    EXPECT_EQ(about.Caption(), "About");
    EXPECT_EQ(about.Text(AboutControlId::lblversion), "Version 1.0.0");
    EXPECT_EQ(about.Text(AboutControlId::Label4), TB_MAKER_URL);
    EXPECT_FALSE(Bird().Timer1->Enabled());
    EXPECT_FALSE(Bird().Timer2->Enabled());
    EXPECT_EQ(State().AnimState, 6);
    EXPECT_EQ(desk.Bird().LeftTwips(), 28800);
    EXPECT_EQ(desk.Bird().WindowRect().Left, 1920);
    ASSERT_EQ(desk.Windows().TopmostCalls().size(), 1u);
    EXPECT_EQ(desk.Windows().TopmostCalls()[0].window, about.Handle());

    const std::int64_t presents = desk.Bird().PresentCount();
    Wait(5000);
    EXPECT_EQ(desk.Bird().PresentCount(), presents);
}

TEST_F(AboutTest, ChoosingAboutAgainOnlyBringsTheOpenWindowForward) {
    OpenAbout();
    desk.Activate(a_);
    Bird().Timer1->SetEnabled(true);  // a load would switch it off again
    OpenAbout();
    EXPECT_EQ(desk.About().CreateCount(), 1);
    EXPECT_EQ(desk.About().ShowCount(), 2);
    EXPECT_EQ(desk.About().ActivateCount(), 2);
    EXPECT_TRUE(Bird().Timer1->Enabled());
    EXPECT_EQ(desk.Windows().TopmostCalls().size(), 2u) << "every activation lifts it";
}

TEST_F(AboutTest, ClosingResumesFromRestAndPicksUpAChangeMadeWhileOpen) {
    OpenAbout();
    const WindowHandle b = desk.AddWindow({1000, 100, 1800, 900});
    desk.Activate(b);
    Wait(3000);
    EXPECT_EQ(State().TargetWnd, a_);
    desk.CloseAbout();
    EXPECT_TRUE(Bird().Timer1->Enabled());
    EXPECT_TRUE(Bird().Timer2->Enabled());
    ASSERT_TRUE(desk.Step());  // the first tick after closing: still the old target, at rest
    EXPECT_EQ(LastFrame(), 1);
    EXPECT_EQ(State().AnimState, 1);
    EXPECT_EQ(LastPoint(), (Point{896, 275}));
    Wait(200);
    EXPECT_EQ(State().TargetWnd, b);
    EXPECT_EQ(LastPoint().x, 1796);

    OpenAbout();  // a new window, loaded again
    EXPECT_EQ(desk.About().CreateCount(), 2);
    EXPECT_FALSE(Bird().Timer1->Enabled());
}

TEST_F(AboutTest, TheThreeLinksOpenTheirSitesAndNothingElseIsALink) {
    OpenAbout();
    EXPECT_TRUE(desk.ClickAbout(AboutControlId::Image1));
    EXPECT_TRUE(desk.ClickAbout(AboutControlId::Label4));
    EXPECT_TRUE(desk.ClickAbout(AboutControlId::Label6));
    for (AboutControlId id : {AboutControlId::Label1, AboutControlId::Label3,
                              AboutControlId::Label5, AboutControlId::lblversion}) {
        EXPECT_FALSE(desk.ClickAbout(id));
    }
    EXPECT_EQ(desk.Shell().Opened(),
              (std::vector<std::string>{TB_MAKER_URL, TB_MAKER_URL, TB_ARTIST_URL}));
}

}  // namespace
}  // namespace tb::test
