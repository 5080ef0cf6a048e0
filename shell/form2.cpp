// The hidden host form: start-up sequence and popup menu commands.
#include "shell/form2.h"

#include <exception>

#include "settings/module3.h"
#include "shell/module2.h"
#include "tapperbird_version.h"

namespace tb {

Form2::Form2(Platform& platform, SharedState& state, Form1& bird, Form4& about)
    : platform_(platform), state_(state), form1_(bird), form4_(about) {}

void Form2::Form_Load() {
    try {
        // The menu is part of the form itself: built first, it exists whatever fails after.
        platform_.menu.Build(kBaseMenu);
        Module3::FirstRunRegistration(platform_.registry, platform_.forms);
        caption_ = kApplicationTitle;
        // Held for the whole run and never tested: a second copy simply runs too.
        platform_.mutex.Create(kApplicationTitle);
        state_.FirstShow = true;
        state_.AnimState = 6;
        state_.SettleTicks = 0;
        form1_.Form_Load();
        platform_.bird.Show();
        // Read once the bird is up, so it sees whatever took the foreground meanwhile.
        state_.TargetWnd = platform_.windows.GetForegroundWindow();
        form1_.Timer2->SetEnabled(true);
        state_.NewTarget = false;
    } catch (const std::exception& e) {
        Module2::ShowError(platform_.forms, e.what());
    }
}

void Form2::about_Click() {
    form4_.Show();
}

void Form2::start_Click() {
    // The tick may be stale or wrong after a refused write; the next popup shows the truth.
    if (!platform_.menu.IsChecked(MenuItem::Start)) {
        Module3::AddStartupEntry(platform_.registry, platform_.forms);
        platform_.menu.SetChecked(MenuItem::Start, true);
    } else {
        Module3::RemoveStartupEntry(platform_.registry, platform_.forms);
        platform_.menu.SetChecked(MenuItem::Start, false);
    }
}

void Form2::donation_Click() {
    Module2::OpenDocument(platform_.shell, TB_MAKER_URL);
}

void Form2::exit_Click() {
    platform_.forms.EndProgram();
}

void Form2::OnMenuCommand(MenuItem item) {
    Module2::GuardEvent(platform_.forms, [this, item] { Dispatch(item); });
}

void Form2::Dispatch(MenuItem item) {
    switch (item) {
        case MenuItem::About:
            about_Click();
            break;
        case MenuItem::Start:
            start_Click();
            break;
        case MenuItem::Donation:
            donation_Click();
            break;
        case MenuItem::Exit:
            exit_Click();
            break;
        case MenuItem::Line1:
        case MenuItem::Line2:
            break;
    }
}

}  // namespace tb
