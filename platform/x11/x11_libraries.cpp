// The program calls X functions through entry points of their own names, written by the build,
// each jumping through one slot of a table; here the table is filled from the libraries.
#include "platform/x11/x11_libraries.h"

#include <cstdio>
#include <cstdlib>

#ifdef TB_X11_ON_DEMAND
#include <dlfcn.h>

#include <cstddef>
#include <iterator>

#include "x11_libraries.inc"

extern "C" {
extern void* tb_x11_entry_points[];

// Where every slot points until the libraries are open.
[[noreturn]] void tb_x11_not_opened() {
    std::fputs("tapperbird: an X11 function was called before the X11 libraries were opened\n",
               stderr);
    std::abort();
}
}
#endif

namespace tb::linux_desktop::x11 {

#ifdef TB_X11_ON_DEMAND
bool OpenX11Libraries(std::string& why) {
    static bool opened = false;
    if (opened) {
        return true;
    }
    void* libraries[std::size(kX11Libraries)] = {};
    for (std::size_t i = 0; i < std::size(kX11Libraries); ++i) {
        // Kept for the life of the process, like any library linked in.
        libraries[i] = ::dlopen(kX11Libraries[i], RTLD_NOW | RTLD_LOCAL);
        if (libraries[i] == nullptr) {
            const char* error = ::dlerror();
            why = error != nullptr ? error : kX11Libraries[i];
            return false;
        }
    }
    for (std::size_t f = 0; f < std::size(kX11Functions); ++f) {
        void* function = nullptr;
        for (void* library : libraries) {
            if ((function = ::dlsym(library, kX11Functions[f])) != nullptr) {
                break;
            }
        }
        if (function == nullptr) {
            why = std::string("no ") + kX11Functions[f] + " in the X11 libraries";
            return false;
        }
        tb_x11_entry_points[f] = function;
    }
    opened = true;
    return true;
}
#else
bool OpenX11Libraries(std::string&) {
    return true;  // linked in as usual
}
#endif

}  // namespace tb::linux_desktop::x11
