// Autostart entries through GKeyFile and GDesktopAppInfo; see desktop_entry.h.
#include "platform/linux/desktop_entry.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <stdexcept>

#include "platform/linux/glib_library.h"

namespace tb::x11 {
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

std::string ToData(GKeyFile* file) {
    gsize length = 0;
    const GlibString data(G().keyFileToData(file, &length, nullptr));
    return std::string(data.get(), length);
}

void SetProgram(GKeyFile* file, std::string_view path) {
    const std::string program(path);
    G().keyFileSetString(file, kGroup, "Exec", ExecArgumentForPath(path).c_str());
    G().keyFileSetString(file, kGroup, "TryExec", program.c_str());
}

KeyFile FreshEntry(std::string_view path) {
    KeyFile file(G().keyFileNew());
    G().keyFileSetString(file.get(), kGroup, "Type", "Application");
    G().keyFileSetString(file.get(), kGroup, "Name", "Tapperbird");
    SetProgram(file.get(), path);
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
    const GioLibrary* gio = Gio();
    if (gio == nullptr) {
        return false;
    }
    const std::unique_ptr<GDesktopAppInfo, ObjectDeleter> info(
        gio->desktopAppInfoNewFromKeyfile(file.get()));
    if (!info || gio->desktopAppInfoGetIsHidden(info.get())) {
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
    if (String(file.get(), "Type") != "Application") {
        G().keyFileSetString(file.get(), kGroup, "Type", "Application");
    }
    SetProgram(file.get(), path);
    if (HasKey(file.get(), "Hidden")) {
        G().keyFileRemoveKey(file.get(), kGroup, "Hidden", nullptr);
    }
    if (HasKey(file.get(), "X-GNOME-Autostart-enabled")) {
        G().keyFileSetBoolean(file.get(), kGroup, "X-GNOME-Autostart-enabled", TRUE);
    }
    return ToData(file.get());
}

DisabledEntry DisableEntry(std::string_view existing, bool shadowsSystemEntry) {
    const KeyFile file = Load(existing, kKeepAll);
    if (!file) {
        return {};
    }
    if (!shadowsSystemEntry && OnlyTapperbirdsKeys(file.get())) {
        return {DisabledEntry::Action::Delete, {}};
    }
    G().keyFileSetBoolean(file.get(), kGroup, "Hidden", TRUE);
    return {DisabledEntry::Action::Write, ToData(file.get())};
}

}  // namespace tb::x11
