// The bird window: frames built once from the embedded BMP images, one layered-window update per
// tick inside its own memory device context, and presses on opaque pixels passed to the logic.
#include "platform/win32/win32_bird.h"

#include <windowsx.h>

#include <cstring>

#include "platform/units.h"
#include "platform/win32/win32_resources.h"
#include "platform/win32/win32_text.h"

namespace tb::win32 {

namespace {

constexpr wchar_t kBirdClass[] = L"TapperbirdBird";
// The frame images travel as resources, so the program carries each picture once.
std::span<const std::uint8_t> FrameResource(HINSTANCE instance, int index) {
    HRSRC found = ::FindResourceW(instance, MAKEINTRESOURCEW(TB_IDR_FRAME1 + index - 1),
                                  MAKEINTRESOURCEW(10) /* RT_RCDATA */);
    HGLOBAL loaded = found != nullptr ? ::LoadResource(instance, found) : nullptr;
    const void* data = loaded != nullptr ? ::LockResource(loaded) : nullptr;
    if (data == nullptr) {
        return {};
    }
    return {static_cast<const std::uint8_t*>(data), ::SizeofResource(instance, found)};
}

}  // namespace

Win32BirdSurface::Win32BirdSurface(Win32FormsRuntime& forms) : forms_(forms) {
    frames_.emplace_back();
    for (int i = 0; i < assets::kFrameCount; ++i) {
        frames_[0][static_cast<std::size_t>(i)] =
            LoadFrameBitmap(FrameResource(forms.Instance(), i + 1));
    }
    RegisterTrampolineClass(forms.Instance(), kBirdClass, nullptr, nullptr);
    // Never activated and never in the taskbar; the logic adds the layered style at load.
    window_.reset(CreateRoutedWindow(forms.Instance(), kBirdClass, L"Tapperbird", WS_POPUP,
                                     WS_EX_TOOLWINDOW | WS_EX_TOPMOST | WS_EX_NOACTIVATE, 0, 0, 0,
                                     0, nullptr, *this, "bird window"));
}

WindowHandle Win32BirdSurface::Handle() const {
    return FromHwnd(window_.get());
}

void Win32BirdSurface::SetCaption(std::string_view caption) {
    ::SetWindowTextW(window_.get(), Widen(caption).c_str());
}

void Win32BirdSurface::SetSizeTwips(std::int32_t widthTwips, std::int32_t heightTwips) {
    showingLastPresent_ = false;
    ::SetWindowPos(window_.get(), nullptr, 0, 0, TwipsToPixels(widthTwips, forms_.TwipsPerPixelX()),
                   TwipsToPixels(heightTwips, forms_.TwipsPerPixelY()),
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32BirdSurface::MoveTwips(std::int32_t leftTwips, std::int32_t topTwips) {
    showingLastPresent_ = false;
    ::SetWindowPos(window_.get(), nullptr, TwipsToPixels(leftTwips, forms_.TwipsPerPixelX()),
                   TwipsToPixels(topTwips, forms_.TwipsPerPixelY()), 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

std::int32_t Win32BirdSurface::HeightTwips() const {
    return PixelsToTwips(heightPx_, forms_.TwipsPerPixelY());
}

std::int32_t Win32BirdSurface::GetExtendedStyle() {
    return static_cast<std::int32_t>(::GetWindowLongA(window_.get(), GWL_EXSTYLE));
}

void Win32BirdSurface::SetExtendedStyle(std::int32_t style) {
    showingLastPresent_ = false;
    ::SetWindowLongA(window_.get(), GWL_EXSTYLE, static_cast<LONG>(style));
}

void Win32BirdSurface::Show() {
    showingLastPresent_ = false;
    ::ShowWindow(window_.get(), SW_SHOWNOACTIVATE);
}

void Win32BirdSurface::Present(int frameIndex, int scale, Point topLeft, Size size) {
    if (frameIndex < 1 || frameIndex > assets::kFrameCount || scale < 1) {
        return;
    }
    if (showingLastPresent_ && frameIndex == shownFrame_ && scale == shownScale_ &&
        topLeft == shownPoint_ && size == shownSize_) {
        return;  // nothing on screen would change: no device context, no trip to the server
    }
    // Each enlargement is made once, the first time a monitor of that scale needs it, and only
    // that one: a 300 % monitor does not make the 200 % frames as well.
    if (frames_.size() < static_cast<std::size_t>(scale)) {
        frames_.resize(static_cast<std::size_t>(scale));
    }
    FrameSet& set = frames_[static_cast<std::size_t>(scale - 1)];
    if (!set[0].bitmap) {
        try {
            for (std::size_t i = 0; i < set.size(); ++i) {
                set[i] = EnlargeFrameBitmap(frames_[0][i], scale);
            }
        } catch (const SetupError&) {
            set = FrameSet{};
            return;  // out of memory for so large a bird: the next tick tries again
        }
    }
    const FrameBitmap& frame =
        frames_[static_cast<std::size_t>(scale - 1)][static_cast<std::size_t>(frameIndex - 1)];
    UniqueMemoryDc memory(::CreateCompatibleDC(nullptr));
    if (!memory) {
        return;  // the next tick tries again
    }
    {
        ScopedSelect select(memory.get(), frame.bitmap.get());
        POINT destination{topLeft.x, topLeft.y};
        SIZE extent{size.cx, size.cy};
        POINT source{0, 0};
        BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
        if (!::UpdateLayeredWindow(window_.get(), memory.get(), &destination, &extent, memory.get(),
                                   &source, 0, &blend, ULW_ALPHA)) {
            showingLastPresent_ = false;
            return;  // the next tick tries again
        }
    }
    shownFrame_ = frameIndex;
    shownScale_ = scale;
    shownSize_ = size;
    shownPoint_ = topLeft;
    heightPx_ = size.cy;
    showingLastPresent_ = true;
}

bool Win32BirdSurface::IsOpaqueAt(int x, int y) const {
    if (shownFrame_ == 0 || x >= shownSize_.cx || y >= shownSize_.cy) {
        return false;
    }
    return frames_[0][static_cast<std::size_t>(shownFrame_ - 1)].AlphaAt(x / shownScale_,
                                                                         y / shownScale_) != 0;
}

void Win32BirdSurface::MouseDown(MouseButton button, WPARAM wParam, LPARAM lParam) {
    if (events_ == nullptr) {
        return;
    }
    std::int16_t shift = 0;
    if ((wParam & MK_SHIFT) != 0) {
        shift |= 1;
    }
    if ((wParam & MK_CONTROL) != 0) {
        shift |= 2;
    }
    if (::GetKeyState(VK_MENU) < 0) {
        shift |= 4;
    }
    const float xTwips = static_cast<float>(GET_X_LPARAM(lParam)) * forms_.TwipsPerPixelX();
    const float yTwips = static_cast<float>(GET_Y_LPARAM(lParam)) * forms_.TwipsPerPixelY();
    events_->OnMouseDown(button, shift, xTwips, yTwips);
}

LRESULT Win32BirdSurface::HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_DPICHANGED:
            // Moved onto a monitor of another scale, or the scale of its monitor changed: the
            // next presentation sizes the window from the monitor list, so the size Windows
            // suggests is not taken. Only windows on that monitor hear of a change of its
            // scale, and the hidden host window may not be one of them.
            forms_.RefreshMonitors();
            showingLastPresent_ = false;
            return 0;
        case WM_WINDOWPOSCHANGED: {
            const auto& pos = *reinterpret_cast<const WINDOWPOS*>(lParam);
            if ((pos.flags & SWP_NOSIZE) == 0) {
                heightPx_ = pos.cy;
            }
            // Moved, sized or shown by anything but the last presentation: present again.
            const bool moved =
                (pos.flags & SWP_NOMOVE) == 0 && (pos.x != shownPoint_.x || pos.y != shownPoint_.y);
            const bool sized = (pos.flags & SWP_NOSIZE) == 0 &&
                               (pos.cx != shownSize_.cx || pos.cy != shownSize_.cy);
            if (moved || sized || (pos.flags & (SWP_SHOWWINDOW | SWP_HIDEWINDOW)) != 0) {
                showingLastPresent_ = false;
            }
            return ::DefWindowProcW(window, message, wParam, lParam);
        }
        case WM_MOUSEACTIVATE:
            return MA_NOACTIVATE;  // a click on the bird leaves the user's window active
        case WM_NCHITTEST: {
            // Windows already passes presses on alpha-0 pixels through; saying so here as
            // well keeps the rule where a window system does not.
            POINT p{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
            ::ScreenToClient(window, &p);
            return IsOpaqueAt(p.x, p.y) ? HTCLIENT : HTTRANSPARENT;
        }
        case WM_LBUTTONDOWN:
            MouseDown(MouseButton::Left, wParam, lParam);
            return 0;
        case WM_RBUTTONDOWN:
            MouseDown(MouseButton::Right, wParam, lParam);
            return 0;
        case WM_MBUTTONDOWN:
            MouseDown(MouseButton::Middle, wParam, lParam);
            return 0;
        default:
            return ::DefWindowProcW(window, message, wParam, lParam);
    }
}

}  // namespace tb::win32
