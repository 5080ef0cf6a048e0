// The Hyprland window source on replies and events as Hyprland's documentation shows them (no
// Hyprland runs here), and on what a broken or hostile socket may send: never a crash, a hang or a
// busy loop, and the bird hides rather than perch on stale news.
#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/wayland/hyprland_ipc.h"
#include "platform/wayland/hyprland_window_source.h"
#include "tests/e2e/linux/recorded.h"

namespace tb::linux_desktop::wayland {
namespace {

TEST(HyprlandReplies, ReadTheActiveWindowAndRefuseWhatIsNotOne) {
    const std::string documented = Recorded("hyprland_activewindow.json");
    struct Case {
        const char* what;
        std::string json;
        HyprlandReply result;
        HyprlandWindow window;
    };
    const Case cases[] = {
        {"documented",
         documented,
         HyprlandReply::Window,
         {0x55e0c6e75980, {22, 46, 1578, 909}, false, false, true}},
        {"older: fullscreen a boolean; hidden in a group",
         R"({"address":"0xA1","at":[-5,10],"size":[30,40],"floating":true,"hidden":true,
            "fullscreen":true})",
         HyprlandReply::Window,
         {0xa1, {-5, 10, 25, 50}, true, true, false}},
        {"unmapped",
         R"({"address":"0x1","mapped":false,"at":[0,0],"size":[1,1]})",
         HyprlandReply::Window,
         {1, {0, 0, 1, 1}, false, false, false}},
        {"no active window", "{}", HyprlandReply::NoWindow, {}},
        {"no address", R"({"at":[0,0],"size":[1,1]})", HyprlandReply::Malformed, {}},
        {"an address that is none",
         R"({"address":"0x0","at":[0,0],"size":[1,1]})",
         HyprlandReply::Malformed,
         {}},
        {"not hexadecimal",
         R"({"address":"0xfoo","at":[0,0],"size":[1,1]})",
         HyprlandReply::Malformed,
         {}},
        {"three coordinates",
         R"({"address":"0x1","at":[0,0,0],"size":[1,1]})",
         HyprlandReply::Malformed,
         {}},
        {"no size", R"({"address":"0x1","at":[0,0]})", HyprlandReply::Malformed, {}},
        {"a negative size",
         R"({"address":"0x1","at":[0,0],"size":[-1,1]})",
         HyprlandReply::Malformed,
         {}},
        {"hyprctl's text, not JSON", "Invalid", HyprlandReply::Malformed, {}},
        {"two objects", "{} {}", HyprlandReply::Malformed, {}},
    };
    for (const Case& c : cases) {
        HyprlandWindow window;
        ASSERT_EQ(ReadActiveWindow(c.json, window), c.result) << c.what;
        EXPECT_EQ(window.address, c.window.address) << c.what;
        EXPECT_EQ(window.frame, c.window.frame) << c.what;
        EXPECT_EQ(window.floating, c.window.floating) << c.what;
        EXPECT_EQ(window.fullscreen, c.window.fullscreen) << c.what;
        EXPECT_EQ(window.visible, c.window.visible) << c.what;
    }
    // Cut anywhere, a reply is refused whole, never half read.
    for (std::size_t cut = 0; cut + 1 < documented.size(); ++cut) {
        HyprlandWindow window;
        ASSERT_EQ(ReadActiveWindow(std::string_view(documented).substr(0, cut), window),
                  HyprlandReply::Malformed)
            << "cut at " << cut;
    }
    // Numbers past 64 bits saturate rather than wrap, and the frame stays ordered.
    HyprlandWindow window;
    ASSERT_EQ(ReadActiveWindow(R"({"address":"0xffffffffffffffff","at":[-99999999999999999999,
        99999999999999999999],"size":[99999999999999999999,1]})",
                               window),
              HyprlandReply::Window);
    EXPECT_LT(window.frame.Left, 0);
    EXPECT_GT(window.frame.Right, window.frame.Left);
    EXPECT_GT(window.frame.Bottom, window.frame.Top);
}

TEST(HyprlandReplies, OptionsAndEventNames) {
    const struct {
        const char* json;
        bool found;
        std::int64_t value;
    } options[] = {
        {R"({"option":"general:border_size","int":2,"float":0.0,"str":"","set":true})", true, 2},
        {R"({"option":"general.border_size","int":0,"set":false})", true, 0},
        {R"({"option":"general.border_size","set":false})", false, 0},
        {"no such option", false, 0},
        {R"({"int":3)", false, 0},
    };
    for (const auto& o : options) {
        std::int64_t value = -1;
        EXPECT_EQ(ReadIntOption(o.json, value), o.found) << o.json;
        EXPECT_EQ(value, o.found ? o.value : -1) << o.json;
    }
    const struct {
        const char* line;
        bool moves;
    } events[] = {
        {"activewindowv2>>55e0c6e75980", true},
        {"activewindow>>kitty,~", true},
        {"workspacev2>>2,2", true},
        {"movewindowv2>>55e0c6e75980,3,3", true},
        {"closewindow>>55e0c6e75980", true},
        {"changefloatingmode>>55e0c6e75980,1", true},
        {"configreloaded>>", true},
        {"windowtitlev2>>55e0c6e75980,a title with >> inside", false},
        {"activelayout>>keyboard,English (US)", false},
        {"openlayer>>tapperbird", false},
        {"activewindowv2", false},
        {"", false},
    };
    for (const auto& e : events) {
        EXPECT_EQ(MovesActiveWindow(e.line), e.moves) << e.line;
    }
}

// The source on one end of a socket pair for events, and a listening socket for requests: the
// test plays Hyprland on both, serving each request on its own connection as Hyprland does.
class HyprlandSourceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        folder = testing::TempDir() + "tb-hyprland-XXXXXX";
        ASSERT_NE(::mkdtemp(folder.data()), nullptr);
        const std::string path = folder + "/.socket.sock";
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strcpy(address.sun_path, path.c_str());
        requests = UniqueFd(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0));
        ASSERT_EQ(::bind(requests.get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        ASSERT_EQ(::listen(requests.get(), 8), 0);
        int ends[2];
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, ends), 0);
        // However loaded the machine, a floating window's frame waits for the answer.
        source = std::make_unique<HyprlandWindowSource>(UniqueFd(ends[0]), path, 5000);
        events = UniqueFd(ends[1]);
    }
    void TearDown() override {
        ::unlink((folder + "/.socket.sock").c_str());
        ::rmdir(folder.c_str());
    }
    void Event(const std::string& line) {
        ASSERT_EQ(::send(events.get(), line.data(), line.size(), MSG_NOSIGNAL),
                  static_cast<ssize_t>(line.size()));
    }
    // Answers the request waiting, if any, with `reply`, and returns it; "" when none waits.
    std::string Serve(const std::string& reply, int waitMs = 0) {
        pollfd in{requests.get(), POLLIN, 0};
        if (::poll(&in, 1, waitMs) <= 0) {
            return "";
        }
        UniqueFd connection(::accept(requests.get(), nullptr, nullptr));
        char text[256] = {};
        pollfd request{connection.get(), POLLIN, 0};
        ::poll(&request, 1, 1000);
        const ssize_t n = ::recv(connection.get(), text, sizeof text - 1, MSG_DONTWAIT);
        ::send(connection.get(), reply.data(), reply.size(), MSG_NOSIGNAL);
        return std::string(text, n > 0 ? static_cast<std::size_t>(n) : 0);
    }
    // Starts the source while a thread plays Hyprland with `replies`, one per request.
    bool StartServing(const std::vector<std::string>& replies, std::vector<std::string>& asked) {
        std::thread hyprland([&] {
            for (const std::string& reply : replies) {
                asked.push_back(Serve(reply, 1000));
            }
        });
        const bool started = source->Start(1000, why);
        hyprland.join();
        return started;
    }

    std::string folder;
    UniqueFd requests;
    UniqueFd events;
    std::unique_ptr<HyprlandWindowSource> source;
    std::string why;
};

std::string Floating(const char* address, int x, int y) {
    return std::string(R"({"address":")") + address + R"(","at":[)" + std::to_string(x) + "," +
           std::to_string(y) + R"(],"size":[400,300],"floating":true,"fullscreen":0})";
}

TEST_F(HyprlandSourceTest, FollowsTheNewsAndAsksWhileTheWindowFloats) {
    // A version that names its options with dots: the border from the second question.
    std::vector<std::string> asked;
    ASSERT_TRUE(StartServing({"no such option", R"({"option":"general.border_size","int":2})",
                              Floating("0x7", 300, 200)},
                             asked))
        << why;
    EXPECT_EQ(asked,
              (std::vector<std::string>{"j/getoption general:border_size",
                                        "j/getoption general.border_size", "j/activewindow"}));
    Rect frame;
    EXPECT_EQ(source->Active(), 7u);
    ASSERT_TRUE(source->Frame(7, frame));
    EXPECT_EQ(frame, (Rect{298, 198, 702, 502}));  // the window and its 2 px border
    EXPECT_FALSE(source->Frame(8, frame));

    // Floating: reading its frame asks Hyprland first and takes its answer; once, each time.
    std::string refreshed;
    std::thread hyprland([&] { refreshed = Serve(Floating("0x7", 310, 200), 5000); });
    source->Refresh(7);
    hyprland.join();
    EXPECT_EQ(refreshed, "j/activewindow");
    EXPECT_EQ(Serve("{}"), "");
    ASSERT_TRUE(source->Frame(7, frame));
    EXPECT_EQ(frame.Left, 308);

    // A title changes, however long: no question. The focus moves, the event cut in two: one.
    Event("windowtitlev2>>7," + std::string(100'000, 'x') + "\nactivewindo");
    source->DispatchEvents();
    EXPECT_EQ(Serve("{}"), "");
    Event("wv2>>9\n");
    source->DispatchEvents();
    // News while the question is out: asked again once its reply is in, not before.
    Event("activewindow>>foot,~\nfullscreen>>1\n");
    source->DispatchEvents();
    const std::string fullscreen =
        R"({"address":"0x9","at":[0,0],"size":[1280,800],"fullscreen":1})";
    EXPECT_EQ(Serve(fullscreen), "j/activewindow");
    EXPECT_EQ(Serve(fullscreen), "");
    source->DispatchEvents();
    EXPECT_EQ(Serve(fullscreen), "j/activewindow");
    source->DispatchEvents();
    ASSERT_TRUE(source->Frame(9, frame));
    EXPECT_EQ(frame, (Rect{0, 0, 1280, 800}));  // fullscreen: no border
    // Tiled or fullscreen: no event, no question.
    source->Refresh(9);
    EXPECT_EQ(Serve("{}"), "");

    // The window closes: the bird has no window to perch on.
    Event("closewindow>>9\n");
    source->DispatchEvents();
    EXPECT_EQ(Serve("{}"), "j/activewindow");
    source->DispatchEvents();
    EXPECT_EQ(source->Active(), 0u);
    EXPECT_FALSE(source->Visible(9));
    // A reloaded configuration may change the border: it is asked first.
    Event("configreloaded>>\n");
    source->DispatchEvents();
    EXPECT_EQ(Serve(R"({"int":1})"), "j/getoption general:border_size");
    source->DispatchEvents();
    EXPECT_EQ(Serve("{}"), "j/activewindow");
}

TEST_F(HyprlandSourceTest, HidesTheBirdWhenASocketBreaks) {
    const struct {
        std::string ending;
        const char* reason;
    } cases[] = {{"events closed", "closed its event socket"},
                 {"garbage", "not one"},
                 {"huge", "longer than any window's"},
                 {"requests gone", "takes no requests"}};
    for (const auto& [ending, reason] : cases) {
        TearDown();
        SetUp();
        std::vector<std::string> asked;
        ASSERT_TRUE(StartServing({R"({"int":0})", Floating("0x7", 0, 0)}, asked)) << why;
        testing::internal::CaptureStderr();
        if (ending == "events closed") {
            events.reset();
        } else if (ending == "requests gone") {
            requests.reset();
            source->Refresh(7);
        } else {
            std::thread hyprland([&] {
                Serve(ending == "huge" ? std::string(2'000'000, '{') : "{\"address\":", 5000);
            });
            source->Refresh(7);
            for (int i = 0; i < 200 && source->Active() != 0; ++i) {
                source->DispatchEvents();  // what the wait left unread
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            hyprland.join();
        }
        source->DispatchEvents();
        source->DispatchEvents();  // once stopped, nothing more is read or said
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_EQ(source->Active(), 0u) << ending;
        EXPECT_EQ(source->fd(), -1) << ending;
        EXPECT_NE(said.find("no more window information from Hyprland"), std::string::npos)
            << ending;
        EXPECT_NE(said.find(reason), std::string::npos) << said;
        EXPECT_EQ(said.find('\n'), said.size() - 1) << ending << ": one line, once";
    }
}

TEST_F(HyprlandSourceTest, AHyprlandThatDoesNotAnswerIsRefusedInTime) {
    EXPECT_FALSE(source->Start(50, why));
    EXPECT_EQ(why, "Hyprland does not answer on its request socket");
    TearDown();
    SetUp();
    std::vector<std::string> asked;
    EXPECT_FALSE(StartServing({R"({"int":0})", "not json"}, asked));
    EXPECT_EQ(why, "a reply about the active window that is not one");
    EXPECT_EQ(HyprlandWindowSource::InstanceFolder("/run/user/1000", "../x"), "");
    EXPECT_EQ(HyprlandWindowSource::InstanceFolder("/run/user/1000", "abc"),
              "/run/user/1000/hypr/abc");
}

}  // namespace
}  // namespace tb::linux_desktop::wayland
