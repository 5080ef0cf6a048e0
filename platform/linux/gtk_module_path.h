// Where the program finds its GTK module, and the checks it passes before dlopen: only the
// program's own install layout, only what no one but the user or root can change, and only a
// whole shared library (a cut-short one would kill the process on first use). Kept apart from
// the program for its tests.
#pragma once

#include <string>
#include <string_view>

#include "platform/linux/unique_fd.h"

namespace tb::linux_desktop {

// A module fit to load, held open (so a package removed after the start does not take the menu
// with it), or why there is none.
struct FoundModule {
    UniqueFd file;       // open for reading; empty when none is fit
    std::string path;    // the module's path as the user knows it
    std::string reason;  // why none is fit, for the user; empty when one is
};

// The folder at `path` (absolute), opened one name at a time, so a path longer than the system
// takes whole still opens; empty on failure (errno set).
UniqueFd OpenFolder(std::string_view path);

// Looks in the program's private module folder (`relativeModuleDir` from the program's folder;
// "" or "." for none), then beside the program. A place where the module is not is passed over;
// one that is not to be trusted is refused with its reason, and the next place is tried.
// `folderName` names the program's folder in the reasons.
FoundModule FindGtkModule(int programFolder, const std::string& folderName,
                          std::string_view relativeModuleDir);

// dlopen of a found module through its descriptor, so what is loaded is what was checked.
// Null, with dlerror()'s words (naming a missing library, say) in `reason`, when it will not load.
void* LoadGtkModule(const FoundModule& module, std::string& reason);

}  // namespace tb::linux_desktop
