// The freedesktop.org autostart entry that stands for the Run value on Linux. It is read and
// edited with GLib's own key-file rules, and "will it start" is GLib's verdict, so the tick agrees
// with what GLib-based desktops (GNOME, Xfce, Cinnamon, MATE...) start at logon.
#pragma once

#include <string>
#include <string_view>

namespace tb::linux_desktop {

inline constexpr std::string_view kIconName = "tapperbird";

// Why an entry for the program at `path` would not start; empty when it would. GLib refuses an
// Exec program that is missing or not UTF-8, and finds a literal '%' nowhere, since it looks for
// the program before it expands the field codes.
std::string UnusableProgramPath(std::string_view path);

// `path` as one Exec= argument, before the key file's own escapes: in double quotes, with ",
// `, $ and \ escaped inside them.
std::string ExecArgumentForPath(std::string_view path);

// True when the desktop starts the entry at logon: GLib loads it as an application (the file
// parses, Type=Application, TryExec and the Exec program exist), neither Hidden nor
// X-GNOME-Autostart-enabled switches it off, and OnlyShowIn and NotShowIn let it start on this
// desktop (XDG_CURRENT_DESKTOP).
bool EntryStartsAtLogon(std::string_view text);

// The command the entry runs, as Run value data: the program in double quotes when Exec holds one
// argument, else Exec as the key file stores it; empty when it has none.
std::string EntryCommand(std::string_view text);

// The entry after "Run at Startup" is ticked: `existing` (empty when there is none) with Exec and
// TryExec pointing at `path`, its switches on and this desktop let in by OnlyShowIn and
// NotShowIn, every other key, comment and group kept. A new or unreadable entry becomes a fresh
// one of Tapperbird's own. Unticking and ticking again gives back the same text.
std::string EnabledEntryText(std::string_view existing, std::string_view path);

struct DisabledEntry {
    enum class Action { Delete, Write, Keep } action = Action::Keep;
    std::string text;  // for Write
};

// What unticking does to `existing`: delete it when it holds nothing but what Tapperbird writes
// and may go (`keepFile` false: nothing else would start in its place, and it is no link the
// user keeps), else mark it Hidden=true and keep the rest. An entry GLib cannot read is kept as
// it is.
DisabledEntry DisableEntry(std::string_view existing, bool keepFile);

}  // namespace tb::linux_desktop
