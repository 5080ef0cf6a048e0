// The forms runtime on Wayland: the main loop's timers, the compositor's outputs (on GNOME, the
// Shell's monitors) as the monitors, 96 DPI as the logical resolution, and the GTK module's
// message box. A compositor's outputs are in logical pixels, each one's own scale enlarging the
// bird's buffer, not the logic's numbers; the Shell's monitors are in their own pixels, where the
// logic enlarges the bird by each one's scale, as on X11.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "platform/forms_runtime.h"
#include "platform/linux/gtk_loader.h"
#include "platform/linux/main_loop.h"
#include "platform/wayland/bird_pixels.h"

namespace tb::linux_desktop::wayland {

class WaylandFormsRuntime final : public FormsRuntime {
  public:
    WaylandFormsRuntime(OutputList& outputs, MainLoop& loop, GtkModuleLoader& gtk);

    std::unique_ptr<Timer> CreateTimer(std::int32_t intervalMs,
                                       std::function<void()> onTick) override;
    double ScreenWidthTwips() override;
    double ScreenHeightTwips() override;
    float TwipsPerPixelX() override { return kTwipsPerPixel; }
    float TwipsPerPixelY() override { return kTwipsPerPixel; }
    Rect DesktopBounds() override;
    std::span<const Monitor> Monitors() override;
    std::string ProgramPath() override { return programPath_; }
    void MessageBox(std::string_view text, std::string_view title, std::int32_t style) override;
    [[noreturn]] void EndProgram() override;
    // Runs `leave` at the program's end, before the process goes.
    void AtEnd(std::function<void()> leave) { atEnd_ = std::move(leave); }

    static constexpr float kTwipsPerPixel = 15.0F;  // 1440 twips an inch over 96 pixels

  private:
    OutputList& outputs_;
    MainLoop& loop_;
    GtkModuleLoader& gtk_;
    std::string programPath_;
    std::vector<Monitor> monitors_;  // made again when the outputs change
    std::uint64_t monitorsEpoch_ = 0;
    std::function<void()> atEnd_;
};

}  // namespace tb::linux_desktop::wayland
