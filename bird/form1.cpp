// The bird window: load, presentation with perch placement, animation and foreground tracking.
#include "bird/form1.h"

#include <cstdint>

#include "assets/assets.h"
#include "platform/units.h"
#include "settings/module3.h"
#include "shell/module2.h"

namespace tb {

namespace {

inline constexpr std::int32_t kTimer1IntervalMs = 100;
inline constexpr std::int32_t kTimer2IntervalMs = 100;
inline constexpr std::int32_t kSettleIntervalMs = 1000;
inline constexpr std::int32_t kSettleSeconds = 3;
inline constexpr std::int32_t kPictureBorder = 2;  // around the picture inside Picture1

// A frame length as the picture stores it (HIMETRIC) and as the runtime hands it back, so the
// frame size follows the picture rather than a constant: 43 px at 120 DPI are 910 units, 43 again.
std::int32_t PictureLengthPixels(std::int32_t pixels, float twipsPerPixel) {
    const double dpi = DpiForTwipsPerPixel(twipsPerPixel);
    return RoundHalfEven(HimetricToPixels(PixelsToHimetric(pixels, dpi), dpi));
}

}  // namespace

Form1::Form1(Platform& platform, SharedState& state) : platform_(platform), state_(state) {
    Timer1 = platform_.forms.CreateTimer(kTimer1IntervalMs, [this] { Timer1_Timer(); });
    Timer2 = platform_.forms.CreateTimer(kTimer2IntervalMs, [this] { Timer2_Timer(); });
    TmrnewWinDelay =
        platform_.forms.CreateTimer(kSettleIntervalMs, [this] { TmrnewWinDelay_Timer(); });
}

std::int32_t Form1::Picture1WidthTwips() const {
    return PixelsToTwips(assets::kFrameWidth + 2 * kPictureBorder,
                         platform_.forms.TwipsPerPixelX());
}

std::int32_t Form1::Picture1HeightTwips() const {
    return PixelsToTwips(assets::kFrameHeight + 2 * kPictureBorder,
                         platform_.forms.TwipsPerPixelY());
}

void Form1::Form_Load() {
    BirdSurface& bird = platform_.bird;
    bird.SetSizeTwips(Picture1WidthTwips(), Picture1HeightTwips());
    bird.SetCaption("Tapperbird");
    const std::int32_t style = bird.GetExtendedStyle();
    bird.SetExtendedStyle(style | kWsExLayered);
    FrameWidth = PictureLengthPixels(assets::kFrameWidth, platform_.forms.TwipsPerPixelX());
    FrameHeight = PictureLengthPixels(assets::kFrameHeight, platform_.forms.TwipsPerPixelY());
    Timer1->SetEnabled(true);
    PeckNext = false;
}

void Form1::Timer1_Timer() {
    if (state_.SettleTicks != 0) {
        Picture1 = 1;
        PresentFrame();
        return;
    }
    AdvanceAnimation();
}

void Form1::AdvanceAnimation() {
    switch (state_.AnimState) {
        case 1:
            if (PeckNext) {
                Picture1 = 2;
                state_.AnimState = 2;
            } else {
                state_.AnimState = 6;  // keep the rest pose on show
            }
            break;
        case 2:
        case 3:
        case 4:
        case 5:
            Picture1 = state_.AnimState + 1;
            state_.AnimState += 1;
            break;
        case 6:
            Picture1 = 1;
            state_.AnimState = 1;
            break;
        default:
            state_.AnimState = 6;
            break;
    }
    // The presentation may draw a perch height; it comes before the peck draw of this tick.
    PresentFrame();
    if (state_.AnimState == 6) {
        LastRoll = Module2::RandomBetween(platform_.random, 1, 20);
        PeckNext = LastRoll == 9 || LastRoll == 18;
    }
}

void Form1::PresentFrame() {
    const Point topLeft = PerchPoint();
    platform_.bird.Present(Picture1, topLeft, Size{FrameWidth, FrameHeight});
}

Point Form1::PerchPoint() {
    FormsRuntime& forms = platform_.forms;
    if (state_.FirstShow) {
        // The screen size in twips, used as pixels: far beyond the desktop.
        state_.FirstShow = false;
        return Point{RoundHalfEven(forms.ScreenWidthTwips()),
                     RoundHalfEven(forms.ScreenHeightTwips())};
    }

    WindowSystem& windows = platform_.windows;
    Rect& target = state_.TargetRect;
    windows.GetWindowRect(state_.TargetWnd, target);  // a failure keeps the last good rectangle

    const double birdHeightPx = static_cast<double>(platform_.bird.HeightTwips()) /
                                static_cast<double>(forms.TwipsPerPixelY());
    // 64-bit so that a nonsense rectangle cannot overflow.
    const std::int64_t heightPx = static_cast<std::int64_t>(target.Bottom) - target.Top;
    const bool tallEnough = 1.5 * birdHeightPx < static_cast<double>(heightPx);
    const bool notItself = state_.TargetWnd != platform_.bird.Handle();
    const bool visible = windows.IsWindowVisible(state_.TargetWnd);

    if (!(tallEnough && notItself && visible)) {
        // Just past the bottom-right corner of every monitor, so out of sight on any of them.
        // NewTarget stays set: the height is drawn on the first frame that perches.
        const Rect desktop = forms.DesktopBounds();
        return Point{desktop.Right, desktop.Bottom};
    }

    // The claws grip the edge 4 px inside it, unless that edge is the screen's own.
    const double screenWidthPx =
        forms.ScreenWidthTwips() / static_cast<double>(forms.TwipsPerPixelX());
    const std::int32_t x =
        screenWidthPx == static_cast<double>(target.Right)
            ? target.Right
            : static_cast<std::int32_t>(static_cast<std::int64_t>(target.Right) - 4);

    const double h = static_cast<double>(heightPx);
    const double top = static_cast<double>(target.Top);
    double divisor = 4.0;
    if (state_.NewTarget) {
        LastRoll = Module2::RandomBetween(platform_.random, 1, 10);
        if (LastRoll % 2 != 0) {
            divisor = 3.0;  // one frame a third of the way down, then back to a quarter
        }
        state_.NewTarget = false;
    }
    return Point{x, RoundHalfEven(h / divisor + top)};
}

void Form1::Timer2_Timer() {
    ForegroundWnd = platform_.windows.GetForegroundWindow();
    if (ForegroundWnd == state_.TargetWnd) {
        return;
    }
    platform_.windows.GetWindowRect(ForegroundWnd, state_.TargetRect);
    state_.TargetWnd = ForegroundWnd;
    Module2::SetTopmost(platform_.windows, platform_.bird.Handle());
    state_.NewTarget = true;
    state_.SettleTicks = kSettleSeconds;
    TmrnewWinDelay->SetEnabled(true);
}

void Form1::TmrnewWinDelay_Timer() {
    if (state_.SettleTicks != 0) {
        state_.SettleTicks -= 1;
    } else {
        TmrnewWinDelay->SetEnabled(false);
    }
}

void Form1::OnMouseDown(MouseButton button, std::int16_t shift, float x, float y) {
    Module2::GuardEvent(platform_.forms,
                        [this, button, shift, x, y] { Form_MouseDown(button, shift, x, y); });
}

void Form1::Form_MouseDown(MouseButton, std::int16_t, float, float) {
    platform_.menu.SetChecked(MenuItem::Start,
                              Module3::StartupEntryExists(platform_.registry, platform_.forms));
    platform_.menu.Popup();
}

}  // namespace tb
