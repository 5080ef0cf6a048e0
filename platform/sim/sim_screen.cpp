// The simulated screen: its size, resolution and monitors.
#include "platform/sim/sim_desktop.h"

#include <algorithm>

#include "platform/units.h"

namespace tb::sim {

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

}  // namespace tb::sim
