// Timers, the outputs as monitors, the program and message-box services on Wayland.
#include "platform/wayland/wayland_forms_runtime.h"

#include <unistd.h>

#include "platform/linux/forms_services.h"
#include "platform/linux/program_file.h"

namespace tb::linux_desktop::wayland {

WaylandFormsRuntime::WaylandFormsRuntime(OutputList& outputs, MainLoop& loop, GtkModuleLoader& gtk)
    : outputs_(outputs), loop_(loop), gtk_(gtk), programPath_(ReadProgramPath()) {
    Monitors();
}

std::unique_ptr<Timer> WaylandFormsRuntime::CreateTimer(std::int32_t intervalMs,
                                                        std::function<void()> onTick) {
    return loop_.CreateTimer(intervalMs, std::move(onTick));
}

std::span<const Monitor> WaylandFormsRuntime::Monitors() {
    // Made again only when an output came, went or changed; otherwise asking allocates nothing.
    if (monitorsEpoch_ != outputs_.outputsEpoch()) {
        monitorsEpoch_ = outputs_.outputsEpoch();
        monitors_.clear();
        const bool inPixels = outputs_.placesInPixels();
        for (const OutputPlace& place : outputs_.outputs()) {
            monitors_.push_back({place.bounds, inPixels ? static_cast<double>(place.scale) : 1.0});
        }
    }
    return monitors_;
}

double WaylandFormsRuntime::ScreenWidthTwips() {
    const auto monitors = Monitors();
    return monitors.empty() ? 0.0
                            : (monitors.front().bounds.Right - monitors.front().bounds.Left) *
                                  static_cast<double>(kTwipsPerPixel);
}

double WaylandFormsRuntime::ScreenHeightTwips() {
    const auto monitors = Monitors();
    return monitors.empty() ? 0.0
                            : (monitors.front().bounds.Bottom - monitors.front().bounds.Top) *
                                  static_cast<double>(kTwipsPerPixel);
}

Rect WaylandFormsRuntime::DesktopBounds() {
    return BoundsOfMonitors(Monitors());
}

void WaylandFormsRuntime::MessageBox(std::string_view text, std::string_view title,
                                     std::int32_t style) {
    ShowMessageBox(gtk_, text, title, style);
}

void WaylandFormsRuntime::EndProgram() {
    // At once: no handler runs, nothing is saved; the compositor drops the bird with the
    // connection.
    if (atEnd_) {
        atEnd_();
    }
    outputs_.Flush();
    ::_exit(0);
}

}  // namespace tb::linux_desktop::wayland
