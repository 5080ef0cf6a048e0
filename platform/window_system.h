// What the logic asks of the desktop's window system about other windows.
#pragma once

#include <cstdint>

#include "platform/types.h"

namespace tb {

// SetWindowPos flags the logic passes through MakeTopmost.
inline constexpr std::uint32_t kSwpNoSize = 0x0001;
inline constexpr std::uint32_t kSwpNoMove = 0x0002;
inline constexpr std::uint32_t kSwpNoActivate = 0x0010;
inline constexpr std::uint32_t kSwpShowWindow = 0x0040;

class WindowSystem {
  public:
    virtual ~WindowSystem() = default;

    // The window in the foreground (the active window), or 0 when there is none.
    virtual WindowHandle GetForegroundWindow() = 0;

    // Fills `rect` with the window's outer (visible frame) rectangle in screen pixels and returns
    // true; returns false and leaves `rect` untouched when the window is gone or cannot be asked.
    virtual bool GetWindowRect(WindowHandle window, Rect& rect) = 0;

    // True when the window exists and is visible (mapped, not minimised, not cloaked).
    virtual bool IsWindowVisible(WindowHandle window) = 0;

    // SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, flags): lift the window to the top of the
    // top-most band; with kSwpShowWindow also show it, with kSwpNoActivate without activating it.
    virtual void MakeTopmost(WindowHandle window, std::uint32_t swpFlags) = 0;
};

}  // namespace tb
