// The state the host, the bird window and the About window share: which window the bird perches
// on, where it is, and how far the animation and the settle countdown have got.
#pragma once

#include <cstdint>

#include "platform/types.h"

namespace tb {

// The six steps of the animation cycle, each named by the picture it has just put on show: the
// rest pose, then a peck of two strikes and two head raises ending on a third strike. CycleEnd is
// also where a resting bird waits a tick, and where the next cycle's peck is drawn.
enum class AnimationStep : std::int32_t {
    Rest = 1,  // head raised; the next tick starts a peck if one was drawn
    FirstStrike = 2,
    FirstRaise = 3,
    SecondStrike = 4,
    SecondRaise = 5,
    CycleEnd = 6,
};

struct BirdState {
    WindowHandle targetWindow = 0;  // the window the bird perches on
    Rect targetRect;                // its outer rectangle, refreshed on every frame but the first
    bool firstShow = true;          // until the first placement, which goes far off-screen
    bool newTarget = false;         // a new target's perch height is still to be drawn
    // Any value outside the six steps falls back to CycleEnd on the next tick.
    AnimationStep animation = AnimationStep::CycleEnd;
    std::int32_t settleSeconds = 0;  // countdown seconds still to rest in the rest pose
};

}  // namespace tb
