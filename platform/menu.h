// The bird's popup menu: built once from the logic's item table, popped up at the pointer.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace tb {

enum class MenuItem : std::uint8_t {
    About,
    FirstSeparator,
    RunAtStartup,
    SecondSeparator,
    Donate,
    Exit
};

enum class MenuItemKind : std::uint8_t { Command, Separator, Check };

struct MenuEntry {
    MenuItem id;
    MenuItemKind kind;
    std::string_view caption;  // "-" for separators
};

// A chosen command, sent back into the logic on the GUI thread.
class MenuEvents {
  public:
    virtual ~MenuEvents() = default;
    virtual void OnMenuCommand(MenuItem item) = 0;
};

class PopupMenu {
  public:
    virtual ~PopupMenu() = default;
    virtual void SetEvents(MenuEvents* events) = 0;
    // Builds the menu from the table, in order; called once at load.
    virtual void Build(std::span<const MenuEntry> entries) = 0;
    // The check mark of a check item. The mark is the menu's own state: choosing a check item
    // does not flip it by itself; the logic sets it.
    virtual void SetChecked(MenuItem item, bool checked) = 0;
    virtual bool IsChecked(MenuItem item) const = 0;
    // Pops the menu up over the bird window at the pointer. A chosen command reaches
    // MenuEvents::OnMenuCommand, either before this returns (modal menus) or later.
    virtual void Popup() = 0;
};

}  // namespace tb
