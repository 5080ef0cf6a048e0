// The bird window: load, presentation with perch placement, animation and foreground tracking.
#include "bird/bird_window.h"

#include <cstdint>

#include "assets/assets.h"
#include "platform/units.h"
#include "desktop/error_box.h"
#include "desktop/monitors.h"
#include "desktop/random_between.h"
#include "desktop/topmost.h"
#include "settings/startup_entry.h"

namespace tb {

namespace {

inline constexpr std::int32_t kAnimationIntervalMs = 100;
inline constexpr std::int32_t kForegroundPollIntervalMs = 100;
inline constexpr std::int32_t kSettleIntervalMs = 1000;
inline constexpr std::int32_t kSettleSeconds = 3;
inline constexpr std::int32_t kPictureBorder = 2;  // around the frame inside the window

// A frame length as the picture stores it (HIMETRIC) and as the runtime hands it back, so the
// frame size follows the picture rather than a constant: 43 px at 120 DPI are 910 units, 43 again.
std::int32_t PictureLengthPixels(std::int32_t pixels, float twipsPerPixel) {
    const double dpi = DpiForTwipsPerPixel(twipsPerPixel);
    return RoundHalfEven(HimetricToPixels(PixelsToHimetric(pixels, dpi), dpi));
}

}  // namespace

BirdWindow::BirdWindow(Platform& platform, BirdState& state) : platform_(platform), state_(state) {
    animationTimer =
        platform_.forms.CreateTimer(kAnimationIntervalMs, [this] { OnAnimationTick(); });
    foregroundWatch =
        platform_.forms.CreateTimer(kForegroundPollIntervalMs, [this] { OnForegroundPoll(); });
    settleTimer = platform_.forms.CreateTimer(kSettleIntervalMs, [this] { OnSettleTick(); });
}

std::int32_t BirdWindow::WindowWidthTwips() const {
    return PixelsToTwips(assets::kFrameWidth + 2 * kPictureBorder,
                         platform_.forms.TwipsPerPixelX());
}

std::int32_t BirdWindow::WindowHeightTwips() const {
    return PixelsToTwips(assets::kFrameHeight + 2 * kPictureBorder,
                         platform_.forms.TwipsPerPixelY());
}

void BirdWindow::Load() {
    BirdSurface& bird = platform_.bird;
    bird.SetSizeTwips(WindowWidthTwips(), WindowHeightTwips());
    bird.SetCaption(kApplicationTitle);
    const std::int32_t style = bird.GetExtendedStyle();
    bird.SetExtendedStyle(style | kWsExLayered);
    frameWidth = PictureLengthPixels(assets::kFrameWidth, platform_.forms.TwipsPerPixelX());
    frameHeight = PictureLengthPixels(assets::kFrameHeight, platform_.forms.TwipsPerPixelY());
    animationTimer->SetEnabled(true);
    peckNext = false;
}

void BirdWindow::OnAnimationTick() {
    if (state_.settleSeconds != 0) {
        currentFrame = 1;
        PresentFrame();
        return;
    }
    AdvanceAnimation();
}

void BirdWindow::AdvanceAnimation() {
    using enum AnimationStep;
    AnimationStep& step = state_.animation;
    switch (step) {
        case Rest:
            if (peckNext) {
                currentFrame = 2;
                step = FirstStrike;
            } else {
                step = CycleEnd;  // keep the rest pose on show
            }
            break;
        case FirstStrike:
        case FirstRaise:
        case SecondStrike:
        case SecondRaise: {
            // Steps and frames share their numbers: the next step shows the next frame.
            const std::int32_t next = static_cast<std::int32_t>(step) + 1;
            currentFrame = next;
            step = static_cast<AnimationStep>(next);
            break;
        }
        case CycleEnd:
            currentFrame = 1;
            step = Rest;
            break;
        default:
            step = CycleEnd;
            break;
    }
    // The presentation may draw a perch height; it comes before the peck draw of this tick.
    PresentFrame();
    if (step == CycleEnd) {
        lastRoll = RandomBetween(platform_.random, 1, 20);
        peckNext = lastRoll == 9 || lastRoll == 18;
    }
}

void BirdWindow::PresentFrame() {
    const Point topLeft = PerchPoint();
    platform_.bird.Present(currentFrame, scale, topLeft,
                           Size{frameWidth * scale, frameHeight * scale});
}

Point BirdWindow::PerchPoint() {
    FormsRuntime& forms = platform_.forms;
    if (state_.firstShow) {
        // The screen size in twips, used as pixels: far beyond the desktop.
        state_.firstShow = false;
        const auto monitors = forms.Monitors();
        scale = monitors.empty() ? 1 : BirdScaleFor(monitors.front().scale);
        return Point{RoundHalfEven(forms.ScreenWidthTwips()),
                     RoundHalfEven(forms.ScreenHeightTwips())};
    }

    WindowSystem& windows = platform_.windows;
    Rect& target = state_.targetRect;
    windows.GetWindowRect(state_.targetWindow, target);  // a failure keeps the last good rectangle

    // The bird grows with the monitor the target is on; off every monitor it keeps its size.
    const std::span<const Monitor> monitors = forms.Monitors();
    const Monitor* home = MonitorOf(monitors, target);
    const int targetScale = home != nullptr ? BirdScaleFor(home->scale) : scale;

    // The window's height as last presented, in the target's scale.
    const double birdHeightPx = static_cast<double>(platform_.bird.HeightTwips()) /
                                static_cast<double>(forms.TwipsPerPixelY()) * targetScale / scale;
    // 64-bit so that a nonsense rectangle cannot overflow.
    const std::int64_t heightPx = static_cast<std::int64_t>(target.Bottom) - target.Top;
    const bool tallEnough = 1.5 * birdHeightPx < static_cast<double>(heightPx);
    const bool notItself = state_.targetWindow != platform_.bird.Handle();
    const bool visible = windows.IsWindowVisible(state_.targetWindow);

    if (!(tallEnough && notItself && visible)) {
        // Just past the bottom-right corner of every monitor, so out of sight on any of them.
        // newTarget stays set: the height is drawn on the first frame that perches.
        return HidingPlace(forms);
    }

    // The claws grip the edge 4 bird pixels inside it, unless that edge is the screen's own:
    // then the bird sits wholly beyond it, out of sight, and where another monitor would show
    // it there (a maximised window beside a second monitor), it hides instead.
    const double screenWidthPx =
        forms.ScreenWidthTwips() / static_cast<double>(forms.TwipsPerPixelX());
    const bool flushRight = screenWidthPx == static_cast<double>(target.Right) ||
                            EndsAtAMonitorsRightEdge(monitors, target);
    if (flushRight && AnyMonitorRightOf(monitors, target)) {
        return HidingPlace(forms);
    }
    scale = targetScale;
    const std::int32_t x =
        flushRight ? target.Right
                   : static_cast<std::int32_t>(static_cast<std::int64_t>(target.Right) - 4 * scale);

    const double h = static_cast<double>(heightPx);
    const double top = static_cast<double>(target.Top);
    double divisor = 4.0;
    if (state_.newTarget) {
        lastRoll = RandomBetween(platform_.random, 1, 10);
        if (lastRoll % 2 != 0) {
            divisor = 3.0;  // one frame a third of the way down, then back to a quarter
        }
        state_.newTarget = false;
    }
    return Point{x, RoundHalfEven(h / divisor + top)};
}

void BirdWindow::OnForegroundPoll() {
    lastForeground = platform_.windows.GetForegroundWindow();
    if (lastForeground == state_.targetWindow) {
        return;
    }
    platform_.windows.GetWindowRect(lastForeground, state_.targetRect);
    state_.targetWindow = lastForeground;
    SetTopmost(platform_.windows, platform_.bird.Handle());
    state_.newTarget = true;
    state_.settleSeconds = kSettleSeconds;
    settleTimer->SetEnabled(true);
}

void BirdWindow::OnSettleTick() {
    if (state_.settleSeconds != 0) {
        state_.settleSeconds -= 1;
    } else {
        settleTimer->SetEnabled(false);
    }
}

void BirdWindow::OnMouseDown(MouseButton, std::int16_t, float, float) {
    // Which button, the modifier keys and where on the bird do not matter.
    GuardEvent(platform_.forms, [this] { OpenMenu(); });
}

void BirdWindow::OpenMenu() {
    platform_.menu.SetChecked(MenuItem::RunAtStartup,
                              StartupEntry::Exists(platform_.registry, platform_.forms));
    platform_.menu.Popup();
}

}  // namespace tb
