// The simulated desktop: windows, the bird surface, the virtual clock and the user-action helpers.
#include "platform/sim/sim_desktop.h"

#include <algorithm>
#include <cctype>
#include <stdexcept>

#include "platform/units.h"

namespace tb::sim {

bool NoCaseLess::operator()(std::string_view a, std::string_view b) const {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) <
               std::tolower(static_cast<unsigned char>(y));
    });
}

// ---------------------------------------------------------------------------------------------
// Window system

SimWindowSystem::Window* SimWindowSystem::Find(WindowHandle window) {
    for (auto& w : windows_) {
        if (w.handle == window) {
            return &w;
        }
    }
    return nullptr;
}

const SimWindowSystem::Window* SimWindowSystem::Find(WindowHandle window) const {
    for (const auto& w : windows_) {
        if (w.handle == window) {
            return &w;
        }
    }
    return nullptr;
}

WindowHandle SimWindowSystem::Add(Rect rect, bool visible) {
    const WindowHandle handle = nextHandle_;
    nextHandle_ += 0x10;
    windows_.push_back(Window{handle, rect, visible, false});
    return handle;
}

void SimWindowSystem::Remove(WindowHandle window) {
    const auto it = std::find_if(windows_.begin(), windows_.end(),
                                 [window](const Window& w) { return w.handle == window; });
    if (it == windows_.end()) {
        return;
    }
    windows_.erase(it);
    if (previousForeground_ == window) {
        previousForeground_ = 0;
    }
    if (foreground_ == window) {
        const WindowHandle heir = previousForeground_;
        foreground_ = 0;
        previousForeground_ = 0;
        SetForeground(heir);
    }
}

bool SimWindowSystem::SetForeground(WindowHandle window) {
    if (window != 0 && Find(window) == nullptr) {
        return false;
    }
    if (foreground_ == window) {
        return false;
    }
    previousForeground_ = foreground_;
    foreground_ = window;
    SimAboutView& about = desk_.about_;
    if (window != 0 && window == about.handle_) {
        ++about.activateCount_;
        if (about.events_ != nullptr) {
            about.events_->OnActivate();
        }
    }
    return true;
}

void SimWindowSystem::RunVanishHook(WindowCall call) {
    if (vanishBefore_ && vanishBefore_->first == call) {
        const WindowHandle doomed = vanishBefore_->second;
        vanishBefore_.reset();
        desk_.CloseWindow(doomed);
    }
}

WindowHandle SimWindowSystem::GetForegroundWindow() {
    return foreground_;
}

bool SimWindowSystem::GetWindowRect(WindowHandle window, Rect& rect) {
    RunVanishHook(WindowCall::GetWindowRect);
    const Window* w = Find(window);
    if (w == nullptr) {
        return false;
    }
    rect = w->rect;
    return true;
}

bool SimWindowSystem::IsWindowVisible(WindowHandle window) {
    RunVanishHook(WindowCall::IsWindowVisible);
    const Window* w = Find(window);
    return w != nullptr && w->visible;
}

void SimWindowSystem::MakeTopmost(WindowHandle window, std::uint32_t swpFlags) {
    topmostCalls_.push_back(TopmostRecord{window, swpFlags, desk_.now_});
    Window* w = Find(window);
    if (w == nullptr) {
        return;
    }
    w->topmost = true;
    if ((swpFlags & kSwpShowWindow) != 0) {
        w->visible = true;
        if (window == desk_.bird_.handle_) {
            desk_.bird_.shown_ = true;
        }
    }
    // SetWindowPos without SWP_NOACTIVATE activates the window it lifts.
    if ((swpFlags & kSwpNoActivate) == 0) {
        if (window == desk_.bird_.handle_) {
            birdEverActivated_ = true;
        }
        SetForeground(window);
    }
}

bool SimWindowSystem::Exists(WindowHandle window) const {
    return Find(window) != nullptr;
}

std::optional<Rect> SimWindowSystem::RectOf(WindowHandle window) const {
    const Window* w = Find(window);
    if (w == nullptr) {
        return std::nullopt;
    }
    return w->rect;
}

bool SimWindowSystem::IsTopmost(WindowHandle window) const {
    const Window* w = Find(window);
    return w != nullptr && w->topmost;
}

// ---------------------------------------------------------------------------------------------
// Bird surface

void SimBirdSurface::SetCaption(std::string_view caption) {
    desk_.MaybeRaise(SimCall::BirdSetCaption);
    caption_ = caption;
}

void SimBirdSurface::SetSizeTwips(std::int32_t widthTwips, std::int32_t heightTwips) {
    desk_.MaybeRaise(SimCall::BirdSetSizeTwips);
    auto* w = desk_.windows_.Find(handle_);
    w->rect.Right = w->rect.Left + TwipsToPixels(widthTwips, desk_.TppX());
    w->rect.Bottom = w->rect.Top + TwipsToPixels(heightTwips, desk_.TppY());
}

void SimBirdSurface::MoveTwips(std::int32_t leftTwips, std::int32_t topTwips) {
    auto* w = desk_.windows_.Find(handle_);
    const std::int32_t width = w->rect.Right - w->rect.Left;
    const std::int32_t height = w->rect.Bottom - w->rect.Top;
    w->rect.Left = TwipsToPixels(leftTwips, desk_.TppX());
    w->rect.Top = TwipsToPixels(topTwips, desk_.TppY());
    w->rect.Right = w->rect.Left + width;
    w->rect.Bottom = w->rect.Top + height;
}

Rect SimBirdSurface::WindowRect() const {
    return desk_.windows_.Find(handle_)->rect;
}

std::int32_t SimBirdSurface::HeightTwips() const {
    const Rect r = WindowRect();
    return PixelsToTwips(r.Bottom - r.Top, desk_.TppY());
}

std::int32_t SimBirdSurface::WidthTwips() const {
    const Rect r = WindowRect();
    return PixelsToTwips(r.Right - r.Left, desk_.TppX());
}

std::int32_t SimBirdSurface::LeftTwips() const {
    return PixelsToTwips(WindowRect().Left, desk_.TppX());
}

std::int32_t SimBirdSurface::TopTwips() const {
    return PixelsToTwips(WindowRect().Top, desk_.TppY());
}

void SimBirdSurface::SetExtendedStyle(std::int32_t style) {
    desk_.MaybeRaise(SimCall::BirdSetExtendedStyle);
    exStyle_ = style;
}

void SimBirdSurface::Show() {
    desk_.MaybeRaise(SimCall::BirdShow);
    shown_ = true;
    desk_.windows_.Find(handle_)->visible = true;
}

void SimBirdSurface::Present(int frameIndex, Point topLeft, Size size) {
    if (frameIndex < 1 || frameIndex > 6) {
        throw std::invalid_argument("Present: frame index outside 1..6");
    }
    auto* w = desk_.windows_.Find(handle_);
    w->rect = Rect{topLeft.x, topLeft.y, topLeft.x + size.cx, topLeft.y + size.cy};
    lastPresent_ = PresentRecord{topLeft, size, frameIndex, desk_.now_};
    ++presentCount_;
    if (keepAllPresents_) {
        presents_.push_back(lastPresent_);
    }
}

std::optional<PresentRecord> SimBirdSurface::LastPresent() const {
    if (presentCount_ == 0) {
        return std::nullopt;
    }
    return lastPresent_;
}

void SimBirdSurface::ClearPresentLog() {
    presents_.clear();
    presentCount_ = 0;
}

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

double SimForms::ScreenWidthTwips() {
    return static_cast<double>(desk_.screenWidth_) * static_cast<double>(desk_.TppX());
}

double SimForms::ScreenHeightTwips() {
    return static_cast<double>(desk_.screenHeight_) * static_cast<double>(desk_.TppY());
}

float SimForms::TwipsPerPixelX() {
    return desk_.TppX();
}
float SimForms::TwipsPerPixelY() {
    return desk_.TppY();
}

Rect SimForms::DesktopBounds() {
    Rect bounds{0, 0, desk_.screenWidth_, desk_.screenHeight_};
    for (const Rect& m : desk_.extraMonitors_) {
        bounds.Left = std::min(bounds.Left, m.Left);
        bounds.Top = std::min(bounds.Top, m.Top);
        bounds.Right = std::max(bounds.Right, m.Right);
        bounds.Bottom = std::max(bounds.Bottom, m.Bottom);
    }
    return bounds;
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

// ---------------------------------------------------------------------------------------------
// Shell, mutex, random

void SimShell::Open(std::string_view target) {
    desk_.MaybeRaise(SimCall::ShellOpen);
    opened_.emplace_back(target);
}

void SimMutex::Create(std::string_view name) {
    desk_.MaybeRaise(SimCall::MutexCreate);
    created_.emplace_back(name);
}

float SimRandom::NextSingle() {
    if (!scripted_) {
        ++draws_;
        return lcg_.NextSingle();
    }
    if (next_ >= script_.size()) {
        throw std::out_of_range("scripted random values exhausted");
    }
    ++draws_;
    return script_[next_++];
}

void SimRandom::Script(std::vector<float> values) {
    scripted_ = true;
    script_ = std::move(values);
    next_ = 0;
}

void SimRandom::UseGenerator() {
    scripted_ = false;
}

// ---------------------------------------------------------------------------------------------
// Menu

const SimMenu::Entry* SimMenu::Find(MenuItem item) const {
    for (const auto& e : entries_) {
        if (e.id == item) {
            return &e;
        }
    }
    return nullptr;
}

void SimMenu::Build(std::span<const MenuEntry> entries) {
    entries_.clear();
    for (const MenuEntry& e : entries) {
        entries_.push_back(Entry{e.id, e.kind, std::string(e.caption), false});
    }
    ++buildCount_;
}

void SimMenu::SetChecked(MenuItem item, bool checked) {
    auto* e = const_cast<Entry*>(Find(item));
    if (e == nullptr) {
        throw std::logic_error("SetChecked on a menu item that was never built");
    }
    e->checked = checked;
}

bool SimMenu::IsChecked(MenuItem item) const {
    const Entry* e = Find(item);
    return e != nullptr && e->checked;
}

void SimMenu::Popup() {
    popups_.push_back(PopupRecord{IsChecked(MenuItem::RunAtStartup), desk_.now_});
    open_ = true;
}

// ---------------------------------------------------------------------------------------------
// About view

void SimAboutView::Create(const AboutDesign& design) {
    desk_.MaybeRaise(SimCall::AboutCreate);
    if (handle_ != 0) {
        throw std::logic_error("the About window is already created");
    }
    handle_ = desk_.windows_.Add(Rect{}, false);
    caption_ = design.caption;
    clientWidthTwips_ = design.clientWidthTwips;
    clientHeightTwips_ = design.clientHeightTwips;
    controls_.clear();
    for (const AboutControl& c : design.controls) {
        controls_.push_back(Control{c.id, std::string(c.text), c.handCursor});
    }
    shown_ = false;
    centred_ = false;
    ++createCount_;
}

void SimAboutView::SetText(AboutControlId id, std::string_view text) {
    for (auto& c : controls_) {
        if (c.id == id) {
            c.text = text;
            return;
        }
    }
    throw std::logic_error("SetText on a control the About window does not have");
}

void SimAboutView::Show() {
    if (handle_ == 0) {
        throw std::logic_error("the About window is shown before it is created");
    }
    auto* w = desk_.windows_.Find(handle_);
    if (!centred_) {
        const std::int32_t width = TwipsToPixels(clientWidthTwips_, desk_.TppX());
        const std::int32_t height = TwipsToPixels(clientHeightTwips_, desk_.TppY());
        const std::int32_t left = (desk_.screenWidth_ - width) / 2;
        const std::int32_t top = (desk_.screenHeight_ - height) / 2;
        w->rect = Rect{left, top, left + width, top + height};
        centred_ = true;
    }
    w->visible = true;
    shown_ = true;
    ++showCount_;
    desk_.windows_.SetForeground(handle_);
}

std::string SimAboutView::Text(AboutControlId id) const {
    for (const auto& c : controls_) {
        if (c.id == id) {
            return c.text;
        }
    }
    return {};
}

bool SimAboutView::IsClickable(AboutControlId id) const {
    for (const auto& c : controls_) {
        if (c.id == id) {
            return c.handCursor;
        }
    }
    return false;
}

void SimAboutView::Destroy() {
    const WindowHandle doomed = handle_;
    handle_ = 0;
    shown_ = false;
    centred_ = false;
    controls_.clear();
    desk_.windows_.Remove(doomed);
}

// ---------------------------------------------------------------------------------------------
// The desktop

SimDesktop::SimDesktop()
    : windows_(*this),
      bird_(*this),
      forms_(*this),
      registry_(*this),
      shell_(*this),
      mutex_(*this),
      menu_(*this),
      about_(*this),
      platform_{windows_, bird_, forms_, registry_, shell_, mutex_, menu_, about_, random_} {
    bird_.handle_ = windows_.Add(Rect{}, false);
}

SimDesktop::~SimDesktop() = default;

void SimDesktop::SetScreen(std::int32_t widthPixels, std::int32_t heightPixels, int dpi) {
    screenWidth_ = widthPixels;
    screenHeight_ = heightPixels;
    dpiX_ = dpi;
    dpiY_ = dpi;
}

void SimDesktop::SetDpi(int dpiX, int dpiY) {
    dpiX_ = dpiX;
    dpiY_ = dpiY;
}

void SimDesktop::AddMonitor(Rect bounds) {
    extraMonitors_.push_back(bounds);
}

float SimDesktop::TppX() const {
    return TwipsPerPixelForDpi(dpiX_);
}
float SimDesktop::TppY() const {
    return TwipsPerPixelForDpi(dpiY_);
}

WindowHandle SimDesktop::AddWindow(Rect rect, bool visible) {
    return windows_.Add(rect, visible);
}

void SimDesktop::Activate(WindowHandle window) {
    if (window != 0 && !windows_.Exists(window)) {
        throw std::logic_error("Activate: no such window");
    }
    windows_.SetForeground(window);
}

void SimDesktop::SetForeground(WindowHandle window) {
    Activate(window);
}

void SimDesktop::MoveWindow(WindowHandle window, Rect rect) {
    auto* w = windows_.Find(window);
    if (w == nullptr) {
        throw std::logic_error("MoveWindow: no such window");
    }
    w->rect = rect;
}

void SimDesktop::SetVisible(WindowHandle window, bool visible) {
    auto* w = windows_.Find(window);
    if (w == nullptr) {
        throw std::logic_error("SetVisible: no such window");
    }
    w->visible = visible;
}

void SimDesktop::CloseWindow(WindowHandle window) {
    if (window == bird_.handle_) {
        throw std::logic_error("CloseWindow: the bird window lives as long as the program");
    }
    if (window == about_.handle_ && window != 0) {
        about_.Destroy();
        return;
    }
    windows_.Remove(window);
}

void SimDesktop::CloseWindowBefore(WindowCall call, WindowHandle window) {
    if (window == bird_.handle_) {
        throw std::logic_error("CloseWindowBefore: the bird window lives as long as the program");
    }
    windows_.vanishBefore_ = std::make_pair(call, window);
}

void SimDesktop::RequireRunning(const char* act) const {
    if (forms_.ended_) {
        throw std::logic_error(std::string(act) + ": the program has ended");
    }
}

void SimDesktop::ClickBird(MouseButton button) {
    RequireRunning("ClickBird");
    if (!bird_.shown_) {
        throw std::logic_error("ClickBird: the bird window is not shown");
    }
    if (bird_.events_ != nullptr) {
        bird_.events_->OnMouseDown(button, 0, 150.0f, 300.0f);
    }
}

void SimDesktop::Choose(MenuItem item) {
    RequireRunning("Choose");
    if (!menu_.open_) {
        throw std::logic_error("Choose: no menu is open");
    }
    const SimMenu::Entry* e = menu_.Find(item);
    if (e == nullptr || e->kind == MenuItemKind::Separator) {
        throw std::logic_error("Choose: not a command of the open menu");
    }
    menu_.open_ = false;
    if (menu_.events_ != nullptr) {
        menu_.events_->OnMenuCommand(item);
    }
}

void SimDesktop::DismissMenu() {
    if (!menu_.open_) {
        throw std::logic_error("DismissMenu: no menu is open");
    }
    menu_.open_ = false;
}

void SimDesktop::CloseAbout() {
    RequireRunning("CloseAbout");
    if (about_.handle_ == 0) {
        throw std::logic_error("CloseAbout: the About window is not open");
    }
    if (about_.events_ != nullptr) {
        about_.events_->OnUnload();
    }
    about_.Destroy();
}

void SimDesktop::ActivateAbout() {
    RequireRunning("ActivateAbout");
    if (about_.handle_ == 0) {
        throw std::logic_error("ActivateAbout: the About window is not open");
    }
    windows_.SetForeground(about_.handle_);
}

bool SimDesktop::ClickAbout(AboutControlId id) {
    RequireRunning("ClickAbout");
    if (about_.handle_ == 0 || !about_.shown_) {
        throw std::logic_error("ClickAbout: the About window is not open");
    }
    if (!about_.IsClickable(id)) {
        return false;
    }
    if (about_.events_ != nullptr) {
        about_.events_->OnClick(id);
    }
    return true;
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

void SimDesktop::Raise(SimCall call, std::string message, int times) {
    raises_[call] = RaiseRule{std::move(message), times};
}

void SimDesktop::ClearRaises() {
    raises_.clear();
}

void SimDesktop::MaybeRaise(SimCall call) {
    const auto it = raises_.find(call);
    if (it == raises_.end() || it->second.remaining == 0) {
        return;
    }
    if (it->second.remaining > 0) {
        --it->second.remaining;
    }
    throw std::runtime_error(it->second.message);
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

void SimDesktop::ReserveLogs(std::size_t entries) {
    bird_.ReservePresentLog(entries);
    windows_.topmostCalls_.reserve(entries);
}

}  // namespace tb::sim
