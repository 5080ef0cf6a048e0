// The session bus, KWin's scripting interface and the script's news, read without ever blocking
// the bird.
#include "platform/wayland/kwin_window_source.h"

#include <time.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string_view>

#include "platform/linux/dbus_library.h"

namespace tb::linux_desktop::wayland {
namespace {

// The name KWin knows the script by; one bird a session, so one name.
constexpr const char* kScriptName = "tapperbird";
// How long the program's end waits for KWin to unload the script.
constexpr int kUnloadTimeoutMs = 250;
// Coordinates beyond any desktop: a script gone wrong, not a window.
constexpr double kFarthest = 1 << 20;

std::int64_t NowMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// A whole number of any of D-Bus's numeric types (JavaScript numbers come as doubles, or as
// integers when they are whole, depending on the KWin version); false for anything else.
bool ReadNumber(DBusMessageIter& it, std::int32_t& out) {
    const DbusLibrary& d = *Dbus();
    double value = 0;
    switch (d.messageIterGetArgType(&it)) {
        case DBUS_TYPE_INT32: {
            dbus_int32_t v = 0;
            d.messageIterGetBasic(&it, &v);
            value = v;
            break;
        }
        case DBUS_TYPE_UINT32: {
            dbus_uint32_t v = 0;
            d.messageIterGetBasic(&it, &v);
            value = v;
            break;
        }
        case DBUS_TYPE_INT64: {
            dbus_int64_t v = 0;
            d.messageIterGetBasic(&it, &v);
            value = static_cast<double>(v);
            break;
        }
        case DBUS_TYPE_UINT64: {
            dbus_uint64_t v = 0;
            d.messageIterGetBasic(&it, &v);
            value = static_cast<double>(v);
            break;
        }
        case DBUS_TYPE_DOUBLE:
            d.messageIterGetBasic(&it, &value);
            break;
        default:
            return false;
    }
    if (!std::isfinite(value) || std::fabs(value) > kFarthest) {
        return false;
    }
    out = static_cast<std::int32_t>(std::lround(value));
    d.messageIterNext(&it);
    return true;
}

// KWin's window ids are UUIDs: the handle is a hash of the text, never 0.
WindowHandle HandleOf(std::string_view id) {
    std::uint64_t hash = 14695981039346656037ULL;
    for (const char c : id) {
        hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ULL;
    }
    return hash != 0 ? hash : 1;
}

DbusMessage MethodCall(const char* path, const char* interface, const char* method) {
    return DbusMessage(Dbus()->messageNewMethodCall("org.kde.KWin", path, interface, method));
}

}  // namespace

KwinMessage ReadKwinMessage(DBusMessage* message, KwinNews& news) {
    const DbusLibrary& d = *Dbus();
    const char* interface = d.messageGetInterface(message);
    const char* member = d.messageGetMember(message);
    if (d.messageGetType(message) != DBUS_MESSAGE_TYPE_METHOD_CALL || interface == nullptr ||
        member == nullptr || std::string_view(interface) != kKwinNewsInterface) {
        return KwinMessage::NotOurs;
    }
    DBusMessageIter it;
    const bool hasArgs = d.messageIterInit(message, &it) != 0;
    if (std::string_view(member) == "NoActiveWindow") {
        news = {};
        return KwinMessage::News;
    }
    if (std::string_view(member) != "ActiveWindow" || !hasArgs ||
        d.messageIterGetArgType(&it) != DBUS_TYPE_STRING) {
        return KwinMessage::Malformed;
    }
    const char* id = nullptr;
    d.messageIterGetBasic(&it, &id);
    d.messageIterNext(&it);
    std::int32_t x = 0, y = 0, width = 0, height = 0;
    if (id == nullptr || id[0] == '\0' || !ReadNumber(it, x) || !ReadNumber(it, y) ||
        !ReadNumber(it, width) || !ReadNumber(it, height) || width < 0 || height < 0 ||
        d.messageIterGetArgType(&it) != DBUS_TYPE_BOOLEAN) {
        return KwinMessage::Malformed;
    }
    dbus_bool_t minimized = 0;
    d.messageIterGetBasic(&it, &minimized);
    news.window = HandleOf(id);
    news.frame = {x, y, x + width, y + height};
    news.minimized = minimized != 0;
    return KwinMessage::News;
}

std::unique_ptr<KwinWindowSource> KwinWindowSource::Connect(const std::string& scriptPath,
                                                            int timeoutMs, std::string& why) {
    DbusConnection bus = OpenSessionBus(why);
    if (bus == nullptr) {
        return nullptr;
    }
    const DbusLibrary* d = Dbus();
    DbusError error;
    if (d->busNameHasOwner(bus.get(), "org.kde.KWin", nullptr) == 0) {
        why = "KWin is not on the session bus";
        return nullptr;
    }
    if (d->busRequestName(bus.get(), kKwinNewsService, DBUS_NAME_FLAG_DO_NOT_QUEUE, error.get()) !=
        DBUS_REQUEST_NAME_REPLY_PRIMARY_OWNER) {
        why = std::string("the bus name ") + kKwinNewsService + " is taken";
        return nullptr;
    }
    std::unique_ptr<KwinWindowSource> source(new KwinWindowSource(std::move(bus)));
    DBusConnection* const b = source->bus_.get();

    // A script left by a bird that was killed would keep the name: it goes first.
    source->Unload();
    auto load = MethodCall("/Scripting", "org.kde.kwin.Scripting", "loadScript");
    const char* path = scriptPath.c_str();
    const char* name = kScriptName;
    d->messageAppendArgs(load.get(), DBUS_TYPE_STRING, &path, DBUS_TYPE_STRING, &name,
                         DBUS_TYPE_INVALID);
    DbusMessage loaded(d->connectionSendWithReplyAndBlock(b, load.get(), timeoutMs, error.get()));
    dbus_int32_t id = -1;
    if (loaded == nullptr ||
        d->messageGetArgs(loaded.get(), error.get(), DBUS_TYPE_INT32, &id, DBUS_TYPE_INVALID) ==
            0 ||
        id < 0) {
        why = "KWin would not load its script " + scriptPath +
              (error.set() ? std::string(" (") + error.message() + ")" : std::string());
        return nullptr;
    }
    source->scriptLoaded_ = true;
    auto start = MethodCall("/Scripting", "org.kde.kwin.Scripting", "start");
    DbusMessage started(
        d->connectionSendWithReplyAndBlock(b, start.get(), timeoutMs, DbusError().get()));
    if (started == nullptr) {
        why = "KWin would not run its script";
        return nullptr;
    }

    // The script's first word: the window active now, or none.
    const std::int64_t deadline = NowMs() + timeoutMs;
    while (!source->newsSeen_) {
        const std::int64_t left = deadline - NowMs();
        if (left <= 0 || d->connectionReadWrite(b, static_cast<int>(left)) == 0 ||
            !source->HandleMessages()) {
            why = "no news from the KWin script";
            return nullptr;
        }
    }
    return source;
}

KwinWindowSource::KwinWindowSource(DbusConnection bus) : bus_(std::move(bus)) {}

KwinWindowSource::~KwinWindowSource() {
    if (scriptLoaded_) {
        Unload();
    }
}

void KwinWindowSource::Attach(MainLoop& loop) {
    int fd = -1;
    if (bus_ != nullptr && Dbus()->connectionGetUnixFd(bus_.get(), &fd) != 0) {
        loop_ = &loop;
        loop.WatchConnection(fd, *this);
    }
}

void KwinWindowSource::Unload() {
    if (bus_ == nullptr) {
        return;
    }
    const DbusLibrary& d = *Dbus();
    auto unload = MethodCall("/Scripting", "org.kde.kwin.Scripting", "unloadScript");
    const char* name = kScriptName;
    d.messageAppendArgs(unload.get(), DBUS_TYPE_STRING, &name, DBUS_TYPE_INVALID);
    // A KWin that does not answer in time keeps the script; the next start unloads it.
    DbusMessage(d.connectionSendWithReplyAndBlock(bus_.get(), unload.get(), kUnloadTimeoutMs,
                                                  DbusError().get()));
    scriptLoaded_ = false;
}

bool KwinWindowSource::Frame(WindowHandle window, Rect& frame) const {
    if (window == 0 || window != news_.window) {
        return false;
    }
    frame = news_.frame;
    return true;
}

bool KwinWindowSource::Visible(WindowHandle window) const {
    return window != 0 && window == news_.window && !news_.minimized;
}

bool KwinWindowSource::PrepareToWait() {
    if (bus_ != nullptr) {
        Dbus()->connectionFlush(bus_.get());
    }
    return EventsQueued();
}

bool KwinWindowSource::EventsQueued() {
    return DbusMessagesQueued(bus_.get());
}

void KwinWindowSource::DispatchEvents() {
    if (bus_ == nullptr) {
        return;
    }
    // Reads what has arrived without waiting, then settles it.
    if (Dbus()->connectionReadWrite(bus_.get(), 0) == 0) {
        Stop("the session bus closed");
        return;
    }
    HandleMessages();
}

bool KwinWindowSource::HandleMessages() {
    const DbusLibrary& d = *Dbus();
    while (bus_ != nullptr) {
        DbusMessage message(d.connectionPopMessage(bus_.get()));
        if (message == nullptr) {
            break;
        }
        const KwinMessage read = ReadKwinMessage(message.get(), news_);
        if (read == KwinMessage::News) {
            newsSeen_ = true;
        } else if (read == KwinMessage::Malformed && !malformedSaid_) {
            malformedSaid_ = true;
            std::fprintf(stderr,
                         "tapperbird: ignored a malformed window report (%s) on the session bus\n",
                         d.messageGetMember(message.get()));
            std::fflush(stderr);
        }
        if (d.messageGetType(message.get()) == DBUS_MESSAGE_TYPE_METHOD_CALL &&
            d.messageGetNoReply(message.get()) == 0) {
            DbusMessage reply(read == KwinMessage::News
                                  ? d.messageNewMethodReturn(message.get())
                                  : d.messageNewError(message.get(),
                                                      read == KwinMessage::Malformed
                                                          ? DBUS_ERROR_INVALID_ARGS
                                                          : DBUS_ERROR_UNKNOWN_METHOD,
                                                      "not window news"));
            if (reply != nullptr) {
                d.connectionSend(bus_.get(), reply.get(), nullptr);
            }
        }
    }
    if (bus_ != nullptr && d.connectionGetIsConnected(bus_.get()) == 0) {
        Stop("the session bus closed");
    }
    return bus_ != nullptr;
}

void KwinWindowSource::Stop(const char* why) {
    if (bus_ == nullptr) {
        return;
    }
    // Without news the bird cannot know where windows are: it hides rather than perch on a stale
    // place.
    if (newsSeen_) {
        std::fprintf(
            stderr, "tapperbird: no more window information from KWin (%s): the bird hides\n", why);
        std::fflush(stderr);
    }
    if (loop_ != nullptr) {
        loop_->StopWatching(*this);
    }
    bus_.reset();
    news_ = {};
    scriptLoaded_ = false;
}

}  // namespace tb::linux_desktop::wayland
