// The desktop's bounds and the message box, for both Linux forms runtimes.
#include "platform/linux/forms_services.h"

#include <algorithm>
#include <cstdio>

namespace tb::linux_desktop {

Rect BoundsOfMonitors(std::span<const Monitor> monitors) {
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

void ShowMessageBox(GtkModuleLoader& gtk, std::string_view text, std::string_view title,
                    std::int32_t style) {
    if (GtkModule* module = gtk.Get(); module != nullptr) {
        module->MessageBox(text, title, style);
        return;
    }
    std::fprintf(stderr, "tapperbird: %.*s: %.*s\n", static_cast<int>(title.size()), title.data(),
                 static_cast<int>(text.size()), text.data());
}

}  // namespace tb::linux_desktop
