// A test's hands on a headless KWin, over its session bus:
//   tb_kwin_tool shot X Y WIDTH HEIGHT   the area as binary PPM on stdout (ScreenShot2)
//   tb_kwin_tool run FILE NAME           loads the KWin script FILE as NAME (after unloading any
//                                        script of that name) and starts it
//   tb_kwin_tool unload NAME
//   tb_kwin_tool loaded NAME             prints true or false: is a script of that name loaded?
#include <dbus/dbus.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

DBusConnection* g_bus = nullptr;

[[noreturn]] void Fail(const char* what, const DBusError* error = nullptr) {
    std::fprintf(stderr, "tb_kwin_tool: %s%s%s\n", what, error != nullptr ? ": " : "",
                 error != nullptr && error->message != nullptr ? error->message : "");
    std::exit(1);
}

DBusMessage* Call(DBusMessage* call) {
    DBusError error;
    dbus_error_init(&error);
    DBusMessage* reply = dbus_connection_send_with_reply_and_block(g_bus, call, 10000, &error);
    dbus_message_unref(call);
    if (reply == nullptr) {
        Fail("KWin did not answer", &error);
    }
    return reply;
}

DBusMessage* Scripting(const char* method) {
    return dbus_message_new_method_call("org.kde.KWin", "/Scripting", "org.kde.kwin.Scripting",
                                        method);
}

void Unload(const char* name) {
    DBusMessage* call = Scripting("unloadScript");
    dbus_message_append_args(call, DBUS_TYPE_STRING, &name, DBUS_TYPE_INVALID);
    dbus_message_unref(Call(call));
}

void Loaded(const char* name) {
    DBusMessage* call = Scripting("isScriptLoaded");
    dbus_message_append_args(call, DBUS_TYPE_STRING, &name, DBUS_TYPE_INVALID);
    DBusMessage* reply = Call(call);
    dbus_bool_t loaded = FALSE;
    if (!dbus_message_get_args(reply, nullptr, DBUS_TYPE_BOOLEAN, &loaded, DBUS_TYPE_INVALID)) {
        Fail("KWin's answer to isScriptLoaded is not a boolean");
    }
    dbus_message_unref(reply);
    std::printf("%s\n", loaded ? "true" : "false");
}

void Run(const char* file, const char* name) {
    Unload(name);
    DBusMessage* call = Scripting("loadScript");
    dbus_message_append_args(call, DBUS_TYPE_STRING, &file, DBUS_TYPE_STRING, &name,
                             DBUS_TYPE_INVALID);
    DBusMessage* reply = Call(call);
    dbus_int32_t id = -1;
    dbus_message_get_args(reply, nullptr, DBUS_TYPE_INT32, &id, DBUS_TYPE_INVALID);
    dbus_message_unref(reply);
    if (id < 0) {
        Fail("KWin would not load the script");
    }
    dbus_message_unref(Call(Scripting("start")));
}

// A number of the screenshot's results, 0 when absent.
std::uint32_t Result(DBusMessage* reply, const char* key) {
    DBusMessageIter it, dict;
    dbus_message_iter_init(reply, &it);
    dbus_message_iter_recurse(&it, &dict);
    for (; dbus_message_iter_get_arg_type(&dict) == DBUS_TYPE_DICT_ENTRY;
         dbus_message_iter_next(&dict)) {
        DBusMessageIter entry, variant;
        dbus_message_iter_recurse(&dict, &entry);
        const char* name = nullptr;
        dbus_message_iter_get_basic(&entry, &name);
        dbus_message_iter_next(&entry);
        dbus_message_iter_recurse(&entry, &variant);
        if (std::strcmp(name, key) == 0 &&
            dbus_message_iter_get_arg_type(&variant) == DBUS_TYPE_UINT32) {
            std::uint32_t value = 0;
            dbus_message_iter_get_basic(&variant, &value);
            return value;
        }
    }
    return 0;
}

void Shot(std::int32_t x, std::int32_t y, std::uint32_t width, std::uint32_t height) {
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) {
        Fail("no pipe");
    }
    DBusMessage* call = dbus_message_new_method_call("org.kde.KWin", "/org/kde/KWin/ScreenShot2",
                                                     "org.kde.KWin.ScreenShot2", "CaptureArea");
    DBusMessageIter it, options;
    dbus_message_iter_init_append(call, &it);
    dbus_message_iter_append_basic(&it, DBUS_TYPE_INT32, &x);
    dbus_message_iter_append_basic(&it, DBUS_TYPE_INT32, &y);
    dbus_message_iter_append_basic(&it, DBUS_TYPE_UINT32, &width);
    dbus_message_iter_append_basic(&it, DBUS_TYPE_UINT32, &height);
    // In the output's own pixels: on a scaled output KWin would shrink the picture otherwise.
    dbus_message_iter_open_container(&it, DBUS_TYPE_ARRAY, "{sv}", &options);
    DBusMessageIter entry, value;
    const char* key = "native-resolution";
    const dbus_bool_t yes = TRUE;
    dbus_message_iter_open_container(&options, DBUS_TYPE_DICT_ENTRY, nullptr, &entry);
    dbus_message_iter_append_basic(&entry, DBUS_TYPE_STRING, &key);
    dbus_message_iter_open_container(&entry, DBUS_TYPE_VARIANT, "b", &value);
    dbus_message_iter_append_basic(&value, DBUS_TYPE_BOOLEAN, &yes);
    dbus_message_iter_close_container(&entry, &value);
    dbus_message_iter_close_container(&options, &entry);
    dbus_message_iter_close_container(&it, &options);
    dbus_message_iter_append_basic(&it, DBUS_TYPE_UNIX_FD, &pipeFds[1]);
    DBusPendingCall* pending = nullptr;
    if (!dbus_connection_send_with_reply(g_bus, call, &pending, 10000) || pending == nullptr) {
        Fail("cannot ask for a screenshot");
    }
    dbus_message_unref(call);
    dbus_connection_flush(g_bus);
    close(pipeFds[1]);  // KWin holds its own copy: the read ends when KWin closes it
    std::vector<unsigned char> raw;
    unsigned char chunk[65536];
    for (ssize_t n; (n = read(pipeFds[0], chunk, sizeof chunk)) != 0;) {
        if (n < 0) {
            Fail("the screenshot's pipe broke");
        }
        raw.insert(raw.end(), chunk, chunk + n);
    }
    dbus_pending_call_block(pending);
    DBusMessage* reply = dbus_pending_call_steal_reply(pending);
    dbus_pending_call_unref(pending);
    if (reply == nullptr || dbus_message_get_type(reply) == DBUS_MESSAGE_TYPE_ERROR) {
        Fail("KWin refused the screenshot");
    }
    const std::uint32_t w = Result(reply, "width"), h = Result(reply, "height");
    const std::uint32_t stride = Result(reply, "stride");
    dbus_message_unref(reply);
    if (w == 0 || h == 0 || raw.size() < std::size_t{stride} * h) {
        Fail("a screenshot of the wrong size");
    }
    // 32-bit pixels in memory order B, G, R, A (QImage's ARGB32 and RGB32 on little-endian).
    std::printf("P6\n%u %u\n255\n", w, h);
    std::vector<unsigned char> row(std::size_t{w} * 3);
    for (std::uint32_t j = 0; j < h; ++j) {
        const unsigned char* p = raw.data() + std::size_t{stride} * j;
        for (std::uint32_t i = 0; i < w; ++i) {
            row[3 * i] = p[4 * i + 2];
            row[3 * i + 1] = p[4 * i + 1];
            row[3 * i + 2] = p[4 * i];
        }
        std::fwrite(row.data(), 1, row.size(), stdout);
    }
}

}  // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    DBusError error;
    dbus_error_init(&error);
    g_bus = dbus_bus_get(DBUS_BUS_SESSION, &error);
    if (g_bus == nullptr) {
        Fail("no session bus", &error);
    }
    if (command == "shot" && argc == 6) {
        Shot(std::atoi(argv[2]), std::atoi(argv[3]), static_cast<std::uint32_t>(std::atoi(argv[4])),
             static_cast<std::uint32_t>(std::atoi(argv[5])));
    } else if (command == "run" && argc == 4) {
        Run(argv[2], argv[3]);
    } else if (command == "unload" && argc == 3) {
        Unload(argv[2]);
    } else if (command == "loaded" && argc == 3) {
        Loaded(argv[2]);
    } else {
        std::fprintf(stderr, "usage: %s shot X Y W H | run FILE NAME | unload NAME | loaded NAME\n",
                     argv[0]);
        return 2;
    }
    return 0;
}
