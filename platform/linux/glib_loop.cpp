// The connection and the timers as GLib sources on the default main context.
#include "platform/linux/glib_loop.h"

#include <glib.h>

namespace tb::linux_desktop {
namespace {

struct ConnectionSource {
    GSource base;
    ConnectionWatch* watch;
    GPollFD poll;
};

gboolean PrepareConnection(GSource* source, gint* timeout) {
    *timeout = -1;
    return reinterpret_cast<ConnectionSource*>(source)->watch->PrepareToWait();
}

gboolean CheckConnection(GSource* source) {
    auto* connection = reinterpret_cast<ConnectionSource*>(source);
    return (connection->poll.revents & (G_IO_IN | G_IO_HUP | G_IO_ERR)) != 0 ||
           connection->watch->EventsQueued();
}

gboolean DispatchConnection(GSource* source, GSourceFunc, gpointer) {
    reinterpret_cast<ConnectionSource*>(source)->watch->DispatchEvents();
    return G_SOURCE_CONTINUE;
}

GSourceFuncs connectionFuncs = {
    &PrepareConnection, &CheckConnection, &DispatchConnection, nullptr, nullptr, nullptr};

// A timer is a source with a ready time, set again an interval after each tick, as GLib's own
// timeouts are.
struct TimerSource {
    GSource base;
    TimerSink* sink;
    gint64 intervalUs;
};

gboolean DispatchTimer(GSource* source, GSourceFunc, gpointer) {
    auto* timer = reinterpret_cast<TimerSource*>(source);
    timer->sink->Fire();
    if (!g_source_is_destroyed(source)) {
        g_source_set_ready_time(source, g_source_get_time(source) + timer->intervalUs);
    }
    return G_SOURCE_CONTINUE;
}

GSourceFuncs timerFuncs = {nullptr, nullptr, &DispatchTimer, nullptr, nullptr, nullptr};

}  // namespace

GlibLoop::~GlibLoop() {
    for (const Connection& connection : connections_) {
        g_source_remove(connection.source);
    }
}

void GlibLoop::StopWatching(ConnectionWatch& watch) {
    std::erase_if(connections_, [&watch](const Connection& connection) {
        if (connection.watch != &watch) {
            return false;
        }
        g_source_remove(connection.source);
        return true;
    });
}

void GlibLoop::WatchConnection(int fd, ConnectionWatch& watch) {
    StopWatching(watch);
    GSource* source = g_source_new(&connectionFuncs, sizeof(ConnectionSource));
    auto* connection = reinterpret_cast<ConnectionSource*>(source);
    connection->watch = &watch;
    connection->poll.fd = fd;
    connection->poll.events = G_IO_IN | G_IO_HUP | G_IO_ERR;
    g_source_add_poll(source, &connection->poll);
    // The bird keeps going while a modal box runs a loop inside one of its events.
    g_source_set_can_recurse(source, TRUE);
    connections_.push_back({&watch, g_source_attach(source, nullptr)});
    g_source_unref(source);
}

std::uint32_t GlibLoop::AddTimer(std::uint32_t firstMs, std::uint32_t intervalMs, TimerSink& sink) {
    GSource* source = g_source_new(&timerFuncs, sizeof(TimerSource));
    auto* timer = reinterpret_cast<TimerSource*>(source);
    timer->sink = &sink;
    timer->intervalUs = gint64{intervalMs} * 1000;
    g_source_set_ready_time(source, g_get_monotonic_time() + gint64{firstMs} * 1000);
    const std::uint32_t id = g_source_attach(source, nullptr);
    g_source_unref(source);
    return id;
}

void GlibLoop::RemoveTimer(std::uint32_t id) {
    g_source_remove(id);
}

void GlibLoop::Run() {
    GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
    g_main_loop_run(loop);
    g_main_loop_unref(loop);
}

}  // namespace tb::linux_desktop
