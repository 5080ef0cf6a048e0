// The hidden host: the start-up sequence and the bird's popup menu with its commands.
#pragma once

#include <array>

#include "about/about_window.h"
#include "bird/bird_window.h"
#include "bird/bird_state.h"
#include "platform/platform.h"

namespace tb {

// The bird's menu, in the order it shows.
inline constexpr std::array<MenuEntry, 6> kBirdMenu{{
    {MenuItem::About, MenuItemKind::Command, "About Tapperbird"},
    {MenuItem::FirstSeparator, MenuItemKind::Separator, "-"},
    {MenuItem::RunAtStartup, MenuItemKind::Check, "Run at Startup"},
    {MenuItem::SecondSeparator, MenuItemKind::Separator, "-"},
    {MenuItem::Donate, MenuItemKind::Command, "Donate via PayPal"},
    {MenuItem::Exit, MenuItemKind::Command, "Exit"},
}};

class Host final : public MenuEvents {
  public:
    Host(Platform& platform, BirdState& state, BirdWindow& bird, AboutWindow& about);
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    // The start-up sequence; an error stops it with one message box and leaves the rest undone.
    void Load();

    void OnAbout();
    void OnRunAtStartup();  // driven by the check mark, not by a fresh registry query
    void OnDonate();
    void OnExit();

    void OnMenuCommand(MenuItem item) override;

    std::string_view Caption() const { return caption_; }

  private:
    void Dispatch(MenuItem item);

    Platform& platform_;
    BirdState& state_;
    BirdWindow& bird_;
    AboutWindow& about_;
    std::string_view caption_;  // named by the start-up
};

}  // namespace tb
