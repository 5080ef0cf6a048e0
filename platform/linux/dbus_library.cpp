// dlopen on first need; see dbus_library.h.
#include "platform/linux/dbus_library.h"

#include "platform/linux/library_binder.h"

namespace tb::linux_desktop {
namespace {

struct LoadedDbus {
    DbusLibrary f{};
    bool ok;
    LoadedDbus() {
        LibraryBinder bind("libdbus-1.so.3", "libdbus-1");
        bind("dbus_error_init", f.errorInit);
        bind("dbus_error_free", f.errorFree);
        bind("dbus_error_is_set", f.errorIsSet);
        bind("dbus_bus_get_private", f.busGetPrivate);
        bind("dbus_bus_request_name", f.busRequestName);
        bind("dbus_bus_name_has_owner", f.busNameHasOwner);
        bind("dbus_bus_add_match", f.busAddMatch);
        bind("dbus_connection_set_exit_on_disconnect", f.connectionSetExitOnDisconnect);
        bind("dbus_connection_close", f.connectionClose);
        bind("dbus_connection_unref", f.connectionUnref);
        bind("dbus_connection_get_unix_fd", f.connectionGetUnixFd);
        bind("dbus_connection_read_write", f.connectionReadWrite);
        bind("dbus_connection_pop_message", f.connectionPopMessage);
        bind("dbus_connection_get_is_connected", f.connectionGetIsConnected);
        bind("dbus_connection_send", f.connectionSend);
        bind("dbus_connection_get_dispatch_status", f.connectionGetDispatchStatus);
        bind("dbus_connection_flush", f.connectionFlush);
        bind("dbus_connection_send_with_reply_and_block", f.connectionSendWithReplyAndBlock);
        bind("dbus_message_new_method_call", f.messageNewMethodCall);
        bind("dbus_message_new_method_return", f.messageNewMethodReturn);
        bind("dbus_message_new_error", f.messageNewError);
        bind("dbus_message_unref", f.messageUnref);
        bind("dbus_message_append_args", f.messageAppendArgs);
        bind("dbus_message_get_args", f.messageGetArgs);
        bind("dbus_message_get_type", f.messageGetType);
        bind("dbus_message_get_interface", f.messageGetInterface);
        bind("dbus_message_get_member", f.messageGetMember);
        bind("dbus_message_get_no_reply", f.messageGetNoReply);
        bind("dbus_message_set_no_reply", f.messageSetNoReply);
        bind("dbus_message_get_sender", f.messageGetSender);
        bind("dbus_message_is_signal", f.messageIsSignal);
        bind("dbus_message_iter_init", f.messageIterInit);
        bind("dbus_message_iter_get_arg_type", f.messageIterGetArgType);
        bind("dbus_message_iter_get_basic", f.messageIterGetBasic);
        bind("dbus_message_iter_next", f.messageIterNext);
        bind("dbus_message_iter_recurse", f.messageIterRecurse);
        bind("dbus_message_iter_init_append", f.messageIterInitAppend);
        bind("dbus_message_iter_append_basic", f.messageIterAppendBasic);
        bind("dbus_message_iter_open_container", f.messageIterOpenContainer);
        bind("dbus_message_iter_close_container", f.messageIterCloseContainer);
        ok = bind.ok();
    }
};

}  // namespace

const DbusLibrary* Dbus() {
    static const LoadedDbus loaded;
    return loaded.ok ? &loaded.f : nullptr;
}

void DbusConnectionClose::operator()(DBusConnection* bus) const {
    Dbus()->connectionClose(bus);
    Dbus()->connectionUnref(bus);
}

DbusConnection OpenSessionBus(std::string& why) {
    const DbusLibrary* d = Dbus();
    if (d == nullptr) {
        why = "libdbus-1 cannot be loaded";
        return nullptr;
    }
    DbusError error;
    DbusConnection bus(d->busGetPrivate(DBUS_BUS_SESSION, error.get()));
    if (bus == nullptr) {
        why = std::string("no session bus (") + error.message() + ")";
        return nullptr;
    }
    d->connectionSetExitOnDisconnect(bus.get(), 0);
    return bus;
}

bool DbusMessagesQueued(DBusConnection* bus) {
    return bus != nullptr && Dbus()->connectionGetDispatchStatus(bus) == DBUS_DISPATCH_DATA_REMAINS;
}

}  // namespace tb::linux_desktop
