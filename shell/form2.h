// The hidden host form: the start-up sequence and the bird's popup menu with its commands.
#pragma once

#include <array>

#include "about/form4.h"
#include "bird/form1.h"
#include "bird/shared_state.h"
#include "platform/platform.h"

namespace tb {

inline constexpr std::string_view kApplicationTitle = "Tapperbird";

// The popup menu `base`, in the order it shows.
inline constexpr std::array<MenuEntry, 6> kBaseMenu{{
    {MenuItem::About, MenuItemKind::Command, "About Tapperbird"},
    {MenuItem::Line1, MenuItemKind::Separator, "-"},
    {MenuItem::Start, MenuItemKind::Check, "Run at Startup"},
    {MenuItem::Line2, MenuItemKind::Separator, "-"},
    {MenuItem::Donation, MenuItemKind::Command, "Donate via PayPal"},
    {MenuItem::Exit, MenuItemKind::Command, "Exit"},
}};

class Form2 final : public MenuEvents {
  public:
    Form2(Platform& platform, SharedState& state, Form1& bird, Form4& about);
    Form2(const Form2&) = delete;
    Form2& operator=(const Form2&) = delete;

    // The start-up sequence; an error stops it with one message box and leaves the rest undone.
    void Form_Load();

    void about_Click();
    void start_Click();  // driven by the check mark, not by a fresh registry query
    void donation_Click();
    void exit_Click();

    void OnMenuCommand(MenuItem item) override;

    std::string_view Caption() const { return caption_; }

  private:
    void Dispatch(MenuItem item);

    Platform& platform_;
    SharedState& state_;
    Form1& form1_;
    Form4& form4_;
    std::string_view caption_ = "Form2";
};

}  // namespace tb
