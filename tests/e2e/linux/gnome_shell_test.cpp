// The program's reading of what our GNOME Shell extension says, on messages as the extension
// sends them and on what a broken or hostile caller may send instead: never a crash, and a
// message that is not sound leaves the last word standing.
#include <gtest/gtest.h>

#include <array>
#include <functional>

#include "platform/linux/dbus_library.h"
#include "platform/wayland/gnome_shell.h"

namespace tb::linux_desktop::wayland {
namespace {

using Append = std::function<void(DBusMessageIter&)>;

DbusMessage Call(const char* member, const Append& append = {},
                 const char* interface = kShellNewsInterface) {
    DbusMessage m(Dbus()->messageNewMethodCall(kProgramBusName, kProgramPath, interface, member));
    if (append) {
        DBusMessageIter it;
        Dbus()->messageIterInitAppend(m.get(), &it);
        append(it);
    }
    return m;
}

template <typename T>
void Put(DBusMessageIter& it, int type, T value) {
    Dbus()->messageIterAppendBasic(&it, type, &value);
}

// Window(id, x, y, width, height, hidden, monitor, scale), the last `drop` arguments left out.
Append Window(dbus_uint64_t id, dbus_int32_t x, dbus_int32_t width, dbus_bool_t hidden,
              dbus_int32_t scale = 1, int drop = 0) {
    return [=](DBusMessageIter& it) {
        int left = 8 - drop;
        const auto put = [&](auto f) { left-- > 0 ? f() : void(); };
        put([&] { Put(it, DBUS_TYPE_UINT64, id); });
        put([&] { Put(it, DBUS_TYPE_INT32, x); });
        put([&] { Put(it, DBUS_TYPE_INT32, dbus_int32_t{40}); });
        put([&] { Put(it, DBUS_TYPE_INT32, width); });
        put([&] { Put(it, DBUS_TYPE_INT32, dbus_int32_t{300}); });
        put([&] { Put(it, DBUS_TYPE_BOOLEAN, hidden); });
        put([&] { Put(it, DBUS_TYPE_INT32, dbus_int32_t{0}); });
        put([&] { Put(it, DBUS_TYPE_INT32, scale); });
    };
}

// Monitors([(x, y, width, height, scale)...]).
Append Monitors(std::initializer_list<std::array<dbus_int32_t, 5>> monitors) {
    return [=](DBusMessageIter& it) {
        const DbusLibrary& d = *Dbus();
        DBusMessageIter array;
        d.messageIterOpenContainer(&it, DBUS_TYPE_ARRAY, "(iiiii)", &array);
        for (const auto& m : monitors) {
            DBusMessageIter one;
            d.messageIterOpenContainer(&array, DBUS_TYPE_STRUCT, nullptr, &one);
            for (dbus_int32_t v : m) {
                Put(one, DBUS_TYPE_INT32, v);
            }
            d.messageIterCloseContainer(&array, &one);
        }
        d.messageIterCloseContainer(&it, &array);
    };
}

Append Numbers(std::initializer_list<std::pair<int, dbus_uint32_t>> values) {
    return [=](DBusMessageIter& it) {
        for (const auto& [type, v] : values) {
            Put(it, type, v);
        }
    };
}

TEST(GnomeShellNews, ReadsEachKindAsTheExtensionSendsIt) {
    ASSERT_NE(Dbus(), nullptr);
    ShellNews news;
    ASSERT_EQ(ReadShellMessage(Call("Window", Window(7, -20, 400, 0, 2)).get(), news),
              ShellMessage::Window);
    EXPECT_EQ(news.window, 7U);
    EXPECT_EQ(news.frame, (Rect{-20, 40, 380, 340}));
    EXPECT_FALSE(news.hidden);
    ASSERT_EQ(ReadShellMessage(Call("Window", Window(7, 0, 400, 1)).get(), news),
              ShellMessage::Window);
    EXPECT_TRUE(news.hidden);
    ASSERT_EQ(ReadShellMessage(Call("NoWindow").get(), news), ShellMessage::Window);
    EXPECT_EQ(news.window, 0U);

    ASSERT_EQ(
        ReadShellMessage(
            Call("Monitors", Monitors({{0, 0, 1280, 800, 1}, {1280, -100, 1920, 1080, 2}})).get(),
            news),
        ShellMessage::Monitors);
    ASSERT_EQ(news.monitors.size(), 2U);
    EXPECT_EQ(news.monitors[1].bounds, (Rect{1280, -100, 3200, 980}));
    EXPECT_EQ(news.monitors[1].scale, 2);

    ASSERT_EQ(
        ReadShellMessage(
            Call("Pressed",
                 Numbers({{DBUS_TYPE_UINT32, 3}, {DBUS_TYPE_INT32, 20}, {DBUS_TYPE_INT32, 70}}))
                .get(),
            news),
        ShellMessage::Pressed);
    EXPECT_EQ(news.button, 3U);
    EXPECT_EQ(news.press, (Point{20, 70}));

    ASSERT_EQ(ReadShellMessage(Call("MenuChosen", Numbers({{DBUS_TYPE_UINT32, 2}})).get(), news),
              ShellMessage::MenuChosen);
    EXPECT_EQ(news.item, MenuItem::RunAtStartup);
}

TEST(GnomeShellNews, WhatIsNotSoundLeavesTheLastWordStanding) {
    ASSERT_NE(Dbus(), nullptr);
    struct Case {
        const char* what;
        DbusMessage message;
        ShellMessage expected;
    };
    const dbus_int32_t far = 1 << 21;
    Case cases[] = {
        {"window id 0", Call("Window", Window(0, 0, 400, 0)), ShellMessage::Malformed},
        {"a negative width", Call("Window", Window(7, 0, -1, 0)), ShellMessage::Malformed},
        {"beyond any screen", Call("Window", Window(7, far, 400, 0)), ShellMessage::Malformed},
        {"scale 0", Call("Window", Window(7, 0, 400, 0, 0)), ShellMessage::Malformed},
        {"no scale", Call("Window", Window(7, 0, 400, 0, 1, 1)), ShellMessage::Malformed},
        {"no arguments", Call("Window"), ShellMessage::Malformed},
        {"one argument too many",
         Call("Window",
              [](DBusMessageIter& it) {
                  Window(7, 0, 400, 0)(it);
                  Put(it, DBUS_TYPE_INT32, dbus_int32_t{1});
              }),
         ShellMessage::Malformed},
        {"NoWindow with arguments", Call("NoWindow", Numbers({{DBUS_TYPE_UINT32, 1}})),
         ShellMessage::Malformed},
        {"no monitors", Call("Monitors", Monitors({})), ShellMessage::Malformed},
        {"an empty monitor", Call("Monitors", Monitors({{0, 0, 0, 800, 1}})),
         ShellMessage::Malformed},
        {"monitors as numbers", Call("Monitors", Numbers({{DBUS_TYPE_UINT32, 1}})),
         ShellMessage::Malformed},
        {"button 9",
         Call("Pressed",
              Numbers({{DBUS_TYPE_UINT32, 9}, {DBUS_TYPE_INT32, 1}, {DBUS_TYPE_INT32, 1}})),
         ShellMessage::Malformed},
        {"a press far off the bird",
         Call("Pressed", Numbers({{DBUS_TYPE_UINT32, 1},
                                  {DBUS_TYPE_INT32, 1},
                                  {DBUS_TYPE_INT32, static_cast<dbus_uint32_t>(far)}})),
         ShellMessage::Malformed},
        {"no such item", Call("MenuChosen", Numbers({{DBUS_TYPE_UINT32, 99}})),
         ShellMessage::Malformed},
        {"another method", Call("Explode"), ShellMessage::Malformed},
        {"another interface", Call("NoWindow", {}, "org.freedesktop.DBus.Introspectable"),
         ShellMessage::NotOurs},
    };
    for (Case& c : cases) {
        ShellNews news;
        news.window = 42;
        news.frame = {1, 2, 3, 4};
        news.monitors = {{{0, 0, 10, 10}, 1}};
        EXPECT_EQ(ReadShellMessage(c.message.get(), news), c.expected) << c.what;
        EXPECT_EQ(news.window, 42U) << c.what;
        EXPECT_EQ(news.frame, (Rect{1, 2, 3, 4})) << c.what;
        EXPECT_EQ(news.monitors.size(), 1U) << c.what;
    }
}

}  // namespace
}  // namespace tb::linux_desktop::wayland
