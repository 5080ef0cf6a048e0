// The About window: its design, its load and unload, and its links.
#include "about/form4.h"

#include <array>

#include "platform/units.h"
#include "shell/module2.h"
#include "tapperbird_version.h"

namespace tb {

namespace {

constexpr FontSpec kDefaultFont{"MS Sans Serif", 8.25f, false};
constexpr FontSpec kTitleFont{"MS Sans Serif", 13.5f, false};
constexpr FontSpec kTextFont{"MS Sans Serif", 9.75f, false};
constexpr FontSpec kLinkFont{"MS Sans Serif", 9.75f, true};

using enum AboutControlId;
using enum AboutControlKind;

// Positions in twips; the controls inside Frame1 are placed relative to it.
constexpr std::array<AboutControl, 10> kControls{{
    {Label1, Label, "Tapperbird", 240, 240, 1500, 360, false, kTitleFont, TextAlign::Left, false},
    {Label7, Label, "Beta", 1920, 360, 330, 195, false, kDefaultFont, TextAlign::Left, false},
    {lblversion, Label, "Freeware", 240, 720, 660, 195, false, kDefaultFont, TextAlign::Left,
     false},
    {Label2, Label, "Freeware", 2760, 720, 660, 195, false, kDefaultFont, TextAlign::Left, false},
    {Frame1, Frame, "", 240, 1080, 3135, 3015, false, kDefaultFont, TextAlign::Left, false},
    {Label3, Label, "\u00A9 2026 Velmor's Software", 360, 360, 2355, 240, true, kTextFont,
     TextAlign::Left, false},
    {Image1, Picture, "", 1080, 960, 930, 465, true, kDefaultFont, TextAlign::Left, true},
    {Label4, Label, TB_MAKER_URL, 360, 1680, 2400, 240, true, kLinkFont, TextAlign::Left, true},
    {Label5, Label, "Animation Credit to", 705, 2160, 1680, 240, true, kTextFont, TextAlign::Center,
     false},
    {Label6, Label, "Corvina Animations", 615, 2400, 1860, 240, true, kLinkFont, TextAlign::Center,
     true},
}};

constexpr AboutDesign kDesign{"About", 3600, 4425, kControls};

}  // namespace

const AboutDesign& Form4Design() {
    return kDesign;
}

std::string VersionText() {
    return "Version " + std::to_string(TB_VERSION_MAJOR) + "." + std::to_string(TB_VERSION_MINOR) +
           "." + std::to_string(TB_VERSION_PATCH);
}

Form4::Form4(Platform& platform, SharedState& state, Form1& bird)
    : platform_(platform), state_(state), form1_(bird) {}

void Form4::Show() {
    if (!loaded_) {
        platform_.about.Create(kDesign);
        loaded_ = true;
        Form_Load();
    }
    platform_.about.Show();
}

void Form4::Form_Load() {
    platform_.about.SetText(AboutControlId::lblversion, VersionText());
    form1_.Timer1->SetEnabled(false);
    form1_.Timer2->SetEnabled(false);
    state_.AnimState = 6;
    // Wholly beyond the screen's right edge while the bird is paused.
    platform_.bird.MoveTwips(RoundHalfEven(platform_.forms.ScreenWidthTwips()), -1);
}

void Form4::Form_Activate() {
    Module2::SetTopmost(platform_.windows, platform_.about.Handle());
}

void Form4::Form_Unload() {
    form1_.Timer1->SetEnabled(true);
    form1_.Timer2->SetEnabled(true);
}

void Form4::OnActivate() {
    Module2::GuardEvent(platform_.forms, [this] { Form_Activate(); });
}

void Form4::OnUnload() {
    loaded_ = false;
    Module2::GuardEvent(platform_.forms, [this] { Form_Unload(); });
}

void Form4::Image1_Click() {
    Module2::OpenDocument(platform_.shell, TB_MAKER_URL);
}

void Form4::Label4_Click() {
    Module2::OpenDocument(platform_.shell, TB_MAKER_URL);
}

void Form4::Label6_Click() {
    Module2::OpenDocument(platform_.shell, TB_ARTIST_URL);
}

void Form4::OnClick(AboutControlId id) {
    Module2::GuardEvent(platform_.forms, [this, id] { ClickLink(id); });
}

void Form4::ClickLink(AboutControlId id) {
    switch (id) {
        case AboutControlId::Image1:
            Image1_Click();
            break;
        case AboutControlId::Label4:
            Label4_Click();
            break;
        case AboutControlId::Label6:
            Label6_Click();
            break;
        default:
            break;  // the other controls are not links
    }
}

}  // namespace tb
