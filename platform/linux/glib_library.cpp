// dlopen on first need; see glib_library.h.
#include "platform/linux/glib_library.h"

#include "platform/linux/library_binder.h"

namespace tb::linux_desktop {
namespace {

struct LoadedGlib {
    GlibLibrary f{};
    bool ok;
    LoadedGlib() {
        LibraryBinder bind("libglib-2.0.so.0", "GLib");
        bind("g_free", f.free);
        bind("g_strfreev", f.strfreev);
        bind("g_error_free", f.errorFree);
        bind("g_key_file_new", f.keyFileNew);
        bind("g_key_file_free", f.keyFileFree);
        bind("g_key_file_load_from_data", f.keyFileLoadFromData);
        bind("g_key_file_to_data", f.keyFileToData);
        bind("g_key_file_get_groups", f.keyFileGetGroups);
        bind("g_key_file_get_keys", f.keyFileGetKeys);
        bind("g_key_file_has_key", f.keyFileHasKey);
        bind("g_key_file_get_string", f.keyFileGetString);
        bind("g_key_file_get_comment", f.keyFileGetComment);
        bind("g_key_file_set_string", f.keyFileSetString);
        bind("g_key_file_set_boolean", f.keyFileSetBoolean);
        bind("g_key_file_get_string_list", f.keyFileGetStringList);
        bind("g_key_file_set_string_list", f.keyFileSetStringList);
        bind("g_key_file_remove_key", f.keyFileRemoveKey);
        bind("g_utf8_validate", f.utf8Validate);
        bind("g_filename_display_name", f.filenameDisplayName);
        bind("g_shell_parse_argv", f.shellParseArgv);
        bind("g_uri_parse_scheme", f.uriParseScheme);
        bind("g_filename_to_uri", f.filenameToUri);
        bind("g_spawn_async", f.spawnAsync);
        ok = bind.ok();
    }
};

struct LoadedGio {
    GioLibrary f{};
    bool ok;
    LoadedGio() {
        LibraryBinder bind("libgio-2.0.so.0", "GIO");
        bind("g_desktop_app_info_new_from_keyfile", f.desktopAppInfoNewFromKeyfile);
        bind("g_desktop_app_info_get_is_hidden", f.desktopAppInfoGetIsHidden);
        bind("g_desktop_app_info_has_key", f.desktopAppInfoHasKey);
        bind("g_desktop_app_info_get_boolean", f.desktopAppInfoGetBoolean);
        bind("g_desktop_app_info_get_show_in", f.desktopAppInfoGetShowIn);
        bind("g_app_info_launch_default_for_uri", f.appInfoLaunchDefaultForUri);
        bind("g_object_unref", f.objectUnref);
        ok = bind.ok();
    }
};

}  // namespace

const GlibLibrary* Glib() {
    static const LoadedGlib loaded;
    return loaded.ok ? &loaded.f : nullptr;
}

const GioLibrary* Gio() {
    static const LoadedGio loaded;
    return loaded.ok ? &loaded.f : nullptr;
}

}  // namespace tb::linux_desktop
