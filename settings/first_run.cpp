// The first-run marker and the one-time registration it guards.
#include "settings/first_run.h"

#include "settings/startup_entry.h"

namespace tb::FirstRun {

bool KeyExists(Registry& registry, std::string_view path) {
    {
        UniqueKey key(registry);
        const RegResult opened = registry.OpenKey(path, key.out());
        // A marker that is there but cannot be read must not count as absent: registering again
        // would switch on what the user switched off.
        if (opened == kErrorSuccess || opened == kErrorAccessDenied) {
            return true;
        }
    }
    UniqueKey created(registry);
    registry.CreateKey(kHkeyCurrentUser, path, created.out());
    return false;
}

void CreateMarker(Registry& registry) {
    UniqueKey settings(registry);
    registry.OpenKey(kSettingsKeyPath, settings.out());
    // With no settings key the parent handle is 0 and the create fails: nothing to do then.
    UniqueKey marker(registry);
    registry.CreateKey(settings.get(), kMarkerSubKey, marker.out());
}

void Register(Registry& registry, FormsRuntime& forms) {
    if (KeyExists(registry, kMarkerKeyPath)) {
        return;
    }
    if (StartupEntry::Add(registry, forms) != StartupEntry::AddOutcome::Refused) {
        CreateMarker(registry);
        return;
    }
    // Nothing was written and nobody was told: without the marker the next start tries again.
    // The settings key above it stays; only the marker's existence means anything.
    UniqueKey settings(registry);
    if (registry.OpenKey(kSettingsKeyPath, settings.out()) == kErrorSuccess) {
        registry.DeleteKey(settings.get(), kMarkerSubKey);
    }
}

}  // namespace tb::FirstRun
