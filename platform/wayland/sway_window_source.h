// The active window on sway (and i3-compatible compositors), from their IPC socket: focus and
// workspace events say when to read the tree again; while the active window floats, the tree is
// read each time its frame is wanted, since moving a floating window sends no event.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/linux/main_loop.h"
#include "platform/linux/unique_fd.h"
#include "platform/wayland/sway_ipc.h"
#include "platform/wayland/window_source.h"

namespace tb::linux_desktop::wayland {

class SwayWindowSource final : public WindowSource, public ConnectionWatch {
  public:
    // Connects to the socket at `path`, asks for the news and the tree, and waits up to
    // `timeoutMs` for the tree; null, with the reason in `why`, when the compositor does not
    // answer as sway does.
    static std::unique_ptr<SwayWindowSource> Connect(const std::string& path, int timeoutMs,
                                                     std::string& why);
    // On a connected socket (tests hand it one end of a socket pair).
    explicit SwayWindowSource(UniqueFd socket);

    // Sends the subscription and the first request, then waits for the tree as Connect does.
    bool Start(int timeoutMs, std::string& why);
    // From now on the loop reads the socket.
    void Attach(MainLoop& loop) override;
    int fd() const { return socket_.get(); }

    void Poll() override {}
    void Refresh(WindowHandle window) override;
    WindowHandle Active() const override { return window_.id > 0 ? window_.id : 0; }
    bool Frame(WindowHandle window, Rect& frame) const override;
    bool Visible(WindowHandle window) const override;

    // ConnectionWatch
    bool PrepareToWait() override { return false; }
    bool EventsQueued() override { return false; }
    void DispatchEvents() override;

  private:
    // Reads what has arrived; false once the socket closed or spoke something else.
    bool ReadAvailable();
    void HandleMessages();
    void RequestTree();
    // Reads and handles news until `done` holds or `timeoutMs` pass; false on the timeout.
    template <typename Done>
    bool WaitUntil(Done done, int timeoutMs);
    void Stop(const char* why);

    UniqueFd socket_;
    MainLoop* loop_ = nullptr;
    SwayIpcReader reader_;
    SwayWindow window_;       // id 0: no window
    bool treeAsked_ = false;  // a get_tree is on its way
    bool stale_ = false;      // news came while it was: ask again on its reply
    bool treeSeen_ = false;
    std::string request_;  // the get_tree request, framed once
    std::string stopReason_ = "the IPC socket closed";
};

}  // namespace tb::linux_desktop::wayland
