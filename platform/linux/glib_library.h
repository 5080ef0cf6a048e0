// GLib and GIO, loaded the first time they are needed: GLib when the settings store first reads
// or writes an autostart entry, GIO when it judges one or the shell opens an address. Linking
// them would map them, GObject and their own libraries into every bird at rest - well over a
// megabyte - for calls most runs never make. Their headers serve only for the types.
#pragma once

#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>
#include <glib.h>

#include <memory>

namespace tb::linux_desktop {

struct GlibLibrary {
    decltype(&g_free) free;
    decltype(&g_strfreev) strfreev;
    decltype(&g_error_free) errorFree;
    decltype(&g_key_file_new) keyFileNew;
    decltype(&g_key_file_free) keyFileFree;
    decltype(&g_key_file_load_from_data) keyFileLoadFromData;
    decltype(&g_key_file_to_data) keyFileToData;
    decltype(&g_key_file_get_groups) keyFileGetGroups;
    decltype(&g_key_file_get_keys) keyFileGetKeys;
    decltype(&g_key_file_has_key) keyFileHasKey;
    decltype(&g_key_file_get_string) keyFileGetString;
    decltype(&g_key_file_get_comment) keyFileGetComment;
    decltype(&g_key_file_set_string) keyFileSetString;
    decltype(&g_key_file_set_boolean) keyFileSetBoolean;
    decltype(&g_key_file_get_string_list) keyFileGetStringList;
    decltype(&g_key_file_set_string_list) keyFileSetStringList;
    decltype(&g_key_file_remove_key) keyFileRemoveKey;
    decltype(&g_utf8_validate) utf8Validate;
    decltype(&g_filename_display_name) filenameDisplayName;
    decltype(&g_shell_parse_argv) shellParseArgv;
    decltype(&g_uri_parse_scheme) uriParseScheme;
    decltype(&g_filename_to_uri) filenameToUri;
    decltype(&g_spawn_async) spawnAsync;
};

struct GioLibrary {
    decltype(&g_desktop_app_info_new_from_keyfile) desktopAppInfoNewFromKeyfile;
    decltype(&g_desktop_app_info_get_is_hidden) desktopAppInfoGetIsHidden;
    decltype(&g_desktop_app_info_has_key) desktopAppInfoHasKey;
    decltype(&g_desktop_app_info_get_boolean) desktopAppInfoGetBoolean;
    decltype(&g_desktop_app_info_get_show_in) desktopAppInfoGetShowIn;
    decltype(&g_app_info_launch_default_for_uri) appInfoLaunchDefaultForUri;
    decltype(&g_object_unref) objectUnref;
};

// The functions above, or null when the library cannot be loaded (said once on stderr).
const GlibLibrary* Glib();
const GioLibrary* Gio();

// Owners for what GLib hands out; only made once Glib() has answered.
struct GlibFree {
    void operator()(void* p) const { Glib()->free(p); }
};
using GlibString = std::unique_ptr<gchar, GlibFree>;
struct GlibStrvFree {
    void operator()(gchar** v) const { Glib()->strfreev(v); }
};
using GlibStrv = std::unique_ptr<gchar*, GlibStrvFree>;
struct GlibErrorFree {
    void operator()(GError* e) const { Glib()->errorFree(e); }
};
using GlibError = std::unique_ptr<GError, GlibErrorFree>;

}  // namespace tb::linux_desktop
