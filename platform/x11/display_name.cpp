#include "platform/x11/display_name.h"

#include <string_view>

namespace tb::linux_desktop::x11 {

std::string DisplayToOpen(int argc, const char* const* argv, const char* environment) {
    constexpr std::string_view kOption = "--display";
    const char* chosen = environment;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--") {
            break;
        }
        if (arg == kOption && i + 1 < argc) {
            chosen = argv[++i];
        } else if (arg.starts_with(kOption) && arg.size() > kOption.size() &&
                   arg[kOption.size()] == '=') {
            chosen = argv[i] + kOption.size() + 1;
        }
    }
    return chosen != nullptr ? chosen : "";
}

}  // namespace tb::linux_desktop::x11
