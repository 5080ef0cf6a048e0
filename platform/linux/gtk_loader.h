// The program's side of the GTK module: found in the program's private library folder or next
// to the program (a build tree), loaded the first time a menu, the About window or a message box is
// needed, and stand-ins for the menu and the About window that hold what the logic told them
// until then.
#pragma once

#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/linux/gtk_module.h"
#include "platform/linux/gtk_module_path.h"
#include "platform/linux/main_loop.h"

namespace tb::linux_desktop {

class GtkModuleLoader {
  public:
    // Once loaded, the module's GLib loop takes over from `loop`; `display` is the one GTK opens.
    GtkModuleLoader(GtkHost& session, GtkDisplayKind kind, std::string display, MainLoop& loop,
                    std::string programPath);
    ~GtkModuleLoader();
    GtkModuleLoader(const GtkModuleLoader&) = delete;
    GtkModuleLoader& operator=(const GtkModuleLoader&) = delete;

    // The module, loaded and started on first call; null (said once on stderr) when it cannot be.
    GtkModule* Get();

  private:
    struct LibraryClose {
        void operator()(void* handle) const;
    };
    GtkHost& session_;
    GtkDisplayKind kind_;
    std::string display_;
    MainLoop& loop_;
    std::string programPath_;
    FoundModule found_;
    std::unique_ptr<void, LibraryClose> library_;
    std::unique_ptr<GtkModule> module_;
    bool failed_ = false;
};

// The menu until its first popup: the entries and check marks are kept, then handed over.
class LazyPopupMenu final : public PopupMenu {
  public:
    LazyPopupMenu(GtkModuleLoader& loader, int scale) : loader_(loader), scale_(scale) {}

    void SetEvents(MenuEvents* events) override;
    void Build(std::span<const MenuEntry> entries) override;
    void SetChecked(MenuItem item, bool checked) override;
    bool IsChecked(MenuItem item) const override;
    void Popup() override;

  private:
    struct Entry {
        MenuItem id;
        MenuItemKind kind;
        std::string caption;
        bool checked;
    };
    GtkModuleLoader& loader_;
    int scale_;
    MenuEvents* events_ = nullptr;
    std::deque<Entry> entries_;
    std::unique_ptr<PopupMenu> menu_;
};

// The About window, made on the module when the logic creates it.
class LazyAboutView final : public AboutView {
  public:
    LazyAboutView(GtkModuleLoader& loader, float twipsPerPixelX, float twipsPerPixelY)
        : loader_(loader), tppX_(twipsPerPixelX), tppY_(twipsPerPixelY) {}

    void SetEvents(AboutViewEvents* events) override;
    void Create(const AboutDesign& design) override;
    void SetText(AboutControlId id, std::string_view text) override;
    void Show() override;
    WindowHandle Handle() const override;

  private:
    GtkModuleLoader& loader_;
    float tppX_;
    float tppY_;
    AboutViewEvents* events_ = nullptr;
    std::unique_ptr<AboutView> view_;
};

}  // namespace tb::linux_desktop
