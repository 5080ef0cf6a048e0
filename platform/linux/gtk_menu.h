// The bird's popup menu as a GtkMenu. The check mark is ours, not GTK's: a GtkCheckMenuItem
// flips itself when chosen, and that flip is undone so only SetChecked decides the mark.
#pragma once

#include <gtk/gtk.h>

#include <deque>
#include <memory>
#include <string>

#include "platform/menu.h"
#include "platform/linux/gobject_ptr.h"
#include "platform/linux/gtk_module.h"
#include "platform/linux/layer_anchor.h"

namespace tb::linux_desktop {

class GtkPopupMenu final : public PopupMenu {
  public:
    // `scale`: how many times the check mark is enlarged (the text follows the resolution);
    // `onWayland`: hung from a layer-shell anchor at the press, not from the root window.
    GtkPopupMenu(GtkHost& host, int scale, bool onWayland);
    ~GtkPopupMenu() override;
    GtkPopupMenu(const GtkPopupMenu&) = delete;
    GtkPopupMenu& operator=(const GtkPopupMenu&) = delete;

    void SetEvents(MenuEvents* events) override { events_ = events; }
    void Build(std::span<const MenuEntry> entries) override;
    void SetChecked(MenuItem item, bool checked) override;
    bool IsChecked(MenuItem item) const override;
    void Popup() override;

  private:
    struct Item {
        GtkPopupMenu* owner;
        MenuItem id;
        MenuItemKind kind;
        std::string caption;
        GtkWidget* widget;  // in the current menu
        bool checked;
    };

    // The GtkMenu with a widget for every item, and its end.
    void MakeMenu();
    void DropMenu();
    void AddWidget(Item& item);

    Item* Find(MenuItem id);
    const Item* Find(MenuItem id) const;
    void ShowMark(Item& item);
    static void OnActivate(GtkMenuItem* widget, gpointer item);
    static void OnDeactivate(GtkMenuShell* menu, gpointer self);
    static gboolean DeliverCommand(gpointer item);
    static gboolean HideAnchor(gpointer self);

    GtkHost& host_;
    GObjectPtr<GtkWidget> menu_;
    std::deque<Item> items_;  // a deque never moves its items: signal handlers point at them
    MenuEvents* events_ = nullptr;
    bool open_ = false;
    bool scaled_ = false;  // the check mark enlarged
    bool onWayland_;
    std::unique_ptr<LayerAnchor> anchor_;  // made at the first popup on Wayland
    bool anchorTried_ = false;
    guint hideAnchor_ = 0;  // the idle callback that takes the anchor down
};

}  // namespace tb::linux_desktop
