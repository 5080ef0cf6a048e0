// The auto-start settings: the per-user Run value that starts the program at logon, and the
// empty marker key that records that the first run already registered it.
#pragma once

#include <string_view>

#include "platform/forms_runtime.h"
#include "platform/registry.h"

namespace tb::Module3 {

inline constexpr std::string_view kRunKeyPath = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
// Where Task Manager keeps its "Disabled" switch for Run entries.
inline constexpr std::string_view kStartupApprovedPath =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run";
inline constexpr std::string_view kRunValueName = "Tapperbird";
inline constexpr std::string_view kSettingsKeyPath = "Software\\Velmor's Software\\Tapperbird\\1.0";
inline constexpr std::string_view kMarkerSubKey = "temp";
inline constexpr std::string_view kMarkerKeyPath =
    "Software\\Velmor's Software\\Tapperbird\\1.0\\temp";

// Writes the Run value: the program's quoted full path. A missing or write-protected Run key is
// passed over silently; an error raised on the way is shown in a message box.
void AddStartupEntry(Registry& registry, FormsRuntime& forms);

// Deletes the Run value; silent when the key or the value is missing.
void RemoveStartupEntry(Registry& registry, FormsRuntime& forms);

// True when the Run value exists (whatever its type and length) and Task Manager has not
// switched it off; false on any failure.
bool StartupEntryExists(Registry& registry, FormsRuntime& forms);

// True when the key under HKEY_CURRENT_USER already existed; otherwise tries to create it with
// every missing parent and returns false, whether or not that worked. Errors pass to the caller.
bool KeyExists(Registry& registry, std::string_view path);

// Makes sure the marker exists under the settings key; does nothing when that key is missing.
void CreateMarkerKey(Registry& registry);

// On a first run (no marker) registers the Run value and sets the marker; later runs write
// nothing, so a user who removed the Run value keeps it removed. Errors pass to the caller.
void FirstRunRegistration(Registry& registry, FormsRuntime& forms);

}  // namespace tb::Module3
