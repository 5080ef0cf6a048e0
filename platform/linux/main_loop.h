// The program's main loop: the connections (the display server's, and on Wayland the compositor's
// window-information socket) and the timers. Until the GTK module is loaded it is poll(2) on the
// connections and the monotonic clock, so a bird nobody clicked maps no GLib; once GTK is up the
// connections and every timer move to GLib's main loop, which the module runs, so that GTK's
// menus and modal boxes and the bird share one loop.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

#include "platform/forms_runtime.h"

namespace tb::linux_desktop {

// The connection the loop waits on.
class ConnectionWatch {
  public:
    virtual ~ConnectionWatch() = default;
    // Sends what is buffered; true when events are already queued, so the loop must not sleep.
    virtual bool PrepareToWait() = 0;
    // True when events are queued (read along with a reply) without the socket saying so.
    virtual bool EventsQueued() = 0;
    // Reads and settles every event that has arrived.
    virtual void DispatchEvents() = 0;
};

// A timer as the loop that runs it sees it.
class TimerSink {
  public:
    virtual ~TimerSink() = default;
    virtual void Fire() = 0;
};

// GLib's main loop, as the GTK module offers it to take over from the program's own.
class GuestLoop {
  public:
    virtual ~GuestLoop() = default;
    virtual void WatchConnection(int fd, ConnectionWatch& watch) = 0;
    virtual void StopWatching(ConnectionWatch& watch) = 0;
    // A timer due in `firstMs`, then every `intervalMs` after each tick; returns its id.
    virtual std::uint32_t AddTimer(std::uint32_t firstMs, std::uint32_t intervalMs,
                                   TimerSink& sink) = 0;
    virtual void RemoveTimer(std::uint32_t id) = 0;
    // Runs the loop; returns only if something quits it.
    virtual void Run() = 0;
};

// The clock and the wait, apart so the loop can be driven without a display or real time.
class LoopWaiter {
  public:
    virtual ~LoopWaiter() = default;
    // Monotonic microseconds.
    virtual std::int64_t NowUs() = 0;
    // Waits at most `timeoutMs` (-1: no limit) for any of `fds` to be readable or hung up;
    // returns the set of those that are, bit i for fds[i].
    virtual std::uint32_t Wait(std::span<const int> fds, int timeoutMs) = 0;
};

// poll(2) and CLOCK_MONOTONIC.
class PollWaiter final : public LoopWaiter {
  public:
    std::int64_t NowUs() override;
    std::uint32_t Wait(std::span<const int> fds, int timeoutMs) override;
};

class MainLoop {
  public:
    explicit MainLoop(LoopWaiter& waiter) : waiter_(waiter) {}
    MainLoop(const MainLoop&) = delete;
    MainLoop& operator=(const MainLoop&) = delete;

    // At most kMaxConnections at once; watching `watch` again replaces its descriptor.
    void WatchConnection(int fd, ConnectionWatch& watch);
    // A connection that closed: no longer waited on (a hung-up socket would wake every round).
    void StopWatching(ConnectionWatch& watch);
    static constexpr std::size_t kMaxConnections = 4;
    // A new, disabled timer. Like GLib's timeouts, an enabled timer is due an interval after it
    // was switched on, then an interval after each tick; timers due together tick in the order
    // they were last switched on, after the connection's events.
    std::unique_ptr<Timer> CreateTimer(std::int32_t intervalMs, std::function<void()> onTick);

    // One round: waits for the connection or the next timer, then dispatches what is due.
    void RunOnce();
    // Rounds until the guest takes over, then the guest's loop, for as long as the program runs.
    [[noreturn]] void Run();

    // Moves the connection and every timer to `guest`, each timer keeping the time it has left.
    void HandOver(GuestLoop& guest);
    bool HandedOver() const { return guest_ != nullptr; }

  private:
    class LoopTimer;

    // The earliest wait before a timer is due, in whole milliseconds rounded up; -1 for none.
    int TimeoutMs(std::int64_t nowUs) const;
    void FireDueTimers(std::int64_t nowUs);
    void Forget(LoopTimer* timer);
    bool IsWatched(const ConnectionWatch* watch) const;

    LoopWaiter& waiter_;
    // Fixed room, so a round allocates nothing.
    std::array<int, kMaxConnections> fds_{};
    std::array<ConnectionWatch*, kMaxConnections> watches_{};
    std::size_t connections_ = 0;
    GuestLoop* guest_ = nullptr;
    std::vector<LoopTimer*> timers_;
    std::uint64_t lastSwitchOn_ = 0;
};

}  // namespace tb::linux_desktop
