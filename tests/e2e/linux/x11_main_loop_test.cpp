// The program's own main loop on a virtual clock: when timers tick and in which order, how long
// it sleeps, and how it hands the connection and the timers over to GLib's loop.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/linux/main_loop.h"

namespace tb::linux_desktop {
namespace {

// A clock that moves only by the waits the loop asks for.
class VirtualWaiter final : public LoopWaiter {
  public:
    std::int64_t NowUs() override { return nowUs; }
    std::uint32_t Wait(std::span<const int> fds, int timeoutMs) override {
        waits.push_back(timeoutMs);
        lastFd = fds.empty() ? -1 : fds.back();
        if (timeoutMs > 0) {
            nowUs += std::int64_t{timeoutMs} * 1000;
        }
        return std::exchange(readable, 0);
    }

    std::int64_t nowUs = 5'000'000;
    std::uint32_t readable = 0;  // bit i: the i-th watched connection
    int lastFd = -2;
    std::vector<int> waits;
};

class RecordingConnection final : public ConnectionWatch {
  public:
    explicit RecordingConnection(std::vector<std::string>& log, std::string name = "events")
        : log_(log), name_(std::move(name)) {}
    bool PrepareToWait() override { return queued; }
    bool EventsQueued() override { return queued; }
    void DispatchEvents() override {
        queued = false;
        log_.push_back(name_);
        if (onDispatch) {
            onDispatch();
        }
    }
    bool queued = false;
    std::function<void()> onDispatch;

  private:
    std::vector<std::string>& log_;
    std::string name_;
};

class RecordingGuest final : public GuestLoop {
  public:
    struct Added {
        std::uint32_t firstMs, intervalMs;
        TimerSink* sink;
    };
    void WatchConnection(int fd, ConnectionWatch&) override { watchedFd = fd; }
    void StopWatching(ConnectionWatch&) override { watchedFd = -1; }
    std::uint32_t AddTimer(std::uint32_t firstMs, std::uint32_t intervalMs,
                           TimerSink& sink) override {
        added.push_back({firstMs, intervalMs, &sink});
        return static_cast<std::uint32_t>(added.size());
    }
    void RemoveTimer(std::uint32_t id) override { removed.push_back(id); }
    void Run() override {}

    int watchedFd = -1;
    std::vector<Added> added;
    std::vector<std::uint32_t> removed;
};

class MainLoopTest : public ::testing::Test {
  protected:
    std::unique_ptr<Timer> MakeTimer(const std::string& name, int intervalMs) {
        return loop.CreateTimer(intervalMs, [this, name] {
            log.push_back(name + "@" + std::to_string((waiter.nowUs - 5'000'000) / 1000));
        });
    }

    VirtualWaiter waiter;
    MainLoop loop{waiter};
    std::vector<std::string> log;
    RecordingConnection connection{log};
};

TEST_F(MainLoopTest, TimersTickAnIntervalApartAfterTheEventsInTheOrderSwitchedOn) {
    loop.WatchConnection(7, connection);
    auto fast = MakeTimer("fast", 100);
    auto slow = MakeTimer("slow", 300);
    auto late = MakeTimer("late", 100);
    slow->SetEnabled(true);
    fast->SetEnabled(true);
    waiter.nowUs += 50'000;  // switched on half a tick after the others
    late->SetEnabled(true);
    late->SetEnabled(true);  // switching on again does not restart the period

    // Nothing due and nothing queued: the loop sleeps until the first timer, on the connection.
    waiter.readable = 1;
    loop.RunOnce();
    EXPECT_EQ(waiter.lastFd, 7);
    EXPECT_EQ(waiter.waits.back(), 50);
    for (int round = 0; round < 5; ++round) {
        loop.RunOnce();
    }
    EXPECT_EQ(log, (std::vector<std::string>{"events", "fast@100", "late@150", "fast@200",
                                             "late@250", "slow@300", "fast@300", "late@350"}));

    // Queued events keep it awake; switching a timer off and on puts it after those that stayed.
    log.clear();
    slow->SetEnabled(false);
    fast->SetEnabled(false);
    fast->SetEnabled(true);
    connection.queued = true;
    loop.RunOnce();
    EXPECT_EQ(waiter.waits.back(), 0);
    loop.RunOnce();
    EXPECT_EQ(waiter.waits.back(), 100);
    EXPECT_EQ(log, (std::vector<std::string>{"events", "late@450", "fast@450"}));

    // A tick that switches off another timer due in the same round stops it.
    log.clear();
    auto stopper = loop.CreateTimer(100, [&] { late->SetEnabled(false); });
    fast->SetEnabled(false);
    stopper->SetEnabled(true);
    fast->SetEnabled(true);
    late->SetEnabled(false);
    late->SetEnabled(true);
    loop.RunOnce();
    EXPECT_EQ(log, (std::vector<std::string>{"fast@550"}));
    EXPECT_FALSE(late->Enabled());

    // With every timer off and no events the loop waits without a limit.
    stopper->SetEnabled(false);
    fast->SetEnabled(false);
    loop.RunOnce();
    EXPECT_EQ(waiter.waits.back(), -1);
}

TEST_F(MainLoopTest, SleepsUntilTheNextTickRoundedUpToAWholeMillisecond) {
    auto timer = MakeTimer("t", 100);
    timer->SetEnabled(true);
    waiter.nowUs += 40'500;
    loop.RunOnce();
    EXPECT_EQ(waiter.lastFd, -1);  // no connection to watch
    EXPECT_EQ(waiter.waits.back(), 60);
    EXPECT_EQ(log, (std::vector<std::string>{"t@100"}));
}

TEST_F(MainLoopTest, DispatchesOnlyTheConnectionsThatSpokeAndForgetsOneThatClosed) {
    RecordingConnection display(log, "display");
    RecordingConnection ipc(log, "ipc");
    loop.WatchConnection(7, display);
    loop.WatchConnection(8, ipc);
    // The socket hung up: its reader stops watching it while the round is still going.
    ipc.onDispatch = [&] { loop.StopWatching(ipc); };
    display.queued = true;
    waiter.readable = 0b10;
    loop.RunOnce();
    EXPECT_EQ(log, (std::vector<std::string>{"display", "ipc"}));
    // The closed socket is no longer waited on, so it cannot wake the loop round after round.
    waiter.readable = 0b11;
    loop.RunOnce();
    EXPECT_EQ(waiter.lastFd, 7);
    EXPECT_EQ(log, (std::vector<std::string>{"display", "ipc", "display"}));
}

TEST_F(MainLoopTest, HandsTheConnectionAndEachTimersTimeLeftOverInOrder) {
    loop.WatchConnection(9, connection);
    RecordingGuest guest;
    auto a = MakeTimer("a", 100);
    auto b = MakeTimer("b", 1000);
    auto off = MakeTimer("off", 100);
    b->SetEnabled(true);
    waiter.nowUs += 250'300;
    a->SetEnabled(true);
    waiter.nowUs += 30'000;

    loop.HandOver(guest);
    EXPECT_TRUE(loop.HandedOver());
    EXPECT_EQ(guest.watchedFd, 9);
    ASSERT_EQ(guest.added.size(), 2u);
    EXPECT_EQ(guest.added[0].firstMs, 720u);  // 1000 - 280.3, rounded up
    EXPECT_EQ(guest.added[0].intervalMs, 1000u);
    EXPECT_EQ(guest.added[1].firstMs, 70u);
    EXPECT_EQ(guest.added[1].intervalMs, 100u);

    // The guest runs them from now on; the program's loop no longer waits or dispatches.
    guest.added[1].sink->Fire();
    EXPECT_EQ(log, (std::vector<std::string>{"a@280"}));
    const std::size_t waits = waiter.waits.size();
    connection.queued = true;
    loop.RunOnce();
    EXPECT_EQ(waiter.waits.size(), waits);
    EXPECT_EQ(log.size(), 1u);

    // Switching timers on and off goes to the guest.
    off->SetEnabled(true);
    ASSERT_EQ(guest.added.size(), 3u);
    EXPECT_EQ(guest.added[2].firstMs, 100u);
    off->SetEnabled(false);
    b.reset();
    EXPECT_EQ(guest.removed, (std::vector<std::uint32_t>{3u, 1u}));
}

TEST_F(MainLoopTest, AHandOverDuringATickLeavesTheRestOfTheRoundToTheGuest) {
    RecordingGuest guest;
    int reentered = 0;
    std::unique_ptr<Timer> first = loop.CreateTimer(100, [&] {
        log.push_back("first");
        loop.HandOver(guest);
        // A modal box opened by this tick runs the guest's loop, which must not re-enter it.
        guest.added[0].sink->Fire();
        ++reentered;
    });
    auto second = MakeTimer("second", 100);
    first->SetEnabled(true);
    second->SetEnabled(true);
    loop.RunOnce();
    EXPECT_EQ(log, (std::vector<std::string>{"first"}));
    EXPECT_EQ(reentered, 1);
    ASSERT_EQ(guest.added.size(), 2u);
    EXPECT_EQ(guest.added[1].firstMs, 0u);  // due already: the guest ticks it at once
}

}  // namespace
}  // namespace tb::linux_desktop
