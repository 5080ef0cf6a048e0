// The bird's popup menu as a GtkMenu. The check mark is ours, not GTK's: a GtkCheckMenuItem
// flips itself when chosen, and that flip is undone so only SetChecked decides the mark.
#pragma once

#include <gtk/gtk.h>

#include <deque>

#include "platform/menu.h"
#include "platform/linux/gobject_ptr.h"
#include "platform/linux/gtk_module.h"

namespace tb::x11 {

class X11PopupMenu final : public PopupMenu {
  public:
    // `scale`: how many times the check mark is enlarged (the text follows the resolution).
    X11PopupMenu(GtkHost& host, int scale);
    ~X11PopupMenu() override;
    X11PopupMenu(const X11PopupMenu&) = delete;
    X11PopupMenu& operator=(const X11PopupMenu&) = delete;

    void SetEvents(MenuEvents* events) override { events_ = events; }
    void Build(std::span<const MenuEntry> entries) override;
    void SetChecked(MenuItem item, bool checked) override;
    bool IsChecked(MenuItem item) const override;
    void Popup() override;

  private:
    struct Item {
        X11PopupMenu* owner;
        MenuItem id;
        GtkWidget* widget;
        bool isCheck;
        bool checked;
    };

    Item* Find(MenuItem id);
    const Item* Find(MenuItem id) const;
    void ShowMark(Item& item);
    static void OnActivate(GtkMenuItem* widget, gpointer item);
    static void OnDeactivate(GtkMenuShell* menu, gpointer self);
    static gboolean DeliverCommand(gpointer item);

    GtkHost& host_;
    GObjectPtr<GtkWidget> menu_;
    std::deque<Item> items_;  // a deque never moves its items: signal handlers point at them
    MenuEvents* events_ = nullptr;
    bool open_ = false;
};

}  // namespace tb::x11
