// The bird window: a borderless, layered, per-pixel-alpha window that shows one sprite frame.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/types.h"

namespace tb {

inline constexpr std::int32_t kGwlExStyle = -20;
inline constexpr std::int32_t kWsExLayered = 0x80000;

// Mouse buttons as the forms runtime numbers them.
enum class MouseButton : std::int16_t { Left = 1, Right = 2, Middle = 4 };

// Events the bird window sends back into the logic.
class BirdSurfaceEvents {
  public:
    virtual ~BirdSurfaceEvents() = default;
    // A press of any button on an opaque pixel of the bird; x, y in twips relative to the window.
    virtual void OnMouseDown(MouseButton button, std::int16_t shift, float x, float y) = 0;
};

class BirdSurface {
  public:
    virtual ~BirdSurface() = default;

    // Hooks up the event sink; called once before the window is loaded.
    virtual void SetEvents(BirdSurfaceEvents* events) = 0;

    // The window's handle, as the window system reports it in GetForegroundWindow.
    virtual WindowHandle Handle() const = 0;

    // Caption (never shown, but set as the program's title).
    virtual void SetCaption(std::string_view caption) = 0;

    // Window size and position as the forms runtime keeps them, in twips.
    virtual void SetSizeTwips(std::int32_t widthTwips, std::int32_t heightTwips) = 0;
    virtual void MoveTwips(std::int32_t leftTwips, std::int32_t topTwips) = 0;
    // The window's current height in twips (its pixel height times twips-per-pixel).
    virtual std::int32_t HeightTwips() const = 0;

    // GetWindowLongA / SetWindowLongA with GWL_EXSTYLE.
    virtual std::int32_t GetExtendedStyle() = 0;
    virtual void SetExtendedStyle(std::int32_t style) = 0;

    // Shows the window modelessly, with no owner, without activating it.
    virtual void Show() = 0;

    // One layered-window update: put frame `frameIndex` (1..6) of the built-in frames, enlarged
    // `scale` times (1, 2, 3 ...) pixel for pixel, at `topLeft` (screen pixels, passed through
    // unchanged however far off-screen), sized `size`, taken from the enlarged frame's top-left
    // corner, with per-pixel alpha. The window's hit test follows the enlarged frame. Any device
    // context lives only inside this call; an enlargement is made once per scale and kept.
    // Allocates nothing once a scale has been shown.
    virtual void Present(int frameIndex, int scale, Point topLeft, Size size) = 0;
};

}  // namespace tb
