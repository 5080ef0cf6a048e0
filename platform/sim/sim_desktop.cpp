// The desktop that ties the simulated services together, and the user-action helpers: clicking
// the bird, choosing from its menu, using the About window, and injected errors.
#include "platform/sim/sim_desktop.h"

#include <stdexcept>

namespace tb::sim {

// ---------------------------------------------------------------------------------------------
// The desktop

SimDesktop::SimDesktop()
    : windows_(*this),
      bird_(*this),
      forms_(*this),
      registry_(*this),
      shell_(*this),
      mutex_(*this),
      menu_(*this),
      about_(*this),
      platform_{windows_, bird_, forms_, registry_, shell_, mutex_, menu_, about_, random_} {
    bird_.handle_ = windows_.Add(Rect{}, false);
}

SimDesktop::~SimDesktop() = default;

void SimDesktop::RequireRunning(const char* act) const {
    if (forms_.ended_) {
        throw std::logic_error(std::string(act) + ": the program has ended");
    }
}

void SimDesktop::ClickBird(MouseButton button) {
    RequireRunning("ClickBird");
    if (!bird_.shown_) {
        throw std::logic_error("ClickBird: the bird window is not shown");
    }
    if (bird_.events_ != nullptr) {
        bird_.events_->OnMouseDown(button, 0, 150.0f, 300.0f);
    }
}

void SimDesktop::Choose(MenuItem item) {
    RequireRunning("Choose");
    if (!menu_.open_) {
        throw std::logic_error("Choose: no menu is open");
    }
    const SimMenu::Entry* e = menu_.Find(item);
    if (e == nullptr || e->kind == MenuItemKind::Separator) {
        throw std::logic_error("Choose: not a command of the open menu");
    }
    menu_.open_ = false;
    if (menu_.events_ != nullptr) {
        menu_.events_->OnMenuCommand(item);
    }
}

void SimDesktop::DismissMenu() {
    if (!menu_.open_) {
        throw std::logic_error("DismissMenu: no menu is open");
    }
    menu_.open_ = false;
}

void SimDesktop::CloseAbout() {
    RequireRunning("CloseAbout");
    if (about_.handle_ == 0) {
        throw std::logic_error("CloseAbout: the About window is not open");
    }
    if (about_.events_ != nullptr) {
        about_.events_->OnUnload();
    }
    about_.Destroy();
}

void SimDesktop::ActivateAbout() {
    RequireRunning("ActivateAbout");
    if (about_.handle_ == 0) {
        throw std::logic_error("ActivateAbout: the About window is not open");
    }
    windows_.SetForeground(about_.handle_);
}

bool SimDesktop::ClickAbout(AboutControlId id) {
    RequireRunning("ClickAbout");
    if (about_.handle_ == 0 || !about_.shown_) {
        throw std::logic_error("ClickAbout: the About window is not open");
    }
    if (!about_.IsClickable(id)) {
        return false;
    }
    if (about_.events_ != nullptr) {
        about_.events_->OnClick(id);
    }
    return true;
}

void SimDesktop::Raise(SimCall call, std::string message, int times) {
    raises_[call] = RaiseRule{std::move(message), times};
}

void SimDesktop::ClearRaises() {
    raises_.clear();
}

void SimDesktop::MaybeRaise(SimCall call) {
    const auto it = raises_.find(call);
    if (it == raises_.end() || it->second.remaining == 0) {
        return;
    }
    if (it->second.remaining > 0) {
        --it->second.remaining;
    }
    throw std::runtime_error(it->second.message);
}

void SimDesktop::ReserveLogs(std::size_t entries) {
    bird_.ReservePresentLog(entries);
    windows_.topmostCalls_.reserve(entries);
}

}  // namespace tb::sim
