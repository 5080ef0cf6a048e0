// The per-user Run value that starts the program at logon, as "Run at Startup" shows and
// switches it, and Task Manager's "Disabled" mark on it.
#pragma once

#include <string_view>

#include "platform/forms_runtime.h"
#include "platform/registry.h"

namespace tb::StartupEntry {

inline constexpr std::string_view kRunKeyPath = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
// Where Task Manager keeps its "Disabled" switch for Run entries.
inline constexpr std::string_view kStartupApprovedPath =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run";
inline constexpr std::string_view kRunValueName = "Tapperbird";

enum class AddOutcome {
    Written,
    Refused,   // the store refused the key or the value, and nobody was told
    Reported,  // an error was shown to the user
};

// Writes the Run value: the program's quoted full path. A missing or write-protected Run key, or
// a refused write, is passed over silently; an error raised on the way is shown in a message box.
AddOutcome Add(Registry& registry, FormsRuntime& forms);

// Deletes the Run value; silent when the key or the value is missing.
void Remove(Registry& registry, FormsRuntime& forms);

// True when the Run value exists (whatever its type and length) and Task Manager has not
// switched it off; false on any failure.
bool Exists(Registry& registry, FormsRuntime& forms);

}  // namespace tb::StartupEntry
