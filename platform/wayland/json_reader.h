// A small JSON reader for what the compositors' IPC sends (sway's window tree, Hyprland's
// replies): it reads in place, allocates nothing, and fails on the first byte JSON does not allow
// there, so a reply is taken whole or refused whole.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string_view>

#include "platform/types.h"

namespace tb::linux_desktop::wayland {

// The deepest a real window tree goes is a few dozen levels (nested splits); past this it is a
// fault, and a reader's recursion stays well within the stack.
inline constexpr int kMaxJsonDepth = 128;

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
        if (depth > kMaxJsonDepth) {
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
        if (depth > kMaxJsonDepth) {
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

// A coordinate from the IPC, held well inside 32 bits so that the sum of two never overflows.
inline std::int32_t ClampCoordinate(std::int64_t v) {
    return static_cast<std::int32_t>(
        std::clamp<std::int64_t>(v, std::numeric_limits<std::int32_t>::min() / 2,
                                 std::numeric_limits<std::int32_t>::max() / 2));
}

// The rectangle of a position and size as the IPC gives them, whatever their numbers.
inline Rect RectOf(std::int64_t x, std::int64_t y, std::int64_t width, std::int64_t height) {
    const std::int32_t left = ClampCoordinate(x);
    const std::int32_t top = ClampCoordinate(y);
    return {left, top, left + ClampCoordinate(width), top + ClampCoordinate(height)};
}

}  // namespace tb::linux_desktop::wayland
