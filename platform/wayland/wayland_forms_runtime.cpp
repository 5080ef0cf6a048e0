// Timers, the outputs as monitors, the program and message-box services on Wayland.
#include "platform/wayland/wayland_forms_runtime.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "platform/linux/program_file.h"

namespace tb::wayland {

WaylandFormsRuntime::WaylandFormsRuntime(WaylandSession& session, x11::MainLoop& loop,
                                         x11::GtkModuleLoader& gtk)
    : session_(session), loop_(loop), gtk_(gtk), programPath_(x11::ReadProgramPath()) {
    Monitors();
}

std::unique_ptr<Timer> WaylandFormsRuntime::CreateTimer(std::int32_t intervalMs,
                                                        std::function<void()> onTick) {
    return loop_.CreateTimer(intervalMs, std::move(onTick));
}

std::span<const Monitor> WaylandFormsRuntime::Monitors() {
    // Made again only when an output came, went or changed; otherwise asking allocates nothing.
    if (monitorsEpoch_ != session_.outputsEpoch()) {
        monitorsEpoch_ = session_.outputsEpoch();
        monitors_.clear();
        for (const OutputPlace& place : session_.outputs()) {
            monitors_.push_back({place.bounds, 1.0});
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
    const auto monitors = Monitors();
    if (monitors.empty()) {
        return {};
    }
    Rect bounds = monitors.front().bounds;
    for (const Monitor& m : monitors) {
        bounds =
            Rect{std::min(bounds.Left, m.bounds.Left), std::min(bounds.Top, m.bounds.Top),
                 std::max(bounds.Right, m.bounds.Right), std::max(bounds.Bottom, m.bounds.Bottom)};
    }
    return bounds;
}

void WaylandFormsRuntime::MessageBox(std::string_view text, std::string_view title,
                                     std::int32_t style) {
    if (x11::GtkModule* module = gtk_.Get(); module != nullptr) {
        module->MessageBox(text, title, style);
        return;
    }
    // Without GTK the message still reaches whoever reads the program's output.
    std::fprintf(stderr, "tapperbird: %.*s: %.*s\n", static_cast<int>(title.size()), title.data(),
                 static_cast<int>(text.size()), text.data());
}

void WaylandFormsRuntime::EndProgram() {
    // At once: no handler runs, nothing is saved; the compositor drops the bird with the
    // connection.
    wl_display_flush(session_.display());
    ::_exit(0);
}

}  // namespace tb::wayland
