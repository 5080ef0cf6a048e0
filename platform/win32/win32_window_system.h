// Other windows as the bird sees them: the foreground window, its visible frame, whether it is
// on screen, and lifting a window into the top-most band.
#pragma once

#include <windows.h>

#include "platform/window_system.h"
#include "platform/win32/win32_handles.h"

namespace tb::win32 {

class Win32WindowSystem final : public WindowSystem {
  public:
    Win32WindowSystem();

    WindowHandle GetForegroundWindow() override;
    bool GetWindowRect(WindowHandle window, Rect& rect) override;
    bool IsWindowVisible(WindowHandle window) override;
    void MakeTopmost(WindowHandle window, std::uint32_t swpFlags) override;

  private:
    using DwmGetWindowAttributeFn = HRESULT(WINAPI*)(HWND, DWORD, PVOID, DWORD);

    // dwmapi.dll is loaded once; without it (or where DWM declines) GetWindowRect answers.
    UniqueHmodule dwmapi_;
    DwmGetWindowAttributeFn dwmGetWindowAttribute_ = nullptr;
};

}  // namespace tb::win32
