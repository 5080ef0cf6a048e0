// The bird window: its load, the presentation of one frame at its perch, the animation cycle,
// the foreground watch with its settle countdown, and the press that opens the menu.
#pragma once

#include <cstdint>
#include <memory>

#include "bird/bird_state.h"
#include "platform/platform.h"

namespace tb {

class BirdWindow final : public BirdSurfaceEvents {
  public:
    BirdWindow(Platform& platform, BirdState& state);
    BirdWindow(const BirdWindow&) = delete;
    BirdWindow& operator=(const BirdWindow&) = delete;

    // Runs once, when the start-up first shows the window.
    void Load();

    // Timer handlers; each runs to completion on the GUI thread and allocates nothing.
    void OnAnimationTick();
    void OnForegroundPoll();
    void OnSettleTick();

    // Any button, anywhere on the bird: refresh the "Run at Startup" tick, then pop the menu up.
    void OpenMenu();
    void OnMouseDown(MouseButton button, std::int16_t shift, float x, float y) override;

    // The window's size: the frame plus a 2-pixel border on each side, in twips.
    std::int32_t WindowWidthTwips() const;
    std::int32_t WindowHeightTwips() const;

    std::int32_t frameWidth = 0;      // set once at load
    std::int32_t frameHeight = 0;     // set once at load
    std::int32_t lastRoll = 0;        // the latest random draw, perch height or peck
    bool peckNext = false;            // the next animation cycle pecks
    WindowHandle lastForeground = 0;  // the foreground window seen at the last poll
    int currentFrame = 1;             // the frame the next presentation shows, 1..6
    int scale = 1;                    // how many times the frames are enlarged on its monitor

    std::unique_ptr<Timer> animationTimer;   // 100 ms
    std::unique_ptr<Timer> foregroundWatch;  // 100 ms poll of the foreground window
    std::unique_ptr<Timer> settleTimer;      // 1000 ms countdown after a change of target

  private:
    void AdvanceAnimation();
    void PresentFrame();
    Point PerchPoint();

    Platform& platform_;
    BirdState& state_;
};

}  // namespace tb
