// Timers on the hidden host window, screen metrics from the primary monitor's DPI, and the rest
// of the forms runtime.
#include "platform/win32/win32_forms.h"

#include <algorithm>

#include "platform/units.h"
#include "platform/win32/win32_resources.h"
#include "platform/win32/win32_text.h"

namespace tb::win32 {

namespace {

constexpr wchar_t kHostClass[] = L"TapperbirdHost";
constexpr int kMdtEffectiveDpi = 0;

// GetDpiForMonitor lives in shcore.dll (Windows 8.1 on); looked up rather than imported, so the
// program still starts where it is missing and every monitor then has the primary's DPI.
using GetDpiForMonitorFn = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);

GetDpiForMonitorFn LookUpGetDpiForMonitor() {
    HMODULE shcore = ::GetModuleHandleW(L"shcore.dll");
    if (shcore == nullptr) {
        shcore = ::LoadLibraryExW(L"shcore.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    }
    if (shcore == nullptr) {
        return nullptr;
    }
    return ProcAs<GetDpiForMonitorFn>(::GetProcAddress(shcore, "GetDpiForMonitor"));
}

// The primary monitor's DPI; without GetDpiForMonitor, the screen device context's, which is
// the system DPI.
void ReadPrimaryDpi(int& dpiX, int& dpiY) {
    const GetDpiForMonitorFn getDpi = LookUpGetDpiForMonitor();
    HMONITOR primary = ::MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY);
    UINT x = 0;
    UINT y = 0;
    if (getDpi != nullptr && getDpi(primary, kMdtEffectiveDpi, &x, &y) == S_OK && x > 0 && y > 0) {
        dpiX = static_cast<int>(x);
        dpiY = static_cast<int>(y);
        return;
    }
    WindowDc screen(nullptr);
    if (screen.get() != nullptr) {
        dpiX = std::max(1, ::GetDeviceCaps(screen.get(), LOGPIXELSX));
        dpiY = std::max(1, ::GetDeviceCaps(screen.get(), LOGPIXELSY));
    }
}

}  // namespace

class Win32FormsRuntime::Win32Timer final : public Timer {
  public:
    Win32Timer(Win32FormsRuntime& owner, UINT_PTR id, UINT intervalMs, std::function<void()> onTick)
        : owner_(owner), id_(id), intervalMs_(intervalMs), onTick_(std::move(onTick)) {}
    ~Win32Timer() override {
        SetEnabled(false);
        owner_.Forget(this);
    }
    Win32Timer(const Win32Timer&) = delete;
    Win32Timer& operator=(const Win32Timer&) = delete;

    void SetEnabled(bool enabled) override {
        // Re-enabling a running timer must not restart its period, so only changes reach Win32.
        if (enabled == enabled_) {
            return;
        }
        if (enabled) {
            enabled_ = ::SetTimer(owner_.HostWindow(), id_, intervalMs_, nullptr) != 0;
        } else {
            ::KillTimer(owner_.HostWindow(), id_);
            enabled_ = false;
        }
    }
    bool Enabled() const override { return enabled_; }

    UINT_PTR Id() const { return id_; }
    void Tick() {
        if (enabled_ && onTick_) {
            onTick_();
        }
    }

  private:
    Win32FormsRuntime& owner_;
    UINT_PTR id_;
    UINT intervalMs_;  // ms
    std::function<void()> onTick_;
    bool enabled_ = false;
};

Win32FormsRuntime::Win32FormsRuntime(HINSTANCE instance) : instance_(instance) {
    ReadPrimaryDpi(dpiX_, dpiY_);
    twipsPerPixelX_ = TwipsPerPixelForDpi(dpiX_);
    twipsPerPixelY_ = TwipsPerPixelForDpi(dpiY_);
    appIcon_.reset(static_cast<HICON>(
        ::LoadImageW(instance, MAKEINTRESOURCEW(TB_IDI_APP), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE)));
    RegisterTrampolineClass(instance, kHostClass, appIcon_.get(), nullptr);
    // Never shown: it holds the timers, owns the popup menu and carries the program's title.
    host_.reset(CreateRoutedWindow(instance, kHostClass, L"Tapperbird", WS_POPUP, WS_EX_TOOLWINDOW,
                                   0, 0, 0, 0, nullptr, *this, "host window"));
    RefreshMonitors();
}

namespace {

struct MonitorWalk {
    std::vector<Monitor>* monitors;
    GetDpiForMonitorFn getDpi;
    int fallbackDpi;
};

BOOL CALLBACK AddMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM data) {
    auto& walk = *reinterpret_cast<MonitorWalk*>(data);
    MONITORINFO info{};
    info.cbSize = sizeof(info);
    if (!::GetMonitorInfoW(monitor, &info)) {
        return TRUE;
    }
    UINT dpiX = 0;
    UINT dpiY = 0;
    const bool known = walk.getDpi != nullptr &&
                       SUCCEEDED(walk.getDpi(monitor, kMdtEffectiveDpi, &dpiX, &dpiY)) && dpiX > 0;
    const Monitor m{
        Rect{info.rcMonitor.left, info.rcMonitor.top, info.rcMonitor.right, info.rcMonitor.bottom},
        (known ? static_cast<double>(dpiX) : walk.fallbackDpi) / 96.0};
    // The primary monitor goes first.
    if ((info.dwFlags & MONITORINFOF_PRIMARY) != 0) {
        walk.monitors->insert(walk.monitors->begin(), m);
    } else {
        walk.monitors->push_back(m);
    }
    return TRUE;
}

}  // namespace

void Win32FormsRuntime::RefreshMonitors() {
    monitors_.clear();
    MonitorWalk walk{&monitors_, LookUpGetDpiForMonitor(), dpiX_};
    ::EnumDisplayMonitors(nullptr, nullptr, &AddMonitor, reinterpret_cast<LPARAM>(&walk));
}

int Win32FormsRuntime::PrimaryDpi() const {
    return monitors_.empty() ? dpiY_ : static_cast<int>(monitors_.front().scale * 96.0 + 0.5);
}

Win32FormsRuntime::~Win32FormsRuntime() {
    host_.reset();
}

std::unique_ptr<Timer> Win32FormsRuntime::CreateTimer(std::int32_t intervalMs,
                                                      std::function<void()> onTick) {
    const UINT interval = static_cast<UINT>(std::max<std::int32_t>(intervalMs, USER_TIMER_MINIMUM));
    auto timer = std::make_unique<Win32Timer>(*this, nextTimerId_++, interval, std::move(onTick));
    timers_.push_back(timer.get());
    return timer;
}

void Win32FormsRuntime::Forget(const Win32Timer* timer) {
    timers_.erase(std::remove(timers_.begin(), timers_.end(), timer), timers_.end());
}

double Win32FormsRuntime::ScreenWidthTwips() {
    return ::GetSystemMetrics(SM_CXSCREEN) * static_cast<double>(twipsPerPixelX_);
}

double Win32FormsRuntime::ScreenHeightTwips() {
    return ::GetSystemMetrics(SM_CYSCREEN) * static_cast<double>(twipsPerPixelY_);
}

Rect Win32FormsRuntime::DesktopBounds() {
    const int left = ::GetSystemMetrics(SM_XVIRTUALSCREEN);
    const int top = ::GetSystemMetrics(SM_YVIRTUALSCREEN);
    const int width = ::GetSystemMetrics(SM_CXVIRTUALSCREEN);
    const int height = ::GetSystemMetrics(SM_CYVIRTUALSCREEN);
    if (width <= 0 || height <= 0) {
        return Rect{0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
    }
    return Rect{left, top, left + width, top + height};
}

std::string Win32FormsRuntime::ProgramPath() {
    // Paths may exceed MAX_PATH; grow until the whole name fits.
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) {
            return {};
        }
        if (length < path.size()) {
            path.resize(length);
            return Narrow(path);
        }
        if (path.size() >= 32768) {
            return {};
        }
        path.resize(path.size() * 2);
    }
}

void Win32FormsRuntime::MessageBox(std::string_view text, std::string_view title,
                                   std::int32_t style) {
    ::MessageBoxW(nullptr, Widen(text).c_str(), Widen(title).c_str(), static_cast<UINT>(style));
}

void Win32FormsRuntime::EndProgram() {
    // At once: no window gets a close message and nothing is saved.
    ::ExitProcess(0);
}

LRESULT Win32FormsRuntime::HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_TIMER) {
        if (holds_ == 0 && !sessionEnding_) {
            for (Win32Timer* timer : timers_) {
                if (timer->Id() == wParam) {
                    timer->Tick();
                    break;
                }
            }
        }
        return 0;
    }
    if (message == WM_QUERYENDSESSION) {
        return TRUE;  // nothing to save: the user may log off or shut down at any time
    }
    if (message == WM_ENDSESSION && wParam != FALSE) {
        // Logging off or shutting down: no tick runs any more, and the message loop ends, so
        // the windows close and the program returns from WinMain before the system ends it.
        sessionEnding_ = true;
        ::PostQuitMessage(0);
        return 0;
    }
    if (message == WM_DISPLAYCHANGE || message == WM_DPICHANGED ||
        (message == WM_SETTINGCHANGE && wParam == SPI_SETWORKAREA)) {
        // A monitor came, went, moved or changed its scale.
        RefreshMonitors();
    }
    if (message == WM_CLOSE) {
        // Another program (an installer, say) asks the bird to leave: end the message loop so
        // that every window and handle is released on the way out.
        ::PostQuitMessage(0);
        return 0;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace tb::win32
