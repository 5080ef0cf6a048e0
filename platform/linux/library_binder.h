// Binds a table of functions from a shared library loaded on first need (GLib, GIO, libdbus-1),
// or says once on stderr which library or function is missing.
#pragma once

#include <dlfcn.h>

#include <cstdio>

namespace tb::linux_desktop {

class LibraryBinder {
  public:
    LibraryBinder(const char* soname, const char* shownName) : shownName_(shownName) {
        // Kept for the life of the process (GLib's and GObject's types cannot be unloaded).
        library_ = dlopen(soname, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
        ok_ = library_ != nullptr;
        if (!ok_) {
            Complain(dlerror());
        }
    }
    ~LibraryBinder() {
        if (library_ != nullptr) {
            dlclose(library_);  // RTLD_NODELETE: only the reference goes
        }
    }
    LibraryBinder(const LibraryBinder&) = delete;
    LibraryBinder& operator=(const LibraryBinder&) = delete;

    template <typename T>
    void operator()(const char* name, T& function) {
        if (ok_) {
            function = reinterpret_cast<T>(dlsym(library_, name));
            if (function == nullptr) {
                ok_ = false;
                Complain(name);
            }
        }
    }
    bool ok() const { return ok_; }

  private:
    void Complain(const char* what) const {
        std::fprintf(stderr, "tapperbird: cannot load %s (%s)\n", shownName_,
                     what != nullptr ? what : "unknown error");
        std::fflush(stderr);
    }

    const char* shownName_;
    void* library_ = nullptr;
    bool ok_ = false;
};

}  // namespace tb::linux_desktop
