// The empty marker key that records that the first run already registered the program to start
// at logon, so a user who switched that off keeps it off.
#pragma once

#include <string_view>

#include "platform/forms_runtime.h"
#include "platform/registry.h"

namespace tb::FirstRun {

inline constexpr std::string_view kSettingsKeyPath = "Software\\Velmor's Software\\Tapperbird\\1.0";
inline constexpr std::string_view kMarkerSubKey = "temp";
inline constexpr std::string_view kMarkerKeyPath =
    "Software\\Velmor's Software\\Tapperbird\\1.0\\temp";

// True when the key under HKEY_CURRENT_USER already existed, or may exist but cannot be looked
// at (access refused); otherwise tries to create it with every missing parent and returns false,
// whether or not that worked. Errors pass to the caller.
bool KeyExists(Registry& registry, std::string_view path);

// Makes sure the marker exists under the settings key; does nothing when that key is missing.
void CreateMarker(Registry& registry);

// On a first run (no marker) registers the Run value and sets the marker; later runs write
// nothing. When the store silently refused the Run value, the marker is taken back, so that the
// next start tries again instead of losing start-at-logon for good. Errors pass to the caller.
void Register(Registry& registry, FormsRuntime& forms);

}  // namespace tb::FirstRun
