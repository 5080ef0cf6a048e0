// A strong reference to a GObject (GdkPixbuf, GdkCursor, GtkWidget...), released once.
#pragma once

#include <glib-object.h>

#include <memory>

namespace tb::linux_desktop {

struct GObjectUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
};
template <typename T>
using GObjectPtr = std::unique_ptr<T, GObjectUnref>;

}  // namespace tb::linux_desktop
