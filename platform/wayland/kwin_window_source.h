// The active window on KDE Plasma: KWin runs a script of ours (installed with the program) that
// sends the active window's visible frame and minimised state to the program over the session
// bus whenever they change; the program keeps the last word and answers the poll from it.
#pragma once

#include <dbus/dbus.h>

#include <memory>
#include <string>

#include "platform/linux/dbus_library.h"
#include "platform/linux/main_loop.h"
#include "platform/wayland/window_source.h"

namespace tb::linux_desktop::wayland {

// What the script says: the active window, or none.
struct KwinNews {
    WindowHandle window = 0;  // 0: no window is active
    Rect frame{};
    bool minimized = false;
};

enum class KwinMessage { News, NotOurs, Malformed };

// Reads one message that came to the program's name: a method call of the window-news interface
// fills `news`; any other message is NotOurs; a call of ours with the wrong arguments (or
// numbers no screen has) is Malformed and `news` is left alone.
KwinMessage ReadKwinMessage(DBusMessage* message, KwinNews& news);

// The bus names the script and the program agree on.
inline constexpr const char* kKwinNewsService = "example.velmor.Tapperbird";
inline constexpr const char* kKwinNewsPath = "/example/velmor/Tapperbird";
inline constexpr const char* kKwinNewsInterface = "example.velmor.Tapperbird.WindowNews";

class KwinWindowSource final : public WindowSource, public ConnectionWatch {
  public:
    // On the session bus when KWin answers there: takes the program's name, loads the script at
    // `scriptPath` and runs it, and waits up to `timeoutMs` for its first news. Null, with the
    // reason in `why`, when any of it fails.
    static std::unique_ptr<KwinWindowSource> Connect(const std::string& scriptPath, int timeoutMs,
                                                     std::string& why);
    // Unloads the script (without waiting long for KWin) and leaves the bus.
    ~KwinWindowSource() override;
    KwinWindowSource(const KwinWindowSource&) = delete;
    KwinWindowSource& operator=(const KwinWindowSource&) = delete;

    void Attach(MainLoop& loop) override;
    void Leave() override { Unload(); }

    void Poll() override {}
    WindowHandle Active() const override { return news_.window; }
    bool Frame(WindowHandle window, Rect& frame) const override;
    bool Visible(WindowHandle window) const override;

    // ConnectionWatch
    bool PrepareToWait() override;
    bool EventsQueued() override;
    void DispatchEvents() override;

  private:
    explicit KwinWindowSource(DbusConnection bus);
    // Asks KWin to unload the script, waiting a moment at most.
    void Unload();
    // Settles every message that has arrived; true while the bus is up.
    bool HandleMessages();
    void Stop(const char* why);

    DbusConnection bus_;
    MainLoop* loop_ = nullptr;
    KwinNews news_;
    bool newsSeen_ = false;
    bool scriptLoaded_ = false;
    bool malformedSaid_ = false;
};

}  // namespace tb::linux_desktop::wayland
