// The named mutex on Linux: an advisory lock on a file in the user's runtime folder, held for
// the life of the process and never tested (a second copy takes a shared lock just as well).
// Without a runtime folder there is no lock, as there is none to test anyway.
#pragma once

#include <string>

#include "platform/mutex.h"
#include "platform/linux/unique_fd.h"

namespace tb::linux_desktop {

class LockFileMutex final : public NamedMutex {
  public:
    // `runtimeDir`: where the lock files go ($XDG_RUNTIME_DIR); empty for no lock at all.
    explicit LockFileMutex(std::string runtimeDir) : runtimeDir_(std::move(runtimeDir)) {}
    static std::string DefaultRuntimeDir();

    void Create(std::string_view name) override;
    // The lock file in use; empty until Create succeeded.
    const std::string& path() const { return path_; }

  private:
    std::string runtimeDir_;
    std::string path_;
    UniqueFd fd_;
};

}  // namespace tb::linux_desktop
