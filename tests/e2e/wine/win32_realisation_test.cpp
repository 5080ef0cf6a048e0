// Checks of the Win32 realisation against the real (Wine) user32, gdi32 and advapi32: the edge
// cases the end-to-end run cannot reach from outside. A failed check prints its line; the exit
// code is the number of failures.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "platform/units.h"
#include "platform/win32/win32_bird.h"
#include "platform/win32/win32_forms.h"
#include "platform/win32/win32_menu.h"
#include "platform/win32/win32_services.h"
#include "platform/win32/win32_text.h"
#include "platform/win32/win32_window_system.h"

namespace {

int failures = 0;
long allocations = 0;  // every operator new of this program counts here

#define CHECK(condition)                                                     \
    do {                                                                     \
        if (!(condition)) {                                                  \
            std::printf("FAIL %s:%d: %s\n", __FILE__, __LINE__, #condition); \
            ++failures;                                                      \
        }                                                                    \
    } while (false)

using namespace tb;
using namespace tb::win32;

void Pump(DWORD milliseconds) {
    const DWORD end = ::GetTickCount() + milliseconds;
    MSG message;
    while (static_cast<LONG>(end - ::GetTickCount()) > 0) {
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            ::DispatchMessageW(&message);
        }
    }
}

// A minimal 32-bit BMP: 2 x 2, bottom-up, with one opaque pixel at the top-left.
std::vector<std::uint8_t> TinyBmp(std::int32_t height = 2, std::uint16_t bits = 32) {
    std::vector<std::uint8_t> bmp(54 + 16, 0);
    bmp[0] = 'B';
    bmp[1] = 'M';
    bmp[10] = 54;
    bmp[14] = 40;
    bmp[18] = 2;
    std::memcpy(&bmp[22], &height, 4);
    bmp[26] = 1;
    std::memcpy(&bmp[28], &bits, 2);
    // Bottom-up: the last stored row is the top row; its first pixel is opaque red.
    const std::size_t topLeft = height > 0 ? 54 + 8 : 54;
    bmp[topLeft + 2] = 255;
    bmp[topLeft + 3] = 255;
    return bmp;
}

void TestText() {
    const std::string utf8 = "C:\\Program Files\\T\xC3\xABst \xE2\x98\x83\\Tapperbird.exe";
    const std::wstring wide = Widen(utf8);
    CHECK(wide.size() == 38);
    CHECK(wide[22] == 0x2603);
    CHECK(Narrow(wide) == utf8);
    CHECK(Widen("").empty());
    CHECK(ToAnsi("Software\\Velmor's Software") == "Software\\Velmor's Software");
}

void TestFrameBitmaps() {
    const auto bmp = TinyBmp();
    FrameBitmap frame = LoadFrameBitmap(bmp);
    CHECK(frame.width == 2 && frame.height == 2);
    CHECK(frame.AlphaAt(0, 0) == 255);
    CHECK(frame.AlphaAt(1, 0) == 0);
    CHECK(frame.AlphaAt(0, 1) == 0);
    CHECK(frame.AlphaAt(-1, 0) == 0 && frame.AlphaAt(2, 2) == 0);

    const auto topDown = TinyBmp(-2);
    CHECK(LoadFrameBitmap(topDown).AlphaAt(0, 0) == 255);

    const auto refused = [](std::vector<std::uint8_t> bytes) {
        try {
            LoadFrameBitmap(bytes);
            return false;
        } catch (const SetupError&) {
            return true;
        }
    };
    CHECK(refused(TinyBmp(2, 24)));
    auto truncated = TinyBmp();
    truncated.resize(60);
    CHECK(refused(truncated));
    auto notBmp = TinyBmp();
    notBmp[0] = 'X';
    CHECK(refused(notBmp));
    CHECK(refused({}));
}

void TestRegistry() {
    Win32Registry registry;
    const std::string path = "Software\\Tapperbird realisation test";
    KeyHandle key = 0;
    CHECK(registry.OpenKey(path + "\\missing", key) == kErrorFileNotFound);
    CHECK(key == 0);
    CHECK(registry.CreateKey(kHkeyCurrentUser, path, key) == kErrorSuccess);
    CHECK(key != 0);

    // Every character survives and the NUL is counted.
    const std::string data = "\"C:\\Program Files\\T\xC3\xABst \xE2\x98\x83\\Tapperbird.exe\"";
    CHECK(registry.SetStringValue(key, "Tapperbird", data) == kErrorSuccess);
    wchar_t wide[128] = {};
    DWORD bytes = sizeof(wide);
    DWORD type = 0;
    CHECK(::RegQueryValueExW(reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(key)),
                             L"Tapperbird", nullptr, &type, reinterpret_cast<BYTE*>(wide),
                             &bytes) == ERROR_SUCCESS);
    CHECK(type == REG_SZ);
    CHECK(bytes == (Widen(data).size() + 1) * sizeof(wchar_t));
    CHECK(Narrow(wide) == data);

    // A buffer too small: the size and the head of the data still arrive.
    const std::string longText(300, 'x');
    CHECK(registry.SetStringValue(key, "Long", longText) == kErrorSuccess);
    std::uint8_t head[8] = {};
    ValueType valueType = ValueType::None;
    std::uint32_t size = 0;
    CHECK(registry.QueryValue(key, "Long", valueType, head, sizeof(head), size) == kErrorMoreData);
    CHECK(valueType == ValueType::Sz);
    CHECK(size >= 300);
    CHECK(std::memcmp(head, "xxxxxxxx", 8) == 0);
    CHECK(registry.QueryValue(key, "Long", valueType, nullptr, 0, size) == kErrorSuccess);
    CHECK(size >= 300);

    // A value of another type is reported as it is.
    const DWORD number = 7;
    ::RegSetValueExA(reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(key)), "Number", 0,
                     REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof(number));
    std::uint8_t buffer[16] = {};
    CHECK(registry.QueryValue(key, "Number", valueType, buffer, sizeof(buffer), size) ==
          kErrorSuccess);
    CHECK(valueType == ValueType::Dword && size == 4 && buffer[0] == 7);

    CHECK(registry.DeleteValue(key, "Tapperbird") == kErrorSuccess);
    CHECK(registry.DeleteValue(key, "Tapperbird") == kErrorFileNotFound);
    CHECK(registry.QueryValue(key, "Tapperbird", valueType, buffer, sizeof(buffer), size) ==
          kErrorFileNotFound);

    KeyHandle readOnly = 0;
    CHECK(registry.OpenKeyEx(path, kKeyRead, readOnly) == kErrorSuccess);
    CHECK(registry.SetStringValue(readOnly, "Refused", "x") == kErrorAccessDenied);
    CHECK(registry.CloseKey(readOnly) == kErrorSuccess);

    CHECK(registry.CloseKey(key) == kErrorSuccess);
    CHECK(registry.CloseKey(kHkeyCurrentUser) == kErrorSuccess);
    CHECK(registry.CloseKey(0) == kErrorInvalidHandle);
    ::RegDeleteTreeA(HKEY_CURRENT_USER, path.c_str());
}

void TestShellAndMutex() {
    // An address nobody handles: the call returns, quietly, with no error box left behind.
    Win32Shell shell;
    const DWORD started = ::GetTickCount();
    shell.Open("tapperbird-no-such-scheme:nothing");
    CHECK(::GetTickCount() - started < 10000);
    Pump(300);
    DWORD pid = 0;
    HWND box = ::FindWindowW(L"#32770", nullptr);
    if (box != nullptr) {
        ::GetWindowThreadProcessId(box, &pid);
    }
    CHECK(pid != ::GetCurrentProcessId());

    // The mutex exists while its owner lives; a second Create opens the same one.
    Win32NamedMutex mutex;
    mutex.Create("Tapperbird realisation test");
    HANDLE seen = ::OpenMutexA(SYNCHRONIZE, FALSE, "Tapperbird realisation test");
    CHECK(seen != nullptr);
    mutex.Create("Tapperbird realisation test");
    CHECK(::GetLastError() == ERROR_ALREADY_EXISTS);
    if (seen != nullptr) {
        ::CloseHandle(seen);
    }
}

void TestWindowSystem() {
    Win32WindowSystem windows;
    HWND plain = ::CreateWindowExW(0, L"STATIC", L"plain", WS_POPUP, 10, 20, 300, 200, nullptr,
                                   nullptr, nullptr, nullptr);
    const WindowHandle handle = FromHwnd(plain);
    Rect rect;
    CHECK(windows.GetWindowRect(handle, rect));
    CHECK((rect == Rect{10, 20, 310, 220}));
    CHECK(!windows.IsWindowVisible(handle));
    ::ShowWindow(plain, SW_SHOWNOACTIVATE);
    CHECK(windows.IsWindowVisible(handle));
    ::ShowWindow(plain, SW_MINIMIZE);
    CHECK(!windows.IsWindowVisible(handle));
    ::ShowWindow(plain, SW_RESTORE);

    windows.MakeTopmost(handle, kSwpNoSize | kSwpNoMove | kSwpShowWindow | kSwpNoActivate);
    CHECK((::GetWindowLongW(plain, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0);
    CHECK(windows.GetWindowRect(handle, rect));
    CHECK((rect == Rect{10, 20, 310, 220}));

    // A window that closes between two calls: no rectangle, the old one kept, not visible.
    ::DestroyWindow(plain);
    Rect kept{1, 2, 3, 4};
    CHECK(!windows.GetWindowRect(handle, kept));
    CHECK((kept == Rect{1, 2, 3, 4}));
    CHECK(!windows.IsWindowVisible(handle));
    CHECK(!windows.GetWindowRect(0, kept));
}

void TestFormsRuntime(Win32FormsRuntime& forms) {
    const int dpi = forms.DpiY();
    CHECK(forms.TwipsPerPixelY() == TwipsPerPixelForDpi(dpi));
    CHECK(forms.ScreenWidthTwips() ==
          ::GetSystemMetrics(SM_CXSCREEN) * static_cast<double>(forms.TwipsPerPixelX()));
    const Rect desktop = forms.DesktopBounds();
    CHECK(desktop.Right - desktop.Left >= ::GetSystemMetrics(SM_CXSCREEN));
    const std::string path = forms.ProgramPath();
    CHECK(path.size() > 4 && path.substr(path.size() - 4) == ".exe");

    int fast = 0;
    int idle = 0;
    auto ticking = forms.CreateTimer(50, [&] { ++fast; });
    auto disabled = forms.CreateTimer(50, [&] { ++idle; });
    CHECK(!ticking->Enabled());
    ticking->SetEnabled(true);
    CHECK(ticking->Enabled());
    const long allocationsBefore = allocations;
    Pump(420);
    CHECK(allocations == allocationsBefore);  // a tick's dispatch allocates nothing
    CHECK(fast >= 4 && fast <= 9);
    CHECK(idle == 0);

    // Enabling again every 30 ms must not restart the period, or it would never tick.
    fast = 0;
    for (int i = 0; i < 10; ++i) {
        ticking->SetEnabled(true);
        Pump(30);
    }
    CHECK(fast >= 3);

    {
        Win32FormsRuntime::TimerHold hold(forms);
        fast = 0;
        Pump(200);
        CHECK(fast == 0);
    }
    Pump(200);
    CHECK(fast >= 2);

    ticking->SetEnabled(false);
    fast = 0;
    Pump(200);
    CHECK(fast == 0);
}

struct RecordingEvents final : BirdSurfaceEvents {
    void OnMouseDown(MouseButton button, std::int16_t shift, float x, float y) override {
        ++presses;
        lastButton = button;
        lastShift = shift;
        lastX = x;
        lastY = y;
    }
    int presses = 0;
    MouseButton lastButton = MouseButton::Left;
    std::int16_t lastShift = -1;
    float lastX = 0;
    float lastY = 0;
};

void TestBirdSurface(Win32FormsRuntime& forms) {
    Win32BirdSurface bird(forms);
    RecordingEvents events;
    bird.SetEvents(&events);
    HWND window = reinterpret_cast<HWND>(static_cast<std::uintptr_t>(bird.Handle()));
    CHECK(window != nullptr);
    const float tpp = forms.TwipsPerPixelY();
    bird.SetSizeTwips(PixelsToTwips(47, forms.TwipsPerPixelX()), PixelsToTwips(75, tpp));
    CHECK(bird.HeightTwips() == PixelsToTwips(75, tpp));
    bird.SetExtendedStyle(bird.GetExtendedStyle() | kWsExLayered);
    CHECK((bird.GetExtendedStyle() & kWsExLayered) != 0);
    CHECK((bird.GetExtendedStyle() & WS_EX_NOACTIVATE) != 0);
    bird.Show();
    CHECK(::IsWindowVisible(window));

    HWND before = ::GetForegroundWindow();
    Win32WindowSystem windows;
    Rect target;
    const long allocationsBefore = allocations;
    for (int i = 0; i < 300; ++i) {
        // What one tick does: ask about the foreground window, then present.
        const WindowHandle foreground = windows.GetForegroundWindow();
        windows.GetWindowRect(foreground, target);
        windows.IsWindowVisible(foreground);
        bird.Present(i % 6 + 1, Point{100 + i % 7, 50}, Size{43, 71});
    }
    CHECK(allocations == allocationsBefore);
    bird.Present(1, Point{100, 50}, Size{43, 71});
    RECT r{};
    ::GetWindowRect(window, &r);
    CHECK(r.left == 100 && r.top == 50 && r.right == 143 && r.bottom == 121);
    CHECK(bird.HeightTwips() == PixelsToTwips(71, tpp));
    CHECK(::GetForegroundWindow() == before);
    bird.Present(0, Point{0, 0}, Size{43, 71});  // out of range: ignored
    bird.Present(7, Point{0, 0}, Size{43, 71});
    ::GetWindowRect(window, &r);
    CHECK(r.left == 100);

    // Far off-screen points pass through unchanged.
    bird.Present(2, Point{28800, 16200}, Size{43, 71});
    ::GetWindowRect(window, &r);
    CHECK(r.left == 28800 && r.top == 16200);
    bird.Present(1, Point{100, 50}, Size{43, 71});

    // Hit-testing follows the shown frame's alpha: the top-left corner is empty in every frame.
    CHECK(::SendMessageW(window, WM_NCHITTEST, 0, MAKELPARAM(100, 50)) == HTTRANSPARENT);
    CHECK(::SendMessageW(window, WM_MOUSEACTIVATE, 0, 0) == MA_NOACTIVATE);

    ::SendMessageW(window, WM_RBUTTONDOWN, MK_RBUTTON | MK_SHIFT, MAKELPARAM(4, 30));
    CHECK(events.presses == 1);
    CHECK(events.lastButton == MouseButton::Right);
    CHECK((events.lastShift & 1) == 1);
    CHECK(events.lastX == 4 * forms.TwipsPerPixelX() && events.lastY == 30 * tpp);
    ::SendMessageW(window, WM_MBUTTONDOWN, MK_MBUTTON, MAKELPARAM(1, 1));
    ::SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON | MK_CONTROL, MAKELPARAM(1, 1));
    CHECK(events.presses == 3);
    CHECK(events.lastButton == MouseButton::Left && (events.lastShift & 2) == 2);

    bird.MoveTwips(PixelsToTwips(200, forms.TwipsPerPixelX()), -1);
    ::GetWindowRect(window, &r);
    CHECK(r.left == 200 && r.top == 0);
}

void TestMenu(Win32FormsRuntime& forms) {
    Win32PopupMenu menu(forms);
    const MenuEntry entries[] = {{MenuItem::About, MenuItemKind::Command, "About Tapperbird"},
                                 {MenuItem::Line1, MenuItemKind::Separator, "-"},
                                 {MenuItem::Start, MenuItemKind::Check, "Run at Startup"},
                                 {MenuItem::Exit, MenuItemKind::Command, "Exit"}};
    menu.Build(entries);
    CHECK(!menu.IsChecked(MenuItem::Start));
    menu.SetChecked(MenuItem::Start, true);
    CHECK(menu.IsChecked(MenuItem::Start));
    CHECK(!menu.IsChecked(MenuItem::About));
    menu.SetChecked(MenuItem::Start, false);
    CHECK(!menu.IsChecked(MenuItem::Start));
    CHECK(!menu.IsChecked(MenuItem::Donation));  // not in this menu at all
}

}  // namespace

void* operator new(std::size_t size) {
    ++allocations;
    if (void* block = std::malloc(size == 0 ? 1 : size)) {
        return block;
    }
    throw std::bad_alloc();
}
void operator delete(void* block) noexcept {
    std::free(block);
}
void operator delete(void* block, std::size_t) noexcept {
    std::free(block);
}

int main() {
    try {
        Win32FormsRuntime forms(::GetModuleHandleW(nullptr));
        TestText();
        TestFrameBitmaps();
        TestRegistry();
        TestWindowSystem();
        TestShellAndMutex();
        TestFormsRuntime(forms);
        TestBirdSurface(forms);
        TestMenu(forms);
    } catch (const std::exception& error) {
        std::printf("FAIL unexpected error: %s\n", error.what());
        ++failures;
    }
    std::printf("%s: %d failure(s)\n", failures == 0 ? "PASS" : "FAIL", failures);
    return failures;
}
