// GIO, loaded the first time the settings store judges an autostart entry or the shell opens an
// address. Linking it would map GIO, GObject and their libraries into every bird at rest - over
// a megabyte - for calls most runs never make.
#pragma once

#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>

namespace tb::x11 {

struct GioLibrary {
    decltype(&g_desktop_app_info_new_from_keyfile) desktopAppInfoNewFromKeyfile;
    decltype(&g_desktop_app_info_get_is_hidden) desktopAppInfoGetIsHidden;
    decltype(&g_desktop_app_info_has_key) desktopAppInfoHasKey;
    decltype(&g_desktop_app_info_get_boolean) desktopAppInfoGetBoolean;
    decltype(&g_app_info_launch_default_for_uri) appInfoLaunchDefaultForUri;
    decltype(&g_object_unref) objectUnref;
};

// The functions above, or null when GIO cannot be loaded (said once on stderr).
const GioLibrary* Gio();

}  // namespace tb::x11
