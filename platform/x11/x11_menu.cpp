// GtkMenu popped up where the bird was pressed. A chosen command is delivered from
// an idle callback, once the menu has closed and dropped its grab, so that what it opens (the
// About window, a message box) gets the pointer and the keyboard.
#include "platform/x11/x11_menu.h"

#include <algorithm>
#include <string>

namespace tb::x11 {

X11PopupMenu::X11PopupMenu(GtkHost& host, int scale) : host_(host) {
    GtkWidget* menu = gtk_menu_new();
    g_object_ref_sink(menu);
    menu_.reset(menu);
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
        gtk_style_context_add_class(gtk_widget_get_style_context(menu), "tapperbird-menu");
    }
    g_signal_connect(menu, "deactivate", G_CALLBACK(&X11PopupMenu::OnDeactivate), this);
}

X11PopupMenu::~X11PopupMenu() {
    g_signal_handlers_disconnect_by_data(menu_.get(), this);
    for (Item& item : items_) {
        g_signal_handlers_disconnect_by_data(item.widget, &item);
    }
    if (open_) {
        host_.LeavePopup();
    }
    gtk_widget_destroy(menu_.get());
}

void X11PopupMenu::Build(std::span<const MenuEntry> entries) {
    for (const MenuEntry& entry : entries) {
        const std::string caption(entry.caption);
        GtkWidget* widget = nullptr;
        switch (entry.kind) {
            case MenuItemKind::Separator:
                widget = gtk_separator_menu_item_new();
                break;
            case MenuItemKind::Check:
                widget = gtk_check_menu_item_new_with_label(caption.c_str());
                break;
            case MenuItemKind::Command:
                widget = gtk_menu_item_new_with_label(caption.c_str());
                break;
        }
        gtk_menu_shell_append(GTK_MENU_SHELL(menu_.get()), widget);
        gtk_widget_show(widget);
        items_.push_back({this, entry.id, widget, entry.kind == MenuItemKind::Check, false});
        if (entry.kind != MenuItemKind::Separator) {
            g_signal_connect(widget, "activate", G_CALLBACK(&X11PopupMenu::OnActivate),
                             &items_.back());
        }
    }
}

X11PopupMenu::Item* X11PopupMenu::Find(MenuItem id) {
    const auto it =
        std::find_if(items_.begin(), items_.end(), [id](const Item& i) { return i.id == id; });
    return it == items_.end() ? nullptr : &*it;
}

const X11PopupMenu::Item* X11PopupMenu::Find(MenuItem id) const {
    return const_cast<X11PopupMenu*>(this)->Find(id);
}

void X11PopupMenu::ShowMark(Item& item) {
    if (!item.isCheck) {
        return;
    }
    g_signal_handlers_block_by_func(item.widget, reinterpret_cast<gpointer>(&OnActivate), &item);
    gtk_check_menu_item_set_active(GTK_CHECK_MENU_ITEM(item.widget), item.checked);
    g_signal_handlers_unblock_by_func(item.widget, reinterpret_cast<gpointer>(&OnActivate), &item);
}

void X11PopupMenu::SetChecked(MenuItem id, bool checked) {
    if (Item* item = Find(id); item != nullptr) {
        item->checked = checked;
        ShowMark(*item);
    }
}

bool X11PopupMenu::IsChecked(MenuItem id) const {
    const Item* item = Find(id);
    return item != nullptr && item->checked;
}

void X11PopupMenu::Popup() {
    // The press that asked for the menu came to the program's own connection, which holds the
    // pointer until the button is up: let go, so the menu's grab succeeds. Then open the menu at
    // the press's place, as GTK does at the pointer for a press of its own.
    host_.ReleasePointer();
    const PressPlace press = host_.LastPress();
    if (!open_) {
        open_ = true;
        host_.EnterPopup();
    }
    // GTK wants the press itself, for the grab's time and device and to tell the press's own
    // release from a choice: one made up from what the program's connection saw.
    GdkWindow* root = gdk_get_default_root_window();
    GdkEvent* trigger = gdk_event_new(GDK_BUTTON_PRESS);
    trigger->button.window = GDK_WINDOW(g_object_ref(root));
    trigger->button.time = static_cast<guint32>(press.time);
    trigger->button.x = press.rootX;
    trigger->button.y = press.rootY;
    trigger->button.x_root = press.rootX;
    trigger->button.y_root = press.rootY;
    trigger->button.button = press.button;
    GdkSeat* seat = gdk_display_get_default_seat(gdk_window_get_display(root));
    gdk_event_set_device(trigger, gdk_seat_get_pointer(seat));
    const GdkRectangle at{press.rootX, press.rootY, 1, 1};
    gtk_menu_popup_at_rect(GTK_MENU(menu_.get()), root, &at, GDK_GRAVITY_SOUTH_EAST,
                           GDK_GRAVITY_NORTH_WEST, trigger);
    gdk_event_free(trigger);  // drops the window's reference too
}

void X11PopupMenu::OnActivate(GtkMenuItem*, gpointer data) {
    auto* item = static_cast<Item*>(data);
    // GTK has already flipped a check item; put back the mark the logic set.
    item->owner->ShowMark(*item);
    g_idle_add(&X11PopupMenu::DeliverCommand, item);
}

void X11PopupMenu::OnDeactivate(GtkMenuShell*, gpointer self) {
    auto* menu = static_cast<X11PopupMenu*>(self);
    if (menu->open_) {
        menu->open_ = false;
        menu->host_.LeavePopup();
    }
}

gboolean X11PopupMenu::DeliverCommand(gpointer data) {
    auto* item = static_cast<Item*>(data);
    if (item->owner->events_ != nullptr) {
        item->owner->events_->OnMenuCommand(item->id);
    }
    return G_SOURCE_REMOVE;
}

}  // namespace tb::x11
