// The yardstick the desktop benchmark holds Tapperbird.exe against under Wine: about the least a
// Windows program with a hidden window and two 100 ms timers can cost. It does nothing else and
// runs until its window is closed or the Wine prefix is shut down.
#include <windows.h>

namespace {

constexpr wchar_t kClass[] = L"TwoTimersYardstick";
constexpr UINT kPeriodMs = 100;
constexpr UINT_PTR kFirstTimer = 1;
constexpr UINT_PTR kSecondTimer = 2;

// Each tick only counts, so the timers stay live and the work per tick stays trivial.
volatile unsigned long ticks = 0;

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_TIMER:
            ticks = ticks + 1;
            return 0;
        case WM_DESTROY:
            ::PostQuitMessage(0);
            return 0;
        default:
            return ::DefWindowProcW(window, message, wParam, lParam);
    }
}

// The hidden window and its two timers, released in reverse order however the loop ends.
class TimedWindow {
  public:
    explicit TimedWindow(HINSTANCE instance)
        : window_(::CreateWindowExW(0, kClass, L"Two timers", WS_OVERLAPPED, 0, 0, 0, 0, nullptr,
                                    nullptr, instance, nullptr)) {
        if (window_ != nullptr) {
            first_ = ::SetTimer(window_, kFirstTimer, kPeriodMs, nullptr);
            second_ = ::SetTimer(window_, kSecondTimer, kPeriodMs, nullptr);
        }
    }
    ~TimedWindow() {
        if (second_ != 0) {
            ::KillTimer(window_, kSecondTimer);
        }
        if (first_ != 0) {
            ::KillTimer(window_, kFirstTimer);
        }
        if (window_ != nullptr && ::IsWindow(window_)) {
            ::DestroyWindow(window_);
        }
    }
    TimedWindow(const TimedWindow&) = delete;
    TimedWindow& operator=(const TimedWindow&) = delete;

    bool Ready() const { return window_ != nullptr && first_ != 0 && second_ != 0; }

  private:
    HWND window_;
    UINT_PTR first_ = 0;
    UINT_PTR second_ = 0;
};

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = instance;
    wc.lpszClassName = kClass;
    if (::RegisterClassW(&wc) == 0) {
        return 1;
    }
    TimedWindow timed(instance);
    if (!timed.Ready()) {
        return 1;
    }
    MSG message;
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        ::DispatchMessageW(&message);
    }
    return 0;
}
