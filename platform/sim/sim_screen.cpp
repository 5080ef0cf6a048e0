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
    Rect bounds = desk_.monitors_.front().bounds;
    for (const Monitor& m : desk_.monitors_) {
        bounds.Left = std::min(bounds.Left, m.bounds.Left);
        bounds.Top = std::min(bounds.Top, m.bounds.Top);
        bounds.Right = std::max(bounds.Right, m.bounds.Right);
        bounds.Bottom = std::max(bounds.Bottom, m.bounds.Bottom);
    }
    return bounds;
}

std::span<const Monitor> SimForms::Monitors() {
    return desk_.monitors_;
}

void SimDesktop::SetScreen(std::int32_t widthPixels, std::int32_t heightPixels, int dpi) {
    screenWidth_ = widthPixels;
    screenHeight_ = heightPixels;
    monitors_.front().bounds = Rect{0, 0, widthPixels, heightPixels};
    SetDpi(dpi, dpi);
}

void SimDesktop::SetDpi(int dpiX, int dpiY) {
    dpiX_ = dpiX;
    dpiY_ = dpiY;
    monitors_.front().scale = dpiX / 96.0;
}

void SimDesktop::AddMonitor(Rect bounds, double scale) {
    monitors_.push_back(Monitor{bounds, scale});
}

float SimDesktop::TppX() const {
    return TwipsPerPixelForDpi(dpiX_);
}

float SimDesktop::TppY() const {
    return TwipsPerPixelForDpi(dpiY_);
}

}  // namespace tb::sim
