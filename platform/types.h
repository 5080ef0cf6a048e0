// Plain value types shared by the logic and every realisation of the platform.
#pragma once

#include <cstdint>

namespace tb {

// Opaque window handle; 0 means "no window".
using WindowHandle = std::uint64_t;

// A rectangle in screen pixels, right and bottom exclusive, as GetWindowRect reports it.
struct Rect {
    std::int32_t Left = 0;
    std::int32_t Top = 0;
    std::int32_t Right = 0;
    std::int32_t Bottom = 0;
    friend bool operator==(const Rect&, const Rect&) = default;
};

// A point in screen pixels.
struct Point {
    std::int32_t x = 0;
    std::int32_t y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};

// A size in pixels.
struct Size {
    std::int32_t cx = 0;
    std::int32_t cy = 0;
    friend bool operator==(const Size&, const Size&) = default;
};

}  // namespace tb
