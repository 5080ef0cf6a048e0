// The state the host form, the bird window and the About window share: which window the bird
// perches on, where it is, and how far the animation and the settle countdown have got.
#pragma once

#include <cstdint>

#include "platform/types.h"

namespace tb {

struct SharedState {
    WindowHandle TargetWnd = 0;    // the window the bird perches on
    Rect TargetRect;               // its outer rectangle, refreshed on every frame but the first
    bool FirstShow = true;         // until the first placement, which goes far off-screen
    bool NewTarget = false;        // a new target's perch height is still to be drawn
    std::int32_t AnimState = 6;    // 1..6; anything else falls back to 6
    std::int32_t SettleTicks = 0;  // countdown seconds still to rest in frame 1
};

}  // namespace tb
