// The popup menu: built from the logic's table, popped up at the pointer, and closed again
// without leaving the user's window in the background.
#include "platform/win32/win32_menu.h"

#include "platform/win32/win32_text.h"

namespace tb::win32 {

namespace {

// Command identifiers are the item's number plus one: TrackPopupMenu returns 0 for "no choice".
UINT CommandId(MenuItem item) {
    return static_cast<UINT>(item) + 1;
}

}  // namespace

Win32PopupMenu::Win32PopupMenu(Win32FormsRuntime& forms)
    : forms_(forms), menu_(::CreatePopupMenu()) {
    if (!menu_) {
        throw SetupError("Cannot create the popup menu.", ::GetLastError());
    }
}

void Win32PopupMenu::Build(std::span<const MenuEntry> entries) {
    for (const MenuEntry& entry : entries) {
        if (entry.kind == MenuItemKind::Separator) {
            ::AppendMenuW(menu_.get(), MF_SEPARATOR, 0, nullptr);
        } else {
            ::AppendMenuW(menu_.get(), MF_STRING, CommandId(entry.id),
                          Widen(entry.caption).c_str());
        }
    }
}

void Win32PopupMenu::SetChecked(MenuItem item, bool checked) {
    ::CheckMenuItem(menu_.get(), CommandId(item),
                    MF_BYCOMMAND | static_cast<UINT>(checked ? MF_CHECKED : MF_UNCHECKED));
}

bool Win32PopupMenu::IsChecked(MenuItem item) const {
    const UINT state = ::GetMenuState(menu_.get(), CommandId(item), MF_BYCOMMAND);
    return state != static_cast<UINT>(-1) && (state & MF_CHECKED) != 0;
}

void Win32PopupMenu::Popup() {
    POINT at{};
    ::GetCursorPos(&at);
    HWND owner = forms_.HostWindow();
    HWND perchedOn = ::GetForegroundWindow();
    // The foreground watcher would see the menu's owner as a new target and hide the bird, so
    // the timers hold still while the menu is open.
    Win32FormsRuntime::TimerHold hold(forms_);
    // A menu whose owner is not the foreground window stays open when the user clicks
    // elsewhere and gets no keys, so the hidden host takes the foreground for the menu's life.
    ::SetForegroundWindow(owner);
    const UINT chosen =
        ::TrackPopupMenu(menu_.get(), TPM_RETURNCMD | TPM_NONOTIFY, at.x, at.y, 0, owner, nullptr);
    ::PostMessageW(owner, WM_NULL, 0, 0);
    // Hand the foreground back before anything else runs, so the watcher finds the same target
    // when the timers resume: no new settle delay, no hidden bird.
    if (perchedOn != nullptr && perchedOn != owner && ::IsWindow(perchedOn)) {
        ::SetForegroundWindow(perchedOn);
    }
    hold.release();
    if (chosen != 0 && chosen <= CommandId(MenuItem::Exit) && events_ != nullptr) {
        events_->OnMenuCommand(static_cast<MenuItem>(chosen - 1));
    }
}

}  // namespace tb::win32
