// Timers, the screen, the program and message-box services of the forms runtime.
#include "platform/x11/x11_forms_runtime.h"

#include <unistd.h>
#include <X11/extensions/Xrandr.h>

#include <algorithm>
#include <cstdlib>

#include "platform/linux/forms_services.h"
#include "platform/linux/program_file.h"
#include "platform/units.h"
#include "platform/x11/xft_dpi.h"

namespace tb::linux_desktop::x11 {

X11FormsRuntime::X11FormsRuntime(X11Session& session, MainLoop& loop, int desktopScale,
                                 GtkModuleLoader& gtk)
    : session_(session), loop_(loop), gtk_(gtk), programPath_(ReadProgramPath()) {
    const char* resources = XResourceManagerString(session_.display());
    const double dpi = XftDpiFromResources(resources != nullptr ? resources : "");
    twipsPerPixel_ = static_cast<float>(kTwipsPerInch / dpi);
    scale_ = std::max(dpi / kDefaultDpi, static_cast<double>(std::max(desktopScale, 1)));
    int errorBase = 0;
    if (XRRQueryExtension(session_.display(), &randrEventBase_, &errorBase)) {
        XRRSelectInput(
            session_.display(), session_.root(),
            RRScreenChangeNotifyMask | RRCrtcChangeNotifyMask | RROutputChangeNotifyMask);
    } else {
        randrEventBase_ = -1;
    }
    RefreshMonitors();
    session_.AddHandler(this);
}

X11FormsRuntime::~X11FormsRuntime() {
    session_.RemoveHandler(this);
}

void X11FormsRuntime::OnXEvent(const XEvent& event) {
    if (randrEventBase_ < 0) {
        return;
    }
    if (event.type == randrEventBase_ + RRScreenChangeNotify) {
        // Keeps Xlib's idea of the root window's size current.
        XRRUpdateConfiguration(const_cast<XEvent*>(&event));
        RefreshMonitors();
    } else if (event.type == randrEventBase_ + RRNotify) {
        RefreshMonitors();
    }
}

void X11FormsRuntime::RefreshMonitors() {
    monitors_.clear();
    Display* display = session_.display();
    int count = 0;
    XRRMonitorInfo* list =
        randrEventBase_ >= 0 ? XRRGetMonitors(display, session_.root(), True, &count) : nullptr;
    for (int i = 0; i < count; ++i) {
        const XRRMonitorInfo& info = list[i];
        const Monitor m{Rect{info.x, info.y, info.x + info.width, info.y + info.height}, scale_};
        if (info.primary) {
            monitors_.insert(monitors_.begin(), m);
        } else {
            monitors_.push_back(m);
        }
    }
    if (list != nullptr) {
        XRRFreeMonitors(list);
    }
    if (monitors_.empty()) {
        // No RandR (or no monitor it knows of): the root window is the screen.
        const int screen = DefaultScreen(display);
        monitors_.push_back(
            {Rect{0, 0, DisplayWidth(display, screen), DisplayHeight(display, screen)}, scale_});
    }
}

std::unique_ptr<Timer> X11FormsRuntime::CreateTimer(std::int32_t intervalMs,
                                                    std::function<void()> onTick) {
    return loop_.CreateTimer(intervalMs, std::move(onTick));
}

// The root window's size; Xlib keeps it current as RandR changes are passed on.
double X11FormsRuntime::ScreenWidthTwips() {
    return static_cast<double>(
               DisplayWidth(session_.display(), DefaultScreen(session_.display()))) *
           twipsPerPixel_;
}

double X11FormsRuntime::ScreenHeightTwips() {
    return static_cast<double>(
               DisplayHeight(session_.display(), DefaultScreen(session_.display()))) *
           twipsPerPixel_;
}

Rect X11FormsRuntime::DesktopBounds() {
    if (monitors_.empty()) {
        return {0, 0, DisplayWidth(session_.display(), DefaultScreen(session_.display())),
                DisplayHeight(session_.display(), DefaultScreen(session_.display()))};
    }
    return BoundsOfMonitors(monitors_);
}

void X11FormsRuntime::MessageBox(std::string_view text, std::string_view title,
                                 std::int32_t style) {
    ShowMessageBox(gtk_, text, title, style);
}

void X11FormsRuntime::EndProgram() {
    // At once: no handler runs, nothing is saved; the server drops our windows with the connection.
    XFlush(session_.display());
    ::_exit(0);
}

}  // namespace tb::linux_desktop::x11
