// GLib-backed timers and the screen, program and message-box services of the forms runtime.
#include "platform/x11/x11_forms_runtime.h"

#include <unistd.h>
#include <limits.h>

#include <algorithm>
#include <cstdlib>

#include "platform/units.h"
#include "platform/x11/xft_dpi.h"

namespace tb::x11 {
namespace {

// A GLib timeout that exists only while the timer is enabled, so a disabled timer costs nothing.
class GlibTimer final : public Timer {
  public:
    GlibTimer(std::int32_t intervalMs, std::function<void()> onTick)
        : intervalMs_(static_cast<guint>(std::max(intervalMs, 1))), onTick_(std::move(onTick)) {}
    ~GlibTimer() override { SetEnabled(false); }
    GlibTimer(const GlibTimer&) = delete;
    GlibTimer& operator=(const GlibTimer&) = delete;

    void SetEnabled(bool enabled) override {
        if (enabled && sourceId_ == 0) {
            sourceId_ = g_timeout_add(intervalMs_, &GlibTimer::Tick, this);
        } else if (!enabled && sourceId_ != 0) {
            g_source_remove(sourceId_);
            sourceId_ = 0;
        }
    }
    bool Enabled() const override { return sourceId_ != 0; }

  private:
    static gboolean Tick(gpointer self) {
        auto* timer = static_cast<GlibTimer*>(self);
        const guint mine = timer->sourceId_;
        timer->onTick_();
        // The handler may have switched this timer off (and on again, as a new source).
        return timer->sourceId_ == mine ? G_SOURCE_CONTINUE : G_SOURCE_REMOVE;
    }

    guint intervalMs_;
    std::function<void()> onTick_;
    guint sourceId_ = 0;
};

// The program file's full path; empty when the system cannot tell (a bare name would start
// whatever else of that name is on the search path).
std::string ReadProgramPath() {
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer);
    if (n > 0 && static_cast<std::size_t>(n) < sizeof buffer) {
        return std::string(buffer, static_cast<std::size_t>(n));
    }
    return {};
}

GtkMessageType MessageTypeForStyle(std::int32_t style) {
    switch (style & 0x70) {
        case 16:
            return GTK_MESSAGE_ERROR;
        case 32:
            return GTK_MESSAGE_QUESTION;
        case 48:
            return GTK_MESSAGE_WARNING;
        case 64:
            return GTK_MESSAGE_INFO;
        default:
            return GTK_MESSAGE_OTHER;
    }
}

}  // namespace

X11FormsRuntime::X11FormsRuntime(X11Session& session, int desktopScale)
    : session_(session), programPath_(ReadProgramPath()) {
    const char* resources = XResourceManagerString(session_.display());
    const double dpi = XftDpiFromResources(resources != nullptr ? resources : "");
    twipsPerPixel_ = static_cast<float>(kTwipsPerInch / dpi);
    scale_ = std::max(dpi / kDefaultDpi, static_cast<double>(std::max(desktopScale, 1)));
    RefreshMonitors();
    g_signal_connect(session_.screen(), "monitors-changed",
                     G_CALLBACK(&X11FormsRuntime::OnMonitorsChanged), this);
}

X11FormsRuntime::~X11FormsRuntime() {
    g_signal_handlers_disconnect_by_data(session_.screen(), this);
}

void X11FormsRuntime::OnMonitorsChanged(GdkScreen*, gpointer self) {
    static_cast<X11FormsRuntime*>(self)->RefreshMonitors();
}

void X11FormsRuntime::RefreshMonitors() {
    monitors_.clear();
    GdkDisplay* display = gdk_display_get_default();
    GdkMonitor* primary = gdk_display_get_primary_monitor(display);
    const int count = gdk_display_get_n_monitors(display);
    for (int i = 0; i < count; ++i) {
        GdkMonitor* monitor = gdk_display_get_monitor(display, i);
        // GDK reports application pixels: with GDK_SCALE=2 a 3840-pixel monitor is 1920 wide.
        const int factor = std::max(1, gdk_monitor_get_scale_factor(monitor));
        GdkRectangle area{};
        gdk_monitor_get_geometry(monitor, &area);
        const Monitor m{Rect{area.x * factor, area.y * factor, (area.x + area.width) * factor,
                             (area.y + area.height) * factor},
                        std::max(static_cast<double>(factor), scale_)};
        if (monitor == primary) {
            monitors_.insert(monitors_.begin(), m);
        } else {
            monitors_.push_back(m);
        }
    }
}

std::unique_ptr<Timer> X11FormsRuntime::CreateTimer(std::int32_t intervalMs,
                                                    std::function<void()> onTick) {
    return std::make_unique<GlibTimer>(intervalMs, std::move(onTick));
}

// The root window's size; Xlib keeps it current when GDK passes on RandR changes.
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
    Rect bounds = monitors_.front().bounds;
    for (const Monitor& m : monitors_) {
        bounds =
            Rect{std::min(bounds.Left, m.bounds.Left), std::min(bounds.Top, m.bounds.Top),
                 std::max(bounds.Right, m.bounds.Right), std::max(bounds.Bottom, m.bounds.Bottom)};
    }
    return bounds;
}

void X11FormsRuntime::MessageBox(std::string_view text, std::string_view title,
                                 std::int32_t style) {
    const std::string message(text);
    GtkWidget* dialog =
        gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, MessageTypeForStyle(style),
                               GTK_BUTTONS_OK, "%s", message.c_str());
    gtk_window_set_title(GTK_WINDOW(dialog), std::string(title).c_str());
    gtk_window_set_keep_above(GTK_WINDOW(dialog), TRUE);
    gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER);
    session_.EnterPopup();
    gtk_dialog_run(GTK_DIALOG(dialog));
    session_.LeavePopup();
    gtk_widget_destroy(dialog);
}

void X11FormsRuntime::EndProgram() {
    // At once: no handler runs, nothing is saved; the server drops our windows with the connection.
    XFlush(session_.display());
    ::_exit(0);
}

}  // namespace tb::x11
