// The program's title and its one way of reporting an error: a warning box.
#pragma once

#include <exception>
#include <string_view>

#include "platform/forms_runtime.h"

namespace tb {

// The host's caption, the name of the Run value and the title of every message box.
constexpr std::string_view kApplicationTitle = "Tapperbird";

// A warning box (exclamation icon, one OK button) titled with the program's name.
void ShowError(FormsRuntime& forms, std::string_view description);

// Runs a user-event handler; an error it raises is shown, so it never escapes into the window
// system's event loop and ends the program.
template <typename Handler>
void GuardEvent(FormsRuntime& forms, Handler&& handler) {
    try {
        handler();
    } catch (const std::exception& e) {
        ShowError(forms, e.what());
    }
}

}  // namespace tb
