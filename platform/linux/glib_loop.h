// GLib's main loop as the guest the program's loop hands over to once GTK is up.
#pragma once

#include <vector>

#include "platform/linux/main_loop.h"

namespace tb::linux_desktop {

class GlibLoop final : public GuestLoop {
  public:
    GlibLoop() = default;
    ~GlibLoop() override;
    GlibLoop(const GlibLoop&) = delete;
    GlibLoop& operator=(const GlibLoop&) = delete;

    void WatchConnection(int fd, ConnectionWatch& watch) override;
    void StopWatching(ConnectionWatch& watch) override;
    std::uint32_t AddTimer(std::uint32_t firstMs, std::uint32_t intervalMs,
                           TimerSink& sink) override;
    void RemoveTimer(std::uint32_t id) override;
    void Run() override;

  private:
    struct Connection {
        ConnectionWatch* watch;
        std::uint32_t source;
    };
    std::vector<Connection> connections_;
};

}  // namespace tb::linux_desktop
