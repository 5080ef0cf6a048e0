// The session bus between the program and its GNOME Shell extension, read without ever blocking
// the bird once it runs.
#include "platform/wayland/gnome_shell.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <string_view>

#include "platform/linux/dbus_library.h"

namespace tb::linux_desktop::wayland {
namespace {

// Numbers beyond any desktop: a sender gone wrong, not a window.
constexpr std::int32_t kFarthest = 1 << 20;
constexpr std::int32_t kMostScale = 16;
constexpr std::size_t kMostMonitors = 16;
// The bird's largest box, for the point of a press.
constexpr std::int32_t kLargestBird = 71 * kMostScale;

std::int64_t NowMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// One argument of D-Bus type `Type` into `out`, moving on; false when the type differs.
template <int Type, typename T>
bool Take(DBusMessageIter& it, T& out) {
    const DbusLibrary& d = *Dbus();
    if (d.messageIterGetArgType(&it) != Type) {
        return false;
    }
    d.messageIterGetBasic(&it, &out);
    d.messageIterNext(&it);
    return true;
}

bool TakeInt(DBusMessageIter& it, std::int32_t& out, std::int32_t low, std::int32_t high) {
    dbus_int32_t v = 0;
    if (!Take<DBUS_TYPE_INT32>(it, v) || v < low || v > high) {
        return false;
    }
    out = v;
    return true;
}

bool AtEnd(DBusMessageIter& it) {
    return Dbus()->messageIterGetArgType(&it) == DBUS_TYPE_INVALID;
}

bool ReadWindow(DBusMessageIter& it, ShellNews& news) {
    dbus_uint64_t id = 0;
    std::int32_t x = 0, y = 0, width = 0, height = 0, monitor = 0, scale = 0;
    dbus_bool_t hidden = 0;
    if (!Take<DBUS_TYPE_UINT64>(it, id) || id == 0 || !TakeInt(it, x, -kFarthest, kFarthest) ||
        !TakeInt(it, y, -kFarthest, kFarthest) || !TakeInt(it, width, 0, kFarthest) ||
        !TakeInt(it, height, 0, kFarthest) || !Take<DBUS_TYPE_BOOLEAN>(it, hidden) ||
        !TakeInt(it, monitor, -1, kFarthest) || !TakeInt(it, scale, 1, kMostScale) || !AtEnd(it)) {
        return false;
    }
    news.window = id;
    news.frame = {x, y, x + width, y + height};
    news.hidden = hidden != 0;
    return true;
}

bool ReadMonitors(DBusMessageIter& it, ShellNews& news) {
    const DbusLibrary& d = *Dbus();
    if (d.messageIterGetArgType(&it) != DBUS_TYPE_ARRAY) {
        return false;
    }
    DBusMessageIter array;
    d.messageIterRecurse(&it, &array);
    std::vector<OutputPlace> places;
    while (d.messageIterGetArgType(&array) == DBUS_TYPE_STRUCT) {
        DBusMessageIter one;
        d.messageIterRecurse(&array, &one);
        std::int32_t x = 0, y = 0, width = 0, height = 0, scale = 0;
        if (places.size() == kMostMonitors || !TakeInt(one, x, -kFarthest, kFarthest) ||
            !TakeInt(one, y, -kFarthest, kFarthest) || !TakeInt(one, width, 1, kFarthest) ||
            !TakeInt(one, height, 1, kFarthest) || !TakeInt(one, scale, 1, kMostScale) ||
            !AtEnd(one)) {
            return false;
        }
        places.push_back({{x, y, x + width, y + height}, scale});
        d.messageIterNext(&array);
    }
    if (places.empty() || !AtEnd(array)) {
        return false;
    }
    d.messageIterNext(&it);
    if (!AtEnd(it)) {
        return false;
    }
    news.monitors = std::move(places);
    return true;
}

// A marker file under the program's settings folder; true when it is there.
bool Marked(const std::string& configHome, const char* name) {
    return ::access((configHome + "/tapperbird/" + name).c_str(), F_OK) == 0;
}

void Mark(const std::string& configHome, const char* name) {
    const std::string folder = configHome + "/tapperbird";
    ::mkdir(configHome.c_str(), 0700);
    ::mkdir(folder.c_str(), 0700);
    const int fd = ::open((folder + "/" + name).c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    if (fd >= 0) {
        ::close(fd);
    }
}

// A call to GNOME Shell's extension service, its answer or null.
DbusMessage AskShellExtensions(DBusConnection* bus, const char* method, int timeoutMs) {
    const DbusLibrary& d = *Dbus();
    DbusMessage call(d.messageNewMethodCall("org.gnome.Shell", "/org/gnome/Shell",
                                            "org.gnome.Shell.Extensions", method));
    const char* uuid = kExtensionUuid;
    d.messageAppendArgs(call.get(), DBUS_TYPE_STRING, &uuid, DBUS_TYPE_INVALID);
    return DbusMessage(
        d.connectionSendWithReplyAndBlock(bus, call.get(), timeoutMs, DbusError().get()));
}

// Our extension not on the bus: enabled when the Shell knows it and the program never enabled it
// before; false with the reason otherwise.
bool StartExtension(DBusConnection* bus, int timeoutMs, const std::string& configHome,
                    std::string& why, UserNotice& notice) {
    const DbusLibrary& d = *Dbus();
    constexpr const char* kEnabledOnce = "gnome-extension-enabled";
    constexpr const char* kLoginSaid = "gnome-extension-login-said";
    DbusMessage info = AskShellExtensions(bus, "GetExtensionInfo", timeoutMs);
    DBusMessageIter it, entries;
    if (info == nullptr || d.messageIterInit(info.get(), &it) == 0 ||
        d.messageIterGetArgType(&it) != DBUS_TYPE_ARRAY) {
        why = "GNOME Shell does not say what became of the Tapperbird extension";
        return false;
    }
    d.messageIterRecurse(&it, &entries);
    if (d.messageIterGetArgType(&entries) == DBUS_TYPE_INVALID) {
        // Installed since the Shell started: GNOME on Wayland loads it at the next login.
        why = "GNOME Shell loads the newly installed Tapperbird extension at the next login";
        if (!Marked(configHome, kLoginSaid)) {
            notice.text =
                "Tapperbird has just been installed. GNOME needs you to log out and log in again "
                "once before the bird can sit on all your windows. Until then it sits only on "
                "windows of older programs (X11 programs).";
            notice.said = [configHome] { Mark(configHome, kLoginSaid); };
        }
        return false;
    }
    if (Marked(configHome, kEnabledOnce)) {
        why = "the Tapperbird extension is disabled in GNOME Shell";
        return false;
    }
    Mark(configHome, kEnabledOnce);
    if (AskShellExtensions(bus, "EnableExtension", timeoutMs) == nullptr) {
        why = "GNOME Shell would not enable the Tapperbird extension";
        return false;
    }
    const std::int64_t deadline = NowMs() + timeoutMs;
    while (d.busNameHasOwner(bus, kShellBusName, nullptr) == 0) {
        if (NowMs() >= deadline) {
            why = "the Tapperbird extension did not start in GNOME Shell";
            return false;
        }
        ::usleep(20 * 1000);
    }
    return true;
}

DbusMessage BusCall(const char* method) {
    return DbusMessage(Dbus()->messageNewMethodCall("org.freedesktop.DBus", "/org/freedesktop/DBus",
                                                    "org.freedesktop.DBus", method));
}

}  // namespace

ShellMessage ReadShellMessage(DBusMessage* message, ShellNews& news) {
    const DbusLibrary& d = *Dbus();
    const char* interface = d.messageGetInterface(message);
    const char* name = d.messageGetMember(message);
    if (d.messageGetType(message) != DBUS_MESSAGE_TYPE_METHOD_CALL || interface == nullptr ||
        name == nullptr || std::string_view(interface) != kShellNewsInterface) {
        return ShellMessage::NotOurs;
    }
    const std::string_view member = name;
    DBusMessageIter it;
    const bool hasArgs = d.messageIterInit(message, &it) != 0;
    if (member == "NoWindow") {
        if (hasArgs) {
            return ShellMessage::Malformed;
        }
        news.window = 0;
        news.frame = {};
        news.hidden = false;
        return ShellMessage::Window;
    }
    if (!hasArgs) {
        return ShellMessage::Malformed;
    }
    if (member == "Window") {
        return ReadWindow(it, news) ? ShellMessage::Window : ShellMessage::Malformed;
    }
    if (member == "Monitors") {
        return ReadMonitors(it, news) ? ShellMessage::Monitors : ShellMessage::Malformed;
    }
    if (member == "Pressed") {
        dbus_uint32_t button = 0;
        std::int32_t x = 0, y = 0;
        if (!Take<DBUS_TYPE_UINT32>(it, button) || button < 1 || button > 3 ||
            !TakeInt(it, x, 0, kLargestBird) || !TakeInt(it, y, 0, kLargestBird) || !AtEnd(it)) {
            return ShellMessage::Malformed;
        }
        news.button = button;
        news.press = {x, y};
        return ShellMessage::Pressed;
    }
    if (member == "MenuChosen") {
        dbus_uint32_t item = 0;
        if (!Take<DBUS_TYPE_UINT32>(it, item) || item > static_cast<unsigned>(MenuItem::Exit) ||
            !AtEnd(it)) {
            return ShellMessage::Malformed;
        }
        news.item = static_cast<MenuItem>(item);
        return ShellMessage::MenuChosen;
    }
    return ShellMessage::Malformed;
}

std::unique_ptr<GnomeShellLink> GnomeShellLink::Connect(int timeoutMs,
                                                        const std::string& configHome,
                                                        std::string& why, UserNotice& notice) {
    DbusConnection bus = OpenSessionBus(why);
    if (bus == nullptr) {
        return nullptr;
    }
    const DbusLibrary* d = Dbus();
    DbusError error;
    if (d->busNameHasOwner(bus.get(), "org.gnome.Shell", nullptr) == 0) {
        why = "GNOME Shell is not on the session bus";
        return nullptr;
    }
    if (d->busNameHasOwner(bus.get(), kShellBusName, nullptr) == 0 &&
        !StartExtension(bus.get(), timeoutMs, configHome, why, notice)) {
        return nullptr;
    }
    if (d->busRequestName(bus.get(), kProgramBusName, DBUS_NAME_FLAG_DO_NOT_QUEUE, error.get()) !=
        DBUS_REQUEST_NAME_REPLY_PRIMARY_OWNER) {
        why = std::string("the bus name ") + kProgramBusName + " is taken";
        return nullptr;
    }
    // The extension leaving (disabled, the Shell restarting) and coming back.
    d->busAddMatch(bus.get(),
                   "type='signal',sender='org.freedesktop.DBus',member='NameOwnerChanged',"
                   "arg0='example.velmor.Tapperbird.Shell'",
                   nullptr);
    std::unique_ptr<GnomeShellLink> link(new GnomeShellLink(std::move(bus)));
    DBusConnection* const b = link->bus_.get();

    auto owner = BusCall("GetNameOwner");
    const char* shellName = kShellBusName;
    d->messageAppendArgs(owner.get(), DBUS_TYPE_STRING, &shellName, DBUS_TYPE_INVALID);
    DbusMessage ownerReply(
        d->connectionSendWithReplyAndBlock(b, owner.get(), timeoutMs, error.get()));
    const char* unique = nullptr;
    if (ownerReply == nullptr || d->messageGetArgs(ownerReply.get(), error.get(), DBUS_TYPE_STRING,
                                                   &unique, DBUS_TYPE_INVALID) == 0) {
        why = "the Tapperbird extension left the session bus";
        return nullptr;
    }
    link->extension_ = unique;

    DbusMessage hello(
        d->messageNewMethodCall(link->extension_.c_str(), kShellPath, kShellInterface, "Hello"));
    dbus_uint32_t version = kShellVersion;
    d->messageAppendArgs(hello.get(), DBUS_TYPE_UINT32, &version, DBUS_TYPE_INVALID);
    DbusMessage answer(d->connectionSendWithReplyAndBlock(b, hello.get(), timeoutMs, error.get()));
    dbus_uint32_t theirs = 0;
    if (answer == nullptr || d->messageGetArgs(answer.get(), error.get(), DBUS_TYPE_UINT32, &theirs,
                                               DBUS_TYPE_INVALID) == 0) {
        why = std::string("the Tapperbird extension in GNOME Shell does not answer (") +
              (error.set() ? error.message() : "no reply") + ")";
        return nullptr;
    }
    if (theirs != kShellVersion) {
        why = "the Tapperbird extension in GNOME Shell is of another version (" +
              std::to_string(theirs) + "; this program needs " + std::to_string(kShellVersion) +
              ")";
        return nullptr;
    }
    // Its first words: the monitors, then the focused window.
    const std::int64_t deadline = NowMs() + timeoutMs;
    while (link->outputs_.empty()) {
        const std::int64_t left = deadline - NowMs();
        if (left <= 0 || d->connectionReadWrite(b, static_cast<int>(left)) == 0 ||
            !link->HandleMessages()) {
            why = "no word from the Tapperbird extension in GNOME Shell";
            return nullptr;
        }
    }
    return link;
}

GnomeShellLink::GnomeShellLink(DbusConnection bus) : bus_(std::move(bus)) {}

GnomeShellLink::~GnomeShellLink() = default;

void GnomeShellLink::Send(DBusMessage* message) {
    const DbusLibrary& d = *Dbus();
    d.messageSetNoReply(message, 1);
    d.connectionSend(bus_.get(), message, nullptr);
}

void GnomeShellLink::Show(int frame, int scale, Point topLeft, Size size) {
    if (bus_ == nullptr || extension_.empty()) {
        return;
    }
    const DbusLibrary& d = *Dbus();
    DbusMessage m(d.messageNewMethodCall(extension_.c_str(), kShellPath, kShellInterface, "Show"));
    dbus_uint32_t f = static_cast<dbus_uint32_t>(frame), s = static_cast<dbus_uint32_t>(scale);
    dbus_int32_t x = topLeft.x, y = topLeft.y, w = size.cx, h = size.cy;
    d.messageAppendArgs(m.get(), DBUS_TYPE_UINT32, &f, DBUS_TYPE_UINT32, &s, DBUS_TYPE_INT32, &x,
                        DBUS_TYPE_INT32, &y, DBUS_TYPE_INT32, &w, DBUS_TYPE_INT32, &h,
                        DBUS_TYPE_INVALID);
    Send(m.get());
}

void GnomeShellLink::Hide() {
    if (bus_ == nullptr || extension_.empty()) {
        return;
    }
    DbusMessage m(
        Dbus()->messageNewMethodCall(extension_.c_str(), kShellPath, kShellInterface, "Hide"));
    Send(m.get());
}

void GnomeShellLink::ShowMenu(Point at, std::span<const MenuLine> lines) {
    if (bus_ == nullptr || extension_.empty()) {
        return;
    }
    const DbusLibrary& d = *Dbus();
    DbusMessage m(
        d.messageNewMethodCall(extension_.c_str(), kShellPath, kShellInterface, "ShowMenu"));
    DBusMessageIter it, array;
    d.messageIterInitAppend(m.get(), &it);
    dbus_int32_t x = at.x, y = at.y;
    d.messageIterAppendBasic(&it, DBUS_TYPE_INT32, &x);
    d.messageIterAppendBasic(&it, DBUS_TYPE_INT32, &y);
    d.messageIterOpenContainer(&it, DBUS_TYPE_ARRAY, "(usub)", &array);
    for (const MenuLine& line : lines) {
        DBusMessageIter one;
        d.messageIterOpenContainer(&array, DBUS_TYPE_STRUCT, nullptr, &one);
        dbus_uint32_t id = static_cast<dbus_uint32_t>(line.id);
        // The extension's kinds: 0 a command, 1 a separator, 2 a check item.
        dbus_uint32_t kind = line.kind == MenuItemKind::Separator ? 1
                             : line.kind == MenuItemKind::Check   ? 2
                                                                  : 0;
        const char* caption = line.caption.c_str();
        dbus_bool_t checked = line.checked ? 1 : 0;
        d.messageIterAppendBasic(&one, DBUS_TYPE_UINT32, &id);
        d.messageIterAppendBasic(&one, DBUS_TYPE_STRING, &caption);
        d.messageIterAppendBasic(&one, DBUS_TYPE_UINT32, &kind);
        d.messageIterAppendBasic(&one, DBUS_TYPE_BOOLEAN, &checked);
        d.messageIterCloseContainer(&array, &one);
    }
    d.messageIterCloseContainer(&it, &array);
    Send(m.get());
}

void GnomeShellLink::Attach(MainLoop& loop) {
    int fd = -1;
    if (bus_ != nullptr && Dbus()->connectionGetUnixFd(bus_.get(), &fd) != 0) {
        loop_ = &loop;
        loop.WatchConnection(fd, *this);
    }
}

void GnomeShellLink::Leave() {
    Hide();
    Flush();
}

void GnomeShellLink::Flush() {
    if (bus_ != nullptr) {
        Dbus()->connectionFlush(bus_.get());
    }
}

bool GnomeShellLink::Frame(WindowHandle window, Rect& frame) const {
    if (window == 0 || window != window_) {
        return false;
    }
    frame = frame_;
    return true;
}

bool GnomeShellLink::Visible(WindowHandle window) const {
    return window != 0 && window == window_ && !hidden_;
}

bool GnomeShellLink::PrepareToWait() {
    Flush();
    return EventsQueued();
}

bool GnomeShellLink::EventsQueued() {
    return DbusMessagesQueued(bus_.get());
}

void GnomeShellLink::DispatchEvents() {
    if (bus_ == nullptr) {
        return;
    }
    if (Dbus()->connectionReadWrite(bus_.get(), 0) == 0) {
        Lose("the session bus closed", true);
        return;
    }
    HandleMessages();
}

bool GnomeShellLink::HandleMessages() {
    const DbusLibrary& d = *Dbus();
    while (bus_ != nullptr) {
        DbusMessage message(d.connectionPopMessage(bus_.get()));
        if (message == nullptr) {
            break;
        }
        Handle(message.get());
    }
    if (bus_ != nullptr && d.connectionGetIsConnected(bus_.get()) == 0) {
        Lose("the session bus closed", true);
    }
    return bus_ != nullptr;
}

void GnomeShellLink::Handle(DBusMessage* message) {
    const DbusLibrary& d = *Dbus();
    const char* sender = d.messageGetSender(message);
    if (d.messageIsSignal(message, "org.freedesktop.DBus", "NameOwnerChanged") != 0) {
        const char *name = nullptr, *before = nullptr, *after = nullptr;
        if (sender != nullptr && std::string_view(sender) == "org.freedesktop.DBus" &&
            d.messageGetArgs(message, nullptr, DBUS_TYPE_STRING, &name, DBUS_TYPE_STRING, &before,
                             DBUS_TYPE_STRING, &after, DBUS_TYPE_INVALID) != 0 &&
            std::string_view(name) == kShellBusName) {
            Lose("the extension left the session bus", false);
            if (after[0] != '\0') {
                // Back (the extension enabled again): greeted as at the start; an extension of
                // another version stays silent, and the bird hidden.
                extension_ = after;
                DbusMessage hello(
                    d.messageNewMethodCall(after, kShellPath, kShellInterface, "Hello"));
                dbus_uint32_t version = kShellVersion;
                d.messageAppendArgs(hello.get(), DBUS_TYPE_UINT32, &version, DBUS_TYPE_INVALID);
                Send(hello.get());
            }
        }
        return;
    }
    if (d.messageGetType(message) != DBUS_MESSAGE_TYPE_METHOD_CALL) {
        return;
    }
    // Anyone on the session bus can call us: only the extension is heard.
    const bool fromShell = sender != nullptr && !extension_.empty() && sender == extension_;
    const ShellMessage read = fromShell ? ReadShellMessage(message, news_) : ShellMessage::NotOurs;
    switch (read) {
        case ShellMessage::Window:
            window_ = news_.window;
            frame_ = news_.frame;
            hidden_ = news_.hidden;
            break;
        case ShellMessage::Monitors:
            outputs_.swap(news_.monitors);
            ++outputsEpoch_;
            break;
        case ShellMessage::Pressed:
            if (pressTarget_ != nullptr) {
                pressTarget_->OnShellPress(news_.button, news_.press.x, news_.press.y);
            }
            break;
        case ShellMessage::MenuChosen:
            if (menuEvents_ != nullptr) {
                menuEvents_->OnMenuCommand(news_.item);
            }
            break;
        case ShellMessage::Malformed:
            if (!malformedSaid_) {
                malformedSaid_ = true;
                std::fprintf(stderr,
                             "tapperbird: ignored a malformed message (%s) from the GNOME Shell "
                             "extension\n",
                             d.messageGetMember(message));
                std::fflush(stderr);
            }
            break;
        case ShellMessage::NotOurs:
            break;
    }
    if (d.messageGetNoReply(message) == 0) {
        const bool heard = read != ShellMessage::NotOurs && read != ShellMessage::Malformed;
        DbusMessage reply(heard ? d.messageNewMethodReturn(message)
                                : d.messageNewError(message,
                                                    !fromShell ? DBUS_ERROR_ACCESS_DENIED
                                                    : read == ShellMessage::Malformed
                                                        ? DBUS_ERROR_INVALID_ARGS
                                                        : DBUS_ERROR_UNKNOWN_METHOD,
                                                    "not heard"));
        if (reply != nullptr) {
            d.connectionSend(bus_.get(), reply.get(), nullptr);
        }
    }
}

void GnomeShellLink::Lose(const char* why, bool busGone) {
    if (bus_ == nullptr) {
        return;
    }
    // Without the extension the bird can neither be seen nor know where windows are: it hides,
    // and comes back if the extension does.
    if (!extension_.empty()) {
        std::fprintf(stderr, "tapperbird: lost the GNOME Shell extension (%s): the bird hides\n",
                     why);
        std::fflush(stderr);
    }
    extension_.clear();
    window_ = 0;
    frame_ = {};
    hidden_ = false;
    if (busGone) {
        if (loop_ != nullptr) {
            loop_->StopWatching(*this);
        }
        bus_.reset();
    }
}

}  // namespace tb::linux_desktop::wayland
