// Small desktop helpers shared by every form: lifting a window into the top-most band, drawing
// a random integer from a closed range, and handing an address to the user's default handler.
#pragma once

#include <cstdint>
#include <exception>
#include <string_view>

#include "platform/forms_runtime.h"
#include "platform/random_source.h"
#include "platform/shell.h"
#include "platform/window_system.h"

namespace tb::Module2 {

// Without SWP_NOACTIVATE the bird would become the foreground window, hide from itself and take
// the keyboard from whatever the user is typing in.
inline constexpr std::uint32_t kTopmostFlags =
    kSwpNoSize | kSwpNoMove | kSwpShowWindow | kSwpNoActivate;  // 0x53

// Puts `window` at the top of the top-most band and shows it, never activating it.
void SetTopmost(WindowSystem& windows, WindowHandle window);

// A value in [low, high]; the range must have a positive size that fits in 32 bits.
std::int32_t RandomBetween(RandomSource& random, std::int32_t low, std::int32_t high);

// Opens a document or web address; a target nobody accepts fails silently.
void OpenDocument(Shell& shell, std::string_view target);

// The program's one way of reporting an error: a warning box titled with the program's name.
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

}  // namespace tb::Module2
