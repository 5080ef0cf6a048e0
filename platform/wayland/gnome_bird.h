// The bird and its menu on GNOME: both drawn by our Shell extension, told over the session bus
// only when what is shown changes.
#pragma once

#include <string>
#include <vector>

#include "platform/bird_surface.h"
#include "platform/menu.h"
#include "platform/wayland/gnome_shell.h"

namespace tb::linux_desktop::wayland {

// The bird's handle: never a window id the Shell reports.
inline constexpr WindowHandle kGnomeBirdHandle = 0x7fff'ffff'0000'0001;

class GnomeBirdSurface final : public BirdSurface, private ShellPressTarget {
  public:
    GnomeBirdSurface(GnomeShellLink& link, float twipsPerPixelX, float twipsPerPixelY);

    void SetEvents(BirdSurfaceEvents* events) override { events_ = events; }
    WindowHandle Handle() const override { return kGnomeBirdHandle; }
    void SetCaption(std::string_view) override {}
    void SetSizeTwips(std::int32_t widthTwips, std::int32_t heightTwips) override;
    void MoveTwips(std::int32_t leftTwips, std::int32_t topTwips) override;
    std::int32_t HeightTwips() const override;
    std::int32_t GetExtendedStyle() override { return exStyle_; }
    void SetExtendedStyle(std::int32_t style) override { exStyle_ = style; }
    void Show() override {}
    // Tells the Shell only what changed; out of sight on every monitor, the bird is hidden.
    void Present(int frameIndex, int scale, Point topLeft, Size size) override;

  private:
    void OnShellPress(unsigned button, int x, int y) override;

    GnomeShellLink& link_;
    float tppX_;
    float tppY_;
    BirdSurfaceEvents* events_ = nullptr;
    std::int32_t exStyle_ = 0;
    Size size_{};
    Point position_{};
    // What the Shell shows: frame 0 when hidden.
    int shownFrame_ = 0;
    int shownScale_ = 0;
    Point shownAt_{};
    Size shownSize_{};
};

// The bird's menu as the Shell's own popup menu, built from our items each time it opens; the
// item chosen comes back over the bus.
class GnomePopupMenu final : public PopupMenu, private MenuEvents {
  public:
    explicit GnomePopupMenu(GnomeShellLink& link) : link_(link) { link_.SetMenuEvents(this); }
    ~GnomePopupMenu() override { link_.SetMenuEvents(nullptr); }
    GnomePopupMenu(const GnomePopupMenu&) = delete;
    GnomePopupMenu& operator=(const GnomePopupMenu&) = delete;

    void SetEvents(MenuEvents* events) override { events_ = events; }
    void Build(std::span<const MenuEntry> entries) override;
    void SetChecked(MenuItem item, bool checked) override;
    bool IsChecked(MenuItem item) const override;
    void Popup() override;

  private:
    void OnMenuCommand(MenuItem item) override;

    GnomeShellLink& link_;
    MenuEvents* events_ = nullptr;
    std::vector<GnomeShellLink::MenuLine> lines_;
};

}  // namespace tb::linux_desktop::wayland
