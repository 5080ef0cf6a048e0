// Framing and a small JSON walk over the sway/i3 IPC tree: only what placing the bird needs is
// read, nothing is allocated, and anything that is not a well-formed tree is refused whole.
#include "platform/wayland/sway_ipc.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "platform/wayland/json_reader.h"

namespace tb::linux_desktop::wayland {
namespace {

constexpr std::string_view kMagic = "i3-ipc";
constexpr std::size_t kHeaderSize = kMagic.size() + 8;

struct Box {
    std::int64_t x = 0, y = 0, width = 0, height = 0;
};

bool ReadBox(JsonReader& json, int depth, Box& box) {
    if (!json.Take('{')) {
        return json.Skip(depth);  // null or something else: no box
    }
    return json.Members(depth, [&](std::string_view name) {
        std::int64_t* field = name == "x"        ? &box.x
                              : name == "y"      ? &box.y
                              : name == "width"  ? &box.width
                              : name == "height" ? &box.height
                                                 : nullptr;
        return field != nullptr ? json.Number(*field) : json.Skip(depth + 1);
    });
}

// What the walk has found so far.
struct Search {
    bool found = false;
    bool focusedElsewhere = false;  // a workspace or output holds the focus
    SwayWindow window;
};

// One node of the tree, with its children; records the focused one when it is a window.
bool ReadNode(JsonReader& json, int depth, Search& search) {
    if (depth > kMaxJsonDepth || !json.Take('{')) {
        return false;
    }
    std::int64_t id = 0;
    std::string_view type;
    std::string_view border;
    bool focused = false;
    bool visible = true;
    Box rect;
    Box deco;
    const auto children = [&] {
        if (!json.Take('[')) {
            return json.Skip(depth + 1);
        }
        return json.Elements([&] { return ReadNode(json, depth + 1, search); });
    };
    const bool read = json.Members(depth, [&](std::string_view name) {
        if (name == "id") {
            return json.Number(id);
        }
        if (name == "type") {
            return json.Peek('"') ? json.String(type) : json.Skip(depth + 1);
        }
        if (name == "border") {
            return json.Peek('"') ? json.String(border) : json.Skip(depth + 1);
        }
        if (name == "focused") {
            return json.Bool(focused, depth + 1);
        }
        if (name == "visible") {
            return json.Bool(visible, depth + 1);
        }
        if (name == "rect") {
            return ReadBox(json, depth + 1, rect);
        }
        if (name == "deco_rect") {
            return ReadBox(json, depth + 1, deco);
        }
        if (name == "nodes" || name == "floating_nodes") {
            return children();
        }
        return json.Skip(depth + 1);
    });
    if (!read) {
        return false;
    }
    if (focused && !search.found) {
        if ((type == "con" || type == "floating_con") && id != 0) {
            // The rectangle holds the border; a normal border's title bar sits just above it.
            const std::int64_t title =
                border == "normal" ? std::max<std::int64_t>(deco.height, 0) : 0;
            search.found = true;
            search.window.id = id;
            search.window.frame = RectOf(rect.x, rect.y, rect.width, rect.height);
            search.window.frame.Top -= ClampCoordinate(title);
            search.window.floating = type == "floating_con";
            search.window.visible = visible;
        } else {
            search.focusedElsewhere = true;
        }
    }
    return true;
}

}  // namespace

std::string SwayRequest(std::uint32_t type, std::string_view payload) {
    std::string message(kMagic);
    const auto length = static_cast<std::uint32_t>(payload.size());
    message.append(reinterpret_cast<const char*>(&length), sizeof length);
    message.append(reinterpret_cast<const char*>(&type), sizeof type);
    message.append(payload);
    return message;
}

SwayIpcReader::Next SwayIpcReader::Take(std::uint32_t& type, std::string_view& payload) {
    // What the last call handed out is dropped only now, so its payload stayed good till here.
    if (consumed_ > 0) {
        buffer_.erase(0, consumed_);
        consumed_ = 0;
    }
    const std::size_t have = buffer_.size();
    if (buffer_.compare(0, std::min(have, kMagic.size()),
                        kMagic.substr(0, std::min(have, kMagic.size()))) != 0) {
        error_ = "a message that is not the window manager's IPC";
        return Next::Broken;
    }
    if (have < kHeaderSize) {
        return Next::NeedMore;
    }
    std::uint32_t length = 0;
    std::memcpy(&length, buffer_.data() + kMagic.size(), sizeof length);
    std::memcpy(&type, buffer_.data() + kMagic.size() + 4, sizeof type);
    if (length > kSwayMaxPayload) {
        error_ = "a message longer than any window tree";
        return Next::Broken;
    }
    if (have - kHeaderSize < length) {
        return Next::NeedMore;
    }
    payload = std::string_view(buffer_).substr(kHeaderSize, length);
    consumed_ = kHeaderSize + length;
    return Next::Message;
}

SwayTree FindFocusedWindow(std::string_view json, SwayWindow& window) {
    JsonReader reader(json);
    Search search;
    if (!ReadNode(reader, 0, search) || !reader.AtEnd()) {
        return SwayTree::Malformed;
    }
    if (!search.found) {
        return SwayTree::NoWindow;
    }
    window = search.window;
    return SwayTree::Focused;
}

}  // namespace tb::linux_desktop::wayland
