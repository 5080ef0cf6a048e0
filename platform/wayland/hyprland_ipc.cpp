// Hyprland's replies, read with the IPC's JSON reader: only what placing the bird needs, nothing
// allocated, and a reply that is not well-formed refused whole.
#include "platform/wayland/hyprland_ipc.h"

#include <array>

#include "platform/wayland/json_reader.h"

namespace tb::linux_desktop::wayland {
namespace {

// "0x55d8d6f4c8a0" as a number; 0 for anything else.
WindowHandle ParseAddress(std::string_view text) {
    if (text.substr(0, 2) == "0x") {
        text.remove_prefix(2);
    }
    if (text.empty() || text.size() > 16) {
        return 0;
    }
    WindowHandle value = 0;
    for (const char c : text) {
        const int digit = c >= '0' && c <= '9'   ? c - '0'
                          : c >= 'a' && c <= 'f' ? c - 'a' + 10
                          : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                 : -1;
        if (digit < 0) {
            return 0;
        }
        value = value * 16 + static_cast<WindowHandle>(digit);
    }
    return value;
}

// `[x, y]`: exactly two numbers.
bool ReadPair(JsonReader& json, std::int64_t (&pair)[2]) {
    int count = 0;
    return json.Take('[') && json.Elements([&] {
        std::int64_t value = 0;
        if (count == 2 || !json.Number(value)) {
            return false;
        }
        pair[count++] = value;
        return true;
    }) && count == 2;
}

}  // namespace

HyprlandReply ReadActiveWindow(std::string_view json, HyprlandWindow& window) {
    JsonReader reader(json);
    std::string_view address;
    std::int64_t at[2] = {};
    std::int64_t size[2] = {};
    bool placed = false;
    bool sized = false;
    bool mapped = true;
    bool hidden = false;
    bool floating = false;
    bool fullscreen = false;
    const bool read = reader.Take('{') && reader.Members(0, [&](std::string_view name) {
        if (name == "address") {
            return reader.Peek('"') ? reader.String(address) : reader.Skip(1);
        }
        if (name == "at") {
            return placed = ReadPair(reader, at);
        }
        if (name == "size") {
            return sized = ReadPair(reader, size);
        }
        if (name == "mapped") {
            return reader.Bool(mapped, 1);
        }
        if (name == "hidden") {
            return reader.Bool(hidden, 1);
        }
        if (name == "floating") {
            return reader.Bool(floating, 1);
        }
        if (name == "fullscreen") {
            // A boolean in older versions, a mode (0 for none) in later ones.
            std::int64_t mode = 0;
            if (reader.Number(mode)) {
                fullscreen = mode != 0;
                return true;
            }
            return reader.Bool(fullscreen, 1);
        }
        return reader.Skip(1);
    });
    if (!read || !reader.AtEnd()) {
        return HyprlandReply::Malformed;
    }
    if (address.empty() && !placed && !sized) {
        return HyprlandReply::NoWindow;
    }
    const WindowHandle handle = ParseAddress(address);
    if (handle == 0 || !placed || !sized || size[0] < 0 || size[1] < 0) {
        return HyprlandReply::Malformed;
    }
    window.address = handle;
    window.frame = RectOf(at[0], at[1], size[0], size[1]);
    window.floating = floating;
    window.fullscreen = fullscreen;
    window.visible = mapped && !hidden;
    return HyprlandReply::Window;
}

bool ReadIntOption(std::string_view json, std::int64_t& value) {
    JsonReader reader(json);
    bool found = false;
    std::int64_t number = 0;
    const bool read = reader.Take('{') && reader.Members(0, [&](std::string_view name) {
        if (name == "int" && reader.Number(number)) {
            found = true;
            return true;
        }
        return reader.Skip(1);
    }) && reader.AtEnd();
    if (read && found) {
        value = number;
    }
    return read && found;
}

bool MovesActiveWindow(std::string_view line) {
    // Each event comes in a first form and, for most, a "v2" with more data: either will do.
    static constexpr std::array<std::string_view, 17> kEvents = {
        "activewindow",       "workspace",      "focusedmon",  "activespecial", "moveworkspace",
        "monitoradded",       "monitorremoved", "openwindow",  "closewindow",   "movewindow",
        "changefloatingmode", "fullscreen",     "togglegroup", "moveintogroup", "moveoutofgroup",
        "minimized",          "configreloaded",
    };
    const std::size_t end = line.find(">>");
    if (end == std::string_view::npos) {
        return false;
    }
    std::string_view name = line.substr(0, end);
    if (name.ends_with("v2")) {
        name.remove_suffix(2);
    }
    for (const std::string_view event : kEvents) {
        if (name == event) {
            return true;
        }
    }
    return false;
}

}  // namespace tb::linux_desktop::wayland
