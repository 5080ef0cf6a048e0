// The simulated desktop's rules that the scenario tests lean on without checking them: timer
// order and re-arming, the registry's result codes, and windows that vanish.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "platform/sim/sim_desktop.h"

namespace tb::sim {
namespace {

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
}

TEST_F(ClockTest, EnablingKeepsARunningPeriodAndReEnablingRestartsItEvenInItsOwnTick) {
    auto t = Make(1000, 't');
    EXPECT_EQ(desk.RunFor(5000), 0) << "created disabled";
    t->SetEnabled(true);  // due at 6000
    desk.RunFor(400);
    t->SetEnabled(true);  // still due at 6000
    desk.RunFor(700);
    t->SetEnabled(false);
    t->SetEnabled(true);  // due at 7100
    desk.RunFor(1000);
    std::unique_ptr<Timer> self = desk.Forms().CreateTimer(300, [&] {
        fired.push_back("r@" + std::to_string(desk.Now()));
        self->SetEnabled(false);
        self->SetEnabled(true);
    });
    self->SetEnabled(true);
    desk.RunFor(600);
    EXPECT_EQ(fired, (std::vector<std::string>{"t@6000", "t@7100", "r@7400", "r@7700"}));
}

TEST(SimRegistryTest, ResultCodesFollowNamesAccessAndSizes) {
    SimDesktop desk;
    Registry& reg = desk.GetPlatform().registry;
    KeyHandle key = 0;
    ASSERT_EQ(reg.CreateKey(kHkeyCurrentUser, "A\\App", key), kErrorSuccess);
    EXPECT_EQ(reg.SetStringValue(key, "Name", "abc"), kErrorSuccess);
    reg.CloseKey(key);
    EXPECT_EQ(reg.OpenKeyEx("A\\Nope", kKeyRead, key), kErrorFileNotFound);

    std::array<std::uint8_t, 4> buf{};
    ValueType type = ValueType::Binary;
    std::uint32_t size = 0;
    ASSERT_EQ(reg.OpenKeyEx("a\\app", kKeyRead, key), kErrorSuccess);
    EXPECT_EQ(reg.QueryValue(key, "name", type, buf.data(), 2, size), kErrorMoreData);
    EXPECT_EQ(size, 4u) << "the NUL is stored and counted";
    EXPECT_EQ(reg.QueryValue(key, "name", type, buf.data(), 4, size), kErrorSuccess);
    EXPECT_EQ(reg.SetStringValue(key, "w", "x"), kErrorAccessDenied) << "opened for reading";
    EXPECT_EQ(reg.CloseKey(key), kErrorSuccess);
}

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
}

}  // namespace
}  // namespace tb::sim
