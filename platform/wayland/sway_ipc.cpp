// Framing and a small JSON walk over the sway/i3 IPC tree: only what placing the bird needs is
// read, nothing is allocated, and anything that is not a well-formed tree is refused whole.
#include "platform/wayland/sway_ipc.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace tb::wayland {
namespace {

constexpr std::string_view kMagic = "i3-ipc";
constexpr std::size_t kHeaderSize = kMagic.size() + 8;
// The deepest a real tree goes is a few dozen levels (nested splits); past this it is a fault,
// and the walk's recursion stays well within the stack.
constexpr int kMaxDepth = 128;

// A JSON reader over one reply. Every function returns false, and leaves the reader failed, on
// the first byte that is not what JSON allows there.
class JsonReader {
  public:
    explicit JsonReader(std::string_view text) : text_(text) {}

    bool AtEnd() {
        SkipSpace();
        return pos_ == text_.size();
    }

    bool Peek(char c) {
        SkipSpace();
        return pos_ < text_.size() && text_[pos_] == c;
    }

    bool Take(char c) {
        if (!Peek(c)) {
            return false;
        }
        ++pos_;
        return true;
    }

    // The raw text between the quotes (escapes left as they are: the names and words read here
    // have none).
    bool String(std::string_view& out) {
        if (!Take('"')) {
            return false;
        }
        const std::size_t start = pos_;
        while (pos_ < text_.size()) {
            const char c = text_[pos_];
            if (c == '"') {
                out = text_.substr(start, pos_ - start);
                ++pos_;
                return true;
            }
            pos_ += c == '\\' ? 2 : 1;
        }
        return false;
    }

    // A number's whole part, saturated; a fraction or exponent is read and dropped.
    bool Number(std::int64_t& out) {
        SkipSpace();
        const bool negative = pos_ < text_.size() && text_[pos_] == '-';
        pos_ += negative ? 1 : 0;
        const std::size_t digitsStart = pos_;
        std::int64_t value = 0;
        while (pos_ < text_.size() && IsDigit(text_[pos_])) {
            const int digit = text_[pos_] - '0';
            value = value > (std::numeric_limits<std::int64_t>::max() - digit) / 10
                        ? std::numeric_limits<std::int64_t>::max()
                        : value * 10 + digit;
            ++pos_;
        }
        if (pos_ == digitsStart) {
            return false;
        }
        if (pos_ < text_.size() && text_[pos_] == '.') {
            ++pos_;
            SkipDigits();
        }
        if (pos_ < text_.size() && (text_[pos_] == 'e' || text_[pos_] == 'E')) {
            ++pos_;
            if (pos_ < text_.size() && (text_[pos_] == '+' || text_[pos_] == '-')) {
                ++pos_;
            }
            SkipDigits();
        }
        out = negative ? -value : value;
        return true;
    }

    bool Word(std::string_view word) {
        SkipSpace();
        if (text_.substr(pos_, word.size()) != word) {
            return false;
        }
        pos_ += word.size();
        return true;
    }

    // A true or false; anything else (null included) is read past and leaves `out` as it was.
    bool Bool(bool& out, int depth) {
        if (Word("true")) {
            out = true;
            return true;
        }
        if (Word("false")) {
            out = false;
            return true;
        }
        return Skip(depth);
    }

    // Any value.
    bool Skip(int depth) {
        if (depth > kMaxDepth) {
            return false;
        }
        std::string_view ignored;
        std::int64_t number = 0;
        if (Peek('"')) {
            return String(ignored);
        }
        if (Take('{')) {
            return Members(depth, [&](std::string_view) { return Skip(depth + 1); });
        }
        if (Take('[')) {
            return Elements([&] { return Skip(depth + 1); });
        }
        return Word("true") || Word("false") || Word("null") || Number(number);
    }

    // The members of an object whose '{' was taken, each value read by `value(name)`.
    template <typename Value>
    bool Members(int depth, Value value) {
        if (depth > kMaxDepth) {
            return false;
        }
        if (Take('}')) {
            return true;
        }
        do {
            std::string_view name;
            if (!String(name) || !Take(':') || !value(name)) {
                return false;
            }
        } while (Take(','));
        return Take('}');
    }

    // The elements of an array whose '[' was taken.
    template <typename Element>
    bool Elements(Element element) {
        if (Take(']')) {
            return true;
        }
        do {
            if (!element()) {
                return false;
            }
        } while (Take(','));
        return Take(']');
    }

  private:
    static bool IsDigit(char c) { return c >= '0' && c <= '9'; }
    void SkipDigits() {
        while (pos_ < text_.size() && IsDigit(text_[pos_])) {
            ++pos_;
        }
    }
    void SkipSpace() {
        while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\n' ||
                                       text_[pos_] == '\r' || text_[pos_] == '\t')) {
            ++pos_;
        }
    }

    std::string_view text_;
    std::size_t pos_ = 0;
};

struct Box {
    std::int64_t x = 0, y = 0, width = 0, height = 0;
};

std::int32_t Clamp32(std::int64_t v) {
    return static_cast<std::int32_t>(
        std::clamp<std::int64_t>(v, std::numeric_limits<std::int32_t>::min() / 2,
                                 std::numeric_limits<std::int32_t>::max() / 2));
}

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
    if (depth > kMaxDepth || !json.Take('{')) {
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
            search.window.frame = {Clamp32(rect.x), Clamp32(rect.y - title),
                                   Clamp32(rect.x + rect.width), Clamp32(rect.y + rect.height)};
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

}  // namespace tb::wayland
