// Reading and writing the freedesktop.org autostart entry that stands for the Run value on Linux:
// the Exec= quoting and escaping rules and the switches that disable an entry.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tb::x11 {

// One program path as a single Exec= argument: double-quoted, with ", `, $ and \ escaped inside
// the quotes, % doubled, then the key file's own string escapes (\\, \n, \t, \r) applied.
std::string ExecValueForPath(std::string_view path);

// The arguments of an Exec= value as the key file stores it (both escape layers undone, %% -> %).
// A malformed value (an unclosed quote) gives no arguments.
std::vector<std::string> ParseExecValue(std::string_view value);

// The full text of the autostart entry that starts `path` at logon, enabled.
std::string AutostartEntryText(std::string_view path);

struct AutostartEntry {
    bool disabled = false;  // Hidden=true or X-GNOME-Autostart-enabled=false
    std::string command;    // the program the entry starts: the single Exec argument, else the
                            // whole command line; empty when the entry has no Exec=
    bool singleArgument = false;  // Exec= held exactly one argument
};

// The [Desktop Entry] group of an autostart file; other groups and comments are skipped.
AutostartEntry ParseAutostartEntry(std::string_view text);

}  // namespace tb::x11
