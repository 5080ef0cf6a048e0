// The running program's own file, which the GTK module and the Run-at-startup entry are found by.
#pragma once

#include <string>

namespace tb::linux_desktop {

// The program file's full path; empty when the system cannot tell (rather than a bare name, which
// would start whatever else of that name is on the path).
std::string ReadProgramPath();

}  // namespace tb::linux_desktop
