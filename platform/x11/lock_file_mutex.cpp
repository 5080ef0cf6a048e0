// flock-based named mutex; see lock_file_mutex.h.
#include "platform/x11/lock_file_mutex.h"

#include <fcntl.h>
#include <sys/file.h>

#include <cstdlib>

namespace tb::x11 {

std::string LockFileMutex::DefaultRuntimeDir() {
    if (const char* dir = std::getenv("XDG_RUNTIME_DIR"); dir != nullptr && dir[0] == '/') {
        return dir;
    }
    const char* tmp = std::getenv("TMPDIR");
    return tmp != nullptr && tmp[0] == '/' ? tmp : "/tmp";
}

void LockFileMutex::Create(std::string_view name) {
    // Like CreateMutexA, the outcome is not reported: a missing folder or a refused file simply
    // means no lock, and the program runs on regardless.
    std::string file = runtimeDir_ + "/";
    for (char c : name) {
        file += c == '/' ? '_' : c;
    }
    file += ".lock";
    UniqueFd fd(::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    if (!fd) {
        return;
    }
    if (::flock(fd.get(), LOCK_SH | LOCK_NB) != 0) {
        return;
    }
    fd_ = std::move(fd);
    path_ = std::move(file);
}

}  // namespace tb::x11
