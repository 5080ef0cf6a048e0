// The About window: version and credits with three links; while it is open the bird is paused
// and out of sight.
#pragma once

#include <string>

#include "bird/form1.h"
#include "bird/shared_state.h"
#include "platform/platform.h"

namespace tb {

// The window as designed: caption, client size and every control, in twips.
const AboutDesign& Form4Design();

// "Version 1.0.0": plain decimal numbers, no leading zeros or fixed width.
std::string VersionText();

class Form4 final : public AboutViewEvents {
  public:
    Form4(Platform& platform, SharedState& state, Form1& bird);
    Form4(const Form4&) = delete;
    Form4& operator=(const Form4&) = delete;

    // Opens the window modelessly, loading it first when it is not open; an open window is only
    // brought forward.
    void Show();
    bool Loaded() const { return loaded_; }

    void Form_Load();
    void Form_Activate();
    void Form_Unload();
    void Image1_Click();
    void Label4_Click();
    void Label6_Click();

    void OnActivate() override;
    void OnUnload() override;
    void OnClick(AboutControlId id) override;

  private:
    void ClickLink(AboutControlId id);

    Platform& platform_;
    SharedState& state_;
    Form1& form1_;
    bool loaded_ = false;
};

}  // namespace tb
