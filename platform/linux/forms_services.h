// What the forms runtimes of the Linux realisations share once they know their monitors.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "platform/forms_runtime.h"
#include "platform/linux/gtk_loader.h"

namespace tb::linux_desktop {

// The rectangle that holds every monitor; empty when there is none.
Rect BoundsOfMonitors(std::span<const Monitor> monitors);

// The GTK module's modal box; without the module, one line on stderr, so the message still
// reaches whoever reads the program's output.
void ShowMessageBox(GtkModuleLoader& gtk, std::string_view text, std::string_view title,
                    std::int32_t style);

}  // namespace tb::linux_desktop
