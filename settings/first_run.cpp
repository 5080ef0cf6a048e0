// The first-run marker and the one-time registration it guards.
#include "settings/first_run.h"

#include "settings/startup_entry.h"

namespace tb::FirstRun {

bool KeyExists(Registry& registry, std::string_view path) {
    {
        UniqueKey key(registry);
        if (registry.OpenKey(path, key.out()) == kErrorSuccess) {
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
    if (!KeyExists(registry, kMarkerKeyPath)) {
        StartupEntry::Add(registry, forms);
        CreateMarker(registry);
    }
}

}  // namespace tb::FirstRun
