// The simulated desktop's own rules, which every scenario test relies on: timer order, the
// registry's result codes, windows that vanish, and activation.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "platform/sim/sim_desktop.h"

namespace tb::sim {
namespace {

// ---- the virtual clock

class ClockTest : public ::testing::Test {
  protected:
    std::unique_ptr<Timer> Make(std::int32_t intervalMs, char name) {
        return desk.Forms().CreateTimer(intervalMs, [this, name] {
            fired.push_back(std::string(1, name) + "@" + std::to_string(desk.Now()));
        });
    }
    SimDesktop desk;
    std::vector<std::string> fired;
};

TEST_F(ClockTest, TimersFireInDueOrderWithCreationOrderBreakingTies) {
    auto slow = Make(250, 's');
    auto a = Make(100, 'a');
    auto b = Make(100, 'b');
    b->SetEnabled(true);  // enabled first, but created after a
    a->SetEnabled(true);
    slow->SetEnabled(true);
    EXPECT_EQ(desk.RunFor(300), 7);
    EXPECT_EQ(fired, (std::vector<std::string>{"a@100", "b@100", "a@200", "b@200", "s@250", "a@300",
                                               "b@300"}));
    EXPECT_EQ(desk.Now(), 300);
}

TEST_F(ClockTest, EnablingKeepsARunningPeriodAndReEnablingRestartsIt) {
    auto t = Make(1000, 't');
    EXPECT_FALSE(t->Enabled()) << "created disabled";
    EXPECT_EQ(desk.RunFor(5000), 0);
    t->SetEnabled(true);  // due at 6000
    desk.RunFor(400);
    t->SetEnabled(true);  // still due at 6000
    desk.RunFor(700);
    t->SetEnabled(false);
    t->SetEnabled(true);  // due at 7100
    desk.RunFor(1000);
    EXPECT_EQ(fired, (std::vector<std::string>{"t@6000", "t@7100"}));
}

TEST_F(ClockTest, HandlersSwitchingTimersTakeEffectWithinTheSameInstant) {
    std::unique_ptr<Timer> victim;
    std::unique_ptr<Timer> self;
    auto killer = desk.Forms().CreateTimer(100, [&] {
        fired.push_back("k@" + std::to_string(desk.Now()));
        victim->SetEnabled(false);
    });
    victim = Make(100, 'v');
    // Re-armed inside its own tick: due one interval after that tick.
    self = desk.Forms().CreateTimer(300, [&] {
        fired.push_back("r@" + std::to_string(desk.Now()));
        self->SetEnabled(false);
        self->SetEnabled(true);
    });
    killer->SetEnabled(true);
    victim->SetEnabled(true);
    self->SetEnabled(true);
    desk.RunFor(100);
    killer->SetEnabled(false);
    desk.RunFor(500);
    EXPECT_EQ(fired, (std::vector<std::string>{"k@100", "r@300", "r@600"}));
}

TEST_F(ClockTest, MisuseFailsLoudlyAndEndProgramStopsEverything) {
    auto t = Make(100, 't');
    auto nested = desk.Forms().CreateTimer(100, [&] { desk.RunFor(10); });
    nested->SetEnabled(true);
    EXPECT_THROW(desk.RunFor(100), std::logic_error);
    nested.reset();
    EXPECT_THROW(desk.AdvanceTo(desk.Now() - 1), std::logic_error);

    t->SetEnabled(true);
    EXPECT_TRUE(desk.Step());
    EXPECT_EQ(desk.Now(), 200) << "Step jumps to the next due tick";
    desk.GetPlatform().forms.EndProgram();
    EXPECT_EQ(desk.RunFor(1000), 0);
    EXPECT_FALSE(t->Enabled());
    EXPECT_THROW(desk.ClickBird(MouseButton::Left), std::logic_error);
    EXPECT_EQ(fired, (std::vector<std::string>{"t@200"}));
}

// ---- the registry

TEST(SimRegistryTest, NamesIgnoreCaseAndHandlesAreChecked) {
    SimDesktop desk;
    Registry& reg = desk.GetPlatform().registry;
    KeyHandle key = 0;
    ASSERT_EQ(reg.CreateKey(kHkeyCurrentUser, "Software\\Acme\\App", key), kErrorSuccess);
    EXPECT_EQ(reg.SetStringValue(key, "Name", "v\xC3\xA9"), kErrorSuccess);
    EXPECT_EQ(reg.CloseKey(key), kErrorSuccess);
    EXPECT_EQ(reg.CloseKey(key), kErrorInvalidHandle);
    EXPECT_EQ(desk.Registry().GetValue("SOFTWARE\\acme\\APP", "nAME"),
              (RegValue{ValueType::Sz, {'v', 0xC3, 0xA9, 0}}));

    EXPECT_EQ(reg.CreateKey(0, "x", key), kErrorInvalidHandle);
    EXPECT_EQ(key, 0u);
    EXPECT_EQ(reg.OpenKeyEx("Software\\Nope", kKeyRead, key), kErrorFileNotFound);

    // A key deleted under an open handle leaves the handle stale, not dangling.
    ASSERT_EQ(reg.OpenKey("software\\acme\\app", key), kErrorSuccess);
    desk.Registry().DeleteKey("Software\\Acme");
    EXPECT_EQ(reg.DeleteValue(key, "Name"), SimRegistry::kErrorKeyDeleted);
    EXPECT_EQ(reg.CloseKey(key), kErrorSuccess);
}

TEST(SimRegistryTest, QueryFollowsTheSizeRules) {
    SimDesktop desk;
    Registry& reg = desk.GetPlatform().registry;
    desk.Registry().SetValue("K", "v", ValueType::Binary, {1, 2, 3, 4, 5});
    KeyHandle key = 0;
    ASSERT_EQ(reg.OpenKeyEx("K", kKeyRead, key), kErrorSuccess);
    std::array<std::uint8_t, 8> buf{};
    ValueType type = ValueType::Sz;
    std::uint32_t size = 0;

    EXPECT_EQ(reg.QueryValue(key, "v", type, buf.data(), 3, size), kErrorMoreData);
    EXPECT_EQ(size, 5u);
    EXPECT_EQ(type, ValueType::Binary);
    EXPECT_EQ(buf, (std::array<std::uint8_t, 8>{1, 2, 3, 0, 0, 0, 0, 0})) << "the part that fits";

    EXPECT_EQ(reg.QueryValue(key, "v", type, nullptr, 0, size), kErrorSuccess);
    EXPECT_EQ(reg.QueryValue(key, "v", type, buf.data(), 5, size), kErrorSuccess);
    EXPECT_EQ(reg.QueryValue(key, "missing", type, buf.data(), 8, size), kErrorFileNotFound);
    EXPECT_EQ(reg.SetStringValue(key, "w", "x"), kErrorAccessDenied) << "opened for reading";
    reg.CloseKey(key);

    ASSERT_EQ(reg.OpenKeyEx("K", kKeyWrite, key), kErrorSuccess);
    EXPECT_EQ(reg.QueryValue(key, "v", type, buf.data(), 8, size), kErrorAccessDenied)
        << "opened for writing";
    reg.CloseKey(key);
}

TEST(SimRegistryTest, RefusalsAndRaisesAreWhereTheyWereInjected) {
    SimDesktop desk;
    Registry& reg = desk.GetPlatform().registry;
    desk.Registry().CreateKeyPath("A\\Locked");
    desk.Registry().DenyWriteAccess("a\\locked");
    desk.Registry().DenyCreate("A\\Sealed");
    KeyHandle key = 0;

    EXPECT_EQ(reg.OpenKeyEx("A\\Locked", kKeyWrite, key), kErrorAccessDenied);
    EXPECT_EQ(reg.OpenKeyEx("A\\Locked", kKeyRead, key), kErrorSuccess);
    reg.CloseKey(key);
    ASSERT_EQ(reg.OpenKey("A\\Locked", key), kErrorSuccess) << "opened with what is allowed";
    EXPECT_EQ(reg.SetStringValue(key, "v", "x"), kErrorAccessDenied);
    reg.CloseKey(key);
    EXPECT_EQ(reg.OpenKeyEx("A", kKeyWrite, key), kErrorSuccess) << "only the named key";
    reg.CloseKey(key);

    EXPECT_EQ(reg.CreateKey(kHkeyCurrentUser, "A\\Sealed\\Deep", key), kErrorAccessDenied);
    EXPECT_FALSE(desk.Registry().KeyExists("A\\Sealed"));
    EXPECT_EQ(reg.CreateKey(kHkeyCurrentUser, "A\\Open", key), kErrorSuccess);
    reg.CloseKey(key);

    desk.Raise(SimCall::RegOpenKeyEx, "boom", 1);
    EXPECT_THROW(reg.OpenKeyEx("A", kKeyRead, key), std::runtime_error);
    EXPECT_EQ(reg.OpenKeyEx("A", kKeyRead, key), kErrorSuccess) << "raised once only";
    reg.CloseKey(key);
    EXPECT_EQ(desk.Registry().OpenHandleCount(), 0u);
}

// ---- windows, the bird and activation

TEST(SimWindowsTest, AClosedWindowFailsQueriesAndHandsTheForegroundBack) {
    SimDesktop desk;
    WindowSystem& ws = desk.GetPlatform().windows;
    const WindowHandle a = desk.AddWindow({0, 0, 800, 600});
    const WindowHandle b = desk.AddWindow({100, 100, 900, 700});
    desk.Activate(a);
    desk.Activate(b);
    desk.CloseWindow(b);
    Rect rect{1, 2, 3, 4};
    EXPECT_FALSE(ws.GetWindowRect(b, rect));
    EXPECT_EQ(rect, (Rect{1, 2, 3, 4})) << "left untouched";
    EXPECT_FALSE(ws.IsWindowVisible(b));
    EXPECT_EQ(ws.GetForegroundWindow(), a);

    // Gone between the program's two calls.
    desk.CloseWindowBefore(WindowCall::GetWindowRect, a);
    EXPECT_EQ(ws.GetForegroundWindow(), a);
    EXPECT_FALSE(ws.GetWindowRect(a, rect));
    EXPECT_EQ(ws.GetForegroundWindow(), 0u);
    EXPECT_THROW(desk.CloseWindow(desk.Bird().Handle()), std::logic_error);
}

TEST(SimWindowsTest, OnlyTopmostWithoutNoActivateMakesTheBirdForeground) {
    SimDesktop desk;
    WindowSystem& ws = desk.GetPlatform().windows;
    const WindowHandle bird = desk.Bird().Handle();
    const WindowHandle editor = desk.AddWindow({0, 0, 800, 600});
    desk.Activate(editor);
    desk.GetPlatform().bird.Show();
    ws.MakeTopmost(bird, 0x53);
    EXPECT_EQ(ws.GetForegroundWindow(), editor);
    EXPECT_FALSE(desk.Windows().BirdEverActivated());
    EXPECT_TRUE(desk.Windows().IsTopmost(bird));
    ws.MakeTopmost(bird, 0x43);
    EXPECT_EQ(ws.GetForegroundWindow(), bird);
    EXPECT_TRUE(desk.Windows().BirdEverActivated());
    ASSERT_EQ(desk.Windows().TopmostCalls().size(), 2u);
    EXPECT_EQ(desk.Windows().TopmostCalls()[0].flags, 0x53u);
}

TEST(SimWindowsTest, BirdSizesConvertWithTiesToEven) {
    SimDesktop desk;
    BirdSurface& bird = desk.GetPlatform().bird;
    bird.SetSizeTwips(705, 1125);
    EXPECT_EQ(desk.Bird().WindowRect(), (Rect{0, 0, 47, 75}));
    EXPECT_EQ(bird.HeightTwips(), 1125);
    bird.Present(1, {10, 20}, {43, 71});
    EXPECT_EQ(bird.HeightTwips(), 1065) << "the real window height after a presentation";
    bird.MoveTwips(28800, -1);
    EXPECT_EQ(desk.Bird().WindowRect(), (Rect{1920, 0, 1963, 71}));

    desk.SetScreen(1920, 1080, 120);  // 12 twips per pixel
    EXPECT_EQ(bird.HeightTwips(), 852);
    bird.MoveTwips(30, 42);  // 2.5 and 3.5 pixels
    EXPECT_EQ(desk.Bird().WindowRect().Left, 2);
    EXPECT_EQ(desk.Bird().WindowRect().Top, 4);
    EXPECT_DOUBLE_EQ(desk.GetPlatform().forms.ScreenWidthTwips(), 23040.0);

    EXPECT_THROW(bird.Present(7, {0, 0}, {43, 71}), std::invalid_argument);
    desk.Bird().KeepAllPresents(false);
    bird.Present(6, {5, 6}, {43, 71});
    EXPECT_EQ(desk.Bird().Presents().size(), 1u) << "count-only mode logs nothing more";
    EXPECT_EQ(desk.Bird().PresentCount(), 2);
    EXPECT_EQ(desk.Bird().LastPresent()->frameIndex, 6);
}

TEST(SimWindowsTest, DesktopBoundsSpanEveryMonitor) {
    SimDesktop desk;
    EXPECT_EQ(desk.GetPlatform().forms.DesktopBounds(), (Rect{0, 0, 1920, 1080}));
    desk.AddMonitor({1920, -200, 3200, 824});
    EXPECT_EQ(desk.GetPlatform().forms.DesktopBounds(), (Rect{0, -200, 3200, 1080}));
}

// ---- the About view and the menu, as the user works them

class RecordingEvents : public AboutViewEvents, public MenuEvents {
  public:
    void OnActivate() override { log.push_back("activate"); }
    void OnUnload() override { log.push_back("unload"); }
    void OnClick(AboutControlId) override { log.push_back("click"); }
    void OnMenuCommand(MenuItem item) override {
        log.push_back("menu" + std::to_string(static_cast<int>(item)));
    }
    std::vector<std::string> log;
};

TEST(SimUserTest, AboutWindowActivatesOnceAndGivesTheForegroundBackWhenClosed) {
    SimDesktop desk;
    RecordingEvents events;
    AboutView& about = desk.GetPlatform().about;
    about.SetEvents(&events);
    const std::array<AboutControl, 2> controls{{
        {AboutControlId::Label5,
         AboutControlKind::Label,
         "plain",
         0,
         0,
         10,
         10,
         true,
         {},
         {},
         false},
        {AboutControlId::Label6, AboutControlKind::Label, "link", 0, 0, 10, 10, true, {}, {}, true},
    }};
    const WindowHandle editor = desk.AddWindow({0, 0, 800, 600});
    desk.Activate(editor);
    about.Create(AboutDesign{"About", 3600, 4425, controls});
    EXPECT_FALSE(desk.About().Shown());
    about.Show();
    about.Show();  // already active: no second activation
    EXPECT_TRUE(desk.About().Centred());
    EXPECT_EQ(desk.Windows().RectOf(about.Handle()), (Rect{840, 392, 1080, 687}));
    EXPECT_FALSE(desk.ClickAbout(AboutControlId::Label5));
    EXPECT_TRUE(desk.ClickAbout(AboutControlId::Label6));
    desk.Activate(editor);
    desk.ActivateAbout();
    desk.CloseAbout();
    EXPECT_EQ(about.Handle(), 0u);
    EXPECT_EQ(desk.GetPlatform().windows.GetForegroundWindow(), editor);
    EXPECT_EQ(events.log, (std::vector<std::string>{"activate", "click", "activate", "unload"}));
    EXPECT_THROW(desk.CloseAbout(), std::logic_error);
}

TEST(SimUserTest, MenuChoicesNeedAnOpenMenuAndACommand) {
    SimDesktop desk;
    RecordingEvents events;
    PopupMenu& menu = desk.GetPlatform().menu;
    menu.SetEvents(&events);
    const std::array<MenuEntry, 3> entries{{{MenuItem::About, MenuItemKind::Command, "About"},
                                            {MenuItem::Line1, MenuItemKind::Separator, "-"},
                                            {MenuItem::Start, MenuItemKind::Check, "Start"}}};
    menu.Build(entries);
    EXPECT_THROW(desk.Choose(MenuItem::About), std::logic_error);
    menu.SetChecked(MenuItem::Start, true);
    menu.Popup();
    EXPECT_THROW(desk.Choose(MenuItem::Line1), std::logic_error);
    desk.Choose(MenuItem::Start);
    EXPECT_TRUE(menu.IsChecked(MenuItem::Start)) << "choosing does not flip the mark";
    EXPECT_FALSE(desk.Menu().IsOpen());
    EXPECT_THROW(menu.SetChecked(MenuItem::Exit, true), std::logic_error);
    ASSERT_EQ(desk.Menu().Popups().size(), 1u);
    EXPECT_TRUE(desk.Menu().Popups()[0].startChecked);
    EXPECT_EQ(events.log, (std::vector<std::string>{"menu2"}));
}

TEST(SimUserTest, ScriptedRandomRunsOutLoudly) {
    SimDesktop desk;
    RandomSource& random = desk.GetPlatform().random;
    EXPECT_FLOAT_EQ(random.NextSingle(), 0.7055475f);
    desk.Random().Script({0.0f, 0.99f});
    EXPECT_EQ(random.NextSingle(), 0.0f);
    EXPECT_EQ(random.NextSingle(), 0.99f);
    EXPECT_THROW(random.NextSingle(), std::out_of_range);
    desk.Random().UseGenerator();
    EXPECT_FLOAT_EQ(random.NextSingle(), 0.5334240f) << "the generator carries on";
    EXPECT_EQ(desk.Random().Draws(), 4) << "a refused draw is no draw";
}

}  // namespace
}  // namespace tb::sim
