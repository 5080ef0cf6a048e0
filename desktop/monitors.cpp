// Questions about the monitors that placement asks.
#include "desktop/monitors.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace tb {

int BirdScaleFor(double monitorScale) {
    if (!(monitorScale > 1.5)) {
        return 1;  // also for a scale the system could not tell (0, NaN)
    }
    // Nearest whole number, halves down; capped far above any real monitor.
    return static_cast<int>(std::ceil(std::min(monitorScale, 16.0) - 0.5));
}

const Monitor* MonitorOf(std::span<const Monitor> monitors, const Rect& window) {
    const Monitor* best = nullptr;
    std::int64_t bestArea = 0;
    for (const Monitor& m : monitors) {
        const std::int64_t w = std::int64_t{std::min(window.Right, m.bounds.Right)} -
                               std::max(window.Left, m.bounds.Left);
        const std::int64_t h = std::int64_t{std::min(window.Bottom, m.bounds.Bottom)} -
                               std::max(window.Top, m.bounds.Top);
        if (w > 0 && h > 0 && w * h > bestArea) {
            best = &m;
            bestArea = w * h;
        }
    }
    return best;
}

bool EndsAtAMonitorsRightEdge(std::span<const Monitor> monitors, const Rect& window) {
    return std::any_of(monitors.begin(), monitors.end(), [&](const Monitor& m) {
        return m.bounds.Right == window.Right && m.bounds.Left < window.Right &&
               m.bounds.Top < window.Bottom && window.Top < m.bounds.Bottom;
    });
}

bool AnyMonitorRightOf(std::span<const Monitor> monitors, const Rect& window) {
    return std::any_of(monitors.begin(), monitors.end(), [&](const Monitor& m) {
        return m.bounds.Left <= window.Right && window.Right < m.bounds.Right &&
               m.bounds.Top < window.Bottom && window.Top < m.bounds.Bottom;
    });
}

Point HidingPlace(FormsRuntime& forms) {
    const Rect desktop = forms.DesktopBounds();
    return Point{desktop.Right, desktop.Bottom};
}

}  // namespace tb
