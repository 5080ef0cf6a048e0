// The sway/i3 IPC protocol, apart from the socket so it can be checked on recorded replies: the
// framing of messages and, in a get_tree reply, the focused window and the frame the user sees.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/types.h"

namespace tb::linux_desktop::wayland {

// Message types, as the compositor numbers them; replies to events have the top bit set.
inline constexpr std::uint32_t kSwaySubscribe = 2;
inline constexpr std::uint32_t kSwayGetTree = 4;
inline constexpr std::uint32_t kSwayEventBit = 0x80000000U;

// A reply larger than this is not a window tree but a fault (a desktop with thousands of windows
// sends a few megabytes).
inline constexpr std::uint32_t kSwayMaxPayload = 16U << 20;

// One request, framed: "i3-ipc", the payload's length and the type, in this machine's order.
std::string SwayRequest(std::uint32_t type, std::string_view payload);

// Collects what the socket sends and hands it out message by message. The buffer is kept, so a
// steady stream of events allocates nothing once it has grown to the size of a tree.
class SwayIpcReader {
  public:
    enum class Next { Message, NeedMore, Broken };

    SwayIpcReader() { buffer_.reserve(64 * 1024); }
    void Append(const char* bytes, std::size_t count) { buffer_.append(bytes, count); }
    // The next whole message: its type and payload, good until the next call. Broken when the
    // bytes are not the protocol (wrong magic, a length past kSwayMaxPayload); then `error` says
    // what was wrong.
    Next Take(std::uint32_t& type, std::string_view& payload);
    const char* error() const { return error_; }

  private:
    std::string buffer_;
    std::size_t consumed_ = 0;
    const char* error_ = "";
};

// What the compositor's tree says of the focused window.
struct SwayWindow {
    std::int64_t id = 0;  // the container's id, never 0
    Rect frame;           // the visible frame: the window with its border and title bar
    bool floating = false;
    bool visible = true;  // false on a hidden workspace or in the scratchpad
};

enum class SwayTree {
    Focused,   // `window` holds the focused window
    NoWindow,  // the focus is on a workspace or output, not a window
    Malformed  // not a tree: truncated, not JSON, nested past reason
};

// Finds the focused window in a get_tree reply, without allocating.
SwayTree FindFocusedWindow(std::string_view json, SwayWindow& window);

}  // namespace tb::linux_desktop::wayland
