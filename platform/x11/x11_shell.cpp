// Default-handler launching through GIO, with xdg-open for desktops GIO knows nothing about.
#include "platform/x11/x11_shell.h"

#include <glib.h>

#include <string>

#include "platform/x11/gio_library.h"
#include "platform/x11/x11_handles.h"

namespace tb::x11 {

void X11Shell::Open(std::string_view target) {
    if (target.empty()) {
        return;
    }
    std::string uri(target);
    if (GCharPtr scheme(g_uri_parse_scheme(uri.c_str())); scheme == nullptr) {
        // A plain path: GIO wants a file URI.
        if (GCharPtr fileUri(g_filename_to_uri(uri.c_str(), nullptr, nullptr)); fileUri) {
            uri = fileUri.get();
        }
    }
    if (const GioLibrary* gio = Gio(); gio != nullptr) {
        GError* rawError = nullptr;
        if (gio->appInfoLaunchDefaultForUri(uri.c_str(), nullptr, &rawError)) {
            return;
        }
        GErrorPtr error(rawError);
    }
    gchar* argv[] = {const_cast<gchar*>("xdg-open"), uri.data(), nullptr};
    GError* spawnError = nullptr;
    if (!g_spawn_async(nullptr, argv, nullptr,
                       static_cast<GSpawnFlags>(G_SPAWN_SEARCH_PATH | G_SPAWN_STDOUT_TO_DEV_NULL |
                                                G_SPAWN_STDERR_TO_DEV_NULL),
                       nullptr, nullptr, nullptr, &spawnError)) {
        GErrorPtr ignored(spawnError);
    }
}

}  // namespace tb::x11
