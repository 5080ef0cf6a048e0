// The forms runtime on X11: the main loop's timers, the root window as the screen, RandR's
// monitors, Xft.dpi as the logical resolution, and the GTK module's message box.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "platform/forms_runtime.h"
#include "platform/linux/gtk_loader.h"
#include "platform/linux/main_loop.h"
#include "platform/x11/x11_session.h"

namespace tb::linux_desktop::x11 {

class X11FormsRuntime final : public FormsRuntime, private XEventHandler {
  public:
    // `desktopScale`: the whole-number scale the desktop asked for (GDK_SCALE), 1 when none.
    X11FormsRuntime(X11Session& session, MainLoop& loop, int desktopScale, GtkModuleLoader& gtk);
    ~X11FormsRuntime() override;
    X11FormsRuntime(const X11FormsRuntime&) = delete;
    X11FormsRuntime& operator=(const X11FormsRuntime&) = delete;

    std::unique_ptr<Timer> CreateTimer(std::int32_t intervalMs,
                                       std::function<void()> onTick) override;
    double ScreenWidthTwips() override;
    double ScreenHeightTwips() override;
    float TwipsPerPixelX() override { return twipsPerPixel_; }
    float TwipsPerPixelY() override { return twipsPerPixel_; }
    Rect DesktopBounds() override;
    // The desktop's scale: the larger of GDK_SCALE and Xft.dpi / 96.
    double Scale() const { return scale_; }
    std::span<const Monitor> Monitors() override { return monitors_; }
    std::string ProgramPath() override { return programPath_; }
    void MessageBox(std::string_view text, std::string_view title, std::int32_t style) override;
    [[noreturn]] void EndProgram() override;

  private:
    X11Session& session_;
    MainLoop& loop_;
    GtkModuleLoader& gtk_;
    // Reads every monitor again: at start and whenever RandR says they changed.
    void RefreshMonitors();
    void OnXEvent(const XEvent& event) override;

    int randrEventBase_ = -1;  // -1: no RandR; the root window is the one monitor

    float twipsPerPixel_;
    double scale_ = 1.0;             // the larger of GDK_SCALE and Xft.dpi / 96
    std::vector<Monitor> monitors_;  // in device pixels, the primary first
    std::string programPath_;
};

}  // namespace tb::linux_desktop::x11
