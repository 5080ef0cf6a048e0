// The Linux settings store on scratch configuration folders: key folders, the autostart entry
// standing in for the Run value, and hostile or unlucky files on disk. GLib decides what a desktop
// makes of an entry, so GLib (not the store's own reading) is the judge of every written entry.
#include <gio/gdesktopappinfo.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <thread>
#include <tuple>

#include <gtest/gtest.h>

#include "platform/linux/xdg_registry.h"

namespace tb::linux_desktop {
namespace {

namespace fs = std::filesystem;

// GLib reads the desktop once per process, so the store and its judge see this one.
[[maybe_unused]] const bool kOnUbuntu = ::setenv("XDG_CURRENT_DESKTOP", "ubuntu:GNOME", 1) == 0;

constexpr std::string_view kRun = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr std::string_view kSettings = "Software\\Velmor's Software\\Tapperbird\\1.0";
constexpr std::string_view kMarker = "Software\\Velmor's Software\\Tapperbird\\1.0\\temp";

// A query's result, type, the data that arrived in the buffer and the size reported.
using Query = std::tuple<RegResult, ValueType, std::string, std::uint32_t>;

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void WriteFile(const fs::path& path, std::string_view text, fs::perms perms = fs::perms(0644)) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
    fs::permissions(path, perms);
}

fs::path MakeScratchFolder() {
    char pattern[] = "/tmp/tb-xdg-XXXXXX";
    if (::mkdtemp(pattern) == nullptr || ::chmod(pattern, 0755) != 0) {  // reachable for "nobody"
        throw std::runtime_error("no scratch folder");
    }
    return pattern;
}

// True when `body` holds in a child process, run as "nobody" when asked and we are root; a child
// that hangs is killed after five seconds.
bool HoldsInChild(const std::function<bool()>& body, bool unprivileged = false) {
    const pid_t child = ::fork();
    if (child == 0) {
        ::alarm(5);
        if (unprivileged && ::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) {
            ::_exit(99);
        }
        ::_exit(body() ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// GLib's verdict on an autostart file, as GNOME's session reads it: loadable as an application,
// not hidden, shown on this desktop, not switched off.
bool GlibStarts(const fs::path& file) {
    g_autoptr(GDesktopAppInfo) info = g_desktop_app_info_new_from_filename(file.c_str());
    return info != nullptr && !g_desktop_app_info_get_is_hidden(info) &&
           g_desktop_app_info_get_show_in(info, nullptr) &&
           (!g_desktop_app_info_has_key(info, "X-GNOME-Autostart-enabled") ||
            g_desktop_app_info_get_boolean(info, "X-GNOME-Autostart-enabled"));
}

// A key of the entry's main group as GLib reads it; "(none)" when absent or unreadable.
std::string GlibKey(const fs::path& file, const char* key) {
    g_autoptr(GKeyFile) keyFile = g_key_file_new();
    g_autofree gchar* value =
        g_key_file_load_from_file(keyFile, file.c_str(), G_KEY_FILE_KEEP_TRANSLATIONS, nullptr)
            ? g_key_file_get_string(keyFile, "Desktop Entry", key, nullptr)
            : nullptr;
    return value != nullptr ? value : "(none)";
}

class XdgRegistryTest : public ::testing::Test {
  protected:
    void TearDown() override {  // what the checks made read-only or unreadable, opened again
        fs::permissions(root_, fs::perms::all, fs::perm_options::add);
        for (const auto& item : fs::recursive_directory_iterator(root_)) {
            if (item.is_directory() && !item.is_symlink()) {
                fs::permissions(item.path(), fs::perms::owner_all, fs::perm_options::add);
            }
        }
        fs::remove_all(root_);
    }

    // The Run key, opened for reading or writing; 0 when the open fails, and the call then fails.
    KeyHandle Run(std::uint32_t access) {
        KeyHandle run = 0;
        reg_.OpenKeyEx(kRun, access, run);
        return run;
    }
    // Writes the Run value the way the program does, with the quoted path.
    RegResult AddRunValue(std::string_view path) {
        return reg_.SetStringValue(Run(kKeyWrite), "Tapperbird", "\"" + std::string(path) + "\"");
    }
    RegResult DeleteRunValue() { return reg_.DeleteValue(Run(kKeyWrite), "Tapperbird"); }

    // A capacity of 0 asks for the size only.
    Query Get(KeyHandle key, std::string_view name, std::uint32_t capacity = 255) {
        std::string buffer(capacity, ' ');
        Query q{-1, ValueType::None, "", 0};
        auto& [result, type, data, size] = q;
        result = reg_.QueryValue(
            key, name, type, capacity == 0 ? nullptr : reinterpret_cast<std::uint8_t*>(&buffer[0]),
            capacity, size);
        data = buffer.substr(0, size == 0 ? 0 : std::min(capacity, size - 1));
        return q;
    }
    Query GetRunValue() { return Get(Run(kKeyRead), "Tapperbird"); }
    bool Ticked() { return std::get<RegResult>(GetRunValue()) == kErrorSuccess; }
    // No Run value to read or to delete.
    bool Absent() {
        return std::get<RegResult>(GetRunValue()) == kErrorFileNotFound &&
               DeleteRunValue() == kErrorFileNotFound;
    }
    // GLib and the tick agree that the user's entry starts, or that it does not.
    void ExpectStarts(bool starts) {
        EXPECT_EQ(GlibStarts(entry_), starts) << ReadFile(entry_);
        EXPECT_EQ(Ticked(), starts) << ReadFile(entry_);
    }
    static long Count(const fs::path& folder) {
        return std::distance(fs::directory_iterator(folder), {});
    }

    // An executable that records the path it was started by in `launched_`.
    fs::path MakeProgram(const std::string& name) {
        const fs::path program = root_ / "bin" / name;
        WriteFile(program, "#!/bin/sh\nprintf '%s' \"$0\" > '" + launched_.string() + "'\n",
                  fs::perms(0755));
        return program;
    }

    const fs::path root_ = MakeScratchFolder(), config_ = root_ / "config",
                   system_ = root_ / "xdg-system", vendor_ = root_ / "xdg-vendor",
                   autostart_ = config_ / "autostart", entry_ = autostart_ / "Tapperbird.desktop",
                   launched_ = root_ / "launched";
    const fs::path program_ = MakeProgram("tapperbird");
    // An entry of nothing but keys Tapperbird writes.
    const std::string plain_ =
        "[Desktop Entry]\nType=Application\nName=Tapperbird\nExec=" + program_.string() + "\n";
    XdgRegistry reg_{config_.string(), {system_.string(), vendor_.string()}};
};

TEST_F(XdgRegistryTest, KeysAreFoldersAndTheProgramsOwnKeyIsTheTapperbirdFolder) {
    KeyHandle settings = 0, key = 0;
    EXPECT_EQ(reg_.OpenKey(kMarker, key), kErrorFileNotFound);
    // The program's marker, created below an open key, lands where Linux users look.
    ASSERT_EQ(reg_.CreateKey(kHkeyCurrentUser, kSettings, settings), kErrorSuccess);
    ASSERT_EQ(reg_.CreateKey(settings, "temp", key), kErrorSuccess);
    const fs::path folder = config_ / "tapperbird";
    EXPECT_TRUE(fs::is_directory(folder / "temp"));
    EXPECT_EQ(Count(config_), 1);
    EXPECT_EQ(reg_.CloseKey(key), kErrorSuccess);
    EXPECT_EQ(reg_.CloseKey(key), kErrorInvalidHandle);  // already closed
    EXPECT_EQ(reg_.OpenKey(kMarker, key), kErrorSuccess);
    // After a failed open the parent is 0: nothing is created, and the handle comes back 0.
    EXPECT_EQ(reg_.CreateKey(0, "temp", key), kErrorInvalidHandle);
    EXPECT_EQ(key, 0u);

    // Six UTF-8 bytes and the NUL: the size alone, then too little room.
    ASSERT_EQ(reg_.SetStringValue(settings, "Greeting", "grüß"), kErrorSuccess);
    EXPECT_EQ(ReadFile(folder / "Greeting"), "grüß");
    EXPECT_EQ(Get(settings, "Greeting", 0), Query(kErrorSuccess, ValueType::Sz, "", 7));
    EXPECT_EQ(Get(settings, "Greeting", 4), Query(kErrorMoreData, ValueType::Sz, "gr\xC3\xBC", 7));

    // Names that are no file names are refused; a file where a key's folder belongs is no key.
    EXPECT_EQ(reg_.SetStringValue(settings, "../outside", "x"), kErrorAccessDenied);
    EXPECT_EQ(reg_.CreateKey(kHkeyCurrentUser, "Software\\..\\escape", key), kErrorAccessDenied);
    EXPECT_EQ(reg_.CreateKey(kHkeyCurrentUser, "Software\\a/b", key), kErrorAccessDenied);
    EXPECT_FALSE(fs::exists(config_ / "outside") || fs::exists(root_ / "escape"));
    EXPECT_EQ(reg_.OpenKey(std::string(kSettings) + "\\Greeting", key), kErrorFileNotFound);

    // A marker an earlier version left still counts, and moves over.
    fs::remove_all(folder);
    fs::create_directories(config_ / "Velmor's Software" / "Tapperbird" / "1.0" / "temp");
    EXPECT_EQ(reg_.OpenKey(kMarker, key), kErrorSuccess);
    EXPECT_TRUE(fs::is_directory(folder / "temp"));
}

// No room for a file, or read-only folders for an unprivileged user: a change of the Run value is
// refused with access denied, the entry left as it was and no temporary file beside it. A marker
// that cannot be written or read is still found.
TEST_F(XdgRegistryTest, RefusedWritesLeaveTheEntryAndAReadOnlyMarkerStillExists) {
    KeyHandle key = 0;
    ASSERT_EQ(AddRunValue(program_.string()), kErrorSuccess);
    ASSERT_EQ(reg_.CreateKey(kHkeyCurrentUser, kMarker, key), kErrorSuccess);
    const std::string before = ReadFile(entry_), other = MakeProgram("other").string();
    EXPECT_TRUE(HoldsInChild([&] {
        const rlimit none{0, 0};
        return ::setrlimit(RLIMIT_FSIZE, &none) == 0 && AddRunValue(other) == kErrorAccessDenied;
    }));
    fs::permissions(autostart_, fs::perms(0555));
    fs::permissions(config_, fs::perms(0555));
    fs::permissions(config_ / "tapperbird", fs::perms(0755));  // reachable down to the marker
    for (const auto mode : {fs::perms(0555), fs::perms::none}) {
        fs::permissions(config_ / "tapperbird" / "temp", mode);
        // Without the right to override permissions: the marker found, the Run key refused for
        // writing but readable, no new key.
        EXPECT_TRUE(HoldsInChild(
            [&] {
                return reg_.OpenKey(kMarker, key) == kErrorSuccess &&
                       reg_.OpenKeyEx(kRun, kKeyWrite, key) == kErrorAccessDenied &&
                       reg_.OpenKeyEx(kRun, kKeyRead, key) == kErrorSuccess &&
                       reg_.CreateKey(kHkeyCurrentUser, "Software\\New", key) == kErrorAccessDenied;
            },
            true))
            << "marker mode " << std::oct << unsigned(mode);
    }
    EXPECT_EQ(ReadFile(entry_), before);
    EXPECT_EQ(Count(autostart_), 1);
}

TEST_F(XdgRegistryTest, GlibLaunchesTheWrittenEntryWhateverThePathHolds) {
    for (const std::string name : {"tapperbird", "a b \"q\" `c` $HOME", "back\\slash", "tab\there",
                                   "new\nline", "ünïcode", "trailing space "}) {
        const fs::path program = MakeProgram(name);
        ASSERT_EQ(AddRunValue(program.string()), kErrorSuccess) << name;
        ASSERT_TRUE(GlibStarts(entry_)) << ReadFile(entry_);
        EXPECT_EQ(GlibKey(entry_, "TryExec"), program.string());
        EXPECT_EQ(GlibKey(entry_, "Icon"), "tapperbird");
        // Read back as written: the quoted path.
        EXPECT_EQ(GetRunValue(), Query(kErrorSuccess, ValueType::Sz, '"' + program.string() + '"',
                                       std::uint32_t(program.string().size() + 3)));

        fs::remove(launched_);
        g_autoptr(GDesktopAppInfo) info = g_desktop_app_info_new_from_filename(entry_.c_str());
        EXPECT_TRUE(g_app_info_launch(G_APP_INFO(info), nullptr, nullptr, nullptr));
        for (int i = 0; i < 100 && ReadFile(launched_).empty(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        EXPECT_EQ(ReadFile(launched_), program.string()) << ReadFile(entry_);
    }
    // Nothing but the entry is left in the folder: the temporary files were renamed over it.
    EXPECT_EQ(Count(autostart_), 1);
}

TEST_F(XdgRegistryTest, PathsNoEntryCanStartAreRefusedWithAReasonAndNeverWritten) {
    const fs::path percent = MakeProgram("100%"), latin1 = MakeProgram("caf\xE9");
    // GLib looks for the program before it expands "%%", so no escaping can express a '%'.
    WriteFile(entry_, "[Desktop Entry]\nType=Application\nName=T\nExec=" +
                          (root_ / "bin" / "100%%").string() + "\n");
    EXPECT_FALSE(GlibStarts(entry_));
    fs::remove(entry_);
    for (const std::string& path : {percent.string(), latin1.string(), std::string("tapperbird"),
                                    std::string(""), (root_ / "bin" / "missing").string()}) {
        try {
            AddRunValue(path);
            ADD_FAILURE() << "no refusal for " << path;
        } catch (const std::runtime_error& e) {
            EXPECT_NE(std::string(e.what()).find("cannot"), std::string::npos) << e.what();
        }
        EXPECT_FALSE(fs::exists(entry_)) << path;
    }
}

TEST_F(XdgRegistryTest, TheTickIsWhatGlibWillStart) {
    const std::string gone = "Exec=" + (root_ / "gone").string() + "\n";
    const std::pair<std::string, bool> cases[] = {
        {plain_, true},
        {plain_ + "Hidden=false\nX-GNOME-Autostart-enabled=true\n", true},
        {plain_ + "Hidden=1\n", false},
        {plain_ + "Hidden = true\n", false},
        {plain_ + "X-GNOME-Autostart-enabled=0\n", false},
        {plain_ + "X-GNOME-Autostart-enabled=false\n[Desktop Action a]\nHidden=false\n", false},
        {"\xEF\xBB\xBF" + plain_, false},
        {plain_ + "Try" + gone, false},
        {"[Desktop Entry]\nType=Application\nName=T\n" + gone, false},
        {"[Desktop Entry]\nType=Link\nName=T\nURL=file:///\nExec=" + program_.string() + "\n",
         false},
    };
    for (const auto& [text, starts] : cases) {
        WriteFile(entry_, text);
        ExpectStarts(starts);
    }
}

TEST_F(XdgRegistryTest, TickingAndUntickingEditOnlyWhatTapperbirdOwns) {
    WriteFile(entry_,
              "# my session\n[Desktop Entry]\nType=Application\nName=Bird\nName[de]=Vogel\n"
              "Exec=/old/tapperbird\nHidden=true\nX-GNOME-Autostart-enabled=false\n"
              "X-GNOME-Autostart-Delay=10\nOnlyShowIn=GNOME;XFCE;\n",
              fs::perms(0600));
    const std::pair<const char*, const char*> users[] = {{"Name[de]", "Vogel"},
                                                         {"Name", "Bird"},
                                                         {"X-GNOME-Autostart-Delay", "10"},
                                                         {"OnlyShowIn", "GNOME;XFCE;"}};
    const auto kept = [&] {
        EXPECT_NE(ReadFile(entry_).find("# my session\n"), std::string::npos) << ReadFile(entry_);
        for (const auto& [key, value] : users) {
            EXPECT_EQ(GlibKey(entry_, key), value);
        }
        EXPECT_EQ(fs::status(entry_).permissions(), fs::perms(0600));
    };
    ASSERT_EQ(AddRunValue(program_.string()), kErrorSuccess);
    kept();
    ExpectStarts(true);
    EXPECT_EQ(GlibKey(entry_, "TryExec"), program_.string());

    // Unticked, the user's entry stays, switched off the Desktop Entry way.
    ASSERT_EQ(DeleteRunValue(), kErrorSuccess);
    kept();
    EXPECT_EQ(GlibKey(entry_, "Hidden"), "true");
    ExpectStarts(false);

    // An entry that is all Tapperbird's own goes, as does one an older version wrote.
    for (const std::string& ours :
         {std::string(), "[Desktop Entry]\nType=Application\nName=Tapperbird\nExec=\"" +
                             program_.string() + "\"\nTerminal=false\n"}) {
        fs::remove(entry_);
        if (ours.empty()) {
            ASSERT_EQ(AddRunValue(program_.string()), kErrorSuccess);
        } else {
            WriteFile(entry_, ours);
        }
        ExpectStarts(true);
        ASSERT_EQ(DeleteRunValue(), kErrorSuccess);
        EXPECT_FALSE(fs::exists(entry_)) << ours;
        EXPECT_TRUE(Absent());
    }
}

TEST_F(XdgRegistryTest, ASystemWideEntryCountsAndIsSwitchedOffByAHiddenUserEntry) {
    WriteFile(vendor_ / "autostart" / "Tapperbird.desktop", plain_);
    EXPECT_TRUE(Ticked());
    // The more important system folder wins over the vendor's.
    WriteFile(system_ / "autostart" / "Tapperbird.desktop", plain_ + "Hidden=true\n");
    EXPECT_FALSE(Ticked());
    fs::remove(system_ / "autostart" / "Tapperbird.desktop");

    // Unticking writes a user entry that hides the system-wide one: a copy of it (a fresh entry
    // would quote the path), hidden, though it holds nothing but Tapperbird's own keys.
    ASSERT_EQ(DeleteRunValue(), kErrorSuccess);
    EXPECT_EQ(GlibKey(entry_, "Hidden"), "true");
    EXPECT_EQ(GlibKey(entry_, "Exec"), program_.string());
    EXPECT_FALSE(Ticked());
    // Ticked and unticked again, the user entry stays: removing it would bring the other back.
    ASSERT_EQ(AddRunValue(program_.string()), kErrorSuccess);
    ExpectStarts(true);
    ASSERT_EQ(DeleteRunValue(), kErrorSuccess);
    ExpectStarts(false);
}

TEST_F(XdgRegistryTest, WhatIsNoRegularFileIsAbsentAndNothingBlocks) {
    fs::create_directories(autostart_);
    const fs::path fifo = root_ / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    // A FIFO under the entry's name, or a link to one, reads as absent at once.
    for (const bool link : {false, true}) {
        fs::remove(entry_);
        ASSERT_EQ(link ? ::symlink(fifo.c_str(), entry_.c_str()) : ::mkfifo(entry_.c_str(), 0644),
                  0);
        EXPECT_TRUE(HoldsInChild([this] { return Absent(); })) << (link ? "link" : "FIFO");
    }
    // A folder is no value either, and is never removed.
    fs::remove(entry_);
    fs::create_directories(entry_);
    EXPECT_TRUE(Absent());
    EXPECT_TRUE(fs::is_directory(entry_));
    // A link to a regular entry is followed, as the desktop follows it.
    fs::remove(entry_);
    WriteFile(root_ / "dotfiles" / "Tapperbird.desktop", plain_);
    fs::create_symlink(root_ / "dotfiles" / "Tapperbird.desktop", entry_);
    EXPECT_TRUE(Ticked());
}

// OnlyShowIn and NotShowIn against this desktop: the tick is GLib's verdict on the user's entry
// and on a system-wide one, and ticking lets this desktop in.
TEST_F(XdgRegistryTest, TickingLetsThisDesktopInWhereTheEntryKeptItOut) {
    const std::tuple<std::string, std::string, std::string> cases[] = {
        // and after ticking
        {"OnlyShowIn=KDE;\n", "KDE;ubuntu;", "(none)"},
        {"NotShowIn=GNOME;KDE;\n", "(none)", "KDE;"},
        {"OnlyShowIn=GNOME;\nNotShowIn=ubuntu;\n", "GNOME;", "(none)"},
    };
    for (const auto& [lines, only, notIn] : cases) {
        fs::remove(entry_);
        WriteFile(system_ / "autostart" / "Tapperbird.desktop", plain_ + lines);
        EXPECT_FALSE(Ticked()) << "system-wide " << lines;
        WriteFile(entry_, plain_ + lines);
        ExpectStarts(false);
        ASSERT_EQ(AddRunValue(program_.string()), kErrorSuccess);
        ExpectStarts(true);
        EXPECT_EQ(GlibKey(entry_, "OnlyShowIn") + " " + GlibKey(entry_, "NotShowIn"),
                  only + " " + notIn);
    }
}

// Ten times off and on give back the same bytes, written through a link to the user's own file
// (a dotfiles manager's), which stays a link even when all of it is Tapperbird's. A link to
// somebody else's file is replaced by an entry of the user's own, and that file left alone.
TEST_F(XdgRegistryTest, TogglingGivesBackTheSameEntryThroughTheUsersLink) {
    const fs::path kept = root_ / "dotfiles" / "Tapperbird.desktop";
    for (const std::string& text :
         {plain_, std::string("# mine\n[Desktop Entry]\nType=Application\nName=Bird\nExec=x\n\n"
                              "[Desktop Action a]\nName=A\nExec=y\n")}) {
        fs::remove(entry_);
        WriteFile(kept, text, fs::perms(0600));
        fs::create_directories(autostart_);
        fs::create_symlink(kept, entry_);
        ASSERT_EQ(AddRunValue(program_.string()), kErrorSuccess);
        const std::string ticked = ReadFile(entry_);
        for (int i = 0; i < 10; ++i) {
            ASSERT_EQ(DeleteRunValue(), kErrorSuccess);
            ExpectStarts(false);
            ASSERT_EQ(AddRunValue(program_.string()), kErrorSuccess);
        }
        EXPECT_EQ(ReadFile(entry_), ticked);
        EXPECT_TRUE(fs::is_symlink(entry_));
        EXPECT_EQ(fs::status(kept).permissions(), fs::perms(0600));
    }
    ASSERT_EQ(::chown(kept.c_str(), 65534, 65534), 0);
    ASSERT_EQ(DeleteRunValue(), kErrorSuccess);
    EXPECT_FALSE(fs::is_symlink(entry_));
    EXPECT_EQ(GlibKey(kept, "Hidden"), "(none)");
}

// The first run takes back a refused entry's marker, and never more than an empty folder; a
// marker place that cannot be looked at is no absence; a marker an earlier version left moves
// over, and its folders go.
TEST_F(XdgRegistryTest, MarkersGoOnlyAsEmptyFoldersAndAnUnreadablePlaceIsNoAbsence) {
    KeyHandle settings = 0, key = 0;
    ASSERT_EQ(reg_.CreateKey(kHkeyCurrentUser, kMarker, key), kErrorSuccess);
    ASSERT_EQ(reg_.OpenKey(kSettings, settings), kErrorSuccess);
    EXPECT_EQ(reg_.DeleteKey(kHkeyCurrentUser, kSettings), kErrorAccessDenied);  // holds "temp"
    EXPECT_EQ(reg_.DeleteKey(settings, "temp"), kErrorSuccess);
    EXPECT_EQ(reg_.DeleteKey(settings, "temp"), kErrorFileNotFound);

    const fs::path own = config_ / "tapperbird", earlier = config_ / "Velmor's Software";
    fs::create_directories(earlier / "Tapperbird" / "1.0" / "temp");
    fs::permissions(config_, fs::perms(0755));  // made 0700, and "nobody" must reach the rest
    for (const fs::path& unreadable : {own, earlier}) {  // chmod 000
        fs::permissions(unreadable, fs::perms::none);
        EXPECT_TRUE(
            HoldsInChild([&] { return reg_.OpenKey(kMarker, key) == kErrorAccessDenied; }, true))
            << unreadable;
        fs::permissions(unreadable, fs::perms(0755));
        fs::remove_all(own);
    }
    EXPECT_EQ(reg_.OpenKey(kMarker, key), kErrorSuccess);
    EXPECT_FALSE(fs::exists(earlier));
}

}  // namespace
}  // namespace tb::linux_desktop
