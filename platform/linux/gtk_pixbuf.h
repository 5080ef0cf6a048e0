// Built-in PNG bytes to GdkPixbuf, for icons, the hand cursor and the donate picture.
#pragma once

#include <gtk/gtk.h>

#include <cstdint>
#include <span>

#include "platform/linux/gobject_ptr.h"

namespace tb::linux_desktop {

// The decoded picture enlarged `scale` times pixel for pixel, or null when the bytes are empty or
// not a PNG.
GObjectPtr<GdkPixbuf> PixbufFromPng(std::span<const std::uint8_t> png, int scale = 1);

// Sets the window's icons (or the default icons when `window` is null) from PNG renderings.
void SetIconsFromPngs(GtkWindow* window, std::span<const std::span<const std::uint8_t>> pngs);

}  // namespace tb::linux_desktop
