// Registry calls over the XDG configuration folder. Writes go to a temporary file that replaces
// the old one by rename, so a crash or a full disk never leaves a half-written entry behind.
#include "platform/x11/xdg_registry.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "platform/x11/desktop_entry.h"
#include "platform/x11/unique_fd.h"

namespace tb::x11 {
namespace {

constexpr std::string_view kRunKeyParts[] = {"Software", "Microsoft", "Windows", "CurrentVersion",
                                             "Run"};
// Larger value files are not read in; they could never fit a caller's buffer anyway.
constexpr std::size_t kMaxValueBytes = 1 << 20;

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c + 32) : c; };
               return lower(x) == lower(y);
           });
}

// The non-empty parts of a backslash-separated key path.
std::vector<std::string_view> SplitKeyPath(std::string_view path) {
    std::vector<std::string_view> parts;
    while (!path.empty()) {
        const auto sep = path.find('\\');
        const std::string_view part = path.substr(0, sep);
        if (!part.empty()) {
            parts.push_back(part);
        }
        path = sep == std::string_view::npos ? std::string_view{} : path.substr(sep + 1);
    }
    return parts;
}

bool IsRunKey(std::string_view path) {
    const auto parts = SplitKeyPath(path);
    return std::equal(parts.begin(), parts.end(), std::begin(kRunKeyParts), std::end(kRunKeyParts),
                      EqualsIgnoreCase);
}

// A file-system name that stands for itself: no separator, no NUL, not "." or "..".
bool IsPlainName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of(std::string_view("/\0", 2)) == std::string_view::npos;
}

RegResult ResultForErrno(int error) {
    switch (error) {
        case ENOENT:
        case ENOTDIR:
        case EISDIR:
            return kErrorFileNotFound;
        default:  // EACCES, EPERM, EROFS, ENOSPC...: the store refused
            return kErrorAccessDenied;
    }
}

// mkdir -p below an existing or creatable root; 0 or an errno.
int MakeFolders(const std::string& folder) {
    std::string partial;
    std::size_t pos = 0;
    while (pos != std::string::npos) {
        pos = folder.find('/', pos + 1);
        partial = folder.substr(0, pos);
        if (partial.empty()) {
            continue;
        }
        if (::mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST) {
            return errno;
        }
    }
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0) {
        return errno;
    }
    return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
}

// Replaces `file` with `content` in one rename; 0 or an errno.
int WriteFileAtomically(const std::string& file, std::string_view content) {
    const auto slash = file.rfind('/');
    std::string temp = file.substr(0, slash + 1) + "." + file.substr(slash + 1) + ".XXXXXX";
    UniqueFd fd(::mkostemp(temp.data(), O_CLOEXEC));
    if (!fd) {
        return errno;
    }
    int error = 0;
    const char* data = content.data();
    std::size_t left = content.size();
    while (left > 0 && error == 0) {
        const ssize_t written = ::write(fd.get(), data, left);
        if (written < 0) {
            error = errno == EINTR ? 0 : errno;
            continue;
        }
        data += written;
        left -= static_cast<std::size_t>(written);
    }
    if (error == 0 && ::fchmod(fd.get(), 0644) != 0) {
        error = errno;
    }
    if (error == 0 && ::fsync(fd.get()) != 0) {
        error = errno;
    }
    fd.reset();
    if (error == 0 && ::rename(temp.c_str(), file.c_str()) != 0) {
        error = errno;
    }
    if (error != 0) {
        ::unlink(temp.c_str());
    }
    return error;
}

// The whole of a regular file, or an errno (EISDIR for anything that is not a regular file).
int ReadValueFile(const std::string& file, std::string& content, std::size_t& fullSize) {
    UniqueFd fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) {
        return errno;
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) {
        return errno;
    }
    if (!S_ISREG(st.st_mode)) {
        return EISDIR;
    }
    fullSize = static_cast<std::size_t>(st.st_size);
    content.resize(std::min(fullSize, kMaxValueBytes));
    std::size_t got = 0;
    while (got < content.size()) {
        const ssize_t n = ::read(fd.get(), content.data() + got, content.size() - got);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return errno;
        }
        if (n == 0) {
            break;
        }
        got += static_cast<std::size_t>(n);
    }
    content.resize(got);
    if (fullSize <= kMaxValueBytes) {
        fullSize = got;
    }
    return 0;
}

}  // namespace

XdgRegistry::XdgRegistry(std::string configHome) : configHome_(std::move(configHome)) {
    while (configHome_.size() > 1 && configHome_.back() == '/') {
        configHome_.pop_back();
    }
}

std::string XdgRegistry::DefaultConfigHome() {
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && xdg[0] == '/') {
        return xdg;
    }
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] != '/') {
        const passwd* pw = ::getpwuid(::getuid());
        home = pw != nullptr ? pw->pw_dir : "/tmp";
    }
    return std::string(home) + "/.config";
}

std::string XdgRegistry::FolderForKey(std::string_view path) const {
    if (IsRunKey(path)) {
        return configHome_ + "/autostart";
    }
    auto parts = SplitKeyPath(path);
    if (!parts.empty() && EqualsIgnoreCase(parts.front(), "Software")) {
        parts.erase(parts.begin());
    }
    std::string folder = configHome_;
    for (std::string_view part : parts) {
        if (!IsPlainName(part)) {
            return {};
        }
        folder += '/';
        folder += part;
    }
    return folder;
}

RegResult XdgRegistry::Open(std::string_view path, bool needRead, bool needWrite, bool create,
                            KeyHandle& key) {
    key = 0;
    const std::string folder = FolderForKey(path);
    if (folder.empty()) {
        return create ? kErrorAccessDenied : kErrorFileNotFound;
    }
    const bool runKey = IsRunKey(path);
    struct stat st {};
    if (create) {
        if (const int error = MakeFolders(folder); error != 0) {
            return error == ENOTDIR ? kErrorAccessDenied : ResultForErrno(error);
        }
    } else if (::stat(folder.c_str(), &st) != 0) {
        // The Run key always exists on Windows; its folder is made when the first entry is.
        if (!(runKey && errno == ENOENT)) {
            return ResultForErrno(errno);
        }
    } else if (!S_ISDIR(st.st_mode)) {
        return kErrorFileNotFound;
    }
    const int mode = X_OK | (needRead ? R_OK : 0) | (needWrite ? W_OK : 0);
    if (::access(folder.c_str(), F_OK) == 0 && ::access(folder.c_str(), mode) != 0) {
        return kErrorAccessDenied;
    }
    key = nextHandle_++;
    keys_.push_back({key, std::string(path), folder, runKey});
    return kErrorSuccess;
}

const XdgRegistry::OpenedKey* XdgRegistry::Find(KeyHandle key) const {
    const auto it = std::find_if(keys_.begin(), keys_.end(),
                                 [key](const OpenedKey& k) { return k.handle == key; });
    return it == keys_.end() ? nullptr : &*it;
}

std::string XdgRegistry::ValueFile(const OpenedKey& key, std::string_view name) {
    if (!IsPlainName(name)) {
        return {};
    }
    std::string file = key.folder + "/";
    file += name;
    if (key.isRunKey) {
        file += ".desktop";
    }
    return file;
}

RegResult XdgRegistry::OpenKey(std::string_view path, KeyHandle& key) {
    return Open(path, true, true, false, key);
}

RegResult XdgRegistry::CreateKey(KeyHandle parent, std::string_view subPath, KeyHandle& key) {
    std::string path;
    if (parent != kHkeyCurrentUser) {
        const OpenedKey* parentKey = Find(parent);
        if (parentKey == nullptr) {
            key = 0;
            return kErrorInvalidHandle;
        }
        path = parentKey->path + "\\";
    }
    path += subPath;
    return Open(path, true, true, true, key);
}

RegResult XdgRegistry::OpenKeyEx(std::string_view path, std::uint32_t access, KeyHandle& key) {
    // KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS read; KEY_SET_VALUE | KEY_CREATE_SUB_KEY write.
    return Open(path, (access & 0x9u) != 0, (access & 0x6u) != 0, false, key);
}

RegResult XdgRegistry::SetStringValue(KeyHandle key, std::string_view name,
                                      std::string_view utf8Data) {
    const OpenedKey* opened = Find(key);
    if (opened == nullptr) {
        return kErrorInvalidHandle;
    }
    const std::string file = ValueFile(*opened, name);
    if (file.empty()) {
        return kErrorAccessDenied;
    }
    if (opened->isRunKey) {
        if (const int error = MakeFolders(opened->folder); error != 0) {
            return kErrorAccessDenied;
        }
    }
    std::string content;
    if (opened->isRunKey) {
        // The data is a command line in the native form, the path in double quotes; the entry
        // gets the path and quotes it by its own rules.
        std::string_view path = utf8Data;
        if (path.size() >= 2 && path.front() == '"' && path.back() == '"') {
            path = path.substr(1, path.size() - 2);
        }
        content = AutostartEntryText(path);
    } else {
        content = utf8Data;
    }
    const int error = WriteFileAtomically(file, content);
    return error == 0 ? kErrorSuccess : ResultForErrno(error);
}

RegResult XdgRegistry::DeleteValue(KeyHandle key, std::string_view name) {
    const OpenedKey* opened = Find(key);
    if (opened == nullptr) {
        return kErrorInvalidHandle;
    }
    const std::string file = ValueFile(*opened, name);
    if (file.empty()) {
        return kErrorFileNotFound;
    }
    struct stat st {};
    if (::lstat(file.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        return kErrorFileNotFound;  // a folder is a key, not a value
    }
    return ::unlink(file.c_str()) == 0 ? kErrorSuccess : ResultForErrno(errno);
}

RegResult XdgRegistry::QueryValue(KeyHandle key, std::string_view name, ValueType& type,
                                  std::uint8_t* buffer, std::uint32_t capacity,
                                  std::uint32_t& size) {
    const OpenedKey* opened = Find(key);
    if (opened == nullptr) {
        return kErrorInvalidHandle;
    }
    const std::string file = ValueFile(*opened, name);
    if (file.empty()) {
        return kErrorFileNotFound;
    }
    std::string content;
    std::size_t fullSize = 0;
    if (const int error = ReadValueFile(file, content, fullSize); error != 0) {
        return ResultForErrno(error);
    }
    std::string_view data = content;
    std::string command;
    if (opened->isRunKey) {
        AutostartEntry entry = ParseAutostartEntry(content);
        if (entry.disabled) {
            return kErrorFileNotFound;  // switched off the way the desktop's session settings do
        }
        // Read back in the form it was written: the quoted path.
        command = entry.singleArgument ? "\"" + entry.command + "\"" : std::move(entry.command);
        data = command;
        fullSize = command.size();
    }
    // A string value counts its terminating NUL, as the native store does.
    const std::uint64_t bytes = static_cast<std::uint64_t>(fullSize) + 1;
    type = ValueType::Sz;
    size = static_cast<std::uint32_t>(std::min<std::uint64_t>(bytes, UINT32_MAX));
    if (buffer == nullptr) {
        return kErrorSuccess;
    }
    const std::size_t copy = std::min<std::size_t>(capacity, data.size());
    std::memcpy(buffer, data.data(), copy);
    if (bytes > capacity) {
        return kErrorMoreData;
    }
    buffer[data.size()] = 0;
    return kErrorSuccess;
}

RegResult XdgRegistry::CloseKey(KeyHandle key) {
    if (key == kHkeyCurrentUser) {
        return kErrorSuccess;
    }
    const auto it = std::find_if(keys_.begin(), keys_.end(),
                                 [key](const OpenedKey& k) { return k.handle == key; });
    if (it == keys_.end()) {
        return kErrorInvalidHandle;
    }
    keys_.erase(it);
    return kErrorSuccess;
}

}  // namespace tb::x11
