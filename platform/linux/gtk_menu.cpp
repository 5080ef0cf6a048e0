// GtkMenu popped up where the bird was pressed. A chosen command is delivered from
// an idle callback, once the menu has closed and dropped its grab, so that what it opens (the
// About window, a message box) gets the pointer and the keyboard.
#include "platform/linux/gtk_menu.h"

#include <algorithm>
#include <string>

namespace tb::linux_desktop {

GtkPopupMenu::GtkPopupMenu(GtkHost& host, int scale, bool onWayland)
    : host_(host), onWayland_(onWayland) {
    if (scale > 1) {
        // Text grows with Xft.dpi but the check mark is drawn at a fixed size: enlarge it by the
        // same whole number as the bird.
        const std::string side = std::to_string(16 * scale) + "px";
        const std::string css =
            ".tapperbird-menu check { min-width: " + side + "; min-height: " + side + "; }";
        GObjectPtr<GtkCssProvider> provider(gtk_css_provider_new());
        gtk_css_provider_load_from_data(provider.get(), css.c_str(), -1, nullptr);
        gtk_style_context_add_provider_for_screen(gdk_screen_get_default(),
                                                  GTK_STYLE_PROVIDER(provider.get()),
                                                  GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
        scaled_ = true;
    }
    MakeMenu();
}

GtkPopupMenu::~GtkPopupMenu() {
    DropMenu();
    if (open_) {
        host_.LeavePopup();
    }
    if (hideAnchor_ != 0) {
        g_source_remove(hideAnchor_);
    }
}

void GtkPopupMenu::MakeMenu() {
    GtkWidget* menu = gtk_menu_new();
    g_object_ref_sink(menu);
    menu_.reset(menu);
    if (scaled_) {
        gtk_style_context_add_class(gtk_widget_get_style_context(menu), "tapperbird-menu");
    }
    g_signal_connect(menu, "deactivate", G_CALLBACK(&GtkPopupMenu::OnDeactivate), this);
    for (Item& item : items_) {
        AddWidget(item);
    }
}

void GtkPopupMenu::DropMenu() {
    g_signal_handlers_disconnect_by_data(menu_.get(), this);
    for (Item& item : items_) {
        g_signal_handlers_disconnect_by_data(item.widget, &item);
        item.widget = nullptr;
    }
    gtk_widget_destroy(menu_.get());
    menu_.reset();
}

void GtkPopupMenu::AddWidget(Item& item) {
    GtkWidget* widget = nullptr;
    switch (item.kind) {
        case MenuItemKind::Separator:
            widget = gtk_separator_menu_item_new();
            break;
        case MenuItemKind::Check:
            widget = gtk_check_menu_item_new_with_label(item.caption.c_str());
            break;
        case MenuItemKind::Command:
            widget = gtk_menu_item_new_with_label(item.caption.c_str());
            break;
    }
    gtk_menu_shell_append(GTK_MENU_SHELL(menu_.get()), widget);
    gtk_widget_show(widget);
    item.widget = widget;
    ShowMark(item);
    if (item.kind != MenuItemKind::Separator) {
        g_signal_connect(widget, "activate", G_CALLBACK(&GtkPopupMenu::OnActivate), &item);
    }
}

void GtkPopupMenu::Build(std::span<const MenuEntry> entries) {
    for (const MenuEntry& entry : entries) {
        items_.push_back({this, entry.id, entry.kind, std::string(entry.caption), nullptr, false});
        AddWidget(items_.back());
    }
}

GtkPopupMenu::Item* GtkPopupMenu::Find(MenuItem id) {
    const auto it =
        std::find_if(items_.begin(), items_.end(), [id](const Item& i) { return i.id == id; });
    return it == items_.end() ? nullptr : &*it;
}

const GtkPopupMenu::Item* GtkPopupMenu::Find(MenuItem id) const {
    return const_cast<GtkPopupMenu*>(this)->Find(id);
}

void GtkPopupMenu::ShowMark(Item& item) {
    if (item.kind != MenuItemKind::Check || item.widget == nullptr) {
        return;
    }
    g_signal_handlers_block_by_func(item.widget, reinterpret_cast<gpointer>(&OnActivate), &item);
    gtk_check_menu_item_set_active(GTK_CHECK_MENU_ITEM(item.widget), item.checked);
    g_signal_handlers_unblock_by_func(item.widget, reinterpret_cast<gpointer>(&OnActivate), &item);
}

void GtkPopupMenu::SetChecked(MenuItem id, bool checked) {
    if (Item* item = Find(id); item != nullptr) {
        item->checked = checked;
        ShowMark(*item);
    }
}

bool GtkPopupMenu::IsChecked(MenuItem id) const {
    const Item* item = Find(id);
    return item != nullptr && item->checked;
}

void GtkPopupMenu::Popup() {
    // The press that asked for the menu came to the program's own connection, which holds the
    // pointer until the button is up: let go, so the menu's grab succeeds. Then open the menu at
    // the press's place, as GTK does at the pointer for a press of its own.
    host_.ReleasePointer();
    const PressPlace press = host_.LastPress();
    // On X11 the menu hangs from the root window at the press; on Wayland a client cannot place
    // a window, so from an anchor the compositor places at the press.
    GdkWindow* parent = nullptr;
    GdkRectangle at{press.rootX, press.rootY, 1, 1};
    if (!onWayland_) {
        parent = gdk_get_default_root_window();
    } else {
        if (!anchorTried_) {
            anchorTried_ = true;
            anchor_ = LayerAnchor::Create();
        }
        if (anchor_ == nullptr) {
            return;  // said once already
        }
        if (!open_) {
            // A GtkMenu that has had the pointer pops itself down at once when it is popped up
            // again from a layer surface: a fresh one each time, its marks as they are.
            DropMenu();
            MakeMenu();
        }
        if (hideAnchor_ != 0) {
            g_source_remove(hideAnchor_);
            hideAnchor_ = 0;
        }
        parent = anchor_->ShowAt(press.rootX, press.rootY);
        at = {0, 0, 1, 1};
    }
    if (!open_) {
        open_ = true;
        host_.EnterPopup();
    }
    // GTK wants the press itself, for the grab's time and device and to tell the press's own
    // release from a choice: one made up from what the program's connection saw.
    GdkEvent* trigger = gdk_event_new(GDK_BUTTON_PRESS);
    trigger->button.window = GDK_WINDOW(g_object_ref(parent));
    trigger->button.time = static_cast<guint32>(press.time);
    trigger->button.x = at.x;
    trigger->button.y = at.y;
    trigger->button.x_root = press.rootX;
    trigger->button.y_root = press.rootY;
    trigger->button.button = press.button;
    GdkSeat* seat = gdk_display_get_default_seat(gdk_window_get_display(parent));
    gdk_event_set_device(trigger, gdk_seat_get_pointer(seat));
    gtk_menu_popup_at_rect(GTK_MENU(menu_.get()), parent, &at, GDK_GRAVITY_SOUTH_EAST,
                           GDK_GRAVITY_NORTH_WEST, trigger);
    gdk_event_free(trigger);  // drops the window's reference too
}

void GtkPopupMenu::OnActivate(GtkMenuItem*, gpointer data) {
    auto* item = static_cast<Item*>(data);
    // GTK has already flipped a check item; put back the mark the logic set.
    item->owner->ShowMark(*item);
    g_idle_add(&GtkPopupMenu::DeliverCommand, item);
}

void GtkPopupMenu::OnDeactivate(GtkMenuShell*, gpointer self) {
    auto* menu = static_cast<GtkPopupMenu*>(self);
    if (menu->open_) {
        menu->open_ = false;
        menu->host_.LeavePopup();
    }
    // The menu is still up, a popup of the anchor's, which must outlive it: taken down once
    // the menu is.
    if (menu->anchor_ != nullptr && menu->hideAnchor_ == 0) {
        menu->hideAnchor_ = g_idle_add(&GtkPopupMenu::HideAnchor, menu);
    }
}

gboolean GtkPopupMenu::HideAnchor(gpointer self) {
    auto* menu = static_cast<GtkPopupMenu*>(self);
    menu->hideAnchor_ = 0;
    menu->anchor_->Hide();
    return G_SOURCE_REMOVE;
}

gboolean GtkPopupMenu::DeliverCommand(gpointer data) {
    auto* item = static_cast<Item*>(data);
    if (item->owner->events_ != nullptr) {
        item->owner->events_->OnMenuCommand(item->id);
    }
    return G_SOURCE_REMOVE;
}

}  // namespace tb::linux_desktop
