// The first minute of a run, frame by frame, against the sequence that tests/tools/first_minute.py
// works out from the generator and the rules on its own.
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "scenario.h"

namespace tb::test {
namespace {

struct Expected {
    std::vector<sim::PresentRecord> presents;
    std::int64_t draws = -1;
};

// Reads the committed output of the script: per run, run-length lines "count frame x y".
std::map<std::string, Expected> LoadExpected() {
    const auto path =
        std::filesystem::path(__FILE__).parent_path().parent_path() / "tools" / "first_minute.txt";
    std::ifstream in(path);
    EXPECT_TRUE(in.good()) << path;
    std::map<std::string, Expected> runs;
    Expected* current = nullptr;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string word;
        fields >> word;
        if (word == "run") {
            fields >> word;
            current = &runs[word];
        } else if (word == "draws" && current != nullptr) {
            fields >> current->draws;
        } else if (current != nullptr) {
            const int count = std::stoi(word);
            sim::PresentRecord r;
            fields >> r.frameIndex >> r.point.x >> r.point.y;
            r.size = Size{43, 71};
            current->presents.insert(current->presents.end(), count, r);
        }
    }
    return runs;
}

class FirstMinuteTest : public Scenario {
  protected:
    void ExpectRun(const std::string& name) {
        const auto runs = LoadExpected();
        ASSERT_EQ(runs.count(name), 1u) << name;
        const Expected& expected = runs.at(name);
        ASSERT_EQ(expected.presents.size(), 600u);
        const auto& log = desk.Bird().Presents();
        ASSERT_EQ(log.size(), 600u);
        for (std::size_t i = 0; i < log.size(); ++i) {
            const auto& want = expected.presents[i];
            ASSERT_EQ(log[i].timeMs, static_cast<sim::TimeMs>(100 * (i + 1)));
            ASSERT_TRUE(log[i].frameIndex == want.frameIndex && log[i].point == want.point &&
                        log[i].size == want.size)
                << "presentation " << i << " at " << log[i].timeMs << " ms: frame "
                << log[i].frameIndex << " at (" << log[i].point.x << ", " << log[i].point.y
                << "), expected frame " << want.frameIndex << " at (" << want.point.x << ", "
                << want.point.y << ")";
        }
        EXPECT_EQ(desk.Random().Draws(), expected.draws);
    }
};

TEST_F(FirstMinuteTest, OneTallWindowAllMinute) {
    desk.Bird().ReservePresentLog(600);
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
