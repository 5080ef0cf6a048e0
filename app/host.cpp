// The hidden host: start-up sequence and popup menu commands.
#include "app/host.h"

#include <exception>

#include "desktop/error_box.h"
#include "desktop/open_document.h"
#include "settings/first_run.h"
#include "settings/startup_entry.h"
#include "tapperbird_version.h"

namespace tb {

Host::Host(Platform& platform, BirdState& state, BirdWindow& bird, AboutWindow& about)
    : platform_(platform), state_(state), bird_(bird), about_(about) {}

void Host::Load() {
    try {
        // The menu is part of the form itself: built first, it exists whatever fails after.
        platform_.menu.Build(kBirdMenu);
        FirstRun::Register(platform_.registry, platform_.forms);
        caption_ = kApplicationTitle;
        // Held for the whole run and never tested: a second copy simply runs too.
        platform_.mutex.Create(kApplicationTitle);
        state_.firstShow = true;
        state_.animation = AnimationStep::CycleEnd;
        state_.settleSeconds = 0;
        bird_.Load();
        platform_.bird.Show();
        // Read once the bird is up, so it sees whatever took the foreground meanwhile.
        state_.targetWindow = platform_.windows.GetForegroundWindow();
        bird_.foregroundWatch->SetEnabled(true);
        state_.newTarget = false;
    } catch (const std::exception& e) {
        ShowError(platform_.forms, e.what());
    }
}

void Host::OnAbout() {
    about_.Show();
}

void Host::OnRunAtStartup() {
    // The tick may be stale or wrong after a refused write; the next popup shows the truth.
    if (!platform_.menu.IsChecked(MenuItem::RunAtStartup)) {
        StartupEntry::Add(platform_.registry, platform_.forms);
        platform_.menu.SetChecked(MenuItem::RunAtStartup, true);
    } else {
        StartupEntry::Remove(platform_.registry, platform_.forms);
        platform_.menu.SetChecked(MenuItem::RunAtStartup, false);
    }
}

void Host::OnDonate() {
    OpenDocument(platform_.shell, TB_MAKER_URL);
}

void Host::OnExit() {
    platform_.forms.EndProgram();
}

void Host::OnMenuCommand(MenuItem item) {
    GuardEvent(platform_.forms, [this, item] { Dispatch(item); });
}

void Host::Dispatch(MenuItem item) {
    switch (item) {
        case MenuItem::About:
            OnAbout();
            break;
        case MenuItem::RunAtStartup:
            OnRunAtStartup();
            break;
        case MenuItem::Donate:
            OnDonate();
            break;
        case MenuItem::Exit:
            OnExit();
            break;
        case MenuItem::FirstSeparator:
        case MenuItem::SecondSeparator:
            break;
    }
}

}  // namespace tb
