// The About window on Win32: a fixed dialog-like window laid out from the logic's design table
// in twips at the DPI of the monitor it is on, with static controls, a hand cursor over the links
// and its own icon. Moved to a monitor of another scale, it lays itself out again.
#pragma once

#include <windows.h>

#include <vector>

#include "platform/about_view.h"
#include "platform/win32/win32_bitmap.h"
#include "platform/win32/win32_forms.h"
#include "platform/win32/win32_handles.h"
#include "platform/win32/win32_window.h"

namespace tb::win32 {

class Win32AboutView final : public AboutView, private MessageTarget {
  public:
    explicit Win32AboutView(Win32FormsRuntime& forms);

    void SetEvents(AboutViewEvents* events) override { events_ = events; }
    void Create(const AboutDesign& design) override;
    void SetText(AboutControlId id, std::string_view text) override;
    void Show() override;
    WindowHandle Handle() const override;

  private:
    struct Control {
        AboutControl design;
        HWND window = nullptr;  // a child: destroyed with the About window
        HFONT font = nullptr;   // owned by fonts_
    };
    struct Font {
        FontSpec style;
        UniqueHfont font;
    };

    LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
    HFONT FontFor(const FontSpec& wanted);
    void PlaceLabel(Control& control);
    RECT DesignRectPixels(const AboutControl& control) const;
    RECT OuterRectPixels() const;
    // Takes `dpi` for the layout: new fonts, every control moved and sized, and the picture and
    // hand cursor enlarged by the bird's whole-number factor for it.
    void ApplyDpi(int dpi);
    const Control* ControlOf(HWND window) const;
    void DrawPicture(const DRAWITEMSTRUCT& item) const;

    Win32FormsRuntime& forms_;
    AboutViewEvents* events_ = nullptr;
    AboutControl frame_{};  // CreditsFrame of the current design, the origin of its children
    std::int32_t clientWidthTwips_ = 0;
    std::int32_t clientHeightTwips_ = 0;
    int dpi_ = 96;          // the layout's
    int pictureScale_ = 1;  // the picture's and the hand cursor's enlargement
    std::vector<Font> fonts_;
    UniqueHicon iconLarge_;
    UniqueHicon iconSmall_;
    UniqueHcursor hand_;        // as the resource holds it
    UniqueHcursor handScaled_;  // enlarged, when the factor is above 1
    FrameBitmap donate_;        // as the resource holds it
    FrameBitmap donateScaled_;  // enlarged, when the factor is above 1
    std::vector<Control> controls_;
    bool placed_ = false;
    UniqueHwnd window_;  // last: destroyed before the fonts and pictures it uses
};

}  // namespace tb::win32
