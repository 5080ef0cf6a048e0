// The program's own loop, and the hand-over to GLib's.
#include "platform/linux/main_loop.h"

#include <poll.h>
#include <time.h>

#include <algorithm>
#include <cerrno>
#include <limits>

namespace tb::linux_desktop {

std::int64_t PollWaiter::NowUs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

std::uint32_t PollWaiter::Wait(std::span<const int> fds, int timeoutMs) {
    std::array<pollfd, MainLoop::kMaxConnections> watched{};
    const std::size_t count = std::min(fds.size(), watched.size());
    for (std::size_t i = 0; i < count; ++i) {
        watched[i] = {fds[i], POLLIN, 0};
    }
    // EINTR: the caller's next round works out the time left.
    if (::poll(watched.data(), count, timeoutMs) <= 0) {
        return 0;
    }
    std::uint32_t ready = 0;
    for (std::size_t i = 0; i < count; ++i) {
        if ((watched[i].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
            ready |= 1U << i;
        }
    }
    return ready;
}

class MainLoop::LoopTimer final : public Timer, public TimerSink {
  public:
    LoopTimer(MainLoop& loop, std::int32_t intervalMs, std::function<void()> onTick)
        : loop_(loop),
          intervalMs_(static_cast<std::uint32_t>(std::max(intervalMs, 1))),
          onTick_(std::move(onTick)) {}
    ~LoopTimer() override {
        SetEnabled(false);
        loop_.Forget(this);
    }
    LoopTimer(const LoopTimer&) = delete;
    LoopTimer& operator=(const LoopTimer&) = delete;

    void SetEnabled(bool enabled) override {
        if (enabled == enabled_) {
            return;  // switching on again does not restart the period
        }
        enabled_ = enabled;
        if (enabled) {
            switchedOn_ = ++loop_.lastSwitchOn_;
            dueUs_ = loop_.waiter_.NowUs() + IntervalUs();
            if (loop_.guest_ != nullptr) {
                guestId_ = loop_.guest_->AddTimer(intervalMs_, intervalMs_, *this);
            }
        } else if (guestId_ != 0) {
            loop_.guest_->RemoveTimer(guestId_);
            guestId_ = 0;
        }
    }
    bool Enabled() const override { return enabled_; }

    // A tick never runs inside itself: a modal box opened by a tick runs a loop of its own, and
    // this timer waits for the tick that opened it to end, as a GLib source would.
    void Fire() override {
        if (running_) {
            return;
        }
        running_ = true;
        onTick_();
        running_ = false;
    }

    std::int64_t IntervalUs() const { return std::int64_t{intervalMs_} * 1000; }
    void MoveTo(GuestLoop& guest, std::int64_t nowUs) {
        const std::int64_t leftUs = std::max<std::int64_t>(dueUs_ - nowUs, 0);
        guestId_ =
            guest.AddTimer(static_cast<std::uint32_t>((leftUs + 999) / 1000), intervalMs_, *this);
    }

    std::int64_t dueUs_ = 0;
    std::uint64_t switchedOn_ = 0;

  private:
    MainLoop& loop_;
    std::uint32_t intervalMs_;
    std::function<void()> onTick_;
    bool enabled_ = false;
    bool running_ = false;
    std::uint32_t guestId_ = 0;
};

void MainLoop::WatchConnection(int fd, ConnectionWatch& watch) {
    std::size_t slot = 0;
    while (slot < connections_ && watches_[slot] != &watch) {
        ++slot;
    }
    if (slot == connections_) {
        if (connections_ == kMaxConnections) {
            return;  // the program watches a fixed few; more is a programming error
        }
        ++connections_;
    }
    fds_[slot] = fd;
    watches_[slot] = &watch;
    if (guest_ != nullptr) {
        guest_->WatchConnection(fd, watch);
    }
}

void MainLoop::StopWatching(ConnectionWatch& watch) {
    for (std::size_t i = 0; i < connections_; ++i) {
        if (watches_[i] == &watch) {
            for (std::size_t j = i + 1; j < connections_; ++j) {
                fds_[j - 1] = fds_[j];
                watches_[j - 1] = watches_[j];
            }
            --connections_;
            if (guest_ != nullptr) {
                guest_->StopWatching(watch);
            }
            return;
        }
    }
}

std::unique_ptr<Timer> MainLoop::CreateTimer(std::int32_t intervalMs,
                                             std::function<void()> onTick) {
    auto timer = std::make_unique<LoopTimer>(*this, intervalMs, std::move(onTick));
    timers_.push_back(timer.get());
    return timer;
}

bool MainLoop::IsWatched(const ConnectionWatch* watch) const {
    return std::find(watches_.begin(), watches_.begin() + static_cast<std::ptrdiff_t>(connections_),
                     watch) != watches_.begin() + static_cast<std::ptrdiff_t>(connections_);
}

void MainLoop::Forget(LoopTimer* timer) {
    std::erase(timers_, timer);
}

int MainLoop::TimeoutMs(std::int64_t nowUs) const {
    std::int64_t earliest = -1;
    for (const LoopTimer* timer : timers_) {
        if (timer->Enabled()) {
            const std::int64_t left = std::max<std::int64_t>(timer->dueUs_ - nowUs, 0);
            earliest = earliest < 0 ? left : std::min(earliest, left);
        }
    }
    if (earliest < 0) {
        return -1;
    }
    return static_cast<int>(
        std::min<std::int64_t>((earliest + 999) / 1000, std::numeric_limits<int>::max()));
}

void MainLoop::RunOnce() {
    if (guest_ != nullptr) {
        return;
    }
    std::uint32_t queued = 0;
    for (std::size_t i = 0; i < connections_; ++i) {
        if (watches_[i]->PrepareToWait()) {
            queued |= 1U << i;
        }
    }
    const int timeout = queued != 0 ? 0 : TimeoutMs(waiter_.NowUs());
    const std::uint32_t ready =
        queued | waiter_.Wait(std::span<const int>(fds_.data(), connections_), timeout);
    // A connection may stop being watched while another dispatches: walk a copy.
    const std::array<ConnectionWatch*, kMaxConnections> watches = watches_;
    const std::size_t count = connections_;
    for (std::size_t i = 0; i < count; ++i) {
        if ((ready & (1U << i)) != 0 && IsWatched(watches[i])) {
            watches[i]->DispatchEvents();
        }
    }
    FireDueTimers(waiter_.NowUs());
}

void MainLoop::FireDueTimers(std::int64_t nowUs) {
    // Each due timer once, oldest switch-on first; a tick may switch any timer off or on, and one
    // switched on during this round is not due yet.
    std::uint64_t after = 0;
    while (guest_ == nullptr) {
        LoopTimer* next = nullptr;
        for (LoopTimer* timer : timers_) {
            if (timer->Enabled() && timer->dueUs_ <= nowUs && timer->switchedOn_ > after &&
                (next == nullptr || timer->switchedOn_ < next->switchedOn_)) {
                next = timer;
            }
        }
        if (next == nullptr) {
            return;
        }
        after = next->switchedOn_;
        next->dueUs_ = nowUs + next->IntervalUs();
        next->Fire();
    }
}

void MainLoop::Run() {
    for (;;) {
        if (guest_ != nullptr) {
            guest_->Run();
        } else {
            RunOnce();
        }
    }
}

void MainLoop::HandOver(GuestLoop& guest) {
    if (guest_ != nullptr) {
        return;
    }
    guest_ = &guest;
    for (std::size_t i = 0; i < connections_; ++i) {
        guest.WatchConnection(fds_[i], *watches_[i]);
    }
    std::vector<LoopTimer*> order;
    for (LoopTimer* timer : timers_) {
        if (timer->Enabled()) {
            order.push_back(timer);
        }
    }
    std::sort(order.begin(), order.end(), [](const LoopTimer* a, const LoopTimer* b) {
        return a->switchedOn_ < b->switchedOn_;
    });
    const std::int64_t now = waiter_.NowUs();
    for (LoopTimer* timer : order) {
        timer->MoveTo(guest, now);
    }
}

}  // namespace tb::linux_desktop
