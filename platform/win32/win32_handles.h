// Owners for every Win32 handle the program holds: one line per handle type, in the manner of
// WIL's unique_any, plus a guard that puts a device context's previous object back.
#pragma once

#include <windows.h>

#include <utility>

namespace tb::win32 {

// Holds one handle and releases it with `Close` unless it is null. Move-only.
template <typename T, auto Close>
class UniqueAny {
  public:
    UniqueAny() = default;
    explicit UniqueAny(T value) : value_(value) {}
    ~UniqueAny() { reset(); }
    UniqueAny(const UniqueAny&) = delete;
    UniqueAny& operator=(const UniqueAny&) = delete;
    UniqueAny(UniqueAny&& other) noexcept : value_(std::exchange(other.value_, nullptr)) {}
    UniqueAny& operator=(UniqueAny&& other) noexcept {
        if (this != &other) {
            reset(std::exchange(other.value_, nullptr));
        }
        return *this;
    }

    T get() const { return value_; }
    explicit operator bool() const { return value_ != nullptr; }
    T release() { return std::exchange(value_, nullptr); }
    void reset(T value = nullptr) {
        T old = std::exchange(value_, value);
        if (old != nullptr) {
            Close(old);
        }
    }

  private:
    T value_ = nullptr;
};

using UniqueHwnd = UniqueAny<HWND, &::DestroyWindow>;
using UniqueMemoryDc = UniqueAny<HDC, &::DeleteDC>;
using UniqueHkey = UniqueAny<HKEY, &::RegCloseKey>;
using UniqueHmenu = UniqueAny<HMENU, &::DestroyMenu>;
using UniqueHbitmap = UniqueAny<HBITMAP, &::DeleteObject>;
using UniqueHicon = UniqueAny<HICON, &::DestroyIcon>;
using UniqueHcursor = UniqueAny<HCURSOR, &::DestroyCursor>;
using UniqueHfont = UniqueAny<HFONT, &::DeleteObject>;
using UniqueHandle = UniqueAny<HANDLE, &::CloseHandle>;
using UniqueHmodule = UniqueAny<HMODULE, &::FreeLibrary>;

// A window's own device context, released with ReleaseDC.
class WindowDc {
  public:
    explicit WindowDc(HWND window) : window_(window), dc_(::GetDC(window)) {}
    ~WindowDc() {
        if (dc_ != nullptr) {
            ::ReleaseDC(window_, dc_);
        }
    }
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    HDC get() const { return dc_; }

  private:
    HWND window_;
    HDC dc_;
};

// Selects an object into a device context and selects the previous one back on scope exit.
class ScopedSelect {
  public:
    ScopedSelect(HDC dc, HGDIOBJ object) : dc_(dc), previous_(::SelectObject(dc, object)) {}
    ~ScopedSelect() {
        if (previous_ != nullptr && previous_ != HGDI_ERROR) {
            ::SelectObject(dc_, previous_);
        }
    }
    ScopedSelect(const ScopedSelect&) = delete;
    ScopedSelect& operator=(const ScopedSelect&) = delete;

  private:
    HDC dc_;
    HGDIOBJ previous_;
};

}  // namespace tb::win32
