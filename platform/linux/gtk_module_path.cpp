#include "platform/linux/gtk_module_path.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <grp.h>
#include <link.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/linux/gtk_module.h"

namespace tb::linux_desktop {
namespace {

// Far above what the module weighs with its debugging data; below what a planted file could use
// to stall the first click.
constexpr off_t kLargestModule = off_t{256} << 20;

enum class Place { Missing, Refused, Found };

// True for the user's private group: named after the user, with nobody else in it. Debian and
// Ubuntu give every user one, together with a umask that makes new folders group-writable, so a
// build or a ~/.local install of the user's own is writable by the group in name only.
bool IsPrivateGroup(gid_t gid) {
    if (gid != ::getegid()) {
        return false;
    }
    std::vector<char> buffer(16384);
    struct passwd user {};
    struct passwd* foundUser = nullptr;
    struct group members {};
    struct group* foundGroup = nullptr;
    if (::getpwuid_r(::geteuid(), &user, buffer.data(), buffer.size() / 2, &foundUser) != 0 ||
        foundUser == nullptr ||
        ::getgrgid_r(gid, &members, buffer.data() + buffer.size() / 2, buffer.size() / 2,
                     &foundGroup) != 0 ||
        foundGroup == nullptr || std::strcmp(foundGroup->gr_name, foundUser->pw_name) != 0) {
        return false;
    }
    for (char** member = foundGroup->gr_mem; *member != nullptr; ++member) {
        if (std::strcmp(*member, foundUser->pw_name) != 0) {
            return false;
        }
    }
    return true;
}

// Why a folder or file is not to be trusted, "" when only the user or root can change it: the
// rule the dynamic loader keeps for the folders it trusts.
std::string Untrusted(const struct stat& st, const std::string& shown) {
    if (st.st_uid != ::geteuid() && st.st_uid != 0) {
        return shown + " belongs to another user (uid " + std::to_string(st.st_uid) + ")";
    }
    if ((st.st_mode & S_IWOTH) != 0) {
        return shown + " is writable by every user";
    }
    if ((st.st_mode & S_IWGRP) != 0 && !IsPrivateGroup(st.st_gid)) {
        return shown + " is writable by its group";
    }
    return {};
}

// What dlopen would map must lie inside the file: a cut-short library is mapped without
// complaint and kills the process with SIGBUS when touched past its end.
std::string Incomplete(int fd, off_t size, const std::string& shown) {
    ElfW(Ehdr) header{};
    if (::pread(fd, &header, sizeof header, 0) != static_cast<ssize_t>(sizeof header) ||
        std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 ||
        header.e_ident[EI_CLASS] != (sizeof(void*) == 8 ? ELFCLASS64 : ELFCLASS32) ||
        header.e_type != ET_DYN || header.e_phentsize != sizeof(ElfW(Phdr))) {
        return shown + " is not a shared library for this program";
    }
    const auto end = static_cast<std::uint64_t>(size);
    const std::uint64_t tableEnd =
        header.e_phoff + std::uint64_t{header.e_phnum} * sizeof(ElfW(Phdr));
    std::vector<ElfW(Phdr)> segments(header.e_phnum);
    const auto tableSize = static_cast<ssize_t>(segments.size() * sizeof(ElfW(Phdr)));
    if (header.e_phoff > end || tableEnd > end ||
        ::pread(fd, segments.data(), static_cast<std::size_t>(tableSize),
                static_cast<off_t>(header.e_phoff)) != tableSize) {
        return shown + " is cut short";
    }
    for (const ElfW(Phdr) & segment : segments) {
        if (segment.p_type == PT_LOAD &&
            (segment.p_offset > end || segment.p_filesz > end - segment.p_offset)) {
            return shown + " is cut short";
        }
    }
    return {};
}

std::vector<std::string> Names(std::string_view path) {
    std::vector<std::string> names;
    while (!path.empty()) {
        const auto slash = path.find('/');
        if (const std::string_view name = path.substr(0, slash); !name.empty() && name != ".") {
            names.emplace_back(name);
        }
        path = slash == std::string_view::npos ? std::string_view{} : path.substr(slash + 1);
    }
    return names;
}

std::string Describe(const std::string& shown, int error) {
    if (error == ELOOP || error == ENOTDIR) {
        return shown + " is a symbolic link or not a folder";
    }
    return shown + ": " + std::strerror(error);
}

// One place: every folder from the program's down to the module's, then the module itself.
Place LookIn(int programFolder, std::string shown, std::string_view dir, FoundModule& found) {
    UniqueFd current(::fcntl(programFolder, F_DUPFD_CLOEXEC, 0));
    struct stat st {};
    if (!current || ::fstat(current.get(), &st) != 0) {
        found.reason = Describe(shown, errno);
        return Place::Refused;
    }
    if (std::string why = Untrusted(st, shown); !why.empty()) {
        found.reason = std::move(why);
        return Place::Refused;
    }
    for (const std::string& name : Names(dir)) {
        shown += "/" + name;
        UniqueFd next(
            ::openat(current.get(), name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!next) {
            if (errno == ENOENT) {
                return Place::Missing;
            }
            found.reason = Describe(shown, errno);
            return Place::Refused;
        }
        if (::fstat(next.get(), &st) != 0) {
            found.reason = Describe(shown, errno);
            return Place::Refused;
        }
        if (std::string why = Untrusted(st, shown); !why.empty()) {
            found.reason = std::move(why);
            return Place::Refused;
        }
        current = std::move(next);
    }
    shown += std::string("/") + kGtkModuleFile;
    // Not blocking: a FIFO planted here must not hang the click that wanted the menu.
    UniqueFd file(::openat(current.get(), kGtkModuleFile,
                           O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!file) {
        if (errno == ENOENT) {
            return Place::Missing;
        }
        found.reason = errno == ELOOP ? shown + " is a symbolic link" : Describe(shown, errno);
        return Place::Refused;
    }
    if (::fstat(file.get(), &st) != 0) {
        found.reason = Describe(shown, errno);
        return Place::Refused;
    }
    std::string why = !S_ISREG(st.st_mode)          ? shown + " is not a regular file"
                      : st.st_size > kLargestModule ? shown + " is too large to be the module"
                                                    : Untrusted(st, shown);
    if (why.empty()) {
        why = Incomplete(file.get(), st.st_size, shown);
    }
    if (!why.empty()) {
        found.reason = std::move(why);
        return Place::Refused;
    }
    found.file = std::move(file);
    found.path = std::move(shown);
    found.reason.clear();
    return Place::Found;
}

}  // namespace

UniqueFd OpenFolder(std::string_view path) {
    UniqueFd folder(::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
    for (const std::string& name : Names(path)) {
        if (!folder) {
            break;
        }
        folder = UniqueFd(::openat(folder.get(), name.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    }
    return folder;
}

FoundModule FindGtkModule(int programFolder, const std::string& folderName,
                          std::string_view relativeModuleDir) {
    FoundModule found;
    std::string firstRefusal;
    // An installed program keeps it in its own library folder, where no other program looks; a
    // build tree keeps it beside the program.
    std::vector<std::string_view> places;
    if (!Names(relativeModuleDir).empty()) {
        places.push_back(relativeModuleDir);
    }
    places.push_back({});
    for (const std::string_view dir : places) {
        switch (LookIn(programFolder, folderName, dir, found)) {
            case Place::Found:
                return found;
            case Place::Refused:
                if (firstRefusal.empty()) {
                    firstRefusal = found.reason;
                }
                break;
            case Place::Missing:
                break;
        }
    }
    found.reason = !firstRefusal.empty()
                       ? firstRefusal
                       : "no " + std::string(kGtkModuleFile) + " where the program keeps it";
    return found;
}

void* LoadGtkModule(const FoundModule& module, std::string& reason) {
    const std::string byDescriptor = "/proc/self/fd/" + std::to_string(module.file.get());
    void* handle = ::dlopen(byDescriptor.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (handle == nullptr) {
        const char* error = ::dlerror();
        reason = error != nullptr ? error : "dlopen failed";
        // The descriptor's name means nothing to the user; the module's path does.
        if (reason.starts_with(byDescriptor)) {
            reason.replace(0, byDescriptor.size(), module.path);
        }
    }
    return handle;
}

}  // namespace tb::linux_desktop
