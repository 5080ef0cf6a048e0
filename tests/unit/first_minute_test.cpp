// The first minute of a run, frame by frame, against the sequence that tests/tools/first_minute.py
// works out from the generator and the rules on its own.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "scenario.h"

namespace tb::test {
namespace {

class FirstMinuteTest : public Scenario {
  protected:
    // The presentation log in the script's form, against that run of its committed output:
    // a line "x y frames" per stretch at one point, then "draws n".
    void ExpectRun(const std::string& name) {
        const auto& log = desk.Bird().Presents();
        ASSERT_EQ(log.size(), 600u);
        std::string text = "run " + name;
        for (std::size_t i = 0; i < log.size(); ++i) {
            const sim::PresentRecord& r = log[i];
            ASSERT_TRUE(r.timeMs == static_cast<sim::TimeMs>(100 * (i + 1)) &&
                        r.size == (Size{43, 71}))
                << "presentation " << i;
            if (i == 0 || !(log[i - 1].point == r.point)) {
                text += "\n" + std::to_string(r.point.x) + " " + std::to_string(r.point.y) + " ";
            }
            text += std::to_string(r.frameIndex);
        }
        text += "\ndraws " + std::to_string(desk.Random().Draws()) + "\n";

        std::ifstream in(std::filesystem::path(__FILE__).parent_path().parent_path() / "tools" /
                         "first_minute.txt");
        const std::string all{std::istreambuf_iterator<char>(in), {}};
        const std::size_t at = all.find("run " + name + "\n");
        ASSERT_NE(at, std::string::npos) << name;
        const std::size_t end = all.find('\n', all.find("\ndraws ", at) + 1) + 1;
        EXPECT_EQ(text, all.substr(at, end - at));
    }
};

TEST_F(FirstMinuteTest, OneTallWindowAllMinute) {
    OpenWindow({200, 150, 1400, 950});
    StartProgram();
    Wait(60000);
    ExpectRun("quiet");
}

TEST_F(FirstMinuteTest, SwitchingWindowsOnTheWay) {
    const WindowHandle a = OpenWindow({200, 150, 1400, 950});
    const WindowHandle b = desk.AddWindow({300, 100, 1920, 1002});
    StartProgram();
    WaitUntil(22050);
    desk.Activate(b);
    WaitUntil(40050);
    desk.Activate(a);
    WaitUntil(41050);
    desk.Activate(b);
    WaitUntil(60000);
    ExpectRun("switching");
}

}  // namespace
}  // namespace tb::test
