// The About window's view: a fixed dialog laid out from the form's design table.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "platform/types.h"

namespace tb {

enum class AboutControlId : std::uint8_t {
    Title,
    BetaBadge,
    Version,
    Licence,
    CreditsFrame,
    Copyright,
    DonateButton,
    MakerLink,
    ArtistCredit,
    ArtistLink,
};

enum class AboutControlKind : std::uint8_t { Label, Frame, Picture };
enum class TextAlign : std::uint8_t { Left, Center };

struct FontSpec {
    std::string_view name;  // "MS Sans Serif"
    float sizePoints;       // 8.25, 9.75, 13.5
    bool underline;
};

// One control, positioned in twips relative to its container (the form or CreditsFrame).
struct AboutControl {
    AboutControlId id;
    AboutControlKind kind;
    std::string_view text;  // label caption; empty for the frame and the picture
    std::int32_t leftTwips, topTwips, widthTwips, heightTwips;
    bool inFrame;  // child of CreditsFrame
    FontSpec font;
    TextAlign align;
    bool handCursor;  // the link cursor; the control is clickable
};

struct AboutDesign {
    std::string_view caption;  // "About"
    std::int32_t clientWidthTwips, clientHeightTwips;
    std::span<const AboutControl> controls;
};

class AboutViewEvents {
  public:
    virtual ~AboutViewEvents() = default;
    virtual void OnActivate() = 0;                // each time the window becomes active
    virtual void OnUnload() = 0;                  // the window is closing (close box)
    virtual void OnClick(AboutControlId id) = 0;  // a click on a hand-cursor control
};

class AboutView {
  public:
    virtual ~AboutView() = default;
    virtual void SetEvents(AboutViewEvents* events) = 0;
    // Creates the window and its controls, hidden.
    virtual void Create(const AboutDesign& design) = 0;
    // Replaces a label's caption.
    virtual void SetText(AboutControlId id, std::string_view text) = 0;
    // Centres the window on the screen (first show only), shows and activates it.
    virtual void Show() = 0;
    // The window's handle, for SetTopmost; 0 while not created.
    virtual WindowHandle Handle() const = 0;
};

}  // namespace tb
