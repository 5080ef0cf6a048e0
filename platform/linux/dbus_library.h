// libdbus-1, loaded the first time a desktop's window news comes over the session bus (KDE
// Plasma's, GNOME's): a bird on X11 or sway never maps it. Its header serves only for the types.
#pragma once

#include <dbus/dbus.h>

#include <memory>
#include <string>

namespace tb::linux_desktop {

struct DbusLibrary {
    decltype(&dbus_error_init) errorInit;
    decltype(&dbus_error_free) errorFree;
    decltype(&dbus_error_is_set) errorIsSet;
    decltype(&dbus_bus_get_private) busGetPrivate;
    decltype(&dbus_bus_request_name) busRequestName;
    decltype(&dbus_bus_name_has_owner) busNameHasOwner;
    decltype(&dbus_bus_add_match) busAddMatch;
    decltype(&dbus_connection_set_exit_on_disconnect) connectionSetExitOnDisconnect;
    decltype(&dbus_connection_close) connectionClose;
    decltype(&dbus_connection_unref) connectionUnref;
    decltype(&dbus_connection_get_unix_fd) connectionGetUnixFd;
    decltype(&dbus_connection_read_write) connectionReadWrite;
    decltype(&dbus_connection_pop_message) connectionPopMessage;
    decltype(&dbus_connection_get_is_connected) connectionGetIsConnected;
    decltype(&dbus_connection_send) connectionSend;
    decltype(&dbus_connection_get_dispatch_status) connectionGetDispatchStatus;
    decltype(&dbus_connection_flush) connectionFlush;
    decltype(&dbus_connection_send_with_reply_and_block) connectionSendWithReplyAndBlock;
    decltype(&dbus_message_new_method_call) messageNewMethodCall;
    decltype(&dbus_message_new_method_return) messageNewMethodReturn;
    decltype(&dbus_message_new_error) messageNewError;
    decltype(&dbus_message_unref) messageUnref;
    decltype(&dbus_message_append_args) messageAppendArgs;
    decltype(&dbus_message_get_args) messageGetArgs;
    decltype(&dbus_message_get_type) messageGetType;
    decltype(&dbus_message_get_interface) messageGetInterface;
    decltype(&dbus_message_get_member) messageGetMember;
    decltype(&dbus_message_get_no_reply) messageGetNoReply;
    decltype(&dbus_message_set_no_reply) messageSetNoReply;
    decltype(&dbus_message_get_sender) messageGetSender;
    decltype(&dbus_message_is_signal) messageIsSignal;
    decltype(&dbus_message_iter_init) messageIterInit;
    decltype(&dbus_message_iter_get_arg_type) messageIterGetArgType;
    decltype(&dbus_message_iter_get_basic) messageIterGetBasic;
    decltype(&dbus_message_iter_next) messageIterNext;
    decltype(&dbus_message_iter_recurse) messageIterRecurse;
    decltype(&dbus_message_iter_init_append) messageIterInitAppend;
    decltype(&dbus_message_iter_append_basic) messageIterAppendBasic;
    decltype(&dbus_message_iter_open_container) messageIterOpenContainer;
    decltype(&dbus_message_iter_close_container) messageIterCloseContainer;
};

// The functions above, or null when libdbus-1 cannot be loaded (said once on stderr).
const DbusLibrary* Dbus();

struct DbusMessageUnref {
    void operator()(DBusMessage* m) const { Dbus()->messageUnref(m); }
};
using DbusMessage = std::unique_ptr<DBusMessage, DbusMessageUnref>;

// A DBusError freed when it goes.
class DbusError {
  public:
    DbusError() { Dbus()->errorInit(&error_); }
    ~DbusError() { Dbus()->errorFree(&error_); }
    DbusError(const DbusError&) = delete;
    DbusError& operator=(const DbusError&) = delete;
    DBusError* get() { return &error_; }
    bool set() const { return Dbus()->errorIsSet(&error_) != 0; }
    const char* message() const { return error_.message != nullptr ? error_.message : "?"; }

  private:
    DBusError error_{};
};

// A private connection to the session bus, closed when it goes.
struct DbusConnectionClose {
    void operator()(DBusConnection* bus) const;
};
using DbusConnection = std::unique_ptr<DBusConnection, DbusConnectionClose>;

// The session bus on a connection of the program's own, which never ends the program when it
// closes; null, with the reason in `why`, without libdbus-1 or a bus.
DbusConnection OpenSessionBus(std::string& why);

// True when messages wait in libdbus's queue (read along with a reply), where poll(2) does not
// see them.
bool DbusMessagesQueued(DBusConnection* bus);

}  // namespace tb::linux_desktop
