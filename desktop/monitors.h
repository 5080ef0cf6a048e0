// Questions about the monitors that placement asks: which monitor a window is on, how many times
// to enlarge the bird there, and whether a spot beside a window is on any screen.
#pragma once

#include <span>

#include "platform/forms_runtime.h"
#include "platform/types.h"

namespace tb {

// The whole-number enlargement for a monitor's scale, halves rounded down so that the art only
// grows once it would otherwise look clearly small: 100-150 % -> 1, 175-250 % -> 2, 275 % -> 3.
int BirdScaleFor(double monitorScale);

// The monitor that holds most of `window`; null when it lies on none of them.
const Monitor* MonitorOf(std::span<const Monitor> monitors, const Rect& window);

// True when `window`'s right edge is the right edge of a monitor beside it: the window ends where
// that screen ends (maximised, full screen, snapped right, or the desktop itself).
bool EndsAtAMonitorsRightEdge(std::span<const Monitor> monitors, const Rect& window);

// True when some monitor shows the pixels just right of `window`'s right edge, beside it.
bool AnyMonitorRightOf(std::span<const Monitor> monitors, const Rect& window);

// The hiding place: just past the bottom-right corner of every monitor.
Point HidingPlace(FormsRuntime& forms);

}  // namespace tb
