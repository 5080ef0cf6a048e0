// An in-memory desktop for tests and experiments: windows, a screen, a registry tree, a virtual
// clock and logs of what the program showed, all driven by helpers that read like a user's actions.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/platform.h"

namespace tb::sim {

using TimeMs = std::int64_t;  // ms of virtual time since the desktop was built

// Calls that a test can make throw std::runtime_error, to reach the program's error handlers.
// CloseKey is deliberately absent: it runs in destructors, where a throw would end the process.
enum class SimCall : std::uint8_t {
    RegOpenKey,
    RegCreateKey,
    RegOpenKeyEx,
    RegSetStringValue,
    RegDeleteValue,
    RegQueryValue,
    ProgramPath,
    BirdSetCaption,
    BirdSetSizeTwips,
    BirdSetExtendedStyle,
    BirdShow,
    MutexCreate,
    ShellOpen,
    AboutCreate,
};

// Window-system calls before which a test can have a window vanish, to model a window that
// closes between two calls the program makes.
enum class WindowCall : std::uint8_t { GetWindowRect, IsWindowVisible };

struct PresentRecord {
    Point point;
    Size size;
    int frameIndex = 0;  // 1..6
    TimeMs timeMs = 0;
    int scale = 1;  // how many times the frame was enlarged
};

struct TopmostRecord {
    WindowHandle window = 0;
    std::uint32_t flags = 0;
    TimeMs timeMs = 0;
};

struct PopupRecord {
    bool startChecked = false;  // the "Run at Startup" check mark as the menu showed it
    TimeMs timeMs = 0;
};

struct MessageBoxRecord {
    std::string text;
    std::string title;
    std::int32_t style = 0;
    TimeMs timeMs = 0;
};

struct TimerInfo {
    std::int32_t intervalMs = 0;
    bool enabled = false;
    TimeMs dueMs = 0;  // meaningful only while enabled
};

struct RegValue {
    ValueType type = ValueType::None;
    std::vector<std::uint8_t> data;
    friend bool operator==(const RegValue&, const RegValue&) = default;
};

// Case-insensitive (ASCII) ordering, as the registry compares key and value names.
struct NoCaseLess {
    bool operator()(std::string_view a, std::string_view b) const;
    using is_transparent = void;
};

class SimDesktop;

// ---------------------------------------------------------------------------------------------
// The window system: every window of the desktop, including the bird and the About window.
class SimWindowSystem final : public WindowSystem {
  public:
    explicit SimWindowSystem(SimDesktop& desk) : desk_(desk) {}

    WindowHandle GetForegroundWindow() override;
    bool GetWindowRect(WindowHandle window, Rect& rect) override;
    bool IsWindowVisible(WindowHandle window) override;
    void MakeTopmost(WindowHandle window, std::uint32_t swpFlags) override;

    // State, for tests.
    bool Exists(WindowHandle window) const;
    std::optional<Rect> RectOf(WindowHandle window) const;
    bool IsTopmost(WindowHandle window) const;
    const std::vector<TopmostRecord>& TopmostCalls() const { return topmostCalls_; }
    // True once any call of the program (MakeTopmost without kSwpNoActivate, a show that
    // activates) has made the bird window the foreground window.
    bool BirdEverActivated() const { return birdEverActivated_; }

  private:
    friend class SimDesktop;
    friend class SimBirdSurface;
    friend class SimAboutView;
    struct Window {
        WindowHandle handle = 0;
        Rect rect;
        bool visible = false;
        bool topmost = false;
    };
    Window* Find(WindowHandle window);
    const Window* Find(WindowHandle window) const;
    WindowHandle Add(Rect rect, bool visible);
    void Remove(WindowHandle window);
    // Makes `window` the foreground window; true when it was not already.
    bool SetForeground(WindowHandle window);
    void RunVanishHook(WindowCall call);

    SimDesktop& desk_;
    std::vector<Window> windows_;
    WindowHandle nextHandle_ = 0x10010;
    WindowHandle foreground_ = 0;
    WindowHandle previousForeground_ = 0;
    std::vector<TopmostRecord> topmostCalls_;
    bool birdEverActivated_ = false;
    std::optional<std::pair<WindowCall, WindowHandle>> vanishBefore_;
    std::optional<WindowHandle> foregroundOnShow_;
};

// ---------------------------------------------------------------------------------------------
// The bird window. Its rectangle lives in the window system, in pixels; twips are derived.
class SimBirdSurface final : public BirdSurface {
  public:
    explicit SimBirdSurface(SimDesktop& desk) : desk_(desk) {}

    void SetEvents(BirdSurfaceEvents* events) override { events_ = events; }
    WindowHandle Handle() const override { return handle_; }
    void SetCaption(std::string_view caption) override;
    void SetSizeTwips(std::int32_t widthTwips, std::int32_t heightTwips) override;
    void MoveTwips(std::int32_t leftTwips, std::int32_t topTwips) override;
    std::int32_t HeightTwips() const override;
    std::int32_t GetExtendedStyle() override { return exStyle_; }
    void SetExtendedStyle(std::int32_t style) override;
    // Shows the window without activating it.
    void Show() override;
    // Moves and sizes the window and logs the presentation; throws std::invalid_argument for a
    // frame index outside 1..6. Allocation-free while the log has room (see ReservePresentLog).
    void Present(int frameIndex, int scale, Point topLeft, Size size) override;

    // State, for tests.
    const std::string& Caption() const { return caption_; }
    Rect WindowRect() const;  // pixels
    std::int32_t LeftTwips() const;
    std::int32_t TopTwips() const;
    std::int32_t WidthTwips() const;
    bool Shown() const { return shown_; }
    std::int32_t ExtendedStyle() const { return exStyle_; }
    bool HasEvents() const { return events_ != nullptr; }

    // The presentation log. With keepAll false only the count and the last entry are kept, so
    // long runs and the benchmark never allocate.
    void ReservePresentLog(std::size_t entries) { presents_.reserve(entries); }
    void KeepAllPresents(bool keepAll) { keepAllPresents_ = keepAll; }
    const std::vector<PresentRecord>& Presents() const { return presents_; }
    std::int64_t PresentCount() const { return presentCount_; }
    std::optional<PresentRecord> LastPresent() const;
    void ClearPresentLog();

  private:
    friend class SimDesktop;
    friend class SimWindowSystem;
    SimDesktop& desk_;
    BirdSurfaceEvents* events_ = nullptr;
    WindowHandle handle_ = 0;
    std::string caption_;
    std::int32_t exStyle_ = 0;
    bool shown_ = false;
    bool keepAllPresents_ = true;
    std::vector<PresentRecord> presents_;
    std::int64_t presentCount_ = 0;
    PresentRecord lastPresent_;
};

// ---------------------------------------------------------------------------------------------
// Timers on the virtual clock, screen metrics, program identity, message boxes, the program's end.
class SimForms final : public FormsRuntime {
  public:
    explicit SimForms(SimDesktop& desk) : desk_(desk) {}
    ~SimForms() override;

    // The desktop must outlive every timer it hands out.
    std::unique_ptr<Timer> CreateTimer(std::int32_t intervalMs,
                                       std::function<void()> onTick) override;
    double ScreenWidthTwips() override;
    double ScreenHeightTwips() override;
    float TwipsPerPixelX() override;
    float TwipsPerPixelY() override;
    Rect DesktopBounds() override;
    std::span<const Monitor> Monitors() override;
    std::string ProgramPath() override;
    void MessageBox(std::string_view text, std::string_view title, std::int32_t style) override;
    void EndProgram() override;

    // State, for tests.
    const std::vector<MessageBoxRecord>& MessageBoxes() const { return messageBoxes_; }
    bool Ended() const { return ended_; }
    std::vector<TimerInfo> Timers() const;  // in creation order, live timers only

  private:
    friend class SimDesktop;
    class SimTimer;
    TimeMs NowMs() const;
    // The enabled timer due first at or before `limitMs`, ties to the earliest created.
    SimTimer* NextDue(TimeMs limitMs) const;
    void Fire(SimTimer& timer);
    SimDesktop& desk_;
    std::vector<SimTimer*> timers_;  // creation order; the clock's tie-break
    std::uint64_t nextTimerSeq_ = 0;
    std::vector<MessageBoxRecord> messageBoxes_;
    bool ended_ = false;
};

// ---------------------------------------------------------------------------------------------
// An HKEY_CURRENT_USER tree. Key paths are relative to the hive, separated by '\', and compared
// without regard to case. Write access means any of KEY_SET_VALUE (0x2) or KEY_CREATE_SUB_KEY
// (0x4); read access means KEY_QUERY_VALUE (0x1). OpenKey and CreateKey give full access, or
// read access only on a key whose write access is refused (as MAXIMUM_ALLOWED does).
class SimRegistry final : public Registry {
  public:
    explicit SimRegistry(SimDesktop& desk) : desk_(desk) {}

    RegResult OpenKey(std::string_view path, KeyHandle& key) override;
    RegResult CreateKey(KeyHandle parent, std::string_view subPath, KeyHandle& key) override;
    RegResult OpenKeyEx(std::string_view path, std::uint32_t access, KeyHandle& key) override;
    RegResult SetStringValue(KeyHandle key, std::string_view name,
                             std::string_view utf8Data) override;
    RegResult DeleteValue(KeyHandle key, std::string_view name) override;
    RegResult DeleteKey(KeyHandle parent, std::string_view subKey) override;
    // A buffer too small gets the part that fits and kErrorMoreData; a null buffer gets only
    // the type and size, with kErrorSuccess.
    RegResult QueryValue(KeyHandle key, std::string_view name, ValueType& type,
                         std::uint8_t* buffer, std::uint32_t capacity,
                         std::uint32_t& size) override;
    RegResult CloseKey(KeyHandle key) override;

    // The tree, for tests.
    bool KeyExists(std::string_view path) const;
    std::optional<RegValue> GetValue(std::string_view path, std::string_view name) const;
    // Creates the key and its parents as needed.
    void SetValue(std::string_view path, std::string_view name, ValueType type,
                  std::vector<std::uint8_t> data);
    // A REG_SZ value holding `text` and its terminating NUL.
    void SetString(std::string_view path, std::string_view name, std::string_view text);
    void CreateKeyPath(std::string_view path);
    // Deletes the key with everything below it; open handles to it go stale.
    void DeleteKey(std::string_view path);
    std::size_t OpenHandleCount() const { return handles_.size(); }

    // Faults.
    void DenyWriteAccess(std::string_view path);   // opening this key for writing is refused
    void DenyReadAccess(std::string_view path);    // opening this key for reading is refused
    void DenyCreate(std::string_view pathPrefix);  // creating a key at or below this is refused
    void RefuseValues(std::string_view path);      // storing a value here fails, as on a full disk

    // Returned for a handle whose key has since been deleted (ERROR_KEY_DELETED).
    static constexpr RegResult kErrorKeyDeleted = 1018;

  private:
    struct Key {
        std::map<std::string, Key, NoCaseLess> subkeys;
        std::map<std::string, RegValue, NoCaseLess> values;
    };
    struct OpenHandle {
        std::vector<std::string> path;  // segments below the hive
        std::uint32_t access = 0;
    };
    Key* Resolve(const std::vector<std::string>& path);
    const Key* Resolve(const std::vector<std::string>& path) const;
    RegResult Lookup(KeyHandle key, std::uint32_t neededAccess, Key*& out);
    KeyHandle NewHandle(std::vector<std::string> path, std::uint32_t access);
    bool WriteDenied(const std::vector<std::string>& path) const;
    bool ReadDenied(const std::vector<std::string>& path) const;
    bool CreateDenied(const std::vector<std::string>& path) const;

    SimDesktop& desk_;
    Key root_;
    std::map<KeyHandle, OpenHandle> handles_;
    KeyHandle nextHandle_ = 0x1000;
    std::vector<std::vector<std::string>> denyWrite_, denyRead_, denyCreate_, refuseValues_;
};

// ---------------------------------------------------------------------------------------------
class SimShell final : public Shell {
  public:
    explicit SimShell(SimDesktop& desk) : desk_(desk) {}
    void Open(std::string_view target) override;
    const std::vector<std::string>& Opened() const { return opened_; }

  private:
    SimDesktop& desk_;
    std::vector<std::string> opened_;
};

class SimMutex final : public NamedMutex {
  public:
    explicit SimMutex(SimDesktop& desk) : desk_(desk) {}
    void Create(std::string_view name) override;
    const std::vector<std::string>& Created() const { return created_; }

  private:
    SimDesktop& desk_;
    std::vector<std::string> created_;
};

// ---------------------------------------------------------------------------------------------
// The popup menu. Popup() records and returns; the user's choice arrives afterwards through
// SimDesktop::Choose, as a posted command does.
class SimMenu final : public PopupMenu {
  public:
    explicit SimMenu(SimDesktop& desk) : desk_(desk) {}
    void SetEvents(MenuEvents* events) override { events_ = events; }
    void Build(std::span<const MenuEntry> entries) override;
    void SetChecked(MenuItem item, bool checked) override;
    bool IsChecked(MenuItem item) const override;
    void Popup() override;

    struct Entry {
        MenuItem id;
        MenuItemKind kind;
        std::string caption;
        bool checked = false;
    };
    const std::vector<Entry>& Entries() const { return entries_; }
    int BuildCount() const { return buildCount_; }
    const std::vector<PopupRecord>& Popups() const { return popups_; }
    bool IsOpen() const { return open_; }

  private:
    friend class SimDesktop;
    const Entry* Find(MenuItem item) const;
    SimDesktop& desk_;
    MenuEvents* events_ = nullptr;
    std::vector<Entry> entries_;
    int buildCount_ = 0;
    std::vector<PopupRecord> popups_;
    bool open_ = false;
};

// ---------------------------------------------------------------------------------------------
// The About window: a normal window of the desktop while created. Show() centres it on its first
// show, makes it visible and the foreground window, and delivers OnActivate when it was not
// already the foreground window.
class SimAboutView final : public AboutView {
  public:
    explicit SimAboutView(SimDesktop& desk) : desk_(desk) {}
    void SetEvents(AboutViewEvents* events) override { events_ = events; }
    void Create(const AboutDesign& design) override;
    void SetText(AboutControlId id, std::string_view text) override;
    void Show() override;
    WindowHandle Handle() const override { return handle_; }

    // State, for tests.
    bool Created() const { return handle_ != 0; }
    bool Shown() const { return shown_; }
    bool Centred() const { return centred_; }
    int CreateCount() const { return createCount_; }
    int ShowCount() const { return showCount_; }
    int ActivateCount() const { return activateCount_; }
    const std::string& Caption() const { return caption_; }
    // The caption of a control: the design's text until SetText replaces it; empty when absent.
    std::string Text(AboutControlId id) const;
    bool IsClickable(AboutControlId id) const;

  private:
    friend class SimDesktop;
    friend class SimWindowSystem;
    void Destroy();
    struct Control {
        AboutControlId id;
        std::string text;
        bool handCursor = false;
    };
    SimDesktop& desk_;
    AboutViewEvents* events_ = nullptr;
    WindowHandle handle_ = 0;
    std::string caption_;
    std::vector<Control> controls_;
    std::int32_t clientWidthTwips_ = 0, clientHeightTwips_ = 0;
    bool shown_ = false, centred_ = false;
    int createCount_ = 0, showCount_ = 0, activateCount_ = 0;
};

// ---------------------------------------------------------------------------------------------
// The random source: the program's generator by default, or a script of values for a test.
class SimRandom final : public RandomSource {
  public:
    float NextSingle() override;
    // The next draws return these values in order; when they run out NextSingle throws
    // std::out_of_range, so a test that draws more than it scripted fails loudly.
    void Script(std::vector<float> values);
    void UseGenerator();  // back to the generator, continuing its sequence
    std::int64_t Draws() const { return draws_; }

  private:
    Lcg24Random lcg_;
    bool scripted_ = false;
    std::vector<float> script_;
    std::size_t next_ = 0;
    std::int64_t draws_ = 0;
};

// ---------------------------------------------------------------------------------------------
// The desktop. Build one, hand GetPlatform() to the program, then drive it.
class SimDesktop {
  public:
    SimDesktop();
    ~SimDesktop();
    SimDesktop(const SimDesktop&) = delete;
    SimDesktop& operator=(const SimDesktop&) = delete;

    Platform& GetPlatform() { return platform_; }

    SimWindowSystem& Windows() { return windows_; }
    SimBirdSurface& Bird() { return bird_; }
    SimForms& Forms() { return forms_; }
    SimRegistry& Registry() { return registry_; }
    SimShell& Shell() { return shell_; }
    SimMutex& Mutex() { return mutex_; }
    SimMenu& Menu() { return menu_; }
    SimAboutView& About() { return about_; }
    SimRandom& Random() { return random_; }

    // Screen: primary monitor at (0, 0), default 1920 x 1080 at 96 DPI; its scale is its DPI / 96.
    void SetScreen(std::int32_t widthPixels, std::int32_t heightPixels, int dpi = 96);
    void SetDpi(int dpiX, int dpiY);
    // A further monitor, extending DesktopBounds, with its own scale.
    void AddMonitor(Rect bounds, double scale = 1.0);
    std::int32_t ScreenWidthPixels() const { return screenWidth_; }
    std::int32_t ScreenHeightPixels() const { return screenHeight_; }
    float TppX() const;  // twips per pixel
    float TppY() const;

    // The running program's file, UTF-8; default "C:\Program Files\Tapperbird\Tapperbird.exe".
    void SetProgramPath(std::string path) { programPath_ = std::move(path); }
    const std::string& ProgramPathValue() const { return programPath_; }

    // Windows, as a user moves them about.
    WindowHandle AddWindow(Rect rect, bool visible = true);
    void Activate(WindowHandle window);       // the user brings it to the foreground
    void SetForeground(WindowHandle window);  // same as Activate; 0 leaves no foreground window
    void MoveWindow(WindowHandle window, Rect rect);
    void SetVisible(WindowHandle window, bool visible);
    // The handle becomes invalid. If it was the foreground window, the foreground returns to
    // the window that had it before, when that one is still open, otherwise to none.
    void CloseWindow(WindowHandle window);
    // `window` closes just before the next call of `call` the program makes.
    void CloseWindowBefore(WindowCall call, WindowHandle window);
    // `window` takes the foreground as the bird is next shown, as a real desktop may hand it over
    // then: to a window that came up meanwhile, or to the bird itself despite the no-activate show.
    void ForegroundOnBirdShow(WindowHandle window);

    // The user's hands. Each throws std::logic_error when the act is impossible (the program
    // has ended, the bird is not shown, no menu is open, the About window is not open), so a
    // mistaken scenario fails instead of passing vacuously.
    void ClickBird(MouseButton button);
    void Choose(MenuItem item);  // picks an item of the open menu
    void DismissMenu();          // closes the open menu without a choice
    void CloseAbout();           // close box: OnUnload, then the window is destroyed
    void ActivateAbout();        // clicks the About window into the foreground
    // Clicks a control; only hand-cursor controls react. Returns whether an event was sent.
    bool ClickAbout(AboutControlId id);

    // The virtual clock. Timers fire in due order, ties in creation order; never sleeps.
    TimeMs Now() const { return now_; }
    int RunFor(TimeMs durationMs);  // returns the number of timer ticks delivered
    int AdvanceTo(TimeMs timeMs);
    // Delivers the next due tick, wherever it lies in time; false when no timer is enabled.
    bool Step();

    // Makes `call` throw std::runtime_error(message) `times` times (-1: until cleared).
    void Raise(SimCall call, std::string message, int times = -1);
    void ClearRaises();

    // Reserves every log on the per-tick path, so a run of that many entries never allocates.
    void ReserveLogs(std::size_t entries);

  private:
    friend class SimWindowSystem;
    friend class SimBirdSurface;
    friend class SimForms;
    friend class SimRegistry;
    friend class SimShell;
    friend class SimMutex;
    friend class SimMenu;
    friend class SimAboutView;

    void MaybeRaise(SimCall call);
    void RequireRunning(const char* act) const;
    void EndProgramNow();

    SimWindowSystem windows_;
    SimBirdSurface bird_;
    SimForms forms_;
    SimRegistry registry_;
    SimShell shell_;
    SimMutex mutex_;
    SimMenu menu_;
    SimAboutView about_;
    SimRandom random_;
    Platform platform_;

    std::int32_t screenWidth_ = 1920, screenHeight_ = 1080;
    int dpiX_ = 96, dpiY_ = 96;
    std::vector<Monitor> monitors_{Monitor{Rect{0, 0, 1920, 1080}, 1.0}};  // primary first
    std::string programPath_ = "C:\\Program Files\\Tapperbird\\Tapperbird.exe";
    TimeMs now_ = 0;
    bool running_ = false;  // inside RunFor/AdvanceTo/Step

    struct RaiseRule {
        std::string message;
        int remaining = -1;
    };
    std::map<SimCall, RaiseRule> raises_;
};

}  // namespace tb::sim
