// Default-handler launching through GIO, with xdg-open for desktops GIO knows nothing about.
#include "platform/linux/desktop_shell.h"

#include <string>

#include "platform/linux/glib_library.h"

namespace tb::linux_desktop {

void DesktopShell::Open(std::string_view target) {
    const GlibLibrary* glib = Glib();
    if (target.empty() || glib == nullptr) {
        return;
    }
    std::string uri(target);
    if (GlibString scheme(glib->uriParseScheme(uri.c_str())); scheme == nullptr) {
        // A plain path: GIO wants a file URI.
        if (GlibString fileUri(glib->filenameToUri(uri.c_str(), nullptr, nullptr)); fileUri) {
            uri = fileUri.get();
        }
    }
    if (const GioLibrary* gio = Gio(); gio != nullptr) {
        GError* rawError = nullptr;
        if (gio->appInfoLaunchDefaultForUri(uri.c_str(), nullptr, &rawError)) {
            return;
        }
        GlibError error(rawError);
    }
    gchar* argv[] = {const_cast<gchar*>("xdg-open"), uri.data(), nullptr};
    GError* spawnError = nullptr;
    if (!glib->spawnAsync(
            nullptr, argv, nullptr,
            static_cast<GSpawnFlags>(G_SPAWN_SEARCH_PATH | G_SPAWN_STDOUT_TO_DEV_NULL |
                                     G_SPAWN_STDERR_TO_DEV_NULL),
            nullptr, nullptr, nullptr, &spawnError)) {
        GlibError ignored(spawnError);
    }
}

}  // namespace tb::linux_desktop
