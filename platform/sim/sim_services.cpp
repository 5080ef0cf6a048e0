// The simulated shell, mutex, random source, popup menu and About window.
#include "platform/sim/sim_desktop.h"

#include <stdexcept>

#include "platform/units.h"

namespace tb::sim {

// ---------------------------------------------------------------------------------------------
// Shell, mutex, random

void SimShell::Open(std::string_view target) {
    desk_.MaybeRaise(SimCall::ShellOpen);
    opened_.emplace_back(target);
}

void SimMutex::Create(std::string_view name) {
    desk_.MaybeRaise(SimCall::MutexCreate);
    created_.emplace_back(name);
}

float SimRandom::NextSingle() {
    if (!scripted_) {
        ++draws_;
        return lcg_.NextSingle();
    }
    if (next_ >= script_.size()) {
        throw std::out_of_range("scripted random values exhausted");
    }
    ++draws_;
    return script_[next_++];
}

void SimRandom::Script(std::vector<float> values) {
    scripted_ = true;
    script_ = std::move(values);
    next_ = 0;
}

void SimRandom::UseGenerator() {
    scripted_ = false;
}

// ---------------------------------------------------------------------------------------------
// Menu

const SimMenu::Entry* SimMenu::Find(MenuItem item) const {
    for (const auto& e : entries_) {
        if (e.id == item) {
            return &e;
        }
    }
    return nullptr;
}

void SimMenu::Build(std::span<const MenuEntry> entries) {
    entries_.clear();
    for (const MenuEntry& e : entries) {
        entries_.push_back(Entry{e.id, e.kind, std::string(e.caption), false});
    }
    ++buildCount_;
}

void SimMenu::SetChecked(MenuItem item, bool checked) {
    auto* e = const_cast<Entry*>(Find(item));
    if (e == nullptr) {
        throw std::logic_error("SetChecked on a menu item that was never built");
    }
    e->checked = checked;
}

bool SimMenu::IsChecked(MenuItem item) const {
    const Entry* e = Find(item);
    return e != nullptr && e->checked;
}

void SimMenu::Popup() {
    popups_.push_back(PopupRecord{IsChecked(MenuItem::RunAtStartup), desk_.now_});
    open_ = true;
}

// ---------------------------------------------------------------------------------------------
// About view

void SimAboutView::Create(const AboutDesign& design) {
    desk_.MaybeRaise(SimCall::AboutCreate);
    if (handle_ != 0) {
        throw std::logic_error("the About window is already created");
    }
    handle_ = desk_.windows_.Add(Rect{}, false);
    caption_ = design.caption;
    clientWidthTwips_ = design.clientWidthTwips;
    clientHeightTwips_ = design.clientHeightTwips;
    controls_.clear();
    for (const AboutControl& c : design.controls) {
        controls_.push_back(Control{c.id, std::string(c.text), c.handCursor});
    }
    shown_ = false;
    centred_ = false;
    ++createCount_;
}

void SimAboutView::SetText(AboutControlId id, std::string_view text) {
    for (auto& c : controls_) {
        if (c.id == id) {
            c.text = text;
            return;
        }
    }
    throw std::logic_error("SetText on a control the About window does not have");
}

void SimAboutView::Show() {
    if (handle_ == 0) {
        throw std::logic_error("the About window is shown before it is created");
    }
    auto* w = desk_.windows_.Find(handle_);
    if (!centred_) {
        const std::int32_t width = TwipsToPixels(clientWidthTwips_, desk_.TppX());
        const std::int32_t height = TwipsToPixels(clientHeightTwips_, desk_.TppY());
        const std::int32_t left = (desk_.screenWidth_ - width) / 2;
        const std::int32_t top = (desk_.screenHeight_ - height) / 2;
        w->rect = Rect{left, top, left + width, top + height};
        centred_ = true;
    }
    w->visible = true;
    shown_ = true;
    ++showCount_;
    desk_.windows_.SetForeground(handle_);
}

std::string SimAboutView::Text(AboutControlId id) const {
    for (const auto& c : controls_) {
        if (c.id == id) {
            return c.text;
        }
    }
    return {};
}

bool SimAboutView::IsClickable(AboutControlId id) const {
    for (const auto& c : controls_) {
        if (c.id == id) {
            return c.handCursor;
        }
    }
    return false;
}

void SimAboutView::Destroy() {
    const WindowHandle doomed = handle_;
    handle_ = 0;
    shown_ = false;
    centred_ = false;
    controls_.clear();
    desk_.windows_.Remove(doomed);
}

}  // namespace tb::sim
