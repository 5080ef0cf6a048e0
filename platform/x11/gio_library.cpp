#include "platform/x11/gio_library.h"

#include <dlfcn.h>

#include <cstdio>

namespace tb::x11 {
namespace {

template <typename T>
bool Bind(void* library, const char* name, T& function) {
    function = reinterpret_cast<T>(dlsym(library, name));
    return function != nullptr;
}

struct Loaded {
    GioLibrary functions{};
    bool ok = false;

    Loaded() {
        // Kept for the life of the process: GObject's types cannot be unloaded.
        void* library = dlopen("libgio-2.0.so.0", RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
        ok = library != nullptr &&
             Bind(library, "g_desktop_app_info_new_from_keyfile",
                  functions.desktopAppInfoNewFromKeyfile) &&
             Bind(library, "g_desktop_app_info_get_is_hidden",
                  functions.desktopAppInfoGetIsHidden) &&
             Bind(library, "g_desktop_app_info_has_key", functions.desktopAppInfoHasKey) &&
             Bind(library, "g_desktop_app_info_get_boolean", functions.desktopAppInfoGetBoolean) &&
             Bind(library, "g_app_info_launch_default_for_uri",
                  functions.appInfoLaunchDefaultForUri) &&
             Bind(library, "g_object_unref", functions.objectUnref);
        if (!ok) {
            const char* error = dlerror();
            std::fprintf(stderr, "tapperbird: cannot load GIO (%s)\n",
                         error != nullptr ? error : "a function is missing");
            std::fflush(stderr);
        }
        if (library != nullptr) {
            dlclose(library);  // RTLD_NODELETE: only the reference goes
        }
    }
};

}  // namespace

const GioLibrary* Gio() {
    static const Loaded loaded;
    return loaded.ok ? &loaded.functions : nullptr;
}

}  // namespace tb::x11
