// Hyprland's sockets: the event stream read line by line, and one short connection per request,
// never blocking the bird and never left open (Hyprland serves requests one at a time and waits
// on a connection left open).
#include "platform/wayland/hyprland_window_source.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/wayland/unix_socket.h"

namespace tb::linux_desktop::wayland {
namespace {

// An active-window reply is a kilobyte or two; past this it is a fault.
constexpr std::size_t kMaxReply = 1U << 20;
// A border wider than this is not one the bird should stand on.
constexpr std::int64_t kMaxBorder = 64;

const char* RequestText(int ask) {
    // Versions before the Lua configuration name options "section:option", later ones
    // "section.option": the first form is asked first, the second when it brings no number.
    static const char* const kTexts[] = {"", "j/getoption general:border_size",
                                         "j/getoption general.border_size", "j/activewindow"};
    return kTexts[ask];
}

}  // namespace

std::string HyprlandWindowSource::InstanceFolder(const char* runtimeDir,
                                                 std::string_view signature) {
    if (signature.empty() || signature.find('/') != std::string_view::npos || signature == "." ||
        signature == "..") {
        return {};
    }
    const std::string current =
        std::string(runtimeDir != nullptr ? runtimeDir : "") + "/hypr/" + std::string(signature);
    const std::string older = "/tmp/hypr/" + std::string(signature);
    return ::access((current + "/.socket2.sock").c_str(), F_OK) != 0 &&
                   ::access((older + "/.socket2.sock").c_str(), F_OK) == 0
               ? older
               : current;
}

std::unique_ptr<HyprlandWindowSource> HyprlandWindowSource::Connect(const std::string& folder,
                                                                    int timeoutMs,
                                                                    std::string& why) {
    UniqueFd events = ConnectUnixSocket(folder + "/.socket2.sock", true, why);
    if (!events) {
        return nullptr;
    }
    auto source =
        std::make_unique<HyprlandWindowSource>(std::move(events), folder + "/.socket.sock");
    if (!source->Start(timeoutMs, why)) {
        return nullptr;
    }
    return source;
}

HyprlandWindowSource::HyprlandWindowSource(UniqueFd events, std::string requestPath,
                                           int freshFrameMs)
    : events_(std::move(events)),
      requestPath_(std::move(requestPath)),
      freshFrameMs_(freshFrameMs) {
    ::fcntl(events_.get(), F_SETFL, ::fcntl(events_.get(), F_GETFL) | O_NONBLOCK);
    reply_.reserve(16 * 1024);
}

bool HyprlandWindowSource::Start(int timeoutMs, std::string& why) {
    wantBorder_ = true;
    wantWindow_ = true;
    SendNext();
    if (!AwaitReplies([this] { return windowSeen_; }, timeoutMs)) {
        why = "Hyprland does not answer on its request socket";
        return false;
    }
    if (!events_ || !windowSeen_) {
        why = stopReason_;
        return false;
    }
    return true;
}

void HyprlandWindowSource::Attach(MainLoop& loop) {
    loop_ = &loop;
    if (events_) {
        loop.WatchConnection(events_.get(), *this);
    }
    if (request_) {
        loop.WatchConnection(request_.get(), replyWatch_);
    }
}

template <typename Done>
bool HyprlandWindowSource::AwaitReplies(Done done, int timeoutMs) {
    const std::int64_t deadline = MonotonicMs() + timeoutMs;
    while (events_ && request_ && !done()) {
        const std::int64_t left = deadline - MonotonicMs();
        pollfd in{request_.get(), POLLIN, 0};
        if (left <= 0 || ::poll(&in, 1, static_cast<int>(left)) == 0) {
            return false;
        }
        ReadReply();
    }
    return true;
}

void HyprlandWindowSource::Refresh(WindowHandle window) {
    // Moving or resizing a floating window sends no event: its frame is asked for where it is
    // wanted, with a moment's wait for the answer (which otherwise comes as news), and never a
    // second time while a reply is on its way.
    if (window == 0 || window != window_.address || !window_.floating) {
        return;
    }
    if (!request_) {
        wantWindow_ = true;
        SendNext();
    }
    AwaitReplies([] { return false; }, freshFrameMs_);
}

bool HyprlandWindowSource::Frame(WindowHandle window, Rect& frame) const {
    if (window == 0 || window != window_.address) {
        return false;
    }
    // The border is drawn around the window's own rectangle, and not at all in fullscreen.
    const std::int32_t border = window_.fullscreen ? 0 : border_;
    frame = {window_.frame.Left - border, window_.frame.Top - border, window_.frame.Right + border,
             window_.frame.Bottom + border};
    return true;
}

bool HyprlandWindowSource::Visible(WindowHandle window) const {
    return window != 0 && window == window_.address && window_.visible;
}

void HyprlandWindowSource::DispatchEvents() {
    ReadEvents();
    if (request_) {
        ReadReply();
    }
}

void HyprlandWindowSource::SendNext() {
    if (!events_ || request_) {
        return;
    }
    if (wantBorder_) {
        wantBorder_ = false;
        Send(Ask::Border);
    } else if (wantWindow_) {
        wantWindow_ = false;
        Send(Ask::Window);
    }
}

void HyprlandWindowSource::Send(Ask ask) {
    std::string why;
    request_ = ConnectUnixSocket(requestPath_, true, why);
    const char* text = RequestText(static_cast<int>(ask));
    const auto length = static_cast<ssize_t>(std::strlen(text));
    // A few bytes on a fresh connection: the socket takes them at once or not at all.
    if (!request_ ||
        ::send(request_.get(), text, static_cast<std::size_t>(length), MSG_NOSIGNAL) != length) {
        request_.reset();
        Stop("Hyprland takes no requests");
        return;
    }
    asking_ = ask;
    reply_.clear();
    if (loop_ != nullptr) {
        loop_->WatchConnection(request_.get(), replyWatch_);
    }
}

void HyprlandWindowSource::ReadEvents() {
    // At most a quarter megabyte a round, so a compositor that floods the socket still leaves
    // the loop its timers; the rest waits for the next round.
    char chunk[16 * 1024];
    for (int round = 0; events_ && round < 16; ++round) {
        const ssize_t n = ::recv(events_.get(), chunk, sizeof chunk, 0);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            break;
        }
        if (n <= 0) {
            Stop(n == 0 ? "Hyprland closed its event socket" : std::strerror(errno));
            return;
        }
        for (const char c : std::string_view(chunk, static_cast<std::size_t>(n))) {
            if (c != '\n') {
                if (lineLength_ < line_.size()) {
                    line_[lineLength_++] = c;
                }
                continue;
            }
            const std::string_view line(line_.data(), lineLength_);
            if (MovesActiveWindow(line)) {
                wantWindow_ = true;
                wantBorder_ = wantBorder_ || line.starts_with("configreloaded>>");
            }
            lineLength_ = 0;
        }
    }
    SendNext();
}

void HyprlandWindowSource::ReadReply() {
    char chunk[16 * 1024];
    while (request_) {
        const ssize_t n = ::recv(request_.get(), chunk, sizeof chunk, 0);
        if (n > 0) {
            if (reply_.size() + static_cast<std::size_t>(n) > kMaxReply) {
                Stop("a reply longer than any window's");
                return;
            }
            reply_.append(chunk, static_cast<std::size_t>(n));
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            return;  // more to come
        } else {
            // Hyprland closes the connection once it has written the whole reply.
            const Ask asked = asking_;
            CloseRequest();
            Settle(asked);
            SendNext();
        }
    }
}

void HyprlandWindowSource::Settle(Ask ask) {
    switch (ask) {
        case Ask::Border:
        case Ask::BorderDotted: {
            std::int64_t border = 0;
            if (ReadIntOption(reply_, border)) {
                border_ =
                    static_cast<std::int32_t>(std::clamp<std::int64_t>(border, 0, kMaxBorder));
            } else if (ask == Ask::Border) {
                Send(Ask::BorderDotted);
            } else {
                border_ = 0;  // neither name: the frame is the window alone
            }
            return;
        }
        case Ask::Window: {
            HyprlandWindow window;
            switch (ReadActiveWindow(reply_, window)) {
                case HyprlandReply::Window:
                    window_ = window;
                    break;
                case HyprlandReply::NoWindow:
                    window_ = {};
                    break;
                case HyprlandReply::Malformed:
                    Stop("a reply about the active window that is not one");
                    return;
            }
            windowSeen_ = true;
            return;
        }
        case Ask::Nothing:
            return;
    }
}

void HyprlandWindowSource::CloseRequest() {
    if (request_ && loop_ != nullptr) {
        loop_->StopWatching(replyWatch_);
    }
    request_.reset();
    asking_ = Ask::Nothing;
}

void HyprlandWindowSource::Stop(const char* why) {
    if (!events_) {
        return;
    }
    stopReason_ = why;
    // Without news the bird cannot know where windows are: it hides (no active window) rather
    // than perch on a stale place. Before the first answer, the caller says why it falls back.
    if (windowSeen_) {
        std::fprintf(stderr,
                     "tapperbird: no more window information from Hyprland (%s): the bird hides\n",
                     why);
        std::fflush(stderr);
    }
    CloseRequest();
    if (loop_ != nullptr) {
        loop_->StopWatching(*this);
    }
    events_.reset();
    window_ = {};
}

}  // namespace tb::linux_desktop::wayland
