// The first minute of a run, frame by frame, against the sequence that tests/tools/first_minute.py
// works out from the generator and the rules on its own.
#include <filesystem>
#include <fstream>
#include <string>

#include "scenario.h"

namespace tb::test {
namespace {

// One run of the script's committed output: lines "count frame x y", then "draws n".
std::string ExpectedRun(const std::string& name) {
    std::ifstream in(std::filesystem::path(__FILE__).parent_path().parent_path() / "tools" /
                     "first_minute.txt");
    EXPECT_TRUE(in.good());
    std::string line, text;
    bool inRun = false;
    while (std::getline(in, line)) {
        if (line.starts_with("run ")) {
            inRun = line == "run " + name;
        } else if (inRun) {
            text += line + "\n";
        }
    }
    return text;
}

class FirstMinuteTest : public Scenario {
  protected:
    // The presentation log in the same form; a mismatch shows as a diff of the two texts.
    void ExpectRun(const std::string& name) {
        const auto& log = desk.Bird().Presents();
        ASSERT_EQ(log.size(), 600u);
        std::string text;
        int count = 0;
        for (std::size_t i = 0; i < log.size(); ++i) {
            const sim::PresentRecord& r = log[i];
            ASSERT_TRUE(r.timeMs == static_cast<sim::TimeMs>(100 * (i + 1)) &&
                        r.size == (Size{43, 71}))
                << "presentation " << i;
            ++count;
            if (i + 1 == log.size() || log[i + 1].frameIndex != r.frameIndex ||
                !(log[i + 1].point == r.point)) {
                text += std::to_string(count) + " " + std::to_string(r.frameIndex) + " " +
                        std::to_string(r.point.x) + " " + std::to_string(r.point.y) + "\n";
                count = 0;
            }
        }
        text += "draws " + std::to_string(desk.Random().Draws()) + "\n";
        EXPECT_EQ(text, ExpectedRun(name));
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
