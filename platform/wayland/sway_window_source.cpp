// The sway IPC socket: connecting, the subscription, and reading without ever blocking the bird.
#include "platform/wayland/sway_window_source.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/wayland/unix_socket.h"

namespace tb::linux_desktop::wayland {
namespace {

// All of `bytes`, however the socket takes them; false when it will not.
bool SendAll(int fd, const std::string& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd out{fd, POLLOUT, 0};
            if (::poll(&out, 1, 1000) <= 0) {
                return false;  // a compositor that takes nothing for a second is not answering
            }
        } else {
            return false;
        }
    }
    return true;
}

// How long a perch waits for a floating window's fresh frame before it takes the last one known;
// the answer, when it comes, is read as news.
constexpr int kFreshFrameMs = 40;

}  // namespace

std::unique_ptr<SwayWindowSource> SwayWindowSource::Connect(const std::string& path, int timeoutMs,
                                                            std::string& why) {
    UniqueFd socket = ConnectUnixSocket(path, false, why);
    if (!socket) {
        return nullptr;
    }
    auto source = std::make_unique<SwayWindowSource>(std::move(socket));
    if (!source->Start(timeoutMs, why)) {
        return nullptr;
    }
    return source;
}

SwayWindowSource::SwayWindowSource(UniqueFd socket)
    : socket_(std::move(socket)), request_(SwayRequest(kSwayGetTree, "")) {
    ::fcntl(socket_.get(), F_SETFL, ::fcntl(socket_.get(), F_GETFL) | O_NONBLOCK);
}

bool SwayWindowSource::Start(int timeoutMs, std::string& why) {
    if (!SendAll(socket_.get(), SwayRequest(kSwaySubscribe, R"(["window","workspace"])"))) {
        why = "the IPC socket takes no requests";
        return false;
    }
    RequestTree();
    if (!WaitUntil([this] { return treeSeen_; }, timeoutMs)) {
        why = "no window tree from the IPC socket";
        return false;
    }
    if (!socket_ || !treeSeen_) {
        why = stopReason_;
        return false;
    }
    return true;
}

template <typename Done>
bool SwayWindowSource::WaitUntil(Done done, int timeoutMs) {
    const std::int64_t deadline = MonotonicMs() + timeoutMs;
    while (socket_ && !done()) {
        const std::int64_t left = deadline - MonotonicMs();
        pollfd in{socket_.get(), POLLIN, 0};
        if (left <= 0 || ::poll(&in, 1, static_cast<int>(left)) == 0) {
            return false;
        }
        if (ReadAvailable()) {
            HandleMessages();
        }
    }
    return true;
}

void SwayWindowSource::Attach(MainLoop& loop) {
    loop_ = &loop;
    if (socket_) {
        loop.WatchConnection(socket_.get(), *this);
    }
}

void SwayWindowSource::RequestTree() {
    if (!socket_) {
        return;
    }
    if (treeAsked_) {
        stale_ = true;
        return;
    }
    if (!SendAll(socket_.get(), request_)) {
        Stop("the IPC socket takes no requests");
        return;
    }
    treeAsked_ = true;
    stale_ = false;
}

void SwayWindowSource::Refresh(WindowHandle window) {
    // Moving or resizing a floating window sends no event: its frame is read when wanted, so the
    // bird follows it by the next frame drawn rather than a poll later.
    if (!socket_ || window == 0 || window != Active() || !window_.floating) {
        return;
    }
    if (!treeAsked_) {
        RequestTree();  // else the answer on its way will do
    }
    WaitUntil([this] { return !treeAsked_; }, kFreshFrameMs);
}

bool SwayWindowSource::Frame(WindowHandle window, Rect& frame) const {
    if (window == 0 || window != Active()) {
        return false;
    }
    frame = window_.frame;
    return true;
}

bool SwayWindowSource::Visible(WindowHandle window) const {
    return window != 0 && window == Active() && window_.visible;
}

bool SwayWindowSource::ReadAvailable() {
    // At most a quarter megabyte a round, so a compositor that floods the socket still leaves the
    // loop its timers; the rest waits for the next round.
    char chunk[16 * 1024];
    for (int round = 0; round < 16; ++round) {
        const ssize_t n = ::recv(socket_.get(), chunk, sizeof chunk, 0);
        if (n > 0) {
            reader_.Append(chunk, static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            return true;
        }
        Stop(n == 0 ? "the compositor closed its IPC socket" : std::strerror(errno));
        return false;
    }
    return true;
}

void SwayWindowSource::HandleMessages() {
    std::uint32_t type = 0;
    std::string_view payload;
    while (socket_) {
        const SwayIpcReader::Next next = reader_.Take(type, payload);
        if (next == SwayIpcReader::Next::NeedMore) {
            return;
        }
        if (next == SwayIpcReader::Next::Broken) {
            Stop(reader_.error());
            return;
        }
        if ((type & kSwayEventBit) != 0) {
            // A focus, title or workspace change: read the tree again.
            RequestTree();
        } else if (type == kSwayGetTree) {
            treeAsked_ = false;
            SwayWindow focused;
            switch (FindFocusedWindow(payload, focused)) {
                case SwayTree::Focused:
                    window_ = focused;
                    break;
                case SwayTree::NoWindow:
                    window_ = {};
                    break;
                case SwayTree::Malformed:
                    Stop("a window tree that is not one");
                    return;
            }
            treeSeen_ = true;
            if (stale_) {
                RequestTree();
            }
        }
    }
}

void SwayWindowSource::DispatchEvents() {
    if (!socket_) {
        return;
    }
    if (ReadAvailable()) {
        HandleMessages();
    }
}

void SwayWindowSource::Stop(const char* why) {
    if (!socket_) {
        return;
    }
    stopReason_ = why;
    // Without news the bird cannot know where windows are: it hides (no active window) rather
    // than perch on a stale place. Before the first tree, the caller says why it falls back.
    if (treeSeen_) {
        std::fprintf(
            stderr, "tapperbird: no more window information from sway (%s): the bird hides\n", why);
        std::fflush(stderr);
    }
    if (loop_ != nullptr) {
        loop_->StopWatching(*this);
    }
    socket_.reset();
    window_ = {};
    treeAsked_ = false;
}

}  // namespace tb::linux_desktop::wayland
