// The forms runtime: timers, screen metrics, the running program's identity, the modal
// message box and the end of the program.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "platform/types.h"

namespace tb {

// Message box style: one OK button (0), with an exclamation (48) or information (64) icon.
inline constexpr std::int32_t kMbOk = 0;
inline constexpr std::int32_t kMbIconExclamation = 48;
inline constexpr std::int32_t kMbIconInformation = 64;

// A timer owned by a form. Created disabled; ticks on the GUI thread every interval while enabled.
// Enabling a timer that is already enabled does not restart its period.
class Timer {
  public:
    virtual ~Timer() = default;
    virtual void SetEnabled(bool enabled) = 0;
    virtual bool Enabled() const = 0;
};

// One monitor: its rectangle in pixels and its scale, the monitor's DPI over 96 (1.25 at 120 DPI).
struct Monitor {
    Rect bounds;
    double scale = 1.0;
};

class FormsRuntime {
  public:
    virtual ~FormsRuntime() = default;

    // A new, disabled timer that calls `onTick` every `intervalMs` while enabled.
    virtual std::unique_ptr<Timer> CreateTimer(std::int32_t intervalMs,
                                               std::function<void()> onTick) = 0;

    // The primary screen's size in twips and the twips-per-pixel factors (1440 / logical DPI).
    virtual double ScreenWidthTwips() = 0;
    virtual double ScreenHeightTwips() = 0;
    virtual float TwipsPerPixelX() = 0;
    virtual float TwipsPerPixelY() = 0;

    // The bounding rectangle of every monitor, in pixels; the primary screen on a single monitor.
    virtual Rect DesktopBounds() = 0;

    // Every monitor, the primary first; empty when the system cannot say. The list is kept by the
    // realisation and refreshed when the displays change, so asking allocates nothing.
    virtual std::span<const Monitor> Monitors() = 0;

    // Full path of the running program file, UTF-8.
    virtual std::string ProgramPath() = 0;

    // A modal message box; returns when the user dismisses it.
    virtual void MessageBox(std::string_view text, std::string_view title, std::int32_t style) = 0;

    // Ends the program at once: no unload handler runs and nothing is saved.
    virtual void EndProgram() = 0;
};

}  // namespace tb
