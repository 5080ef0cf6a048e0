// The window system through user32, with the visible frame and the cloaked state from DWM.
#include "platform/win32/win32_window_system.h"

#include "platform/win32/win32_text.h"
#include "platform/win32/win32_window.h"

namespace tb::win32 {

namespace {

constexpr DWORD kDwmwaExtendedFrameBounds = 9;
constexpr DWORD kDwmwaCloaked = 14;

}  // namespace

Win32WindowSystem::Win32WindowSystem() : dwmapi_(::LoadLibraryW(L"dwmapi.dll")) {
    if (dwmapi_) {
        dwmGetWindowAttribute_ = ProcAs<DwmGetWindowAttributeFn>(
            ::GetProcAddress(dwmapi_.get(), "DwmGetWindowAttribute"));
    }
}

WindowHandle Win32WindowSystem::GetForegroundWindow() {
    return FromHwnd(::GetForegroundWindow());
}

bool Win32WindowSystem::GetWindowRect(WindowHandle window, Rect& rect) {
    HWND hwnd = ToHwnd(window);
    if (hwnd == nullptr || !::IsWindow(hwnd)) {
        return false;
    }
    RECT r{};
    // GetWindowRect includes the invisible resize borders of Windows 10 and 11, about 7 px at
    // each side; the extended frame bounds are the frame the user sees.
    const bool fromDwm =
        dwmGetWindowAttribute_ != nullptr &&
        dwmGetWindowAttribute_(hwnd, kDwmwaExtendedFrameBounds, &r, sizeof(r)) == S_OK;
    if (!fromDwm && !::GetWindowRect(hwnd, &r)) {
        return false;  // closed between the two calls
    }
    // Without DWM's frame a maximised window's borders hang past its monitor's work area, into
    // the next monitor; what the user sees of it ends at the work area's edges.
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    if (!fromDwm && ::IsZoomed(hwnd) &&
        ::GetMonitorInfoW(::MonitorFromWindow(hwnd, MONITOR_DEFAULTTONEAREST), &monitor)) {
        RECT seen{};
        if (::IntersectRect(&seen, &r, &monitor.rcWork)) {
            r = seen;
        }
    }
    rect = Rect{r.left, r.top, r.right, r.bottom};
    return true;
}

bool Win32WindowSystem::IsWindowVisible(WindowHandle window) {
    HWND hwnd = ToHwnd(window);
    if (hwnd == nullptr || !::IsWindowVisible(hwnd) || ::IsIconic(hwnd)) {
        return false;
    }
    // A suspended store app or a window on another virtual desktop is "visible" to user32 but
    // cloaked by DWM: nothing of it is on screen.
    DWORD cloaked = 0;
    if (dwmGetWindowAttribute_ != nullptr &&
        dwmGetWindowAttribute_(hwnd, kDwmwaCloaked, &cloaked, sizeof(cloaked)) == S_OK &&
        cloaked != 0) {
        return false;
    }
    return true;
}

void Win32WindowSystem::MakeTopmost(WindowHandle window, std::uint32_t swpFlags) {
    ::SetWindowPos(ToHwnd(window), HWND_TOPMOST, 0, 0, 0, 0, swpFlags);
}

}  // namespace tb::win32
