// The arithmetic behind a top-level's visible frame and the bird's place on the X server, kept
// apart from Xlib so it can be checked without a display.
#pragma once

#include <cstdint>
#include <optional>

#include "platform/types.h"

namespace tb::linux_desktop::x11 {

// X carries window coordinates as signed 16-bit numbers: a position outside this range wraps.
inline constexpr std::int32_t kMinXCoordinate = -32768;
inline constexpr std::int32_t kMaxXCoordinate = 32767;

// A position clamped into what the X protocol can carry, so that a far-off place stays far off
// instead of wrapping round onto the screen.
std::int32_t ClampToXCoordinate(std::int64_t value);

// Left, right, top and bottom, as a CARDINAL[4] property holds them (format-32 data arrives in
// longs of any width; a value is taken as the unsigned 32 bits it was sent as).
struct FrameExtents {
    long left = 0;
    long right = 0;
    long top = 0;
    long bottom = 0;
};

// The rectangle the user sees of a top-level whose client area (border included) lies at
// (x, y), width x height, on the root: grown by the window manager's frame (_NET_FRAME_EXTENTS),
// shrunk by the shadows and resize margins a client-side-decorated window draws around itself
// (_GTK_FRAME_EXTENTS). Worked in 64 bits; every edge ends up within the X coordinate range and
// a rectangle shrunk past nothing is empty (Right == Left, Bottom == Top), never inverted.
Rect VisibleFrame(std::int64_t x, std::int64_t y, std::int64_t width, std::int64_t height,
                  const std::optional<FrameExtents>& windowManagerFrame,
                  const std::optional<FrameExtents>& clientShadows);

}  // namespace tb::linux_desktop::x11
