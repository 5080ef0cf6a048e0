// A simulated desktop with the program on it, and helpers that read like what a user does.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <optional>

#include "app/program.h"
#include "bird/bird_state.h"
#include "bird/bird_window.h"
#include "platform/sim/sim_desktop.h"

namespace tb::test {

inline constexpr std::string_view kRunKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr std::string_view kMarkerKey = "Software\\Velmor's Software\\Tapperbird\\1.0\\temp";

class Scenario : public ::testing::Test {
  protected:
    // Starts the program at the current virtual time; its timers first fire 100 ms later.
    void StartProgram() {
        program_ = std::make_unique<Program>(desk.GetPlatform());
        program_->Start();
    }

    // Starts on a window the user has open; by 250 ms it showed (100 ms) and perched (200 ms).
    WindowHandle StartOn(Rect first) {
        const WindowHandle w = OpenWindow(first);
        StartProgram();
        Wait(250);
        return w;
    }

    // A window the user opens and brings to the foreground.
    WindowHandle OpenWindow(Rect rect) {
        const WindowHandle w = desk.AddWindow(rect);
        desk.Activate(w);
        return w;
    }

    // Clicks the bird and chooses a command from the menu that opens.
    void Choose(MenuItem item) {
        desk.ClickBird(MouseButton::Left);
        desk.Choose(item);
    }
    std::optional<sim::RegValue> RunValue() {
        return desk.Registry().GetValue(kRunKey, "Tapperbird");
    }
    void ExpectOneWarning(std::string_view text) {
        ASSERT_EQ(desk.Forms().MessageBoxes().size(), 1u);
        const auto& box = desk.Forms().MessageBoxes()[0];
        EXPECT_EQ(box.text, text);
        EXPECT_EQ(box.title, "Tapperbird");
        EXPECT_EQ(box.style, 48);
    }

    void Wait(sim::TimeMs ms) { desk.RunFor(ms); }
    // Runs the clock to an absolute time after the start.
    void WaitUntil(sim::TimeMs ms) { desk.AdvanceTo(ms); }

    Point LastPoint() { return desk.Bird().LastPresent().value().point; }
    int LastFrame() { return desk.Bird().LastPresent().value().frameIndex; }

    // Frames of the presentations made since `fromIndex` in the log.
    std::vector<int> FramesSince(std::size_t fromIndex) {
        std::vector<int> frames;
        const auto& log = desk.Bird().Presents();
        for (std::size_t i = fromIndex; i < log.size(); ++i) {
            frames.push_back(log[i].frameIndex);
        }
        return frames;
    }

    BirdState& State() { return program_->State(); }
    // The animation step as its number, 1..6; tests also set values outside the cycle.
    int Step() { return static_cast<int>(State().animation); }
    void SetStep(int step) { State().animation = static_cast<AnimationStep>(step); }
    BirdWindow& Bird() { return program_->Bird(); }
    Program& App() { return *program_; }

    sim::SimDesktop desk;

  private:
    std::unique_ptr<Program> program_;  // goes before the desktop that serves it
};

}  // namespace tb::test
