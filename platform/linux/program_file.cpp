// /proc/self/exe, read once.
#include "platform/linux/program_file.h"

#include <limits.h>
#include <unistd.h>

namespace tb::linux_desktop {

std::string ReadProgramPath() {
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer);
    if (n > 0 && static_cast<std::size_t>(n) < sizeof buffer) {
        return std::string(buffer, static_cast<std::size_t>(n));
    }
    return {};
}

}  // namespace tb::linux_desktop
