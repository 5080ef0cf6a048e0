// Small desktop helpers shared by every form.
#include "shell/module2.h"

#include <cmath>

namespace tb::Module2 {

void SetTopmost(WindowSystem& windows, WindowHandle window) {
    windows.MakeTopmost(window, kTopmostFlags);
}

std::int32_t RandomBetween(RandomSource& random, std::int32_t low, std::int32_t high) {
    const float r = random.NextSingle();  // [0, 1)
    const std::int32_t n = high - low + 1;
    // Widening r before the product keeps r just below 1 from rounding up to n.
    const double v = std::floor(static_cast<double>(r) * static_cast<double>(n));
    return static_cast<std::int32_t>(v) + low;
}

void OpenDocument(Shell& shell, std::string_view target) {
    try {
        shell.Open(target);
    } catch (const std::exception&) {
        // Nothing to tell the user that the browser would not have shown them.
    }
}

void ShowError(FormsRuntime& forms, std::string_view description) {
    forms.MessageBox(description, "Tapperbird", kMbOk | kMbIconExclamation);
}

}  // namespace tb::Module2
