// dlopen on first need, and the stand-ins that wait for it.
#include "platform/linux/gtk_loader.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "platform/linux/gtk_module_path.h"

namespace tb::linux_desktop {

void GtkModuleLoader::LibraryClose::operator()(void* handle) const {
    // GTK cannot be unloaded; the module is opened with RTLD_NODELETE, so this only drops the
    // reference.
    dlclose(handle);
}

namespace {

// The program file's path from the process's own mappings, where the kernel writes it whole:
// /proc/self/exe will not give a path longer than PATH_MAX. Empty when not found.
std::string ProgramPathFromMappings(const struct stat& program) {
    // stdio, not a file stream: a stream would link the C++ runtime's locale machinery into the
    // program and start it up at every start, for this one read.
    std::FILE* maps = std::fopen("/proc/self/maps", "re");
    if (maps == nullptr) {
        return {};
    }
    std::string found;
    char* line = nullptr;
    std::size_t capacity = 0;
    while (found.empty() && ::getline(&line, &capacity, maps) > 0) {
        unsigned int major = 0;
        unsigned int minor = 0;
        unsigned long inode = 0;
        int pathStart = 0;
        if (std::sscanf(line, "%*s %*s %*s %x:%x %lu %n", &major, &minor, &inode, &pathStart) ==
                3 &&
            inode == program.st_ino && makedev(major, minor) == program.st_dev &&
            line[pathStart] == '/') {
            found = line + pathStart;
            if (!found.empty() && found.back() == '\n') {
                found.pop_back();
            }
        }
    }
    std::free(line);
    std::fclose(maps);
    return found;
}

// The module for the program at `programPath` (found from the mappings when empty), looked for
// only in the folder that holds the very file this process runs.
FoundModule FindProgramModule(std::string programPath) {
    FoundModule none;
    struct stat program {};
    if (::stat("/proc/self/exe", &program) != 0) {
        none.reason = "the program cannot tell where its own file is";
        return none;
    }
    if (programPath.empty()) {
        programPath = ProgramPathFromMappings(program);
    }
    const auto slash = programPath.rfind('/');
    if (slash == std::string::npos) {
        none.reason = "the program cannot tell where its own file is";
        return none;
    }
    const std::string folderName = programPath.substr(0, slash);
    const UniqueFd folder = OpenFolder(folderName);
    struct stat there {};
    if (!folder ||
        ::fstatat(folder.get(), programPath.c_str() + slash + 1, &there, AT_SYMLINK_NOFOLLOW) !=
            0 ||
        there.st_ino != program.st_ino || there.st_dev != program.st_dev) {
        none.reason = "the program's file is no longer in " + (slash == 0 ? "/" : folderName);
        return none;
    }
    return FindGtkModule(folder.get(), folderName, TB_GTK_MODULE_RELDIR);
}

}  // namespace

// Found at once and held open: the checks and the load see one file, and a package removed
// while the bird runs leaves it its menu (and so its Exit).
GtkModuleLoader::GtkModuleLoader(GtkHost& session, GtkDisplayKind kind, std::string display,
                                 MainLoop& loop, std::string programPath)
    : session_(session),
      kind_(kind),
      display_(std::move(display)),
      loop_(loop),
      programPath_(std::move(programPath)),
      found_(FindProgramModule(programPath_)) {}

GtkModuleLoader::~GtkModuleLoader() {
    module_.reset();
}

GtkModule* GtkModuleLoader::Get() {
    if (module_ != nullptr || failed_) {
        return module_.get();
    }
    failed_ = true;
    if (!found_.file) {
        found_ = FindProgramModule(programPath_);  // put in place since the start, perhaps
    }
    std::string reason = found_.reason;
    if (found_.file) {
        library_.reset(LoadGtkModule(found_, reason));
        found_.file.reset();
    }
    if (library_ != nullptr) {
        auto open = reinterpret_cast<GtkModuleOpen>(dlsym(library_.get(), kGtkModuleEntry));
        char error[256] = "";
        GtkModule* module = open != nullptr ? open(kGtkModuleAbi, &session_, kind_,
                                                   display_.c_str(), error, sizeof error)
                                            : nullptr;
        if (module != nullptr) {
            module_.reset(module);
            failed_ = false;
            loop_.HandOver(module_->MainLoop());
            return module_.get();
        }
        reason = open == nullptr ? found_.path + " is not Tapperbird's GTK module" : error;
    }
    std::fprintf(stderr, "tapperbird: cannot load the menu and About window (%s)\n",
                 reason.c_str());
    std::fflush(stderr);
    return nullptr;
}

void LazyPopupMenu::SetEvents(MenuEvents* events) {
    events_ = events;
    if (menu_ != nullptr) {
        menu_->SetEvents(events);
    }
}

void LazyPopupMenu::Build(std::span<const MenuEntry> entries) {
    for (const MenuEntry& entry : entries) {
        entries_.push_back({entry.id, entry.kind, std::string(entry.caption), false});
    }
}

void LazyPopupMenu::SetChecked(MenuItem item, bool checked) {
    for (Entry& entry : entries_) {
        if (entry.id == item && entry.kind == MenuItemKind::Check) {
            entry.checked = checked;
        }
    }
    if (menu_ != nullptr) {
        menu_->SetChecked(item, checked);
    }
}

bool LazyPopupMenu::IsChecked(MenuItem item) const {
    const auto it = std::find_if(entries_.begin(), entries_.end(),
                                 [item](const Entry& e) { return e.id == item; });
    return it != entries_.end() && it->checked;
}

void LazyPopupMenu::Popup() {
    if (menu_ == nullptr) {
        GtkModule* module = loader_.Get();
        if (module == nullptr) {
            return;
        }
        menu_ = module->CreateMenu(scale_);
        std::vector<MenuEntry> table;
        for (const Entry& entry : entries_) {
            table.push_back({entry.id, entry.kind, entry.caption});
        }
        menu_->Build(table);
        for (const Entry& entry : entries_) {
            if (entry.kind == MenuItemKind::Check) {
                menu_->SetChecked(entry.id, entry.checked);
            }
        }
        menu_->SetEvents(events_);
    }
    menu_->Popup();
}

void LazyAboutView::SetEvents(AboutViewEvents* events) {
    events_ = events;
    if (view_ != nullptr) {
        view_->SetEvents(events);
    }
}

void LazyAboutView::Create(const AboutDesign& design) {
    if (view_ == nullptr) {
        GtkModule* module = loader_.Get();
        if (module == nullptr) {
            return;
        }
        view_ = module->CreateAboutView(tppX_, tppY_);
        view_->SetEvents(events_);
    }
    view_->Create(design);
}

void LazyAboutView::SetText(AboutControlId id, std::string_view text) {
    if (view_ != nullptr) {
        view_->SetText(id, text);
    }
}

void LazyAboutView::Show() {
    if (view_ != nullptr) {
        view_->Show();
    }
}

WindowHandle LazyAboutView::Handle() const {
    return view_ != nullptr ? view_->Handle() : 0;
}

}  // namespace tb::linux_desktop
