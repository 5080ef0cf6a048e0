// The virtual clock and its timers: due-time order with a stable tie-break, never any sleeping;
// and the rest of the runtime: program identity, message boxes, the end of the program.
#include "platform/sim/sim_desktop.h"

#include <algorithm>
#include <cstdint>
#include <stdexcept>

namespace tb::sim {

// ---------------------------------------------------------------------------------------------
// Forms runtime and the virtual clock's timers

class SimForms::SimTimer final : public Timer {
  public:
    SimTimer(SimForms& forms, std::int32_t intervalMs, std::function<void()> onTick,
             std::uint64_t seq)
        : forms_(&forms), intervalMs_(intervalMs), onTick_(std::move(onTick)), seq_(seq) {}
    ~SimTimer() override {
        if (forms_ != nullptr) {
            auto& list = forms_->timers_;
            list.erase(std::remove(list.begin(), list.end(), this), list.end());
        }
    }
    SimTimer(const SimTimer&) = delete;
    SimTimer& operator=(const SimTimer&) = delete;

    void SetEnabled(bool enabled) override {
        if (enabled && !enabled_) {
            // A fresh start of the period; enabling a running timer leaves its period alone.
            dueMs_ = (forms_ != nullptr ? forms_->NowMs() : 0) + intervalMs_;
        }
        enabled_ = enabled;
    }
    bool Enabled() const override { return enabled_; }

    SimForms* forms_;
    std::int32_t intervalMs_;
    std::function<void()> onTick_;
    std::uint64_t seq_;
    bool enabled_ = false;
    TimeMs dueMs_ = 0;
};

SimForms::~SimForms() {
    for (SimTimer* t : timers_) {
        t->forms_ = nullptr;
    }
}

TimeMs SimForms::NowMs() const {
    return desk_.now_;
}

std::unique_ptr<Timer> SimForms::CreateTimer(std::int32_t intervalMs,
                                             std::function<void()> onTick) {
    auto timer = std::make_unique<SimTimer>(*this, intervalMs, std::move(onTick), nextTimerSeq_++);
    timers_.push_back(timer.get());
    return timer;
}

std::string SimForms::ProgramPath() {
    desk_.MaybeRaise(SimCall::ProgramPath);
    return desk_.programPath_;
}

void SimForms::MessageBox(std::string_view text, std::string_view title, std::int32_t style) {
    messageBoxes_.push_back(
        MessageBoxRecord{std::string(text), std::string(title), style, desk_.now_});
}

void SimForms::EndProgram() {
    desk_.EndProgramNow();
}

std::vector<TimerInfo> SimForms::Timers() const {
    std::vector<TimerInfo> out;
    out.reserve(timers_.size());
    for (const SimTimer* t : timers_) {
        out.push_back(TimerInfo{t->intervalMs_, t->enabled_, t->dueMs_});
    }
    return out;
}

namespace {
// Marks the clock as running for one call, also when a tick handler throws.
struct RunningGuard {
    explicit RunningGuard(bool& flag) : flag_(flag) {
        if (flag_) {
            throw std::logic_error("the virtual clock was advanced from inside a timer tick");
        }
        flag_ = true;
    }
    ~RunningGuard() { flag_ = false; }
    RunningGuard(const RunningGuard&) = delete;
    RunningGuard& operator=(const RunningGuard&) = delete;
    bool& flag_;
};

}  // namespace

SimForms::SimTimer* SimForms::NextDue(TimeMs limitMs) const {
    SimTimer* next = nullptr;
    for (SimTimer* t : timers_) {
        if (!t->enabled_ || t->intervalMs_ <= 0 || t->dueMs_ > limitMs) {
            continue;
        }
        if (next == nullptr || t->dueMs_ < next->dueMs_ ||
            (t->dueMs_ == next->dueMs_ && t->seq_ < next->seq_)) {
            next = t;
        }
    }
    return next;
}

void SimForms::Fire(SimTimer& timer) {
    desk_.now_ = timer.dueMs_;
    timer.dueMs_ = desk_.now_ + timer.intervalMs_;
    timer.onTick_();
}

int SimDesktop::AdvanceTo(TimeMs timeMs) {
    if (timeMs < now_) {
        throw std::logic_error("AdvanceTo: the virtual clock cannot go back");
    }
    RunningGuard guard(running_);
    int ticks = 0;
    while (!forms_.ended_) {
        SimForms::SimTimer* next = forms_.NextDue(timeMs);
        if (next == nullptr) {
            break;
        }
        ++ticks;
        forms_.Fire(*next);
    }
    now_ = timeMs;
    return ticks;
}

int SimDesktop::RunFor(TimeMs durationMs) {
    return AdvanceTo(now_ + durationMs);
}

bool SimDesktop::Step() {
    RunningGuard guard(running_);
    if (forms_.ended_) {
        return false;
    }
    SimForms::SimTimer* next = forms_.NextDue(INT64_MAX);
    if (next == nullptr) {
        return false;
    }
    forms_.Fire(*next);
    return true;
}

void SimDesktop::EndProgramNow() {
    forms_.ended_ = true;
    for (auto* t : forms_.timers_) {
        t->enabled_ = false;
    }
    // The process is gone: its windows go without any unload handler.
    if (about_.handle_ != 0) {
        about_.Destroy();
    }
    bird_.shown_ = false;
    if (auto* w = windows_.Find(bird_.handle_)) {
        w->visible = false;
    }
    menu_.open_ = false;
}

}  // namespace tb::sim
