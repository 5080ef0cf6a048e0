// What the window sources that speak to the compositor over a local socket share.
#pragma once

#include <cstdint>
#include <string>

#include "platform/linux/unique_fd.h"

namespace tb::linux_desktop::wayland {

// A stream socket connected to `path`, closed on exec and, when `nonBlocking`, never blocking;
// an empty one, with the reason in `why`, when it cannot be.
UniqueFd ConnectUnixSocket(const std::string& path, bool nonBlocking, std::string& why);

// Monotonic milliseconds, for the waits at start.
std::int64_t MonotonicMs();

}  // namespace tb::linux_desktop::wayland
