// The display the program will try to open, for the message that says it could not.
#pragma once

#include <string>

namespace tb::linux_desktop::x11 {

// GTK's --display option (as "--display=NAME" or "--display NAME"; the last one wins) if the
// command line has one, else $DISPLAY as `environment` holds it (null when unset).
std::string DisplayToOpen(int argc, const char* const* argv, const char* environment);

}  // namespace tb::linux_desktop::x11
