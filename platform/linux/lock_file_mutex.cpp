// flock-based named mutex; see lock_file_mutex.h.
#include "platform/linux/lock_file_mutex.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <cstdlib>

namespace tb::linux_desktop {

std::string LockFileMutex::DefaultRuntimeDir() {
    // Only the user's private runtime folder: in a shared temporary folder anyone could place a
    // link under the lock's name and have this user create a file wherever it points.
    const char* dir = std::getenv("XDG_RUNTIME_DIR");
    return dir != nullptr && dir[0] == '/' ? dir : "";
}

void LockFileMutex::Create(std::string_view name) {
    // Like CreateMutexA, the outcome is not reported: no runtime folder, a refused file or a
    // link or anything but a regular file under the lock's name simply means no lock, and the
    // program runs on regardless.
    if (runtimeDir_.empty()) {
        return;
    }
    std::string file = runtimeDir_ + "/";
    for (char c : name) {
        file += c == '/' ? '_' : c;
    }
    file += ".lock";
    UniqueFd fd(::open(file.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600));
    struct stat st {};
    if (!fd || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return;
    }
    if (::flock(fd.get(), LOCK_SH | LOCK_NB) != 0) {
        return;
    }
    fd_ = std::move(fd);
    path_ = std::move(file);
}

}  // namespace tb::linux_desktop
