// The About window: version and credits with three links; while it is open the bird is paused
// and out of sight.
#pragma once

#include <string>

#include "bird/bird_state.h"
#include "bird/bird_window.h"
#include "platform/platform.h"

namespace tb {

// The window as designed: caption, client size and every control, in twips.
const AboutDesign& AboutWindowDesign();

// "Version 1.0.0": plain decimal numbers, no leading zeros or fixed width.
std::string VersionText();

class AboutWindow final : public AboutViewEvents {
  public:
    AboutWindow(Platform& platform, BirdState& state, BirdWindow& bird);
    AboutWindow(const AboutWindow&) = delete;
    AboutWindow& operator=(const AboutWindow&) = delete;

    // Opens the window modelessly, loading it first when it is not open; an open window is only
    // brought forward.
    void Show();
    bool Loaded() const { return loaded_; }

    void Load();
    void Activated();
    void Closed();
    void OnDonateButton();
    void OnMakerLink();
    void OnArtistLink();

    void OnActivate() override;
    void OnUnload() override;
    void OnClick(AboutControlId id) override;

  private:
    void ClickLink(AboutControlId id);

    Platform& platform_;
    BirdState& state_;
    BirdWindow& bird_;
    bool loaded_ = false;
};

}  // namespace tb
