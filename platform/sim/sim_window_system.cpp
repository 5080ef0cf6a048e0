// The simulated window system and the bird surface: windows, the foreground, the top-most band
// and the presentation log, and the helpers a test uses to open, move and close windows.
#include "platform/sim/sim_desktop.h"

#include <algorithm>
#include <stdexcept>

#include "platform/units.h"

namespace tb::sim {

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
    SimWindowSystem& windows = desk_.windows_;
    windows.Find(handle_)->visible = true;
    if (windows.foregroundOnShow_) {
        const WindowHandle taker = *windows.foregroundOnShow_;
        windows.foregroundOnShow_.reset();
        windows.birdEverActivated_ |= taker == handle_;
        windows.SetForeground(taker);
    }
}

void SimBirdSurface::Present(int frameIndex, int scale, Point topLeft, Size size) {
    if (frameIndex < 1 || frameIndex > 6) {
        throw std::invalid_argument("Present: frame index outside 1..6");
    }
    if (scale < 1) {
        throw std::invalid_argument("Present: scale below 1");
    }
    auto* w = desk_.windows_.Find(handle_);
    w->rect = Rect{topLeft.x, topLeft.y, topLeft.x + size.cx, topLeft.y + size.cy};
    lastPresent_ = PresentRecord{topLeft, size, frameIndex, desk_.now_, scale};
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

void SimDesktop::ForegroundOnBirdShow(WindowHandle window) {
    if (window != 0 && !windows_.Exists(window)) {
        throw std::logic_error("ForegroundOnBirdShow: no such window");
    }
    windows_.foregroundOnShow_ = window;
}

}  // namespace tb::sim
