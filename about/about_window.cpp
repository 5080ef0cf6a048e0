// The About window: its design, its load and unload, and its links.
#include "about/about_window.h"

#include <array>

#include "platform/units.h"
#include "desktop/error_box.h"
#include "desktop/monitors.h"
#include "desktop/open_document.h"
#include "desktop/topmost.h"
#include "tapperbird_version.h"

namespace tb {

namespace {

constexpr FontSpec kDefaultFont{"MS Sans Serif", 8.25f, false};
constexpr FontSpec kTitleFont{"MS Sans Serif", 13.5f, false};
constexpr FontSpec kTextFont{"MS Sans Serif", 9.75f, false};
constexpr FontSpec kLinkFont{"MS Sans Serif", 9.75f, true};

using enum AboutControlId;
using enum AboutControlKind;

// Positions in twips; the controls inside CreditsFrame are placed relative to it.
constexpr std::array<AboutControl, 10> kControls{{
    {Title, Label, "Tapperbird", 240, 240, 1500, 360, false, kTitleFont, TextAlign::Left, false},
    {BetaBadge, Label, "Beta", 1920, 360, 330, 195, false, kDefaultFont, TextAlign::Left, false},
    {Version, Label, "Freeware", 240, 720, 660, 195, false, kDefaultFont, TextAlign::Left, false},
    {Licence, Label, "Freeware", 2760, 720, 660, 195, false, kDefaultFont, TextAlign::Left, false},
    {CreditsFrame, Frame, "", 240, 1080, 3135, 3015, false, kDefaultFont, TextAlign::Left, false},
    {Copyright, Label, "\u00A9 2026 Velmor's Software", 360, 360, 2355, 240, true, kTextFont,
     TextAlign::Left, false},
    {DonateButton, Picture, "", 1080, 960, 930, 465, true, kDefaultFont, TextAlign::Left, true},
    {MakerLink, Label, TB_MAKER_URL, 360, 1680, 2400, 240, true, kLinkFont, TextAlign::Left, true},
    {ArtistCredit, Label, "Animation Credit to", 705, 2160, 1680, 240, true, kTextFont,
     TextAlign::Center, false},
    {ArtistLink, Label, "Corvina Animations", 615, 2400, 1860, 240, true, kLinkFont,
     TextAlign::Center, true},
}};

constexpr AboutDesign kDesign{"About", 3600, 4425, kControls};

}  // namespace

const AboutDesign& AboutWindowDesign() {
    return kDesign;
}

std::string VersionText() {
    return "Version " + std::to_string(TB_VERSION_MAJOR) + "." + std::to_string(TB_VERSION_MINOR) +
           "." + std::to_string(TB_VERSION_PATCH);
}

AboutWindow::AboutWindow(Platform& platform, BirdState& state, BirdWindow& bird)
    : platform_(platform), state_(state), bird_(bird) {}

void AboutWindow::Show() {
    if (!loaded_) {
        platform_.about.Create(kDesign);
        loaded_ = true;
        Load();
    }
    platform_.about.Show();
}

void AboutWindow::Load() {
    platform_.about.SetText(AboutControlId::Version, VersionText());
    bird_.animationTimer->SetEnabled(false);
    bird_.foregroundWatch->SetEnabled(false);
    state_.animation = AnimationStep::CycleEnd;
    // Out of sight on every monitor while the bird is paused: past the right edge of the primary
    // screen alone would put it on a monitor to the right of it.
    FormsRuntime& forms = platform_.forms;
    const Point hidden = HidingPlace(forms);
    platform_.bird.MoveTwips(PixelsToTwips(hidden.x, forms.TwipsPerPixelX()),
                             PixelsToTwips(hidden.y, forms.TwipsPerPixelY()));
}

void AboutWindow::Activated() {
    SetTopmost(platform_.windows, platform_.about.Handle());
}

void AboutWindow::Closed() {
    bird_.animationTimer->SetEnabled(true);
    bird_.foregroundWatch->SetEnabled(true);
}

void AboutWindow::OnActivate() {
    GuardEvent(platform_.forms, [this] { Activated(); });
}

void AboutWindow::OnUnload() {
    loaded_ = false;
    GuardEvent(platform_.forms, [this] { Closed(); });
}

void AboutWindow::OnDonateButton() {
    OpenDocument(platform_.shell, TB_MAKER_URL);
}

void AboutWindow::OnMakerLink() {
    OpenDocument(platform_.shell, TB_MAKER_URL);
}

void AboutWindow::OnArtistLink() {
    OpenDocument(platform_.shell, TB_ARTIST_URL);
}

void AboutWindow::OnClick(AboutControlId id) {
    GuardEvent(platform_.forms, [this, id] { ClickLink(id); });
}

void AboutWindow::ClickLink(AboutControlId id) {
    switch (id) {
        case AboutControlId::DonateButton:
            OnDonateButton();
            break;
        case AboutControlId::MakerLink:
            OnMakerLink();
            break;
        case AboutControlId::ArtistLink:
            OnArtistLink();
            break;
        default:
            break;  // the other controls are not links
    }
}

}  // namespace tb
