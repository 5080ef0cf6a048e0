// The KWin window source's reading of the script's news, on messages as the script sends them and
// on what a broken or hostile caller on the session bus may send instead: never a crash, and news
// that is not news leaves the last word standing.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>

#include "platform/linux/dbus_library.h"
#include "platform/wayland/kwin_window_source.h"

namespace tb::linux_desktop::wayland {
namespace {

using Append = std::function<void(DBusMessage*)>;

DbusMessage Call(const char* member, const Append& append = {},
                 const char* interface = kKwinNewsInterface) {
    DbusMessage m(Dbus()->messageNewMethodCall(kKwinNewsService, kKwinNewsPath, interface, member));
    if (append) {
        append(m.get());
    }
    return m;
}

// ActiveWindow(id, x, y, width, height, minimized) with the numbers of D-Bus type `T`.
template <int Type, typename T>
Append Active(const char* id, T x, T y, T width, T height, dbus_bool_t minimized) {
    return [=](DBusMessage* m) {
        Dbus()->messageAppendArgs(m, DBUS_TYPE_STRING, &id, Type, &x, Type, &y, Type, &width, Type,
                                  &height, DBUS_TYPE_BOOLEAN, &minimized, DBUS_TYPE_INVALID);
    };
}

TEST(KwinNews, ReadsTheActiveWindowWhicheverNumbersKwinSends) {
    ASSERT_NE(Dbus(), nullptr);
    const char* uuid = "{f2fd0f59-1427-485f-95ac-80cee9c56dbc}";
    struct Case {
        const char* what;
        Append args;
        Rect frame;
        bool minimized;
    };
    const Case cases[] = {
        {"integers",
         Active<DBUS_TYPE_INT32, dbus_int32_t>(uuid, 440, 250, 400, 347, 0),
         {440, 250, 840, 597},
         false},
        {"doubles, rounded",
         Active<DBUS_TYPE_DOUBLE, double>(uuid, -9.6, 0.4, 400, 300, 0),
         {-10, 0, 390, 300},
         false},
        {"64-bit, minimised",
         Active<DBUS_TYPE_INT64, dbus_int64_t>(uuid, 1300, 5, 20, 20, 1),
         {1300, 5, 1320, 25},
         true},
    };
    for (const Case& c : cases) {
        KwinNews news;
        ASSERT_EQ(ReadKwinMessage(Call("ActiveWindow", c.args).get(), news), KwinMessage::News)
            << c.what;
        EXPECT_NE(news.window, 0U) << c.what;
        EXPECT_EQ(news.frame, c.frame) << c.what;
        EXPECT_EQ(news.minimized, c.minimized) << c.what;
    }
    // One window, one handle; another window, another.
    KwinNews a, b, c;
    ReadKwinMessage(Call("ActiveWindow", cases[0].args).get(), a);
    ReadKwinMessage(Call("ActiveWindow", cases[1].args).get(), b);
    ReadKwinMessage(
        Call("ActiveWindow", Active<DBUS_TYPE_INT32, dbus_int32_t>("{other}", 1, 1, 1, 1, 0)).get(),
        c);
    EXPECT_EQ(a.window, b.window);
    EXPECT_NE(a.window, c.window);

    KwinNews none = a;
    EXPECT_EQ(ReadKwinMessage(Call("NoActiveWindow").get(), none), KwinMessage::News);
    EXPECT_EQ(none.window, 0U);
}

TEST(KwinNews, WhatIsNotNewsLeavesTheLastWordStanding) {
    ASSERT_NE(Dbus(), nullptr);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const char* text = "x";
    struct Case {
        const char* what;
        DbusMessage message;
        KwinMessage expected;
    };
    Case cases[] = {
        {"no arguments", Call("ActiveWindow"), KwinMessage::Malformed},
        {"an empty id",
         Call("ActiveWindow", Active<DBUS_TYPE_INT32, dbus_int32_t>("", 1, 1, 1, 1, 0)),
         KwinMessage::Malformed},
        {"not a number",
         Call("ActiveWindow",
              [&](DBusMessage* m) {
                  Dbus()->messageAppendArgs(m, DBUS_TYPE_STRING, &text, DBUS_TYPE_STRING, &text,
                                            DBUS_TYPE_INVALID);
              }),
         KwinMessage::Malformed},
        {"NaN", Call("ActiveWindow", Active<DBUS_TYPE_DOUBLE, double>("w", nan, 0, 10, 10, 0)),
         KwinMessage::Malformed},
        {"beyond any screen",
         Call("ActiveWindow", Active<DBUS_TYPE_DOUBLE, double>("w", 0, 0, 1e12, 10, 0)),
         KwinMessage::Malformed},
        {"a negative size",
         Call("ActiveWindow", Active<DBUS_TYPE_INT32, dbus_int32_t>("w", 0, 0, -5, 10, 0)),
         KwinMessage::Malformed},
        {"no minimised flag",
         Call("ActiveWindow",
              [&](DBusMessage* m) {
                  dbus_int32_t n = 1;
                  Dbus()->messageAppendArgs(m, DBUS_TYPE_STRING, &text, DBUS_TYPE_INT32, &n,
                                            DBUS_TYPE_INT32, &n, DBUS_TYPE_INT32, &n,
                                            DBUS_TYPE_INT32, &n, DBUS_TYPE_INVALID);
              }),
         KwinMessage::Malformed},
        {"another method", Call("Explode"), KwinMessage::Malformed},
        {"another interface", Call("NoActiveWindow", {}, "org.freedesktop.DBus.Introspectable"),
         KwinMessage::NotOurs},
    };
    for (Case& c : cases) {
        KwinNews news{42, {1, 2, 3, 4}, false};
        EXPECT_EQ(ReadKwinMessage(c.message.get(), news), c.expected) << c.what;
        EXPECT_EQ(news.window, 42U) << c.what;
        EXPECT_EQ(news.frame, (Rect{1, 2, 3, 4})) << c.what;
    }
}

}  // namespace
}  // namespace tb::linux_desktop::wayland
