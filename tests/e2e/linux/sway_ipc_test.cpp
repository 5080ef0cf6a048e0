// The sway IPC reader on trees recorded from sway 1.7 and on what a broken or hostile socket may
// send: never a crash, a hang or a busy loop, and the bird hides rather than perch on stale news.
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <random>
#include <string>

#include "platform/wayland/sway_ipc.h"
#include "platform/wayland/sway_window_source.h"
#include "tests/e2e/linux/recorded.h"

namespace tb::linux_desktop::wayland {
namespace {

std::string Framed(std::uint32_t type, std::string_view payload) {
    return SwayRequest(type, payload);
}

TEST(SwayTree, FindsTheFocusedWindowAndTheFrameTheUserSees) {
    struct Case {
        const char* what;
        std::string json;
        SwayTree result;
        std::int64_t id;
        Rect frame;
        bool floating;
    };
    const Case cases[] = {
        // Floated at 300,200 and sized 400 x 300: rect 300,225 400 x 275 below a 25 px title.
        {"floating, recorded",
         Recorded("sway_tree_floating.json"),
         SwayTree::Focused,
         7,
         {300, 200, 700, 500},
         true},
        {"tiled, recorded",
         Recorded("sway_tree_tiled.json"),
         SwayTree::Focused,
         6,
         {0, 0, 1280, 800},
         false},
        {"a pixel border has no title bar",
         R"({"id":1,"type":"root","nodes":[{"id":9,"type":"con","border":"pixel","focused":true,
            "rect":{"x":10,"y":20,"width":30,"height":40},"deco_rect":{"height":25}}]})",
         SwayTree::Focused,
         9,
         {10, 20, 40, 60},
         false},
        {"an empty workspace",
         R"({"id":1,"type":"root","nodes":[{"id":4,"type":"workspace",
            "focused":true,"nodes":[],"floating_nodes":[]}]})",
         SwayTree::NoWindow,
         0,
         {},
         false},
        {"nothing focused", R"({"id":1,"nodes":[]})", SwayTree::NoWindow, 0, {}, false},
    };
    for (const Case& c : cases) {
        SwayWindow window;
        EXPECT_EQ(FindFocusedWindow(c.json, window), c.result) << c.what;
        if (c.result == SwayTree::Focused) {
            EXPECT_EQ(window.id, c.id) << c.what;
            EXPECT_EQ(window.frame, c.frame) << c.what;
            EXPECT_EQ(window.floating, c.floating) << c.what;
        }
    }
}

TEST(SwayTree, RefusesWhatIsNotAWholeTree) {
    const std::string tree = Recorded("sway_tree_floating.json");
    SwayWindow window;
    // Cut anywhere, a reply is refused whole, never half read.
    for (std::size_t cut = 0; cut + 1 < tree.size(); ++cut) {
        ASSERT_EQ(FindFocusedWindow(std::string_view(tree).substr(0, cut), window),
                  SwayTree::Malformed)
            << "cut at " << cut;
    }
    std::string garbage[] = {
        "",
        "null",
        "[]",
        "{\"id\":}",
        "{\"id\":1,}",
        "{\"rect\":{\"x\":\"1\"}}",
        "{} {}",
        std::string(1'000'000, '['),  // nested past reason
        [] {                          // nested nodes, as deep
            std::string deep;
            for (int i = 0; i < 100'000; ++i) {
                deep += R"({"nodes":[)";
            }
            return deep;
        }(),
        std::string("{\"id\":1\0, \"focused\":true}", 24),  // a NUL inside
    };
    std::mt19937 random(16);
    for (int i = 0; i < 200; ++i) {
        std::string noise(static_cast<std::size_t>(random() % 300), '\0');
        for (char& c : noise) {
            c = "{}[]\":,0123456789-.etruflasn \\\x01\xff"[random() % 33];
        }
        noise.insert(0, "{");
        FindFocusedWindow(noise, window);  // any answer but a crash or a hang
    }
    for (const std::string& text : garbage) {
        EXPECT_EQ(FindFocusedWindow(text, window), SwayTree::Malformed) << text.substr(0, 40);
    }
    // Numbers past 64 bits saturate rather than wrap.
    ASSERT_EQ(FindFocusedWindow(R"({"id":99999999999999999999999,"type":"con","focused":true,
        "rect":{"x":-99999999999999999999,"y":0,"width":1,"height":1.5e300}})",
                                window),
              SwayTree::Focused);
    EXPECT_GT(window.id, 0);
    EXPECT_LT(window.frame.Left, 0);
    EXPECT_GE(window.frame.Right, window.frame.Left);
}

TEST(SwayIpcReader, SplitsMessagesHoweverTheyArriveAndRefusesOthers) {
    const std::string stream =
        Framed(kSwayEventBit | 3, R"({"change":"focus"})") + Framed(kSwayGetTree, "{}");
    // Byte by byte or all at once, the same two messages.
    for (const std::size_t step : {std::size_t{1}, std::size_t{7}, stream.size()}) {
        SwayIpcReader reader;
        std::vector<std::pair<std::uint32_t, std::string>> got;
        for (std::size_t at = 0; at < stream.size(); at += step) {
            reader.Append(stream.data() + at, std::min(step, stream.size() - at));
            std::uint32_t type = 0;
            std::string_view payload;
            while (reader.Take(type, payload) == SwayIpcReader::Next::Message) {
                got.emplace_back(type, payload);
            }
        }
        ASSERT_EQ(got.size(), 2u) << "step " << step;
        EXPECT_EQ(got[0].first, kSwayEventBit | 3);
        EXPECT_EQ(got[1].second, "{}");
    }
    const struct {
        const char* what;
        std::string bytes;
    } broken[] = {
        {"wrong magic", "i3-ipX" + std::string(8, '\0')},
        {"not the protocol at all", "HTTP/1.1 200 OK\r\n"},
        {"a length past any tree", Framed(kSwayGetTree, "").replace(6, 4, "\xff\xff\xff\x7f")},
    };
    for (const auto& b : broken) {
        SwayIpcReader reader;
        reader.Append(b.bytes.data(), b.bytes.size());
        std::uint32_t type = 0;
        std::string_view payload;
        EXPECT_EQ(reader.Take(type, payload), SwayIpcReader::Next::Broken) << b.what;
    }
}

// The source on one end of a socket pair; the test plays the compositor on the other.
class SwaySourceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        int ends[2];
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, ends), 0);
        source = std::make_unique<SwayWindowSource>(UniqueFd(ends[0]));
        compositor = UniqueFd(ends[1]);
    }
    void Send(const std::string& bytes) {
        ASSERT_EQ(::send(compositor.get(), bytes.data(), bytes.size(), MSG_NOSIGNAL),
                  static_cast<ssize_t>(bytes.size()));
    }
    // How many tree requests the source has sent since last asked.
    int TreeRequests() {
        char buffer[4096];
        int count = 0;
        ssize_t n = 0;
        while ((n = ::recv(compositor.get(), buffer, sizeof buffer, MSG_DONTWAIT)) > 0) {
            const std::string_view got(buffer, static_cast<std::size_t>(n));
            const std::string request = SwayRequest(kSwayGetTree, "");
            for (std::size_t at = got.find(request); at != std::string_view::npos;
                 at = got.find(request, at + 1)) {
                ++count;
            }
        }
        return count;
    }

    std::unique_ptr<SwayWindowSource> source;
    UniqueFd compositor;
    std::string why;
};

TEST_F(SwaySourceTest, FollowsTheNewsAndAsksWhileTheWindowFloats) {
    const std::string floating = Recorded("sway_tree_floating.json");
    Send(Framed(kSwaySubscribe, R"({"success":true})") + Framed(kSwayGetTree, floating));
    ASSERT_TRUE(source->Start(1000, why)) << why;
    EXPECT_EQ(TreeRequests(), 1);
    Rect frame;
    EXPECT_EQ(source->Active(), 7u);
    EXPECT_TRUE(source->Frame(7, frame));
    EXPECT_EQ(frame, (Rect{300, 200, 700, 500}));
    // A window that is no longer the active one, or no longer exists, has no frame.
    EXPECT_FALSE(source->Frame(6, frame));
    EXPECT_FALSE(source->Visible(123456));

    // Floating: reading its frame asks the compositor first and takes its answer (here already
    // waiting on the socket): the window moved 40 px right without an event.
    std::string moved = floating;
    moved.replace(moved.find(R"("x":300,"y":225)"), 15, R"("x":340,"y":225)");
    Send(Framed(kSwayGetTree, moved));
    source->Refresh(7);
    EXPECT_EQ(TreeRequests(), 1);
    EXPECT_TRUE(source->Frame(7, frame));
    EXPECT_EQ(frame, (Rect{340, 200, 740, 500}));
    // A compositor slow to answer: the last frame stands, and no second request goes out while
    // the first is on its way; its answer comes as news.
    source->Refresh(7);
    source->Refresh(7);
    EXPECT_EQ(TreeRequests(), 1);
    EXPECT_TRUE(source->Frame(7, frame));
    EXPECT_EQ(frame, (Rect{340, 200, 740, 500}));
    Send(Framed(kSwayGetTree, floating));
    source->DispatchEvents();
    EXPECT_TRUE(source->Frame(7, frame));
    EXPECT_EQ(frame, (Rect{300, 200, 700, 500}));
    // Focus moves to the tiled window: its event, then the tree it asks for.
    Send(Framed(kSwayEventBit | 3, R"({"change":"focus"})") +
         Framed(kSwayGetTree, Recorded("sway_tree_tiled.json")));
    source->DispatchEvents();
    EXPECT_EQ(source->Active(), 6u);
    EXPECT_EQ(TreeRequests(), 1);
    // Tiled, or not the active window: its frame is read from the news alone.
    source->Refresh(6);
    source->Refresh(7);
    EXPECT_EQ(TreeRequests(), 0);
}

TEST_F(SwaySourceTest, HidesTheBirdWhenTheSocketBreaks) {
    const std::string endings[] = {"garbage", "huge", "tree", "closed"};
    for (const std::string& ending : endings) {
        SetUp();
        Send(Framed(kSwayGetTree, Recorded("sway_tree_tiled.json")));
        ASSERT_TRUE(source->Start(1000, why)) << why;
        ASSERT_EQ(source->Active(), 6u);
        if (ending == "garbage") {
            Send("\x01\x02garbage");
        } else if (ending == "huge") {
            Send(Framed(kSwayGetTree, "").replace(6, 4, "\xff\xff\xff\xff"));
        } else if (ending == "tree") {
            Send(Framed(kSwayGetTree, R"({"id":1,"nodes":[)"));
        } else {
            compositor.reset();
        }
        testing::internal::CaptureStderr();
        source->DispatchEvents();
        source->DispatchEvents();  // once stopped, nothing more is read or said
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_EQ(source->Active(), 0u) << ending;
        EXPECT_EQ(source->fd(), -1) << ending;
        EXPECT_NE(said.find("no more window information from sway"), std::string::npos) << ending;
        EXPECT_EQ(said.find('\n'), said.size() - 1) << ending << ": one line, once";
    }
}

TEST_F(SwaySourceTest, ACompositorThatDoesNotAnswerIsRefusedInTime) {
    EXPECT_FALSE(source->Start(50, why));
    EXPECT_EQ(why, "no window tree from the IPC socket");
    SetUp();
    Send(Framed(kSwayGetTree, "not json"));
    EXPECT_FALSE(source->Start(1000, why));
    EXPECT_EQ(why, "a window tree that is not one");
}

}  // namespace
}  // namespace tb::linux_desktop::wayland
