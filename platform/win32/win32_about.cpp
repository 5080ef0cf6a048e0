// The About window: created hidden from the design table, centred on its first show, closed by
// its close box with the unload event first.
#include "platform/win32/win32_about.h"

#include <cmath>
#include <string>

#include "desktop/monitors.h"
#include "platform/units.h"
#include "platform/win32/win32_resources.h"
#include "platform/win32/win32_text.h"

namespace tb::win32 {

namespace {

constexpr wchar_t kAboutClass[] = L"TapperbirdAbout";
// Not WS_CLIPCHILDREN: the frame paints only its outline and relies on the form's background.
constexpr DWORD kAboutStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
constexpr int kFirstControlId = 100;

int ControlId(AboutControlId id) {
    return kFirstControlId + static_cast<int>(id);
}

// When the active About window goes, the system activates the next window in z-order, which can
// be the bird: it is top-most and of this process. Hand the activation to the window beneath
// that a user could work in instead, as the bird must never be the foreground window.
void ActivateWindowBeneath(HWND closing) {
    if (::GetForegroundWindow() != closing) {
        return;
    }
    for (HWND next = ::GetWindow(closing, GW_HWNDNEXT); next != nullptr;
         next = ::GetWindow(next, GW_HWNDNEXT)) {
        const LONG_PTR exStyle = ::GetWindowLongPtrW(next, GWL_EXSTYLE);
        if (::IsWindowVisible(next) && ::IsWindowEnabled(next) && !::IsIconic(next) &&
            (exStyle & (WS_EX_NOACTIVATE | WS_EX_TOOLWINDOW)) == 0) {
            ::SetForegroundWindow(next);
            return;
        }
    }
}

// Per-monitor DPI of a window (Windows 10 1607 on) and the frame size for it; looked up, so the
// program still starts without them and then lays out at the primary monitor's DPI.
using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
using AdjustWindowRectExForDpiFn = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);

FARPROC User32Proc(const char* name) {
    HMODULE user32 = ::GetModuleHandleW(L"user32.dll");
    return user32 != nullptr ? ::GetProcAddress(user32, name) : nullptr;
}

int WindowDpi(HWND window, int fallback) {
    static const auto getDpi = ProcAs<GetDpiForWindowFn>(User32Proc("GetDpiForWindow"));
    const UINT dpi = getDpi != nullptr && window != nullptr ? getDpi(window) : 0;
    return dpi != 0 ? static_cast<int>(dpi) : fallback;
}

void AdjustForDpi(RECT& rect, DWORD style, int dpi) {
    static const auto adjust =
        ProcAs<AdjustWindowRectExForDpiFn>(User32Proc("AdjustWindowRectExForDpi"));
    if (adjust == nullptr || !adjust(&rect, style, FALSE, 0, static_cast<UINT>(dpi))) {
        ::AdjustWindowRectEx(&rect, style, FALSE, 0);
    }
}

}  // namespace

Win32AboutView::Win32AboutView(Win32FormsRuntime& forms) : forms_(forms) {
    HINSTANCE instance = forms.Instance();
    iconLarge_.reset(static_cast<HICON>(::LoadImageW(instance, MAKEINTRESOURCEW(TB_IDI_ABOUT),
                                                     IMAGE_ICON, ::GetSystemMetrics(SM_CXICON),
                                                     ::GetSystemMetrics(SM_CYICON), 0)));
    iconSmall_.reset(static_cast<HICON>(::LoadImageW(instance, MAKEINTRESOURCEW(TB_IDI_ABOUT),
                                                     IMAGE_ICON, ::GetSystemMetrics(SM_CXSMICON),
                                                     ::GetSystemMetrics(SM_CYSMICON), 0)));
    hand_.reset(static_cast<HCURSOR>(
        ::LoadImageW(instance, MAKEINTRESOURCEW(TB_IDC_HAND), IMAGE_CURSOR, 0, 0, 0)));
    donate_ = AdoptDibSection(static_cast<HBITMAP>(::LoadImageW(
        instance, MAKEINTRESOURCEW(TB_IDB_DONATE), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
    RegisterTrampolineClass(instance, kAboutClass, iconLarge_.get(),
                            reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1)));
}

HFONT Win32AboutView::FontFor(const FontSpec& wanted) {
    for (const Font& font : fonts_) {
        if (font.style.name == wanted.name && font.style.sizePoints == wanted.sizePoints &&
            font.style.underline == wanted.underline) {
            return font.font.get();
        }
    }
    // Point sizes become character heights at the window's resolution, as the forms runtime
    // sizes its fonts. The cache holds the fonts of the current DPI only.
    const int height = -RoundHalfEven(wanted.sizePoints * dpi_ / 72.0);
    UniqueHfont font(::CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE,
                                   wanted.underline ? TRUE : FALSE, FALSE, DEFAULT_CHARSET,
                                   OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                   DEFAULT_PITCH | FF_SWISS, Widen(wanted.name).c_str()));
    HFONT handle = font.get();
    fonts_.push_back(Font{wanted, std::move(font)});
    return handle;
}

RECT Win32AboutView::DesignRectPixels(const AboutControl& control) const {
    std::int32_t left = control.leftTwips;
    std::int32_t top = control.topTwips;
    if (control.inFrame) {
        left += frame_.leftTwips;
        top += frame_.topTwips;
    }
    const float tx = TwipsPerPixelForDpi(dpi_);
    const float ty = tx;
    const int x = TwipsToPixels(left, tx);
    const int y = TwipsToPixels(top, ty);
    return RECT{x, y, x + TwipsToPixels(control.widthTwips, tx),
                y + TwipsToPixels(control.heightTwips, ty)};
}

// Labels size themselves to their text; a centred one keeps its centre where it was designed.
void Win32AboutView::PlaceLabel(Control& control) {
    const RECT design = DesignRectPixels(control.design);
    const int length = ::GetWindowTextLengthW(control.window);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    ::GetWindowTextW(control.window, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(length));
    SIZE extent{design.right - design.left, design.bottom - design.top};
    WindowDc dc(control.window);
    if (dc.get() != nullptr) {
        ScopedSelect font(dc.get(), control.font);
        SIZE measured{};
        if (::GetTextExtentPoint32W(dc.get(), text.c_str(), length, &measured)) {
            extent = measured;
        }
    }
    int left = design.left;
    if (control.design.align == TextAlign::Center) {
        left = (design.left + design.right - extent.cx) / 2;
    }
    ::SetWindowPos(control.window, nullptr, left, design.top, extent.cx, extent.cy,
                   SWP_NOZORDER | SWP_NOACTIVATE);
}

RECT Win32AboutView::OuterRectPixels() const {
    const float tpp = TwipsPerPixelForDpi(dpi_);
    RECT outer{0, 0, TwipsToPixels(clientWidthTwips_, tpp), TwipsToPixels(clientHeightTwips_, tpp)};
    AdjustForDpi(outer, kAboutStyle, dpi_);
    return outer;
}

void Win32AboutView::ApplyDpi(int dpi) {
    dpi_ = dpi;
    // New fonts first: a control must never hold a font that is gone.
    std::vector<Font> old = std::move(fonts_);
    fonts_.clear();
    for (Control& control : controls_) {
        control.font = FontFor(control.design.font);
        ::SendMessageW(control.window, WM_SETFONT, reinterpret_cast<WPARAM>(control.font), FALSE);
        const RECT r = DesignRectPixels(control.design);
        ::SetWindowPos(control.window, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                       SWP_NOZORDER | SWP_NOACTIVATE);
        if (control.design.kind == AboutControlKind::Label) {
            PlaceLabel(control);
        }
    }
    old.clear();

    // The picture and the hand are pixel art: whole-number factors only, as the bird's.
    const int scale = BirdScaleFor(dpi / 96.0);
    if (scale != pictureScale_) {
        pictureScale_ = scale;
        donateScaled_ = FrameBitmap{};
        handScaled_.reset();
        if (scale > 1) {
            try {
                donateScaled_ = EnlargeFrameBitmap(donate_, scale);
            } catch (const SetupError&) {
                // the picture stays at its own size
            }
            handScaled_ = EnlargeCursor(hand_.get(), scale);
        }
    }
    if (window_) {
        ::InvalidateRect(window_.get(), nullptr, TRUE);
    }
}

void Win32AboutView::Create(const AboutDesign& design) {
    if (window_) {
        return;  // already loaded
    }
    controls_.clear();
    frame_ = AboutControl{};
    placed_ = false;
    for (const AboutControl& control : design.controls) {
        if (control.kind == AboutControlKind::Frame) {
            frame_ = control;
        }
    }

    clientWidthTwips_ = design.clientWidthTwips;
    clientHeightTwips_ = design.clientHeightTwips;
    // Laid out for the primary monitor, where the window is centred on its first show; another
    // monitor's DPI is taken once the window exists.
    fonts_.clear();
    dpi_ = forms_.PrimaryDpi();
    const RECT outer = OuterRectPixels();
    window_.reset(CreateRoutedWindow(forms_.Instance(), kAboutClass, Widen(design.caption).c_str(),
                                     kAboutStyle, 0, CW_USEDEFAULT, CW_USEDEFAULT,
                                     outer.right - outer.left, outer.bottom - outer.top, nullptr,
                                     *this, "About window"));
    ::SendMessageW(window_.get(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(iconLarge_.get()));
    ::SendMessageW(window_.get(), WM_SETICON, ICON_SMALL,
                   reinterpret_cast<LPARAM>(iconSmall_.get()));

    HINSTANCE instance = forms_.Instance();
    for (const AboutControl& control : design.controls) {
        const RECT r = DesignRectPixels(control);
        const int width = r.right - r.left;
        const int height = r.bottom - r.top;
        DWORD style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS;
        const wchar_t* className = L"STATIC";
        switch (control.kind) {
            case AboutControlKind::Frame:
                className = L"BUTTON";
                style |= BS_GROUPBOX;
                break;
            case AboutControlKind::Picture:
                style |= SS_OWNERDRAW;
                break;
            case AboutControlKind::Label:
                style |= control.align == TextAlign::Center ? SS_CENTER : SS_LEFT;
                style |= SS_NOPREFIX;
                break;
        }
        if (control.handCursor) {
            style |= SS_NOTIFY;  // clicks and the cursor reach the window only with this
        }
        HWND child = ::CreateWindowExW(
            0, className, Widen(control.text).c_str(), style, r.left, r.top, width, height,
            window_.get(), reinterpret_cast<HMENU>(static_cast<INT_PTR>(ControlId(control.id))),
            instance, nullptr);
        if (child == nullptr) {
            continue;  // a missing control leaves a gap, not a broken window
        }
        Control entry{control, child, FontFor(control.font)};
        ::SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(entry.font), FALSE);
        if (control.kind == AboutControlKind::Label) {
            PlaceLabel(entry);
        }
        controls_.push_back(entry);
    }
    const int windowDpi = WindowDpi(window_.get(), dpi_);
    ApplyDpi(windowDpi);
    if (windowDpi != forms_.PrimaryDpi()) {
        const RECT resized = OuterRectPixels();
        ::SetWindowPos(window_.get(), nullptr, 0, 0, resized.right - resized.left,
                       resized.bottom - resized.top, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    // The frame must lie beneath the controls it holds, or it paints over them.
    for (const Control& control : controls_) {
        if (control.design.kind == AboutControlKind::Frame) {
            ::SetWindowPos(control.window, HWND_BOTTOM, 0, 0, 0, 0,
                           SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        }
    }
}

void Win32AboutView::SetText(AboutControlId id, std::string_view text) {
    for (Control& control : controls_) {
        if (control.design.id == id) {
            ::SetWindowTextW(control.window, Widen(text).c_str());
            if (control.design.kind == AboutControlKind::Label) {
                PlaceLabel(control);
            }
        }
    }
}

void Win32AboutView::Show() {
    if (!window_) {
        return;
    }
    if (!placed_) {
        RECT r{};
        ::GetWindowRect(window_.get(), &r);
        const int width = r.right - r.left;
        const int height = r.bottom - r.top;
        ::SetWindowPos(window_.get(), nullptr, (::GetSystemMetrics(SM_CXSCREEN) - width) / 2,
                       (::GetSystemMetrics(SM_CYSCREEN) - height) / 2, 0, 0,
                       SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        placed_ = true;
    }
    ::ShowWindow(window_.get(), SW_SHOW);
    ::SetForegroundWindow(window_.get());
}

WindowHandle Win32AboutView::Handle() const {
    return FromHwnd(window_.get());
}

const Win32AboutView::Control* Win32AboutView::ControlOf(HWND window) const {
    for (const Control& control : controls_) {
        if (control.window == window) {
            return &control;
        }
    }
    return nullptr;
}

void Win32AboutView::DrawPicture(const DRAWITEMSTRUCT& item) const {
    ::FillRect(item.hDC, &item.rcItem, ::GetSysColorBrush(COLOR_BTNFACE));
    const FrameBitmap& picture = donateScaled_.bitmap ? donateScaled_ : donate_;
    if (!picture.bitmap) {
        return;
    }
    UniqueMemoryDc memory(::CreateCompatibleDC(item.hDC));
    if (!memory) {
        return;
    }
    ScopedSelect select(memory.get(), picture.bitmap.get());
    // The picture keeps its own pixel size, as a picture control shows it unstretched; on a
    // monitor of a high scale it is already enlarged pixel for pixel.
    BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    ::AlphaBlend(item.hDC, item.rcItem.left, item.rcItem.top, picture.width, picture.height,
                 memory.get(), 0, 0, picture.width, picture.height, blend);
}

LRESULT Win32AboutView::HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_ACTIVATE:
            if (LOWORD(wParam) != WA_INACTIVE && events_ != nullptr) {
                events_->OnActivate();
            }
            return 0;
        case WM_SETCURSOR: {
            const Control* control = ControlOf(reinterpret_cast<HWND>(wParam));
            HCURSOR hand = handScaled_ ? handScaled_.get() : hand_.get();
            if (control != nullptr && control->design.handCursor && hand != nullptr) {
                ::SetCursor(hand);
                return TRUE;
            }
            break;
        }
        case WM_COMMAND:
            if (HIWORD(wParam) == STN_CLICKED) {
                const Control* control = ControlOf(reinterpret_cast<HWND>(lParam));
                if (control != nullptr && control->design.handCursor && events_ != nullptr) {
                    events_->OnClick(control->design.id);
                }
                return 0;
            }
            break;
        case WM_DPICHANGED: {
            // Dragged onto a monitor of another scale, or its scale changed: the rectangle
            // Windows suggests keeps the window under the pointer and sized for the new DPI.
            const auto* suggested = reinterpret_cast<const RECT*>(lParam);
            ApplyDpi(HIWORD(wParam));
            ::SetWindowPos(window, nullptr, suggested->left, suggested->top,
                           suggested->right - suggested->left, suggested->bottom - suggested->top,
                           SWP_NOZORDER | SWP_NOACTIVATE);
            return 0;
        }
        case WM_DRAWITEM: {
            const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
            DrawPicture(*item);
            return TRUE;
        }
        case WM_CLOSE:
            if (events_ != nullptr) {
                events_->OnUnload();
            }
            ActivateWindowBeneath(window);
            controls_.clear();
            window_.reset();
            return 0;
        default:
            break;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace tb::win32
