// Autostart entries through GKeyFile and GDesktopAppInfo; see desktop_entry.h.
#include "platform/linux/desktop_entry.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <stdexcept>
#include <utility>
#include <vector>

#include "platform/linux/glib_library.h"

namespace tb::linux_desktop {
namespace {

// GLib, or the one line that says why the entry cannot be read or written without it.
const GlibLibrary& G() {
    const GlibLibrary* glib = Glib();
    if (glib == nullptr) {
        throw std::runtime_error(
            "Tapperbird cannot read or change its startup entry: GLib cannot be loaded.");
    }
    return *glib;
}

struct KeyFileDeleter {
    void operator()(GKeyFile* k) const { Glib()->keyFileFree(k); }
};
struct ObjectDeleter {
    void operator()(gpointer o) const { Gio()->objectUnref(o); }
};
using KeyFile = std::unique_ptr<GKeyFile, KeyFileDeleter>;
using AppInfo = std::unique_ptr<GDesktopAppInfo, ObjectDeleter>;
// Keys an edit adds to an entry, in order: ToData places them.
using NewKeys = std::vector<std::pair<const char*, std::string>>;

constexpr const char* kGroup = "Desktop Entry";
constexpr std::string_view kBom = "\xEF\xBB\xBF";
constexpr GKeyFileFlags kKeepAll =
    GKeyFileFlags(G_KEY_FILE_KEEP_COMMENTS | G_KEY_FILE_KEEP_TRANSLATIONS);

// The key file in `text`, or null when GLib cannot read it.
KeyFile Load(std::string_view text, GKeyFileFlags flags) {
    KeyFile file(G().keyFileNew());
    if (!G().keyFileLoadFromData(file.get(), text.data(), text.size(), flags, nullptr)) {
        return nullptr;
    }
    return file;
}

bool HasKey(GKeyFile* file, const char* key) {
    return G().keyFileHasKey(file, kGroup, key, nullptr) != FALSE;
}

std::string String(GKeyFile* file, const char* key) {
    const GlibString value(G().keyFileGetString(file, kGroup, key, nullptr));
    return value ? value.get() : "";
}

std::string GlibText(GKeyFile* file) {
    gsize length = 0;
    const GlibString data(G().keyFileToData(file, &length, nullptr));
    return std::string(data.get(), length);
}

void Apply(GKeyFile* file, const NewKeys& keys) {
    for (const auto& [key, value] : keys) {
        G().keyFileSetString(file, kGroup, key, value.c_str());
    }
}

// The entry as text, with `added` after the last key of its main group. GLib itself appends a
// new key after the blank lines that close the group, and removing it again leaves one blank
// line more: an entry switched off and on would grow without end.
std::string ToData(GKeyFile* file, const NewKeys& added = {}) {
    const std::string header = std::string("[") + kGroup + "]\n";
    std::string text = GlibText(file);
    std::size_t at = text.starts_with(header) ? 0 : text.find("\n" + header);
    if (added.empty() || at == std::string::npos) {
        Apply(file, added);
        return added.empty() ? text : GlibText(file);
    }
    at = text.find('\n', at + 1) + 1;
    // GLib writes one line per key, comment or blank line, and no line but a group's header
    // starts with '['.
    for (std::size_t line = at; line < text.size() && text[line] != '[';) {
        const std::size_t end = text.find('\n', line);
        const std::size_t next = end == std::string::npos ? text.size() : end + 1;
        if (text[line] != '#' && text[line] != '\n') {
            at = next;
        }
        line = next;
    }
    const KeyFile keys(G().keyFileNew());
    Apply(keys.get(), added);
    const std::string lines = GlibText(keys.get()).substr(header.size());
    return text.insert(at, lines);
}

// Sets `key` where the entry has it, or leaves it for ToData to add.
void Set(GKeyFile* file, const char* key, std::string value, NewKeys& added) {
    if (HasKey(file, key)) {
        G().keyFileSetString(file, kGroup, key, value.c_str());
    } else {
        added.emplace_back(key, std::move(value));
    }
}

void SetProgram(GKeyFile* file, std::string_view path, NewKeys& added) {
    Set(file, "Exec", ExecArgumentForPath(path), added);
    Set(file, "TryExec", std::string(path), added);
}

KeyFile FreshEntry(std::string_view path) {
    KeyFile file(G().keyFileNew());
    G().keyFileSetString(file.get(), kGroup, "Type", "Application");
    G().keyFileSetString(file.get(), kGroup, "Name", "Tapperbird");
    NewKeys program;
    SetProgram(file.get(), path, program);
    Apply(file.get(), program);
    G().keyFileSetString(file.get(), kGroup, "Icon", std::string(kIconName).c_str());
    G().keyFileSetString(file.get(), kGroup, "Terminal", "false");
    return file;
}

bool HasComment(GKeyFile* file, const char* group, const char* key) {
    const GlibString comment(G().keyFileGetComment(file, group, key, nullptr));
    return comment &&
           std::string_view(comment.get()).find_first_not_of(" \t\r\n") != std::string_view::npos;
}

// True when the file holds only keys Tapperbird writes, with the values it writes, and no
// comment, translation or other group.
bool OnlyTapperbirdsKeys(GKeyFile* file) {
    gsize groups = 0;
    const GlibStrv groupNames(G().keyFileGetGroups(file, &groups));
    if (groups != 1 || std::strcmp(groupNames.get()[0], kGroup) != 0 ||
        HasComment(file, nullptr, nullptr) || HasComment(file, kGroup, nullptr)) {
        return false;
    }
    const GlibStrv keys(G().keyFileGetKeys(file, kGroup, nullptr, nullptr));
    for (gchar** key = keys.get(); *key != nullptr; ++key) {
        const std::string_view name = *key;
        const std::string value = String(file, *key);
        const bool ours =
            name == "Exec" || name == "TryExec" || name == "Hidden" ||
            name == "X-GNOME-Autostart-enabled" || (name == "Type" && value == "Application") ||
            (name == "Name" && value == "Tapperbird") || (name == "Icon" && value == kIconName) ||
            (name == "Terminal" && value == "false");
        if (!ours || HasComment(file, kGroup, *key)) {
            return false;
        }
    }
    return true;
}

// GLib's application for the entry, or null when GLib would not run it at all.
AppInfo LoadApp(GKeyFile* file) {
    const GioLibrary* gio = Gio();
    return AppInfo(gio != nullptr ? gio->desktopAppInfoNewFromKeyfile(file) : nullptr);
}

// GLib's verdict on OnlyShowIn and NotShowIn against XDG_CURRENT_DESKTOP, as the session
// applies it at logon; nothing when GLib would not run the entry at all.
std::optional<bool> ShownHere(std::string_view text) {
    const KeyFile file = Load(text, G_KEY_FILE_NONE);
    const AppInfo info = file ? LoadApp(file.get()) : nullptr;
    if (!info) {
        return std::nullopt;
    }
    return Gio()->desktopAppInfoGetShowIn(info.get(), nullptr) != FALSE;
}

std::vector<std::string> List(GKeyFile* file, const char* key) {
    gsize length = 0;
    const GlibStrv list(G().keyFileGetStringList(file, kGroup, key, &length, nullptr));
    return list ? std::vector<std::string>(list.get(), list.get() + length)
                : std::vector<std::string>{};
}

void SetList(GKeyFile* file, const char* key, const std::vector<std::string>& list) {
    std::vector<const gchar*> items;
    for (const std::string& item : list) {
        items.push_back(item.c_str());
    }
    G().keyFileSetStringList(file, kGroup, key, items.data(), items.size());
}

// Makes an entry that OnlyShowIn or NotShowIn keeps from this desktop start here too: this
// desktop leaves NotShowIn and joins OnlyShowIn. Where GLib still says no (no desktop is named
// at all), both lists go. GIO is only loaded for an entry that has either list.
void ShowHere(GKeyFile* file, const NewKeys& added) {
    constexpr const char* kOnly = "OnlyShowIn";
    constexpr const char* kNot = "NotShowIn";
    if ((!HasKey(file, kOnly) && !HasKey(file, kNot)) || ShownHere(ToData(file, added)) != false) {
        return;
    }
    std::vector<std::string> here;  // XDG_CURRENT_DESKTOP, split as GLib splits it
    const char* desktops = std::getenv("XDG_CURRENT_DESKTOP");
    for (std::string_view rest = desktops != nullptr ? desktops : ""; !rest.empty();) {
        const auto colon = rest.find(':');
        if (colon != 0) {
            here.emplace_back(rest.substr(0, colon));
        }
        rest = colon == std::string_view::npos ? std::string_view{} : rest.substr(colon + 1);
    }
    const auto isHere = [&](const std::string& d) {
        return std::find(here.begin(), here.end(), d) != here.end();
    };
    if (HasKey(file, kNot)) {
        auto list = List(file, kNot);
        std::erase_if(list, isHere);
        if (list.empty()) {
            G().keyFileRemoveKey(file, kGroup, kNot, nullptr);
        } else {
            SetList(file, kNot, list);
        }
    }
    if (HasKey(file, kOnly) && !here.empty()) {
        auto list = List(file, kOnly);
        if (std::none_of(list.begin(), list.end(), isHere)) {
            list.push_back(here.front());
            SetList(file, kOnly, list);
        }
    }
    if (ShownHere(ToData(file, added)) == false) {
        G().keyFileRemoveKey(file, kGroup, kOnly, nullptr);
        G().keyFileRemoveKey(file, kGroup, kNot, nullptr);
    }
}

}  // namespace

std::string UnusableProgramPath(std::string_view path) {
    const std::string shown(path);
    if (path.empty() || path.front() != '/') {
        return "Tapperbird cannot tell where its program file is, so it cannot start itself at "
               "logon.";
    }
    if (!G().utf8Validate(path.data(), static_cast<gssize>(path.size()), nullptr)) {
        const GlibString display(G().filenameDisplayName(shown.c_str()));
        return "Tapperbird cannot start itself at logon from \"" + std::string(display.get()) +
               "\": desktops accept only UTF-8 file names in a startup entry. Move it to a "
               "folder whose name is plain text.";
    }
    if (path.find('%') != std::string_view::npos) {
        return "Tapperbird cannot start itself at logon from \"" + shown +
               "\": desktops do not start a program whose path contains '%'. Move it to "
               "another folder.";
    }
    if (path.find('\0') != std::string_view::npos) {
        return "Tapperbird cannot start itself at logon: its path is no file name.";
    }
    if (::access(shown.c_str(), X_OK) != 0) {
        return "Tapperbird cannot start itself at logon from \"" + shown +
               "\": " + std::strerror(errno) + ".";
    }
    return {};
}

std::string ExecArgumentForPath(std::string_view path) {
    std::string quoted = "\"";
    for (const char c : path) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') {
            quoted += '\\';
        }
        quoted += c;
    }
    quoted += '"';
    return quoted;
}

bool EntryStartsAtLogon(std::string_view text) {
    const KeyFile file = Load(text, G_KEY_FILE_NONE);
    if (!file) {
        return false;
    }
    const AppInfo info = LoadApp(file.get());
    const GioLibrary* gio = Gio();
    if (!info || gio->desktopAppInfoGetIsHidden(info.get()) ||
        !gio->desktopAppInfoGetShowIn(info.get(), nullptr)) {
        return false;
    }
    // GNOME's session reads the switch as a boolean; anything unreadable counts as "off".
    constexpr const char* kEnabled = "X-GNOME-Autostart-enabled";
    return !gio->desktopAppInfoHasKey(info.get(), kEnabled) ||
           gio->desktopAppInfoGetBoolean(info.get(), kEnabled);
}

std::string EntryCommand(std::string_view text) {
    const KeyFile file = Load(text, G_KEY_FILE_NONE);
    if (!file) {
        return {};
    }
    const std::string exec = String(file.get(), "Exec");
    gint argc = 0;
    gchar** argv = nullptr;
    if (!G().shellParseArgv(exec.c_str(), &argc, &argv, nullptr)) {
        return exec;
    }
    const GlibStrv args(argv);
    return argc == 1 ? "\"" + std::string(args.get()[0]) + "\"" : exec;
}

std::string EnabledEntryText(std::string_view existing, std::string_view path) {
    KeyFile file = Load(existing, kKeepAll);
    if (!file && existing.starts_with(kBom)) {
        // GLib reads no entry that starts with a byte-order mark; written back, it has none.
        file = Load(existing.substr(kBom.size()), kKeepAll);
    }
    if (!file || existing.empty()) {
        return ToData(FreshEntry(path).get());
    }
    NewKeys added;
    if (String(file.get(), "Type") != "Application") {
        Set(file.get(), "Type", "Application", added);
    }
    SetProgram(file.get(), path, added);
    if (HasKey(file.get(), "Hidden")) {
        G().keyFileRemoveKey(file.get(), kGroup, "Hidden", nullptr);
    }
    if (HasKey(file.get(), "X-GNOME-Autostart-enabled")) {
        G().keyFileSetBoolean(file.get(), kGroup, "X-GNOME-Autostart-enabled", TRUE);
    }
    ShowHere(file.get(), added);
    return ToData(file.get(), added);
}

DisabledEntry DisableEntry(std::string_view existing, bool keepFile) {
    const KeyFile file = Load(existing, kKeepAll);
    if (!file) {
        return {};
    }
    if (!keepFile && OnlyTapperbirdsKeys(file.get())) {
        return {DisabledEntry::Action::Delete, {}};
    }
    NewKeys added;
    Set(file.get(), "Hidden", "true", added);
    return {DisabledEntry::Action::Write, ToData(file.get(), added)};
}

}  // namespace tb::linux_desktop
