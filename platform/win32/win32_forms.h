// The forms runtime on Win32: a hidden host window that carries the timers and owns the popup
// menu, the primary screen's metrics, the program's path, the message box and the exit.
#pragma once

#include <windows.h>

#include <span>
#include <vector>

#include "platform/forms_runtime.h"
#include "platform/win32/win32_handles.h"
#include "platform/win32/win32_window.h"

namespace tb::win32 {

class Win32FormsRuntime final : public FormsRuntime, private MessageTarget {
  public:
    // Creates the hidden host window; throws SetupError when the system refuses.
    explicit Win32FormsRuntime(HINSTANCE instance);
    ~Win32FormsRuntime();

    std::unique_ptr<Timer> CreateTimer(std::int32_t intervalMs,
                                       std::function<void()> onTick) override;
    double ScreenWidthTwips() override;
    double ScreenHeightTwips() override;
    float TwipsPerPixelX() override { return twipsPerPixelX_; }
    float TwipsPerPixelY() override { return twipsPerPixelY_; }
    Rect DesktopBounds() override;
    std::span<const Monitor> Monitors() override { return monitors_; }
    std::string ProgramPath() override;
    void MessageBox(std::string_view text, std::string_view title, std::int32_t style) override;
    [[noreturn]] void EndProgram() override;

    HINSTANCE Instance() const { return instance_; }
    HWND HostWindow() const { return host_.get(); }

    // While any hold is taken, timer ticks are dropped: the bird keeps still while its menu is
    // open. The timers' periods run on.
    class TimerHold {
      public:
        explicit TimerHold(Win32FormsRuntime& forms) : forms_(&forms) { ++forms_->holds_; }
        ~TimerHold() { release(); }
        TimerHold(const TimerHold&) = delete;
        TimerHold& operator=(const TimerHold&) = delete;
        void release() {
            if (forms_ != nullptr) {
                --forms_->holds_;
                forms_ = nullptr;
            }
        }

      private:
        Win32FormsRuntime* forms_;
    };

    // Reads every monitor's rectangle and DPI again; at start and when the displays change.
    void RefreshMonitors();
    // The primary monitor's DPI as last read.
    int PrimaryDpi() const;

  private:
    class Win32Timer;
    friend class Win32Timer;

    LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
    void Forget(const Win32Timer* timer);

    HINSTANCE instance_;
    int dpiX_ = 96;
    int dpiY_ = 96;
    float twipsPerPixelX_ = 15.0f;
    float twipsPerPixelY_ = 15.0f;
    UniqueHicon appIcon_;
    UniqueHwnd host_;
    std::vector<Monitor> monitors_;
    std::vector<Win32Timer*> timers_;  // not owned; each timer removes itself
    UINT_PTR nextTimerId_ = 1;
    int holds_ = 0;
    bool sessionEnding_ = false;
};

}  // namespace tb::win32
