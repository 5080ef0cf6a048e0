// The bird and its menu, as our GNOME Shell extension shows them.
#include "platform/wayland/gnome_bird.h"

#include <cmath>

#include "assets/assets.h"

namespace tb::linux_desktop::wayland {

GnomeBirdSurface::GnomeBirdSurface(GnomeShellLink& link, float twipsPerPixelX, float twipsPerPixelY)
    : link_(link), tppX_(twipsPerPixelX), tppY_(twipsPerPixelY) {
    link_.SetPressTarget(this);
}

void GnomeBirdSurface::SetSizeTwips(std::int32_t widthTwips, std::int32_t heightTwips) {
    size_ = {static_cast<std::int32_t>(std::lround(widthTwips / tppX_)),
             static_cast<std::int32_t>(std::lround(heightTwips / tppY_))};
}

void GnomeBirdSurface::MoveTwips(std::int32_t leftTwips, std::int32_t topTwips) {
    const Point to{static_cast<std::int32_t>(std::lround(leftTwips / tppX_)),
                   static_cast<std::int32_t>(std::lround(topTwips / tppY_))};
    // A move shows at once, as a window's does, not at the next frame: the paused bird (About
    // open) is sent out of sight by a move alone.
    if (shownFrame_ > 0) {
        Present(shownFrame_, shownScale_, to, size_);
    } else {
        position_ = to;
    }
}

std::int32_t GnomeBirdSurface::HeightTwips() const {
    return static_cast<std::int32_t>(std::lround(size_.cy * tppY_));
}

void GnomeBirdSurface::Present(int frameIndex, int scale, Point topLeft, Size size) {
    if (frameIndex < 1 || frameIndex > assets::kFrameCount || scale < 1 || size.cx <= 0 ||
        size.cy <= 0) {
        return;
    }
    position_ = topLeft;
    size_ = size;
    const bool inSight = OutputFor(link_.outputs(), Rect{topLeft.x, topLeft.y, topLeft.x + size.cx,
                                                         topLeft.y + size.cy}) >= 0;
    if (!inSight) {
        if (shownFrame_ != 0) {
            link_.Hide();
            shownFrame_ = 0;
        }
        return;
    }
    if (frameIndex == shownFrame_ && scale == shownScale_ && topLeft == shownAt_ &&
        size == shownSize_) {
        return;
    }
    link_.Show(frameIndex, scale, topLeft, size);
    shownFrame_ = frameIndex;
    shownScale_ = scale;
    shownAt_ = topLeft;
    shownSize_ = size;
}

void GnomeBirdSurface::OnShellPress(unsigned button, int x, int y) {
    if (events_ == nullptr || shownFrame_ == 0) {
        return;
    }
    link_.SetLastPress({position_.x + x, position_.y + y, button, 0});
    const MouseButton pressed = button == 3   ? MouseButton::Right
                                : button == 2 ? MouseButton::Middle
                                              : MouseButton::Left;
    events_->OnMouseDown(pressed, 0, static_cast<float>(x) * tppX_, static_cast<float>(y) * tppY_);
}

void GnomePopupMenu::Build(std::span<const MenuEntry> entries) {
    lines_.clear();
    for (const MenuEntry& entry : entries) {
        lines_.push_back({entry.id, entry.kind, std::string(entry.caption), false});
    }
}

void GnomePopupMenu::SetChecked(MenuItem item, bool checked) {
    for (auto& line : lines_) {
        if (line.id == item) {
            line.checked = checked;
        }
    }
}

bool GnomePopupMenu::IsChecked(MenuItem item) const {
    for (const auto& line : lines_) {
        if (line.id == item) {
            return line.checked;
        }
    }
    return false;
}

void GnomePopupMenu::Popup() {
    const PressPlace press = link_.LastPress();
    link_.ShowMenu({press.rootX, press.rootY}, lines_);
}

void GnomePopupMenu::OnMenuCommand(MenuItem item) {
    // Only items this menu holds: the Shell's word is checked like any other.
    for (const auto& line : lines_) {
        if (line.id == item && line.kind != MenuItemKind::Separator && events_ != nullptr) {
            events_->OnMenuCommand(item);
            return;
        }
    }
}

}  // namespace tb::linux_desktop::wayland
