// The Linux settings store on a scratch configuration folder: key folders, the autostart entry
// standing in for the Run value, its quoting, the desktop's disable switches and refusals.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "platform/x11/desktop_entry.h"
#include "platform/x11/xdg_registry.h"

namespace tb::x11 {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kRun = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr std::string_view kMarker = "Software\\Velmor's Software\\Tapperbird\\1.0\\temp";

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Runs `body` without the right to override file permissions (as "nobody" when we are root) and
// returns its result.
int RunUnprivileged(const std::function<int()>& body) {
    if (::geteuid() != 0) {
        return body();
    }
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) {
            ::_exit(99);
        }
        ::_exit(body());
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 98;
}

class XdgRegistryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/tb-xdg-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        root_ = pattern;
        ::chmod(root_.c_str(), 0755);  // reachable for the unprivileged checks
        config_ = root_ / "config";
    }
    void TearDown() override {
        std::error_code ignored;
        fs::permissions(root_, fs::perms::owner_all, fs::perm_options::add, ignored);
        for (const auto& entry : fs::recursive_directory_iterator(root_, ignored)) {
            fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ignored);
        }
        fs::remove_all(root_, ignored);
    }

    fs::path AutostartFile() const { return config_ / "autostart" / "Tapperbird.desktop"; }

    // Writes the Run value the way the program does, with the quoted path.
    RegResult AddRunValue(XdgRegistry& registry, std::string_view path) {
        KeyHandle run = 0;
        const RegResult opened = registry.OpenKeyEx(kRun, kKeyWrite, run);
        if (opened != kErrorSuccess) {
            return opened;
        }
        const RegResult set =
            registry.SetStringValue(run, "Tapperbird", "\"" + std::string(path) + "\"");
        registry.CloseKey(run);
        return set;
    }

    RegResult QueryRunValue(XdgRegistry& registry, std::string& data, std::uint32_t& size,
                            std::uint32_t capacity = 255) {
        KeyHandle run = 0;
        EXPECT_EQ(registry.OpenKeyEx(kRun, kKeyRead, run), kErrorSuccess);
        std::string buffer(capacity, ' ');
        ValueType type = ValueType::None;
        const RegResult r =
            registry.QueryValue(run, "Tapperbird", type,
                                reinterpret_cast<std::uint8_t*>(buffer.data()), capacity, size);
        registry.CloseKey(run);
        if (r == kErrorSuccess) {
            EXPECT_EQ(type, ValueType::Sz);
            data.assign(buffer.data(), size > 0 ? size - 1 : 0);
        }
        return r;
    }

    fs::path root_;
    fs::path config_;
};

TEST_F(XdgRegistryTest, MarkerKeyIsAFolderBelowTheConfigFolderWithoutTheSoftwareLevel) {
    XdgRegistry registry(config_.string());
    KeyHandle key = 0;
    EXPECT_EQ(registry.OpenKey(kMarker, key), kErrorFileNotFound);
    EXPECT_EQ(key, 0u);

    ASSERT_EQ(registry.CreateKey(kHkeyCurrentUser, kMarker, key), kErrorSuccess);
    EXPECT_EQ(registry.CloseKey(key), kErrorSuccess);
    EXPECT_TRUE(fs::is_directory(config_ / "Velmor's Software" / "Tapperbird" / "1.0" / "temp"));
    EXPECT_EQ(registry.OpenKey(kMarker, key), kErrorSuccess);
    EXPECT_EQ(registry.CloseKey(key), kErrorSuccess);
    EXPECT_EQ(registry.CloseKey(key), kErrorInvalidHandle);  // already closed
}

TEST_F(XdgRegistryTest, CreateUnderAnOpenKeyAndUnderNoKey) {
    XdgRegistry registry(config_.string());
    KeyHandle settings = 0;
    ASSERT_EQ(registry.CreateKey(kHkeyCurrentUser, "Software\\Velmor's Software\\Tapperbird\\1.0",
                                 settings),
              kErrorSuccess);
    KeyHandle marker = 0;
    EXPECT_EQ(registry.CreateKey(settings, "temp", marker), kErrorSuccess);
    EXPECT_EQ(registry.OpenKey(kMarker, marker), kErrorSuccess);
    // The program's marker step with a failed open: parent 0 creates nothing.
    KeyHandle none = 0;
    EXPECT_EQ(registry.CreateKey(0, "temp", none), kErrorInvalidHandle);
    EXPECT_EQ(none, 0u);
}

TEST_F(XdgRegistryTest, KeyNamesThatAreNoFolderNamesAreRefused) {
    XdgRegistry registry(config_.string());
    KeyHandle key = 0;
    EXPECT_EQ(registry.CreateKey(kHkeyCurrentUser, "Software\\..\\escape", key),
              kErrorAccessDenied);
    EXPECT_EQ(registry.CreateKey(kHkeyCurrentUser, "Software\\a/b", key), kErrorAccessDenied);
    EXPECT_FALSE(fs::exists(root_ / "escape"));
    // A file where a key's folder belongs is no key.
    fs::create_directories(config_);
    std::ofstream(config_ / "plain") << "x";
    EXPECT_EQ(registry.OpenKey("Software\\plain", key), kErrorFileNotFound);
}

TEST_F(XdgRegistryTest, RunValueIsAnAutostartEntryThatStartsTheProgram) {
    XdgRegistry registry(config_.string());
    std::string data;
    std::uint32_t size = 0;
    // The Run key exists before any entry does, as it does on Windows.
    EXPECT_EQ(QueryRunValue(registry, data, size), kErrorFileNotFound);

    const std::string path = "/opt/my apps/100%/tapper\"bird";
    ASSERT_EQ(AddRunValue(registry, path), kErrorSuccess);
    const std::string text = ReadFile(AutostartFile());
    EXPECT_NE(text.find("[Desktop Entry]\n"), std::string::npos);
    EXPECT_NE(text.find("\nType=Application\n"), std::string::npos);
    EXPECT_NE(text.find("\nName=Tapperbird\n"), std::string::npos);
    EXPECT_NE(text.find("\nExec=\"/opt/my apps/100%%/tapper\\\\\"bird\"\n"), std::string::npos)
        << text;
    EXPECT_NE(text.find("\nTerminal=false\n"), std::string::npos);

    ASSERT_EQ(QueryRunValue(registry, data, size), kErrorSuccess);
    EXPECT_EQ(data, "\"" + path + "\"");
    EXPECT_EQ(size, path.size() + 3);  // two quotes and the NUL
    // Nothing but the entry is left in the folder: the temporary file was renamed over it.
    EXPECT_EQ(
        std::distance(fs::directory_iterator(config_ / "autostart"), fs::directory_iterator()), 1);
}

TEST_F(XdgRegistryTest, LongRunValueReportsMoreDataWithItsSize) {
    XdgRegistry registry(config_.string());
    const std::string path = "/" + std::string(300, 'p');
    ASSERT_EQ(AddRunValue(registry, path), kErrorSuccess);
    std::string data;
    std::uint32_t size = 0;
    EXPECT_EQ(QueryRunValue(registry, data, size), kErrorMoreData);
    EXPECT_EQ(size, path.size() + 3);
}

TEST_F(XdgRegistryTest, DisabledEntryCountsAsAbsentUntilAddedAgain) {
    XdgRegistry registry(config_.string());
    for (const char* switchOff : {"Hidden=true", "X-GNOME-Autostart-enabled=false"}) {
        ASSERT_EQ(AddRunValue(registry, "/usr/bin/tapperbird"), kErrorSuccess);
        std::ofstream(AutostartFile(), std::ios::app) << switchOff << "\n";
        std::string data;
        std::uint32_t size = 0;
        EXPECT_EQ(QueryRunValue(registry, data, size), kErrorFileNotFound) << switchOff;
        ASSERT_EQ(AddRunValue(registry, "/usr/bin/tapperbird"), kErrorSuccess);
        EXPECT_EQ(ReadFile(AutostartFile()).find(switchOff), std::string::npos);
        EXPECT_EQ(QueryRunValue(registry, data, size), kErrorSuccess) << switchOff;
    }
}

TEST_F(XdgRegistryTest, DeleteRemovesTheEntryOnceAndLeavesFoldersAlone) {
    XdgRegistry registry(config_.string());
    ASSERT_EQ(AddRunValue(registry, "/usr/bin/tapperbird"), kErrorSuccess);
    KeyHandle run = 0;
    ASSERT_EQ(registry.OpenKeyEx(kRun, kKeyWrite, run), kErrorSuccess);
    EXPECT_EQ(registry.DeleteValue(run, "Tapperbird"), kErrorSuccess);
    EXPECT_FALSE(fs::exists(AutostartFile()));
    EXPECT_EQ(registry.DeleteValue(run, "Tapperbird"), kErrorFileNotFound);
    // Something odd under the entry's name is not a value: reported absent, never removed.
    fs::create_directories(AutostartFile());
    EXPECT_EQ(registry.DeleteValue(run, "Tapperbird"), kErrorFileNotFound);
    std::string data;
    std::uint32_t size = 0;
    EXPECT_EQ(QueryRunValue(registry, data, size), kErrorFileNotFound);
    EXPECT_TRUE(fs::is_directory(AutostartFile()));
    EXPECT_EQ(registry.DeleteValue(run + 1000, "Tapperbird"), kErrorInvalidHandle);
}

TEST_F(XdgRegistryTest, OtherValuesAreFilesHoldingTheirText) {
    XdgRegistry registry(config_.string());
    KeyHandle key = 0;
    ASSERT_EQ(registry.CreateKey(kHkeyCurrentUser, "Software\\Example", key), kErrorSuccess);
    ASSERT_EQ(registry.SetStringValue(key, "Greeting", "grüß"), kErrorSuccess);
    EXPECT_EQ(ReadFile(config_ / "Example" / "Greeting"), "grüß");
    ValueType type = ValueType::None;
    std::uint32_t size = 0;
    // Asking for the size only.
    EXPECT_EQ(registry.QueryValue(key, "Greeting", type, nullptr, 0, size), kErrorSuccess);
    EXPECT_EQ(size, 7u);  // six UTF-8 bytes and the NUL
    std::uint8_t buffer[4] = {};
    EXPECT_EQ(registry.QueryValue(key, "Greeting", type, buffer, sizeof buffer, size),
              kErrorMoreData);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 4), "gr\xC3\xBC");
    EXPECT_EQ(registry.SetStringValue(key, "../outside", "x"), kErrorAccessDenied);
    EXPECT_FALSE(fs::exists(config_ / "outside"));
}

TEST_F(XdgRegistryTest, RefusedFoldersGiveAccessDeniedAndLeaveTheEntryIntact) {
    XdgRegistry setup(config_.string());
    ASSERT_EQ(AddRunValue(setup, "/usr/bin/tapperbird"), kErrorSuccess);
    const std::string before = ReadFile(AutostartFile());
    fs::permissions(config_ / "autostart", fs::perms::owner_read | fs::perms::owner_exec |
                                               fs::perms::group_read | fs::perms::group_exec |
                                               fs::perms::others_read | fs::perms::others_exec);
    ::chmod(config_.c_str(), 0555);
    const std::string configHome = config_.string();
    // Bit 0: the Run key refused for writing; bit 1: still readable; bit 2: a key not creatable.
    const int result = RunUnprivileged([&configHome] {
        XdgRegistry registry(configHome);
        int bits = 0;
        KeyHandle run = 0;
        if (registry.OpenKeyEx(kRun, kKeyWrite, run) == kErrorAccessDenied) {
            bits |= 1;
        }
        if (registry.OpenKeyEx(kRun, kKeyRead, run) == kErrorSuccess) {
            bits |= 2;
        }
        KeyHandle marker = 0;
        if (registry.CreateKey(kHkeyCurrentUser, kMarker, marker) == kErrorAccessDenied) {
            bits |= 4;
        }
        return bits;
    });
    EXPECT_EQ(result, 7);
    EXPECT_EQ(ReadFile(AutostartFile()), before);
}

TEST(DesktopEntryTest, ExecQuotingSurvivesEveryAwkwardCharacter) {
    for (const std::string path :
         {"/usr/bin/tapperbird", "/home/a b/x", "/p/\"q\"", "/p/`q`/$HOME", "/p/back\\slash",
          "/p/100%/x", "/p/tab\there", "/p/new\nline", "/p/ünïcode"}) {
        const std::vector<std::string> args = ParseExecValue(ExecValueForPath(path));
        ASSERT_EQ(args.size(), 1u) << path;
        EXPECT_EQ(args.front(), path);
        // The key file holds one line whatever the path contains.
        EXPECT_EQ(ExecValueForPath(path).find('\n'), std::string::npos) << path;
    }
    // Four backslashes in the file for one in the path, as the desktop's rules require.
    EXPECT_EQ(ExecValueForPath("a\\b"), "\"a\\\\\\\\b\"");
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
    EXPECT_EQ(ParseAutostartEntry("[Desktop Entry]\nName=x\n").command, "");
    EXPECT_TRUE(ParseExecValue("\"unclosed").empty());
}

}  // namespace
}  // namespace tb::x11
