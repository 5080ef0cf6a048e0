// dlopen on first need, and the stand-ins that wait for it.
#include "platform/linux/gtk_loader.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstdio>

#include "platform/linux/gtk_module_path.h"

namespace tb::x11 {

void GtkModuleLoader::LibraryClose::operator()(void* handle) const {
    // GTK cannot be unloaded; the module is opened with RTLD_NODELETE, so this only drops the
    // reference.
    dlclose(handle);
}

GtkModuleLoader::GtkModuleLoader(GtkHost& session, std::string display, MainLoop& loop,
                                 std::string programPath)
    : session_(session),
      display_(std::move(display)),
      loop_(loop),
      programPath_(std::move(programPath)) {}

GtkModuleLoader::~GtkModuleLoader() {
    module_.reset();
}

GtkModule* GtkModuleLoader::Get() {
    if (module_ != nullptr || failed_) {
        return module_.get();
    }
    failed_ = true;
    std::string reason = "no " + std::string(kGtkModuleFile) + " next to the program";
    for (const std::string& path : GtkModuleCandidates(programPath_, TB_GTK_MODULE_RELDIR)) {
        void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
        if (handle == nullptr) {
            const char* error = dlerror();
            // A file that exists but does not load says more than one that is missing.
            if (error != nullptr && std::string(error).find("No such file") == std::string::npos) {
                reason = error;
                break;
            }
            continue;
        }
        library_.reset(handle);
        auto open = reinterpret_cast<GtkModuleOpen>(dlsym(handle, kGtkModuleEntry));
        if (open == nullptr) {
            reason = path + " is not Tapperbird's GTK module";
            break;
        }
        char error[256] = "";
        GtkModule* module = open(kGtkModuleAbi, &session_, display_.c_str(), error, sizeof error);
        if (module == nullptr) {
            reason = error;
            break;
        }
        module_.reset(module);
        failed_ = false;
        loop_.HandOver(module_->MainLoop());
        return module_.get();
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

}  // namespace tb::x11
