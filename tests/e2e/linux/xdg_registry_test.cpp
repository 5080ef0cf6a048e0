// The Linux settings store on a scratch configuration folder: key folders, the autostart entry
// standing in for the Run value, its quoting, the desktop's disable switches and refusals.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <tuple>

#include <gtest/gtest.h>

#include "platform/x11/desktop_entry.h"
#include "platform/x11/xdg_registry.h"

namespace tb::x11 {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kRun = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr std::string_view kSettings = "Software\\Velmor's Software\\Tapperbird\\1.0";
constexpr std::string_view kMarker = "Software\\Velmor's Software\\Tapperbird\\1.0\\temp";

// A query's result, type, the data that arrived in the buffer and the size reported.
using Query = std::tuple<RegResult, ValueType, std::string, std::uint32_t>;

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

fs::path MakeScratchFolder() {
    char pattern[] = "/tmp/tb-xdg-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) {
        throw std::runtime_error("no scratch folder");
    }
    ::chmod(pattern, 0755);  // reachable for the unprivileged check
    return pattern;
}

class XdgRegistryTest : public ::testing::Test {
  protected:
    void TearDown() override { fs::remove_all(root_); }

    // Writes the Run value the way the program does, with the quoted path.
    RegResult AddRunValue(std::string_view path) {
        KeyHandle run = 0;  // stays 0 when the open fails, and the write then fails too
        reg_.OpenKeyEx(kRun, kKeyWrite, run);
        return reg_.SetStringValue(run, "Tapperbird", "\"" + std::string(path) + "\"");
    }

    Query Get(KeyHandle key, std::string_view name, std::uint32_t capacity = 255) {
        std::string buffer(capacity, ' ');
        Query q{-1, ValueType::None, "", 0};
        auto& [result, type, data, size] = q;
        result = reg_.QueryValue(key, name, type, reinterpret_cast<std::uint8_t*>(buffer.data()),
                                 capacity, size);
        data = buffer.substr(0, size == 0 ? 0 : std::min(capacity, size - 1));
        return q;
    }

    Query GetRunValue() {
        KeyHandle run = 0;  // a failed open shows as an invalid handle
        reg_.OpenKeyEx(kRun, kKeyRead, run);
        return Get(run, "Tapperbird");
    }

    const fs::path root_ = MakeScratchFolder(), config_ = root_ / "config",
                   entry_ = config_ / "autostart" / "Tapperbird.desktop";
    XdgRegistry reg_{config_.string()};
};

TEST_F(XdgRegistryTest, KeysAreFoldersAndValuesFilesBelowTheConfigFolderWithoutSoftware) {
    KeyHandle settings = 0, key = 0;
    EXPECT_EQ(reg_.OpenKey(kMarker, key), kErrorFileNotFound);
    // The program's marker, created below an open key.
    ASSERT_EQ(reg_.CreateKey(kHkeyCurrentUser, kSettings, settings), kErrorSuccess);
    ASSERT_EQ(reg_.CreateKey(settings, "temp", key), kErrorSuccess);
    const fs::path folder = config_ / "Velmor's Software" / "Tapperbird" / "1.0";
    EXPECT_TRUE(fs::is_directory(folder / "temp"));
    EXPECT_EQ(reg_.CloseKey(key), kErrorSuccess);
    EXPECT_EQ(reg_.CloseKey(key), kErrorInvalidHandle);  // already closed
    EXPECT_EQ(reg_.OpenKey(kMarker, key), kErrorSuccess);
    // After a failed open the parent is 0: nothing is created, and the handle comes back 0.
    EXPECT_EQ(reg_.CreateKey(0, "temp", key), kErrorInvalidHandle);
    EXPECT_EQ(key, 0u);

    ASSERT_EQ(reg_.SetStringValue(settings, "Greeting", "grüß"), kErrorSuccess);
    EXPECT_EQ(ReadFile(folder / "Greeting"), "grüß");
    ValueType type = ValueType::None;
    std::uint32_t size = 0;
    EXPECT_EQ(reg_.QueryValue(settings, "Greeting", type, nullptr, 0, size), kErrorSuccess);
    EXPECT_EQ(size, 7u);  // asking for the size only: six UTF-8 bytes and the NUL
    EXPECT_EQ(Get(settings, "Greeting", 4), Query(kErrorMoreData, ValueType::Sz, "gr\xC3\xBC", 7));

    // Names that are no file names are refused; a file where a key's folder belongs is no key.
    EXPECT_EQ(reg_.SetStringValue(settings, "../outside", "x"), kErrorAccessDenied);
    EXPECT_EQ(reg_.CreateKey(kHkeyCurrentUser, "Software\\..\\escape", key), kErrorAccessDenied);
    EXPECT_EQ(reg_.CreateKey(kHkeyCurrentUser, "Software\\a/b", key), kErrorAccessDenied);
    EXPECT_FALSE(fs::exists(folder.parent_path() / "outside") || fs::exists(root_ / "escape"));
    EXPECT_EQ(reg_.OpenKey(std::string(kSettings) + "\\Greeting", key), kErrorFileNotFound);
}

TEST_F(XdgRegistryTest, RunValueIsAnAutostartEntryThatStartsTheProgram) {
    // The Run key exists before any entry does, as it does on Windows.
    EXPECT_EQ(std::get<RegResult>(GetRunValue()), kErrorFileNotFound);
    const std::string path = "/opt/my apps/100%/tapper\"bird";
    ASSERT_EQ(AddRunValue(path), kErrorSuccess);
    const std::string text = "\n" + ReadFile(entry_);
    for (const char* line : {"[Desktop Entry]", "Type=Application", "Name=Tapperbird",
                             "Exec=\"/opt/my apps/100%%/tapper\\\\\"bird\"", "Terminal=false"}) {
        EXPECT_NE(text.find("\n" + std::string(line) + "\n"), std::string::npos) << line << text;
    }
    // Read back as written: the quoted path, its size counting the quotes and the NUL.
    EXPECT_EQ(GetRunValue(), Query(kErrorSuccess, ValueType::Sz, '"' + path + '"', 32));
    // Nothing but the entry is left in the folder: the temporary file was renamed over it.
    EXPECT_EQ(std::distance(fs::directory_iterator(entry_.parent_path()), {}), 1);
    // Switched off in the session settings it counts as absent; adding it again switches it on.
    std::ofstream(entry_, std::ios::app) << "X-GNOME-Autostart-enabled=false\n";
    EXPECT_EQ(std::get<RegResult>(GetRunValue()), kErrorFileNotFound);
    // Too long for the buffer: more data, with the size it needs.
    ASSERT_EQ(AddRunValue("/" + std::string(300, 'p')), kErrorSuccess);
    EXPECT_EQ(GetRunValue(),
              Query(kErrorMoreData, ValueType::Sz, "\"/" + std::string(253, 'p'), 304));
}

TEST_F(XdgRegistryTest, DeleteRemovesTheEntryOnceAndLeavesFoldersAlone) {
    ASSERT_EQ(AddRunValue("/usr/bin/tapperbird"), kErrorSuccess);
    KeyHandle run = 0;
    ASSERT_EQ(reg_.OpenKeyEx(kRun, kKeyWrite, run), kErrorSuccess);
    EXPECT_EQ(reg_.DeleteValue(run, "Tapperbird"), kErrorSuccess);
    EXPECT_FALSE(fs::exists(entry_));
    EXPECT_EQ(reg_.DeleteValue(run, "Tapperbird"), kErrorFileNotFound);
    // Something odd under the entry's name is not a value: reported absent, never removed.
    fs::create_directories(entry_);
    EXPECT_EQ(reg_.DeleteValue(run, "Tapperbird"), kErrorFileNotFound);
    EXPECT_EQ(std::get<RegResult>(GetRunValue()), kErrorFileNotFound);
    EXPECT_TRUE(fs::is_directory(entry_));
}

TEST_F(XdgRegistryTest, RefusedFoldersGiveAccessDeniedAndLeaveTheEntryIntact) {
    ASSERT_EQ(AddRunValue("/usr/bin/tapperbird"), kErrorSuccess);
    const std::string before = ReadFile(entry_);
    ::chmod(entry_.parent_path().c_str(), 0555);
    ::chmod(config_.c_str(), 0555);
    // Without the right to override permissions (as "nobody" when we are root), a fresh store
    // exits with bit 0: the Run key refused for writing, 1: still readable, 2: no new key.
    const pid_t child = ::fork();
    if (child == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) {
            ::_exit(99);
        }
        XdgRegistry registry(config_.string());
        KeyHandle run = 0, marker = 0;
        ::_exit(int(registry.OpenKeyEx(kRun, kKeyWrite, run) == kErrorAccessDenied) |
                int(registry.OpenKeyEx(kRun, kKeyRead, run) == kErrorSuccess) << 1 |
                int(registry.CreateKey(kHkeyCurrentUser, kMarker, marker) == kErrorAccessDenied)
                    << 2);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ::chmod(config_.c_str(), 0755);
    ::chmod(entry_.parent_path().c_str(), 0755);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 7) << status;
    EXPECT_EQ(ReadFile(entry_), before);
}

TEST(DesktopEntryTest, ExecQuotingSurvivesEveryAwkwardCharacter) {
    for (const std::string path :
         {"/usr/bin/tapperbird", "/home/a b/x", "/p/\"q\"", "/p/`q`/$HOME", "/p/back\\slash",
          "/p/100%/x", "/p/tab\there", "/p/new\nline", "/p/ünïcode"}) {
        EXPECT_EQ(ParseExecValue(ExecValueForPath(path)), std::vector<std::string>{path});
        // The key file holds one line whatever the path contains.
        EXPECT_EQ(ExecValueForPath(path).find('\n'), std::string::npos) << path;
    }
}

TEST(DesktopEntryTest, ParsesOnlyTheMainGroupAndItsSwitches) {
    AutostartEntry entry = ParseAutostartEntry(
        "# comment\n[Desktop Entry]\nExec = \"/x/y z\"\nHidden=false\n"
        "[Desktop Action quit]\nExec=/bin/false\nHidden=true\n");
    EXPECT_FALSE(entry.disabled);
    EXPECT_TRUE(entry.singleArgument);
    EXPECT_EQ(entry.command, "/x/y z");
    entry = ParseAutostartEntry("[Desktop Entry]\nExec=/usr/bin/app --flag\n");
    EXPECT_FALSE(entry.singleArgument);
    EXPECT_EQ(entry.command, "/usr/bin/app --flag");
    EXPECT_TRUE(ParseAutostartEntry("[Desktop Entry]\nHidden=true\n").disabled);
    EXPECT_TRUE(
        ParseAutostartEntry("[Desktop Entry]\r\nX-GNOME-Autostart-enabled=false\r\n").disabled);
    EXPECT_TRUE(ParseExecValue("\"unclosed").empty());
}

}  // namespace
}  // namespace tb::x11
