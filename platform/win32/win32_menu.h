// The bird's popup menu on Win32: a TrackPopupMenu menu owned by the hidden host window.
#pragma once

#include <windows.h>

#include "platform/menu.h"
#include "platform/win32/win32_forms.h"
#include "platform/win32/win32_handles.h"

namespace tb::win32 {

class Win32PopupMenu final : public PopupMenu {
  public:
    // Throws SetupError when the system will not make a menu.
    explicit Win32PopupMenu(Win32FormsRuntime& forms);

    void SetEvents(MenuEvents* events) override { events_ = events; }
    void Build(std::span<const MenuEntry> entries) override;
    void SetChecked(MenuItem item, bool checked) override;
    bool IsChecked(MenuItem item) const override;
    void Popup() override;

  private:
    Win32FormsRuntime& forms_;
    MenuEvents* events_ = nullptr;
    UniqueHmenu menu_;
};

}  // namespace tb::win32
