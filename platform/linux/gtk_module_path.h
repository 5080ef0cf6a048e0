// Where the program looks for its GTK module. Kept apart from dlopen for its tests.
#pragma once

#include <string>
#include <vector>

namespace tb::x11 {

// The paths to try, in order, given the program file's full path and the module folder's path
// relative to the program's folder ("" for none): the installed place first, then beside the
// program (a build tree). Empty when the program's path is unknown.
std::vector<std::string> GtkModuleCandidates(const std::string& programPath,
                                             const std::string& relativeModuleDir);

}  // namespace tb::x11
