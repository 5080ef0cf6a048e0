// Everything the program's logic needs of the world, one interface per concern.
#pragma once

#include "platform/about_view.h"
#include "platform/bird_surface.h"
#include "platform/forms_runtime.h"
#include "platform/menu.h"
#include "platform/mutex.h"
#include "platform/random_source.h"
#include "platform/registry.h"
#include "platform/shell.h"
#include "platform/window_system.h"

namespace tb {

// References to one realisation's services; they outlive the program object built on them.
struct Platform {
    WindowSystem& windows;
    BirdSurface& bird;
    FormsRuntime& forms;
    Registry& registry;
    Shell& shell;
    NamedMutex& mutex;
    PopupMenu& menu;
    AboutView& about;
    RandomSource& random;
};

}  // namespace tb
