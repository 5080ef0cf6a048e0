// The active window on Hyprland, from its two sockets: the event socket says when the active
// window may have changed, and a short request on the other socket (one connection per request,
// as Hyprland serves them) reads it. While the active window floats, it is asked for each time
// its frame is wanted, since moving or resizing a floating window sends no event.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/linux/main_loop.h"
#include "platform/linux/unique_fd.h"
#include "platform/wayland/hyprland_ipc.h"
#include "platform/wayland/window_source.h"

namespace tb::linux_desktop::wayland {

class HyprlandWindowSource final : public WindowSource, public ConnectionWatch {
  public:
    // The folder of the instance's sockets: under $XDG_RUNTIME_DIR/hypr on current versions,
    // under /tmp/hypr before; empty for a signature that is no folder name.
    static std::string InstanceFolder(const char* runtimeDir, std::string_view signature);
    // Connects to the event socket in `folder`, reads the border width and the active window,
    // and waits up to `timeoutMs` for them; null, with the reason in `why`, when Hyprland does
    // not answer.
    static std::unique_ptr<HyprlandWindowSource> Connect(const std::string& folder, int timeoutMs,
                                                         std::string& why);
    // On a connected event socket and the path of the request socket (tests play Hyprland on
    // both); a floating window's frame waits up to `freshFrameMs` for Hyprland's answer.
    HyprlandWindowSource(UniqueFd events, std::string requestPath, int freshFrameMs = 40);

    // Asks for the border width and the active window, and waits for them as Connect does.
    bool Start(int timeoutMs, std::string& why);
    void Attach(MainLoop& loop) override;
    int fd() const { return events_.get(); }

    void Poll() override {}
    void Refresh(WindowHandle window) override;
    WindowHandle Active() const override { return window_.address; }
    bool Frame(WindowHandle window, Rect& frame) const override;
    bool Visible(WindowHandle window) const override;

    // ConnectionWatch: reads both sockets, whichever woke the loop.
    bool PrepareToWait() override { return false; }
    bool EventsQueued() override { return false; }
    void DispatchEvents() override;

  private:
    enum class Ask { Nothing, Border, BorderDotted, Window };

    // The open request's connection, watched on its own so its reply wakes the loop.
    struct ReplyWatch final : ConnectionWatch {
        explicit ReplyWatch(HyprlandWindowSource& s) : source(s) {}
        bool PrepareToWait() override { return false; }
        bool EventsQueued() override { return false; }
        void DispatchEvents() override { source.DispatchEvents(); }
        HyprlandWindowSource& source;
    };

    // Sends the next request wanted, unless one is on its way.
    void SendNext();
    void Send(Ask ask);
    void ReadEvents();
    void ReadReply();
    // Reads replies until `done` holds, no request is left on its way, or `timeoutMs` pass;
    // false on the timeout.
    template <typename Done>
    bool AwaitReplies(Done done, int timeoutMs);
    void Settle(Ask ask);
    void CloseRequest();
    void Stop(const char* why);

    UniqueFd events_;
    UniqueFd request_;  // open while a request is on its way
    std::string requestPath_;
    int freshFrameMs_;
    MainLoop* loop_ = nullptr;
    ReplyWatch replyWatch_{*this};
    Ask asking_ = Ask::Nothing;
    bool wantBorder_ = false;
    bool wantWindow_ = false;
    std::string reply_;
    // The beginning of the event line being read, which names the event; the rest is dropped.
    std::array<char, 32> line_{};
    std::size_t lineLength_ = 0;
    HyprlandWindow window_;  // address 0: no window
    std::int32_t border_ = 0;
    bool windowSeen_ = false;
    std::string stopReason_ = "Hyprland's sockets closed";
};

}  // namespace tb::linux_desktop::wayland
