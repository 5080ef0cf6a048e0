// PNG decoding through gdk-pixbuf's loader.
#include "platform/linux/gtk_pixbuf.h"

#include <vector>

namespace tb::linux_desktop {

GObjectPtr<GdkPixbuf> PixbufFromPng(std::span<const std::uint8_t> png, int scale) {
    if (png.empty()) {
        return nullptr;
    }
    GObjectPtr<GdkPixbufLoader> loader(gdk_pixbuf_loader_new_with_type("png", nullptr));
    if (loader == nullptr) {
        return nullptr;
    }
    const bool written = gdk_pixbuf_loader_write(loader.get(), png.data(), png.size(), nullptr);
    const bool closed = gdk_pixbuf_loader_close(loader.get(), nullptr);
    if (!written || !closed) {
        return nullptr;
    }
    GdkPixbuf* pixbuf = gdk_pixbuf_loader_get_pixbuf(loader.get());
    if (pixbuf == nullptr) {
        return nullptr;
    }
    if (scale > 1) {
        // Nearest neighbour: pixel art stays sharp.
        return GObjectPtr<GdkPixbuf>(
            gdk_pixbuf_scale_simple(pixbuf, gdk_pixbuf_get_width(pixbuf) * scale,
                                    gdk_pixbuf_get_height(pixbuf) * scale, GDK_INTERP_NEAREST));
    }
    return GObjectPtr<GdkPixbuf>(GDK_PIXBUF(g_object_ref(pixbuf)));
}

void SetIconsFromPngs(GtkWindow* window, std::span<const std::span<const std::uint8_t>> pngs) {
    std::vector<GObjectPtr<GdkPixbuf>> owned;
    GList* list = nullptr;
    for (const auto& png : pngs) {
        if (GObjectPtr<GdkPixbuf> pixbuf = PixbufFromPng(png); pixbuf != nullptr) {
            list = g_list_append(list, pixbuf.get());
            owned.push_back(std::move(pixbuf));
        }
    }
    if (window != nullptr) {
        gtk_window_set_icon_list(window, list);
    } else {
        gtk_window_set_default_icon_list(list);
    }
    g_list_free(list);  // the window took its own references
}

}  // namespace tb::linux_desktop
