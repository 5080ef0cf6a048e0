// Reads Xft.dpi out of the resource string without building an Xrm database.
#include "platform/x11/xft_dpi.h"

#include <cstdlib>
#include <string>

namespace tb::linux_desktop::x11 {
namespace {
constexpr double kMinDpi = 24.0;
constexpr double kMaxDpi = 960.0;
}  // namespace

double XftDpiFromResources(std::string_view resources) {
    while (!resources.empty()) {
        const auto eol = resources.find('\n');
        std::string_view line = resources.substr(0, eol);
        resources = eol == std::string_view::npos ? std::string_view{} : resources.substr(eol + 1);
        const auto first = line.find_first_not_of(" \t");
        if (first == std::string_view::npos) {
            continue;
        }
        line.remove_prefix(first);
        const auto colon = line.find(':');
        if (colon == std::string_view::npos) {
            continue;
        }
        std::string_view name = line.substr(0, colon);
        while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) {
            name.remove_suffix(1);
        }
        if (name != "Xft.dpi" && name != "*dpi" && name != "Xft*dpi") {
            continue;
        }
        const std::string value(line.substr(colon + 1));
        char* end = nullptr;
        const double dpi = std::strtod(value.c_str(), &end);
        if (end == value.c_str() || !(dpi >= kMinDpi && dpi <= kMaxDpi)) {
            return kDefaultDpi;
        }
        return dpi;
    }
    return kDefaultDpi;
}

}  // namespace tb::linux_desktop::x11
