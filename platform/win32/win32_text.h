// Text and handle conversions between the logic's UTF-8 and opaque handles and Win32's forms.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/types.h"

namespace tb::win32 {

// UTF-8 to UTF-16; invalid sequences become U+FFFD rather than failing.
std::wstring Widen(std::string_view utf8);
// UTF-16 to UTF-8.
std::string Narrow(std::wstring_view utf16);
// UTF-8 to the system ANSI code page, for the registry's "A" entry points.
std::string ToAnsi(std::string_view utf8);

inline HWND ToHwnd(WindowHandle handle) {
    return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(handle));
}
inline WindowHandle FromHwnd(HWND window) {
    return static_cast<WindowHandle>(reinterpret_cast<std::uintptr_t>(window));
}

}  // namespace tb::win32
