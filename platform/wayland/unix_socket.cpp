// Connecting to a compositor's IPC socket, and the clock its waits at start run on.
#include "platform/wayland/unix_socket.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <time.h>

#include <cerrno>
#include <cstring>

namespace tb::linux_desktop::wayland {

UniqueFd ConnectUnixSocket(const std::string& path, bool nonBlocking, std::string& why) {
    sockaddr_un address{};
    if (path.empty() || path.size() >= sizeof address.sun_path) {
        why = path.empty() ? "no IPC socket named" : "the IPC socket's path is too long";
        return {};
    }
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    UniqueFd socket(
        ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | (nonBlocking ? SOCK_NONBLOCK : 0), 0));
    if (!socket ||
        ::connect(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        why = "cannot connect to " + path + ": " + std::strerror(errno);
        return {};
    }
    return socket;
}

std::int64_t MonotonicMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

}  // namespace tb::linux_desktop::wayland
