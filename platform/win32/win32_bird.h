// The bird window on Win32: a borderless, non-activating, top-most tool window presented only
// through UpdateLayeredWindow from one 32-bit DIB section per frame.
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "assets/assets.h"
#include "platform/bird_surface.h"
#include "platform/win32/win32_bitmap.h"
#include "platform/win32/win32_forms.h"
#include "platform/win32/win32_handles.h"
#include "platform/win32/win32_window.h"

namespace tb::win32 {

class Win32BirdSurface final : public BirdSurface, private MessageTarget {
  public:
    // Creates the (hidden) window and the six frame bitmaps; throws SetupError on failure.
    explicit Win32BirdSurface(Win32FormsRuntime& forms);

    void SetEvents(BirdSurfaceEvents* events) override { events_ = events; }
    WindowHandle Handle() const override;
    void SetCaption(std::string_view caption) override;
    void SetSizeTwips(std::int32_t widthTwips, std::int32_t heightTwips) override;
    void MoveTwips(std::int32_t leftTwips, std::int32_t topTwips) override;
    std::int32_t HeightTwips() const override;
    std::int32_t GetExtendedStyle() override;
    void SetExtendedStyle(std::int32_t style) override;
    void Show() override;
    void Present(int frameIndex, int scale, Point topLeft, Size size) override;

  private:
    LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
    bool IsOpaqueAt(int x, int y) const;
    void MouseDown(MouseButton button, WPARAM wParam, LPARAM lParam);

    Win32FormsRuntime& forms_;
    BirdSurfaceEvents* events_ = nullptr;
    using FrameSet = std::array<FrameBitmap, assets::kFrameCount>;
    // The frames at 1x, then by [scale - 1] each enlargement, empty until a monitor needs it.
    std::vector<FrameSet> frames_;
    int shownFrame_ = 0;  // 1..6 once presented
    int shownScale_ = 1;
    Size shownSize_{};
    Point shownPoint_{};
    // The window shows exactly the last presentation: a tick that would show the same frame at
    // the same place and size does nothing. Anything else that moves, sizes or shows the window
    // clears it.
    bool showingLastPresent_ = false;
    int heightPx_ = 0;  // the window's height, kept as it changes rather than asked each tick
    UniqueHwnd window_;
};

}  // namespace tb::win32
