// The bird window: its load, the presentation of one frame at its perch, the animation cycle,
// the foreground watcher with its settle countdown, and the mouse press that opens the menu.
#pragma once

#include <cstdint>
#include <memory>

#include "bird/shared_state.h"
#include "platform/platform.h"

namespace tb {

class Form1 final : public BirdSurfaceEvents {
  public:
    Form1(Platform& platform, SharedState& state);
    Form1(const Form1&) = delete;
    Form1& operator=(const Form1&) = delete;

    // Runs once, when the start-up first shows the window.
    void Form_Load();

    // Timer handlers; each runs to completion on the GUI thread and allocates nothing.
    void Timer1_Timer();
    void Timer2_Timer();
    void TmrnewWinDelay_Timer();

    // Any button, anywhere on the bird: refresh the "Run at Startup" tick, then pop the menu up.
    void Form_MouseDown(MouseButton button, std::int16_t shift, float x, float y);
    void OnMouseDown(MouseButton button, std::int16_t shift, float x, float y) override;

    // The picture box's outer size: the frame plus a 2-pixel border on each side, in twips.
    std::int32_t Picture1WidthTwips() const;
    std::int32_t Picture1HeightTwips() const;

    std::int32_t FrameWidth = 0;     // set once at load
    std::int32_t FrameHeight = 0;    // set once at load
    std::int32_t LastRoll = 0;       // the latest random draw, perch height or peck
    bool PeckNext = false;           // the next animation cycle pecks
    WindowHandle ForegroundWnd = 0;  // the foreground window seen at the last poll

    // The frame the next presentation shows, 1..6; starts as the rest pose.
    int Picture1 = 1;

    std::unique_ptr<Timer> Timer1;          // 100 ms animation tick
    std::unique_ptr<Timer> Timer2;          // 100 ms foreground poll
    std::unique_ptr<Timer> TmrnewWinDelay;  // 1000 ms settle countdown

  private:
    void AdvanceAnimation();
    void PresentFrame();
    Point PerchPoint();

    Platform& platform_;
    SharedState& state_;
};

}  // namespace tb
