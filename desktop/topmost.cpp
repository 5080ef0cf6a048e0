// Lifting a window into the top-most band.
#include "desktop/topmost.h"

namespace tb {

void SetTopmost(WindowSystem& windows, WindowHandle window) {
    windows.MakeTopmost(window, kTopmostFlags);
}

}  // namespace tb
