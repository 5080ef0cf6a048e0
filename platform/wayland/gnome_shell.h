// The program on GNOME Shell, which lets no client place its own window: our Shell extension
// draws the bird and shows its menu where the program says, and tells the program about the
// focused window, the monitors, presses on the bird and the item chosen, all over the session
// bus. The program decides everything; the extension only shows and reports.
#pragma once

#include <dbus/dbus.h>

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/linux/dbus_library.h"
#include "platform/linux/gtk_module.h"
#include "platform/linux/main_loop.h"
#include "platform/linux/window_systems.h"
#include "platform/menu.h"
#include "platform/wayland/bird_pixels.h"
#include "platform/wayland/window_source.h"

namespace tb::linux_desktop::wayland {

// The names both sides agree on. The interfaces carry their version in their names; Hello
// checks it once more.
inline constexpr std::uint32_t kShellVersion = 1;
inline constexpr const char* kProgramBusName = "example.velmor.Tapperbird";
inline constexpr const char* kProgramPath = "/example/velmor/Tapperbird";
inline constexpr const char* kShellNewsInterface = "example.velmor.Tapperbird.ShellNews1";
inline constexpr const char* kShellBusName = "example.velmor.Tapperbird.Shell";
inline constexpr const char* kShellPath = "/example/velmor/Tapperbird/Shell";
inline constexpr const char* kShellInterface = "example.velmor.Tapperbird.Shell1";
inline constexpr const char* kExtensionUuid = "tapperbird@example.velmor.Tapperbird";

// What one message of the extension says.
enum class ShellMessage { Window, Monitors, Pressed, MenuChosen, NotOurs, Malformed };

struct ShellNews {
    // Window: the focused window (0 for none), its visible frame, hidden or minimised.
    WindowHandle window = 0;
    Rect frame{};
    bool hidden = false;
    // Monitors: their places and whole-number scales.
    std::vector<OutputPlace> monitors;
    // Pressed: the button (1 left, 2 middle, 3 right) and the point on the bird.
    unsigned button = 0;
    Point press{};
    // MenuChosen: the item.
    MenuItem item = MenuItem::About;
};

// Reads one message of the news interface into the fields of its kind; any other message is
// NotOurs, and a message of ours with the wrong arguments (or numbers no screen has) is
// Malformed and leaves `news` alone. Whom it came from is the caller's to judge.
ShellMessage ReadShellMessage(DBusMessage* message, ShellNews& news);

// A press on the bird, in its own logical pixels.
class ShellPressTarget {
  public:
    virtual ~ShellPressTarget() = default;
    virtual void OnShellPress(unsigned button, int x, int y) = 0;
};

class GnomeShellLink final : public WindowSource,
                             public ConnectionWatch,
                             public GtkHost,
                             public OutputList {
  public:
    // On the session bus when our extension answers there in this version: takes the program's
    // name, says hello and waits up to `timeoutMs` for the monitors. Null, with the reason in
    // `why`, when any of it fails. An extension the Shell knows but runs not is enabled, once
    // in the user's life (`configHome` keeps that it was): after that, off is the user's choice.
    // An extension the Shell will know only after a new login is left in `notice` for the user,
    // the first time only.
    static std::unique_ptr<GnomeShellLink> Connect(int timeoutMs, const std::string& configHome,
                                                   std::string& why, UserNotice& notice);
    ~GnomeShellLink() override;
    GnomeShellLink(const GnomeShellLink&) = delete;
    GnomeShellLink& operator=(const GnomeShellLink&) = delete;

    // What the program asks of the extension; nothing is sent once the bus or the Shell is gone.
    void Show(int frame, int scale, Point topLeft, Size size);
    void Hide();
    struct MenuLine {
        MenuItem id;
        MenuItemKind kind;
        std::string caption;
        bool checked;
    };
    void ShowMenu(Point at, std::span<const MenuLine> lines);

    void SetPressTarget(ShellPressTarget* target) { pressTarget_ = target; }
    void SetMenuEvents(MenuEvents* events) { menuEvents_ = events; }

    // WindowSource
    void Attach(MainLoop& loop) override;
    void Leave() override;
    void Poll() override {}
    WindowHandle Active() const override { return window_; }
    bool Frame(WindowHandle window, Rect& frame) const override;
    bool Visible(WindowHandle window) const override;

    // ConnectionWatch
    bool PrepareToWait() override;
    bool EventsQueued() override;
    void DispatchEvents() override;

    // OutputList
    const std::vector<OutputPlace>& outputs() const override { return outputs_; }
    std::uint64_t outputsEpoch() const override { return outputsEpoch_; }
    bool placesInPixels() const override { return true; }
    void Flush() override;

    // GtkHost: the menu is the Shell's, so little is asked of the program.
    void EnterPopup() override {}
    void LeavePopup() override {}
    void AddOwnWindow(unsigned long, OwnTopLevel*) override {}
    void RemoveOwnWindow(unsigned long) override {}
    void MarkRepaintBird() override {}
    PressPlace LastPress() const override { return lastPress_; }
    void ReleasePointer() override {}
    void SetLastPress(const PressPlace& press) { lastPress_ = press; }

  private:
    explicit GnomeShellLink(DbusConnection bus);
    // Settles every message that has arrived; true while the bus is up.
    bool HandleMessages();
    void Handle(DBusMessage* message);
    // The extension is gone (the Shell restarted, the extension disabled) or the bus closed.
    void Lose(const char* why, bool busGone);
    void Send(DBusMessage* message);

    DbusConnection bus_;
    std::string extension_;  // the extension's unique name on the bus; empty once it is gone
    MainLoop* loop_ = nullptr;
    ShellPressTarget* pressTarget_ = nullptr;
    MenuEvents* menuEvents_ = nullptr;
    ShellNews news_;
    WindowHandle window_ = 0;
    Rect frame_{};
    bool hidden_ = false;
    std::vector<OutputPlace> outputs_;
    std::uint64_t outputsEpoch_ = 0;
    PressPlace lastPress_;
    bool malformedSaid_ = false;
};

}  // namespace tb::linux_desktop::wayland
