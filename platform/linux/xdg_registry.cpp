// Registry calls over the XDG configuration folders. Writes go to a temporary file that replaces
// the old one by rename, so a crash, a full disk or a file-size limit never leaves a half-written
// entry behind. Reads take regular files only and never block, whatever sits under the name.
#include "platform/linux/xdg_registry.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string_view>

#include "platform/linux/desktop_entry.h"
#include "platform/linux/unique_fd.h"

namespace tb::linux_desktop {
namespace {

constexpr std::string_view kRunKeyParts[] = {"Software", "Microsoft", "Windows", "CurrentVersion",
                                             "Run"};
// The program's own settings key lives where Linux users look for a program's settings.
constexpr std::string_view kOwnKeyParts[] = {"Software", "Velmor's Software", "Tapperbird", "1.0"};
constexpr std::string_view kOwnFolder = "tapperbird";
constexpr mode_t kNewEntryMode = 0644;
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

// True when `parts` start with the program's own settings key.
bool IsBelowOwnKey(const std::vector<std::string_view>& parts) {
    constexpr auto kLevels = std::size(kOwnKeyParts);
    return parts.size() >= kLevels && std::equal(parts.begin(), parts.begin() + kLevels,
                                                 std::begin(kOwnKeyParts), EqualsIgnoreCase);
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

// rmdir `folder` and then each parent below `top` while they are empty: what is left of a
// moved key, and nothing that holds anything.
void RemoveEmptyFolders(std::string folder, const std::string& top) {
    while (folder.size() > top.size() && folder.starts_with(top + "/") &&
           ::rmdir(folder.c_str()) == 0) {
        folder.erase(folder.rfind('/'));
    }
}

// Replaces `file` with `content` (permissions `mode`) in one rename; 0 or an errno. The
// temporary file is removed whatever went wrong.
int WriteFileAtomically(const std::string& file, std::string_view content, mode_t mode) {
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
    if (error == 0 && ::fchmod(fd.get(), mode) != 0) {
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

// Where the entry at `file` is written: through a link to a regular file of the user's own, as
// editors write, so that a dotfiles manager's link stays a link; otherwise `file` itself.
std::string WriteTarget(const std::string& file) {
    struct stat st {};
    if (::lstat(file.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
        return file;
    }
    const std::unique_ptr<char, decltype(&std::free)> target(::realpath(file.c_str(), nullptr),
                                                             &std::free);
    if (!target || ::stat(target.get(), &st) != 0 || !S_ISREG(st.st_mode) ||
        st.st_uid != ::geteuid()) {
        return file;
    }
    return target.get();
}

// The file at `file` when it is a regular file (a link is followed only to one, as the desktop
// follows it), or an errno: EISDIR for a folder, a FIFO, a device, anything else. The type is
// checked before the open, which never blocks, and again on what was opened.
struct ValueFileData {
    std::string content;
    std::size_t fullSize = 0;
    mode_t mode = 0;
};
int ReadValueFile(const std::string& file, ValueFileData& out) {
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0) {
        return errno;
    }
    if (!S_ISREG(st.st_mode)) {
        return EISDIR;
    }
    UniqueFd fd(::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!fd) {
        return errno;
    }
    if (::fstat(fd.get(), &st) != 0) {
        return errno;
    }
    if (!S_ISREG(st.st_mode)) {
        return EISDIR;
    }
    out.mode = st.st_mode & 07777;
    out.fullSize = static_cast<std::size_t>(st.st_size);
    std::string& content = out.content;
    content.resize(std::min(out.fullSize, kMaxValueBytes));
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
    if (out.fullSize <= kMaxValueBytes) {
        out.fullSize = got;
    }
    return 0;
}

}  // namespace

XdgRegistry::XdgRegistry(std::string configHome, std::vector<std::string> systemConfigDirs)
    : configHome_(std::move(configHome)), systemConfigDirs_(std::move(systemConfigDirs)) {
    while (configHome_.size() > 1 && configHome_.back() == '/') {
        configHome_.pop_back();
    }
    // Under a file-size limit a write must fail with EFBIG, not end the program half-way through
    // its first run with the marker made and no entry written.
    std::signal(SIGXFSZ, SIG_IGN);
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

std::vector<std::string> XdgRegistry::DefaultSystemConfigDirs() {
    const char* dirs = std::getenv("XDG_CONFIG_DIRS");
    std::vector<std::string> result;
    for (std::string_view rest = dirs != nullptr ? dirs : ""; !rest.empty();) {
        const auto colon = rest.find(':');
        const std::string_view dir = rest.substr(0, colon);
        if (!dir.empty() && dir.front() == '/') {  // relative entries are ignored, as by GLib
            result.emplace_back(dir);
        }
        rest = colon == std::string_view::npos ? std::string_view{} : rest.substr(colon + 1);
    }
    if (result.empty()) {
        result.emplace_back("/etc/xdg");
    }
    return result;
}

std::string XdgRegistry::FolderForKey(std::string_view path) const {
    if (IsRunKey(path)) {
        return configHome_ + "/autostart";
    }
    auto parts = SplitKeyPath(path);
    std::string folder = configHome_;
    if (IsBelowOwnKey(parts)) {
        parts.erase(parts.begin(), parts.begin() + std::size(kOwnKeyParts));
        folder += '/';
        folder += kOwnFolder;
    } else if (!parts.empty() && EqualsIgnoreCase(parts.front(), "Software")) {
        parts.erase(parts.begin());
    }
    for (std::string_view part : parts) {
        if (!IsPlainName(part)) {
            return {};
        }
        folder += '/';
        folder += part;
    }
    return folder;
}

std::string XdgRegistry::EarlierFolderForKey(std::string_view path) const {
    if (IsRunKey(path) || !IsBelowOwnKey(SplitKeyPath(path))) {
        return {};
    }
    // Earlier versions mapped every key below Software one to one onto folders.
    auto parts = SplitKeyPath(path);
    std::string folder = configHome_;
    for (auto it = parts.begin() + 1; it != parts.end(); ++it) {
        if (!IsPlainName(*it)) {
            return {};
        }
        folder += '/';
        folder += *it;
    }
    return folder;
}

RegResult XdgRegistry::Open(std::string_view path, bool needWrite, bool create, KeyHandle& key) {
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
        const int error = errno;
        // A first-run marker an earlier version left still counts, so a user who switched
        // "Run at Startup" off does not have it switched on again by the upgrade; it moves over.
        // An earlier folder that cannot be looked at may hold the marker: it is not absent.
        const std::string earlier = EarlierFolderForKey(path);
        int earlierError = ENOENT;
        if (error == ENOENT && !earlier.empty()) {
            earlierError = ::stat(earlier.c_str(), &st) != 0 ? errno
                           : S_ISDIR(st.st_mode)             ? 0
                                                             : ENOTDIR;
        }
        if (earlierError == 0) {
            if (MakeFolders(folder) == 0) {
                RemoveEmptyFolders(earlier, configHome_);
            }
        } else if (earlierError != ENOENT && earlierError != ENOTDIR) {
            return ResultForErrno(earlierError);
        } else if (!(runKey && error == ENOENT)) {
            // The Run key always exists on Windows; its folder is made when the first entry is.
            return ResultForErrno(error);
        }
    } else if (!S_ISDIR(st.st_mode)) {
        return kErrorFileNotFound;
    }
    // A key exists when its folder can be looked up; only a write to the Run key is refused up
    // front, so that a write-protected autostart folder is passed over as a protected key is.
    if (runKey && needWrite && ::access(folder.c_str(), F_OK) == 0 &&
        ::access(folder.c_str(), W_OK | X_OK) != 0) {
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

RegResult XdgRegistry::FindValue(KeyHandle key, std::string_view name, RegResult noFile,
                                 const OpenedKey*& opened, std::string& file) const {
    opened = Find(key);
    if (opened == nullptr) {
        return kErrorInvalidHandle;
    }
    file = ValueFile(*opened, name);
    return file.empty() ? noFile : kErrorSuccess;
}

RegResult XdgRegistry::OpenKey(std::string_view path, KeyHandle& key) {
    return Open(path, true, false, key);
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
    return Open(path, true, true, key);
}

RegResult XdgRegistry::DeleteKey(KeyHandle parent, std::string_view subKey) {
    std::string path;
    if (parent != kHkeyCurrentUser) {
        const OpenedKey* parentKey = Find(parent);
        if (parentKey == nullptr) {
            return kErrorInvalidHandle;
        }
        path = parentKey->path + "\\";
    }
    path += subKey;
    const std::string folder = FolderForKey(path);
    if (folder.empty() || SplitKeyPath(subKey).empty() || IsRunKey(path)) {
        return kErrorFileNotFound;
    }
    // Only an empty folder goes: a key that holds values or subkeys stays, and no file is lost.
    if (::rmdir(folder.c_str()) == 0) {
        return kErrorSuccess;
    }
    return errno == ENOTEMPTY || errno == EEXIST ? kErrorAccessDenied : ResultForErrno(errno);
}

RegResult XdgRegistry::OpenKeyEx(std::string_view path, std::uint32_t access, KeyHandle& key) {
    // KEY_SET_VALUE | KEY_CREATE_SUB_KEY write.
    return Open(path, (access & 0x6u) != 0, false, key);
}

XdgRegistry::RunEntry XdgRegistry::FindRunEntry(const std::string& userFile) const {
    RunEntry entry;
    ValueFileData data;
    entry.userError = ReadValueFile(userFile, data);
    if (entry.userError == 0) {
        entry.text = std::move(data.content);
        entry.mode = data.mode;
        entry.inUserFolder = true;
        return entry;
    }
    // No entry of the user's own: the first system-wide one of the same name is the one that runs.
    const std::string fileName = userFile.substr(userFile.rfind('/'));
    for (const std::string& dir : systemConfigDirs_) {
        if (ReadValueFile(dir + "/autostart" + fileName, data) == 0) {
            entry.text = std::move(data.content);
            entry.inSystemFolder = true;
            return entry;
        }
    }
    return entry;
}

bool XdgRegistry::SystemEntryStarts(const std::string& userFile) const {
    const std::string fileName = userFile.substr(userFile.rfind('/'));
    for (const std::string& dir : systemConfigDirs_) {
        ValueFileData data;
        if (ReadValueFile(dir + "/autostart" + fileName, data) == 0) {
            return EntryStartsAtLogon(data.content);
        }
    }
    return false;
}

RegResult XdgRegistry::SetStringValue(KeyHandle key, std::string_view name,
                                      std::string_view utf8Data) {
    const OpenedKey* opened = nullptr;
    std::string file;
    if (const RegResult found = FindValue(key, name, kErrorAccessDenied, opened, file);
        found != kErrorSuccess) {
        return found;
    }
    if (!opened->isRunKey) {
        const int error = WriteFileAtomically(file, utf8Data, kNewEntryMode);
        return error == 0 ? kErrorSuccess : ResultForErrno(error);
    }
    // The data is a command line in the native form, the path in double quotes; the entry gets
    // the path and quotes it by its own rules.
    std::string_view path = utf8Data;
    if (path.size() >= 2 && path.front() == '"' && path.back() == '"') {
        path = path.substr(1, path.size() - 2);
    }
    if (const std::string reason = UnusableProgramPath(path); !reason.empty()) {
        throw std::runtime_error(reason);  // shown to the user; the entry stays as it was
    }
    if (const int error = MakeFolders(opened->folder); error != 0) {
        return kErrorAccessDenied;
    }
    ValueFileData existing;
    const bool haveFile = ReadValueFile(file, existing) == 0;
    const int error =
        WriteFileAtomically(WriteTarget(file), EnabledEntryText(existing.content, path),
                            haveFile ? existing.mode : kNewEntryMode);
    return error == 0 ? kErrorSuccess : ResultForErrno(error);
}

RegResult XdgRegistry::DeleteValue(KeyHandle key, std::string_view name) {
    const OpenedKey* opened = nullptr;
    std::string file;
    if (const RegResult found = FindValue(key, name, kErrorFileNotFound, opened, file);
        found != kErrorSuccess) {
        return found;
    }
    struct stat st {};
    if (::lstat(file.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        return kErrorFileNotFound;  // a folder is a key, not a value
    }
    if (!opened->isRunKey) {
        return ::unlink(file.c_str()) == 0 ? kErrorSuccess : ResultForErrno(errno);
    }
    const RunEntry entry = FindRunEntry(file);
    if (entry.inSystemFolder && !EntryStartsAtLogon(entry.text)) {
        return kErrorFileNotFound;
    }
    if (!entry.inUserFolder && !entry.inSystemFolder) {
        return ResultForErrno(entry.userError);
    }
    // A system-wide entry is switched off by a user entry of the same name that hides it; a link
    // the user keeps is switched off through it rather than removed.
    const std::string target = WriteTarget(file);
    const DisabledEntry disabled =
        DisableEntry(entry.text, target != file || SystemEntryStarts(file));
    switch (disabled.action) {
        case DisabledEntry::Action::Delete:
            return ::unlink(file.c_str()) == 0 ? kErrorSuccess : ResultForErrno(errno);
        case DisabledEntry::Action::Write: {
            if (const int error = MakeFolders(opened->folder); error != 0) {
                return kErrorAccessDenied;
            }
            const int error = WriteFileAtomically(target, disabled.text,
                                                  entry.inUserFolder ? entry.mode : kNewEntryMode);
            return error == 0 ? kErrorSuccess : ResultForErrno(error);
        }
        case DisabledEntry::Action::Keep:
            break;
    }
    return kErrorSuccess;  // an entry the desktop cannot read starts nothing already
}

RegResult XdgRegistry::QueryValue(KeyHandle key, std::string_view name, ValueType& type,
                                  std::uint8_t* buffer, std::uint32_t capacity,
                                  std::uint32_t& size) {
    const OpenedKey* opened = nullptr;
    std::string file;
    if (const RegResult found = FindValue(key, name, kErrorFileNotFound, opened, file);
        found != kErrorSuccess) {
        return found;
    }
    std::string content;
    std::size_t fullSize = 0;
    if (opened->isRunKey) {
        const RunEntry entry = FindRunEntry(file);
        if (!entry.inUserFolder && !entry.inSystemFolder) {
            return ResultForErrno(entry.userError);
        }
        // The value exists when the desktop will start the entry at logon.
        if (!EntryStartsAtLogon(entry.text)) {
            return kErrorFileNotFound;
        }
        content = EntryCommand(entry.text);
        fullSize = content.size();
    } else {
        ValueFileData data;
        if (const int error = ReadValueFile(file, data); error != 0) {
            return ResultForErrno(error);
        }
        content = std::move(data.content);
        fullSize = data.fullSize;
    }
    const std::string_view data = content;
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

}  // namespace tb::linux_desktop
