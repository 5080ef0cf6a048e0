// The Run value and the first-run marker, driven on the simulated registry.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "platform/sim/sim_desktop.h"
#include "settings/first_run.h"
#include "settings/startup_entry.h"

namespace tb {
namespace {

using sim::RegValue;
using sim::SimCall;

constexpr std::string_view kRun = StartupEntry::kRunKeyPath;
constexpr std::string_view kApproved = StartupEntry::kStartupApprovedPath;
constexpr std::string_view kSettingsKey = FirstRun::kSettingsKeyPath;
constexpr std::string_view kMarker = FirstRun::kMarkerKeyPath;
constexpr std::string_view kName = "Tapperbird";

// The exact bytes a stored string value holds: the text and its terminating NUL.
RegValue SzValue(std::string_view text) {
    std::vector<std::uint8_t> data(text.begin(), text.end());
    data.push_back(0);
    return RegValue{ValueType::Sz, data};
}

class SettingsTest : public ::testing::Test {
  protected:
    SettingsTest() { reg.CreateKeyPath(kRun); }

    bool Exists() { return StartupEntry::Exists(reg, desk.Forms()); }
    void Add() { StartupEntry::Add(reg, desk.Forms()); }
    void Remove() { StartupEntry::Remove(reg, desk.Forms()); }
    void StartFirstTime() { FirstRun::Register(reg, desk.Forms()); }
    std::optional<RegValue> RunValue() const { return reg.GetValue(kRun, kName); }
    void SetSwitch(std::vector<std::uint8_t> data) {
        reg.SetValue(kApproved, kName, ValueType::Binary, std::move(data));
    }
    // The texts of the message boxes so far, each checked to be the program's warning box.
    std::vector<std::string> Warnings() {
        std::vector<std::string> texts;
        for (const auto& box : desk.Forms().MessageBoxes()) {
            EXPECT_EQ(box.title, "Tapperbird");
            EXPECT_EQ(box.style, 48);
            texts.push_back(box.text);
        }
        return texts;
    }
    void TearDown() override {
        // Every operation closes what it opened, whichever way it ended.
        EXPECT_EQ(reg.OpenHandleCount(), 0u);
    }

    sim::SimDesktop desk;
    sim::SimRegistry& reg = desk.Registry();
};

TEST_F(SettingsTest, AddStoresTheQuotedRealPathAndTouchesOnlyOurValue) {
    reg.SetValue(kRun, "TAPPERBIRD", ValueType::Dword, {1, 0, 0, 0});  // ours, whatever its type
    reg.SetString(kRun, "Other", "C:\\other.exe");
    for (const std::string path : {
             "C:\\Program Files\\Tapperbird\\Tapperbird.exe",           // spaces: quoted
             "C:\\Users\\J\xC3\xBCrgen\\\xE6\xA1\x8C\\Tapperbird.exe",  // multi-byte: nothing cut
             "D:\\tools\\Tapperbird.scr",  // real name, no ".exe" added
         }) {
        desk.SetProgramPath(path);
        Add();
        EXPECT_EQ(RunValue(), SzValue("\"" + path + "\"")) << path;
    }
    Remove();
    EXPECT_FALSE(RunValue());
    Remove();  // absent already: nothing to report
    EXPECT_EQ(reg.GetValue(kRun, "Other"), SzValue("C:\\other.exe"));
    EXPECT_TRUE(Warnings().empty());
}

TEST_F(SettingsTest, AddAndRemoveAreSilentWhenTheRunKeyIsMissingOrRefused) {
    reg.DeleteKey(kRun);
    Add();
    Remove();
    EXPECT_FALSE(reg.KeyExists(kRun)) << "the Run key is only opened, never created";

    reg.SetString(kRun, kName, "old");
    reg.DenyWriteAccess(kRun);
    Add();
    Remove();
    EXPECT_EQ(RunValue(), SzValue("old"));
    EXPECT_TRUE(Exists()) << "reading is still allowed";
    EXPECT_TRUE(Warnings().empty());
}

TEST_F(SettingsTest, ExistsForAnyTypeAndLengthUnlessTaskManagerDisabledIt) {
    EXPECT_FALSE(Exists());
    for (std::size_t length : {0u, 4u, 256u}) {
        reg.SetValue(kRun, kName, length == 4 ? ValueType::Dword : ValueType::Sz,
                     std::vector<std::uint8_t>(length, 'a'));
        EXPECT_TRUE(Exists()) << length << " bytes: a long value is still there";
    }
    SetSwitch({3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_FALSE(Exists()) << "odd first byte: disabled";
    SetSwitch({2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_TRUE(Exists()) << "even first byte: enabled";
    SetSwitch(std::vector<std::uint8_t>(40, 1));
    EXPECT_FALSE(Exists()) << "a long switch value is still read";

    reg.SetValue(kApproved, "Other", ValueType::Binary, {3});
    Add();
    EXPECT_FALSE(reg.GetValue(kApproved, kName)) << "ticking it clears Task Manager's switch";
    EXPECT_TRUE(reg.GetValue(kApproved, "Other")) << "other programs' switches stay";
    reg.DeleteKey("Software\\Microsoft\\Windows\\CurrentVersion\\Explorer");
    Add();
    EXPECT_FALSE(reg.KeyExists(kApproved)) << "a missing switch key is not created";

    reg.DenyReadAccess(kRun);
    EXPECT_FALSE(Exists());
    reg.DeleteKey(kRun);
    EXPECT_FALSE(Exists());
    EXPECT_TRUE(Warnings().empty());
}

// Adding's own error handling is checked through the first-run registration below.
TEST_F(SettingsTest, AnErrorRaisedWhileRemovingOrQueryingShowsOneWarningAndChangesNothing) {
    reg.SetString(kRun, kName, "x");
    desk.Raise(SimCall::RegDeleteValue, "delete failed", 1);
    Remove();
    EXPECT_TRUE(RunValue());
    desk.Raise(SimCall::RegQueryValue, "query failed", 1);
    EXPECT_FALSE(Exists());
    EXPECT_TRUE(Exists()) << "nothing sticks: the next query reads the value";
    EXPECT_EQ(Warnings(), (std::vector<std::string>{"delete failed", "query failed"}));
}

TEST_F(SettingsTest, KeyExistsCreatesWhatIsMissingAndCreateMarkerNeedsItsParent) {
    FirstRun::CreateMarker(reg);
    EXPECT_FALSE(reg.KeyExists(kSettingsKey)) << "no parent: nothing is created";
    EXPECT_FALSE(FirstRun::KeyExists(reg, kMarker));
    EXPECT_TRUE(reg.KeyExists(kMarker)) << "created with every missing parent";
    EXPECT_TRUE(FirstRun::KeyExists(reg, "software\\VELMOR'S SOFTWARE\\tapperbird\\1.0\\Temp"))
        << "names compare without regard to case";

    reg.DeleteKey(kMarker);
    reg.SetString(kSettingsKey, "keep", "me");
    FirstRun::CreateMarker(reg);
    EXPECT_TRUE(reg.KeyExists(kMarker));
    EXPECT_EQ(reg.GetValue(kSettingsKey, "keep"), SzValue("me"));
}

// The user unticked "Run at Startup" after the first run: it stays off unless the marker is gone.
TEST_F(SettingsTest, FirstRunRegistersOnceUntilTheMarkerOrAKeyAboveItIsRemoved) {
    StartFirstTime();
    EXPECT_EQ(RunValue(), SzValue("\"" + desk.ProgramPathValue() + "\""));
    Remove();
    StartFirstTime();
    EXPECT_FALSE(RunValue());
    for (std::string_view removed :
         {kMarker, kSettingsKey, std::string_view("Software\\Velmor's Software")}) {
        reg.DeleteKey(removed);
        StartFirstTime();
        EXPECT_TRUE(RunValue()) << removed;
        EXPECT_TRUE(reg.KeyExists(kMarker));
        Remove();
    }
    EXPECT_TRUE(Warnings().empty());
}

// Without a marker every start registers again: where the tree cannot be made, and where the entry
// was silently refused, so that start-at-logon is never lost without a word. A marker that cannot
// be read is still there: start-at-logon is not switched on again over the user's "off".
TEST_F(SettingsTest, FirstRunKeepsNoMarkerForARefusedEntryAndHonoursAnUnreadableOne) {
    const std::tuple<void (*)(sim::SimRegistry&), bool, bool> cases[] = {
        // written, marker kept
        {[](sim::SimRegistry& r) { r.DenyCreate("Software\\Velmor's Software"); }, true, false},
        {[](sim::SimRegistry& r) { r.DenyWriteAccess(kRun); }, false, false},  // protected Run key
        {[](sim::SimRegistry& r) { r.RefuseValues(kRun); }, false, false},     // a full disk
        {[](sim::SimRegistry& r) { r.CreateKeyPath(kMarker), r.DenyReadAccess(kMarker); }, false,
         true},
    };
    for (const auto& [fault, written, markerKept] : cases) {
        sim::SimDesktop other;
        sim::SimRegistry& r = other.Registry();
        r.CreateKeyPath(kRun);
        fault(r);
        FirstRun::Register(r, other.Forms());
        EXPECT_EQ(r.GetValue(kRun, kName).has_value(), written);
        EXPECT_EQ(r.KeyExists(kMarker), markerKept);
        EXPECT_TRUE(other.Forms().MessageBoxes().empty());
        EXPECT_EQ(r.OpenHandleCount(), 0u);
    }
}

TEST_F(SettingsTest, FirstRunLetsMarkerErrorsThroughButHandlesItsOwnAddErrors) {
    desk.Raise(SimCall::ProgramPath, "no path", 1);
    StartFirstTime();
    EXPECT_EQ(Warnings(), std::vector<std::string>{"no path"});
    EXPECT_FALSE(RunValue());
    EXPECT_TRUE(reg.KeyExists(kMarker)) << "the marker is still set after a handled error";

    reg.DeleteKey(kMarker);
    desk.Raise(SimCall::RegOpenKey, "open failed", 1);
    EXPECT_THROW(StartFirstTime(), std::runtime_error) << "the start-up's handler reports these";
    EXPECT_EQ(Warnings().size(), 1u);
}

}  // namespace
}  // namespace tb
