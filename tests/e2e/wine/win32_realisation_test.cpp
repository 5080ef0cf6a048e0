// Checks of the Win32 realisation against the real (Wine) user32, gdi32 and advapi32: the edge
// cases the end-to-end run cannot reach from outside. A failed check prints its line; the exit
// code is the number of failures.
#include <windows.h>

#include <sddl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <vector>

#include "about/about_window.h"
#include "desktop/monitors.h"
#include "platform/units.h"
#include "platform/win32/win32_about.h"
#include "platform/win32/win32_bird.h"
#include "platform/win32/win32_forms.h"
#include "platform/win32/win32_resources.h"
#include "platform/win32/win32_services.h"
#include "platform/win32/win32_text.h"
#include "platform/win32/win32_window_system.h"
#include "settings/first_run.h"
#include "settings/startup_entry.h"

namespace {

int failures = 0;
long allocations = 0;  // every operator new of this program counts here

// True when the condition holds; else prints the line and counts a failure.
#define CHECK(condition) \
    ((condition) || (std::printf("FAIL line %d: %s\n", __LINE__, #condition), ++failures, false))

using namespace tb;
using namespace tb::win32;

// Dispatches messages for that long.
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

// The frames' exact bytes are pinned by the asset tests; here row order and refusing short data.
void TestFrameBitmaps(Win32FormsRuntime&) {
    // A 2 x 2 bottom-up BMP whose top-left pixel alone is opaque.
    std::vector<std::uint8_t> bmp = {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0, 40,
                                     0,   0,   0, 2, 0, 0, 0, 2, 0, 0, 0,  1, 0, 32};
    bmp.resize(54 + 16);
    bmp[54 + 8 + 3] = 255;
    const FrameBitmap frame = LoadFrameBitmap(bmp);
    CHECK(frame.width == 2 && frame.height == 2 && frame.AlphaAt(0, 0) == 255);
    CHECK(frame.AlphaAt(1, 0) == 0 && frame.AlphaAt(0, 1) == 0 && frame.AlphaAt(-1, 0) == 0 &&
          frame.AlphaAt(2, 2) == 0);
    bmp.resize(60);
    for (const auto& damaged : {bmp, std::vector<std::uint8_t>{}}) {
        try {
            LoadFrameBitmap(damaged);
            CHECK(!"short or empty data was taken");
        } catch (const SetupError&) {
        }
    }
}

void TestRegistry(Win32FormsRuntime&) {
    Win32Registry registry;
    const std::string path = "Software\\Tapperbird realisation test";
    KeyHandle key = 0, readOnly = 0;
    CHECK(registry.OpenKey(path + "\\missing", key) == kErrorFileNotFound && key == 0);
    CHECK(registry.CreateKey(kHkeyCurrentUser, path, key) == kErrorSuccess && key != 0);
    HKEY hkey = reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(key));

    // Every character of a path survives as UTF-16, and the NUL is counted.
    const std::string data = "\"C:\\Program Files\\T\xC3\xABst \xE2\x98\x83\\Tapperbird.exe\"";
    CHECK(registry.SetStringValue(key, "Tapperbird", data) == kErrorSuccess);
    wchar_t wide[128] = {};
    DWORD bytes = sizeof(wide), type = 0;
    ::RegQueryValueExW(hkey, L"Tapperbird", nullptr, &type, reinterpret_cast<BYTE*>(wide), &bytes);
    CHECK(type == REG_SZ && bytes == 41 * sizeof(wchar_t) && Narrow(wide) == data);

    // Too long for the buffer: type, size and head still arrive. Another type comes as it is.
    registry.SetStringValue(key, "Long", std::string(300, 'x'));
    const DWORD seven = 7;
    ::RegSetValueExA(hkey, "Number", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&seven), 4);
    std::uint8_t head[8] = {};
    ValueType valueType = ValueType::None;
    std::uint32_t size = 0;
    CHECK(registry.QueryValue(key, "Long", valueType, head, 8, size) == kErrorMoreData &&
          valueType == ValueType::Sz && size >= 300 && head[0] == 'x' && head[7] == 'x');
    CHECK(registry.QueryValue(key, "Number", valueType, head, 8, size) == kErrorSuccess &&
          valueType == ValueType::Dword && size == 4 && head[0] == 7);

    CHECK(registry.OpenKeyEx(path, kKeyRead, readOnly) == kErrorSuccess);
    CHECK(registry.SetStringValue(readOnly, "Refused", "x") == kErrorAccessDenied);
    CHECK(registry.CloseKey(readOnly) == kErrorSuccess && registry.CloseKey(key) == kErrorSuccess);
    ::RegDeleteTreeA(HKEY_CURRENT_USER, path.c_str());
}

// The first run on the real registry, with HKEY_CURRENT_USER redirected to a scratch key: a Run
// key that refuses writing leaves no marker (RegDeleteKeyA takes it back), so the next start,
// with writing allowed, registers and keeps the marker.
void TestFirstRunAfterARefusedWrite(Win32FormsRuntime& forms) {
    const char* scratchPath = "Software\\Tapperbird first-run test";
    HKEY scratch = nullptr, run = nullptr, marker = nullptr;
    ::RegCreateKeyA(HKEY_CURRENT_USER, scratchPath, &scratch);
    CHECK(::RegOverridePredefKey(HKEY_CURRENT_USER, scratch) == ERROR_SUCCESS);
    ::RegCreateKeyA(HKEY_CURRENT_USER, std::string(StartupEntry::kRunKeyPath).c_str(), &run);
    const std::string markerPath(FirstRun::kMarkerKeyPath);
    Win32Registry registry;
    for (const auto& [sddl, written] :  // read only, then all access
         {std::pair{"D:(A;;KR;;;WD)", false}, std::pair{"D:(A;;KA;;;WD)", true}}) {
        PSECURITY_DESCRIPTOR sd = nullptr;
        ::ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &sd, nullptr);
        CHECK(::RegSetKeySecurity(run, DACL_SECURITY_INFORMATION, sd) == ERROR_SUCCESS);
        ::LocalFree(sd);
        FirstRun::Register(registry, forms);
        CHECK((::RegQueryValueExA(run, "Tapperbird", nullptr, nullptr, nullptr, nullptr) ==
               ERROR_SUCCESS) == written);
        CHECK((::RegOpenKeyA(HKEY_CURRENT_USER, markerPath.c_str(), &marker) == ERROR_SUCCESS) ==
              written);
        ::RegCloseKey(marker);
    }
    ::RegCloseKey(run);
    ::RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    ::RegCloseKey(scratch);
    ::RegDeleteTreeA(HKEY_CURRENT_USER, scratchPath);
}

void TestShellAndMutex(Win32FormsRuntime&) {
    // An address nobody handles: the call returns (an error box would hang it here), quietly.
    Win32Shell().Open("tapperbird-no-such-scheme:nothing");
    Pump(300);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(::FindWindowW(L"#32770", nullptr), &pid);
    CHECK(pid != ::GetCurrentProcessId());

    Win32NamedMutex mutex;  // exists for as long as its owner lives
    mutex.Create("Tapperbird realisation test");
    CHECK(::CloseHandle(::OpenMutexA(SYNCHRONIZE, FALSE, "Tapperbird realisation test")));
}

void TestWindowSystem(Win32FormsRuntime&) {
    Win32WindowSystem windows;
    HWND plain = ::CreateWindowExW(0, L"STATIC", L"plain", WS_POPUP, 10, 20, 300, 200, nullptr,
                                   nullptr, nullptr, nullptr);
    const WindowHandle handle = FromHwnd(plain);
    for (const int show : {SW_HIDE, SW_SHOWNOACTIVATE, SW_MINIMIZE}) {  // visible only when shown
        ::ShowWindow(plain, show);
        CHECK(windows.IsWindowVisible(handle) == (show == SW_SHOWNOACTIVATE));
    }
    ::ShowWindow(plain, SW_RESTORE);
    windows.MakeTopmost(handle, kSwpNoSize | kSwpNoMove | kSwpShowWindow | kSwpNoActivate);
    Rect rect;
    CHECK((::GetWindowLongW(plain, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0);
    CHECK(windows.GetWindowRect(handle, rect) && (rect == Rect{10, 20, 310, 220}));

    // Maximised, its borders hang past the work area; the rectangle is what shows of it.
    HWND big = ::CreateWindowExW(0, L"STATIC", L"maximised", WS_OVERLAPPEDWINDOW, 10, 20, 300, 200,
                                 nullptr, nullptr, nullptr, nullptr);
    ::ShowWindow(big, SW_MAXIMIZE);
    Pump(300);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    ::GetMonitorInfoW(::MonitorFromWindow(big, MONITOR_DEFAULTTONEAREST), &monitor);
    RECT raw{};
    ::GetWindowRect(big, &raw);
    CHECK(::IsZoomed(big) && raw.right > monitor.rcWork.right);  // as Wine frames it
    CHECK(windows.GetWindowRect(FromHwnd(big), rect) &&
          (rect == Rect{monitor.rcWork.left, monitor.rcWork.top, monitor.rcWork.right,
                        std::min(raw.bottom, monitor.rcWork.bottom)}));
    ::DestroyWindow(big);

    // A window that closes between two calls: no rectangle, the old one kept, not visible.
    ::DestroyWindow(plain);
    Rect kept{1, 2, 3, 4};
    CHECK(!windows.GetWindowRect(handle, kept) && (kept == Rect{1, 2, 3, 4}));
    CHECK(!windows.IsWindowVisible(handle) && !windows.GetWindowRect(0, kept));
}

// The program's ticks, held and ended. Last, as the session ends here.
void TestTimersAndSessionEnd(Win32FormsRuntime& forms) {
    int ticks = 0;
    auto timer = forms.CreateTimer(50, [&] { ++ticks; });
    auto idle = forms.CreateTimer(50, [&] { ticks += 1000; });  // never enabled
    const auto ticksOver = [&](DWORD milliseconds) {
        ticks = 0;
        Pump(milliseconds);
        return ticks;
    };
    timer->SetEnabled(true);
    const long allocationsBefore = allocations;
    const int ticked = ticksOver(420);  // and a tick's dispatch allocates nothing
    CHECK(ticked >= 4 && ticked <= 9 && allocations == allocationsBefore);

    // Enabling again every 30 ms must not restart the period, or it would never tick.
    ticks = 0;
    for (int i = 0; i < 10; ++i) {
        timer->SetEnabled(true);
        Pump(30);
    }
    CHECK(ticks >= 3);
    {
        Win32FormsRuntime::TimerHold hold(forms);
        CHECK(ticksOver(200) == 0);
    }
    CHECK(ticksOver(200) >= 2);
    timer->SetEnabled(false);
    CHECK(ticksOver(200) == 0);

    // Logging off: the host agrees at once; when the session really ends no tick runs any more
    // and the message loop is told to end, so the program returns from WinMain.
    timer->SetEnabled(true);
    HWND host = forms.HostWindow();
    MSG quit;
    CHECK(::SendMessageW(host, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF) == TRUE);
    ::SendMessageW(host, WM_ENDSESSION, FALSE, ENDSESSION_LOGOFF);  // another program refused
    CHECK(!::PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE));
    CHECK(ticksOver(150) > 0);
    ::SendMessageW(host, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
    CHECK(::PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) && quit.wParam == 0);
    CHECK(ticksOver(150) == 0);
}

void TestBirdSurface(Win32FormsRuntime& forms) {
    Win32BirdSurface bird(forms);
    HWND window = ToHwnd(bird.Handle());
    bird.SetExtendedStyle(bird.GetExtendedStyle() | kWsExLayered);
    bird.Show();
    const auto placed = [window] {
        RECT r{};
        ::GetWindowRect(window, &r);
        return Rect{r.left, r.top, r.right, r.bottom};
    };
    const auto hit = [window](int x, int y) {
        return ::SendMessageW(window, WM_NCHITTEST, 0, MAKELPARAM(x, y));
    };
    const Rect home{100, 50, 143, 121};

    Win32WindowSystem windows;
    Rect target;
    long allocationsBefore = allocations;
    for (int i = 0; i < 300; ++i) {  // what a tick does: ask about the foreground, then present
        const WindowHandle foreground = windows.GetForegroundWindow();
        windows.GetWindowRect(foreground, target);
        windows.IsWindowVisible(foreground);
        bird.Present(i % 6 + 1, 1, Point{100 + i % 7, 50}, Size{43, 71});
    }
    CHECK(allocations == allocationsBefore);
    bird.Present(1, 1, Point{100, 50}, Size{43, 71});
    bird.Present(0, 1, Point{0, 0}, Size{43, 71});  // out of range: ignored
    bird.Present(7, 1, Point{0, 0}, Size{43, 71});
    CHECK(placed() == home && bird.HeightTwips() == PixelsToTwips(71, forms.TwipsPerPixelY()));

    // An unchanged presentation is skipped, but not once something else moved or sized the
    // window: the same frame at the same point puts it back.
    ::SetWindowPos(window, nullptr, 300, 300, 20, 20, SWP_NOZORDER | SWP_NOACTIVATE);
    CHECK(bird.HeightTwips() == PixelsToTwips(20, forms.TwipsPerPixelY()));
    bird.Present(1, 1, Point{100, 50}, Size{43, 71});
    CHECK(placed() == home);
    bird.MoveTwips(PixelsToTwips(400, forms.TwipsPerPixelX()), 0);
    bird.Present(1, 1, Point{100, 50}, Size{43, 71});
    CHECK(placed() == home);

    // Twice the size on a 200 % monitor: made once, then presented without allocating, and hit
    // where the 1x frame is opaque.
    bird.Present(1, 2, Point{100, 50}, Size{86, 142});
    allocationsBefore = allocations;
    for (int i = 0; i < 60; ++i) {
        bird.Present(i % 6 + 1, 2, Point{100, 50}, Size{86, 142});
    }
    CHECK(allocations == allocationsBefore);
    bird.Present(1, 2, Point{100, 50}, Size{86, 142});
    CHECK(placed() == (Rect{100, 50, 186, 192}));
    // The top-left corner is empty in every frame.
    CHECK(hit(100 + 40, 50 + 60) == HTCLIENT && hit(100 + 1, 50 + 1) == HTTRANSPARENT);
    CHECK(::SendMessageW(window, WM_MOUSEACTIVATE, 0, 0) == MA_NOACTIVATE);
}

// The monitor list at start: the primary first, at the DPI the prefix is set to.
void TestMonitors(Win32FormsRuntime& forms) {
    const auto monitors = forms.Monitors();
    if (!CHECK(!monitors.empty())) {
        return;
    }
    const Rect primary = monitors.front().bounds;
    CHECK(primary.Left == 0 && primary.Top == 0 &&
          primary.Right == ::GetSystemMetrics(SM_CXSCREEN) &&
          primary.Bottom == ::GetSystemMetrics(SM_CYSCREEN));
    WindowDc screen(nullptr);
    const int dpi = ::GetDeviceCaps(screen.get(), LOGPIXELSY);
    CHECK(forms.PrimaryDpi() == dpi && monitors.front().scale * 96.0 == dpi);
    // Every monitor once, also after the displays change (two in the two-monitor run).
    const auto count = static_cast<std::size_t>(::GetSystemMetrics(SM_CMONITORS));
    CHECK(monitors.size() == count);
    ::SendMessageW(forms.HostWindow(), WM_DISPLAYCHANGE, 32,
                   MAKELPARAM(primary.Right - primary.Left, primary.Bottom - primary.Top));
    ::SendMessageW(forms.HostWindow(), WM_SETTINGCHANGE, SPI_SETWORKAREA, 0);
    CHECK(forms.Monitors().size() == count && forms.Monitors().front().bounds == primary);
}

SIZE BitmapSize(HBITMAP bitmap) {
    BITMAP info{};
    ::GetObjectW(bitmap, sizeof(info), &info);
    return {info.bmWidth, info.bmHeight};
}

// True when `big` is `small` enlarged `factor` times: every pixel of the mask a factor x factor
// block, and the mask not blank; the hot spot moved with it.
bool IsEnlarged(HCURSOR small, HCURSOR big, int factor) {
    ICONINFO a{}, b{};
    const bool got = ::GetIconInfo(small, &a) && ::GetIconInfo(big, &b);
    const UniqueHbitmap aMask(a.hbmMask), aColour(a.hbmColor), bMask(b.hbmMask),
        bColour(b.hbmColor);
    const SIZE size = BitmapSize(aMask.get()), large = BitmapSize(bMask.get());
    if (!got || large.cx != factor * size.cx || large.cy != factor * size.cy ||
        !aColour != !bColour || b.xHotspot != factor * a.xHotspot ||
        b.yHotspot != factor * a.yHotspot) {
        return false;
    }
    UniqueMemoryDc aDc(::CreateCompatibleDC(nullptr)), bDc(::CreateCompatibleDC(nullptr));
    ScopedSelect aIn(aDc.get(), aMask.get()), bIn(bDc.get(), bMask.get());
    int white = 0;
    for (int y = 0; y < large.cy; ++y) {
        for (int x = 0; x < large.cx; ++x) {
            const COLORREF want = ::GetPixel(aDc.get(), x / factor, y / factor);
            if (::GetPixel(bDc.get(), x, y) != want) {
                return false;
            }
            white += want == RGB(255, 255, 255);
        }
    }
    return white > 0 && white < large.cx * large.cy;
}

// The program's About window lays itself out at its DPI: the design's twips in pixels at that DPI,
// fonts to match, the hand cursor enlarged by whole numbers as the bird is; a WM_DPICHANGED to
// twice the DPI takes the suggested rectangle.
void TestAboutAtItsDpi(Win32FormsRuntime& forms) {
    const AboutDesign& design = AboutWindowDesign();
    const auto find = [&design](AboutControlId id) {
        return *std::find_if(design.controls.begin(), design.controls.end(),
                             [id](const AboutControl& c) { return c.id == id; });
    };
    const AboutControl frame = find(AboutControlId::CreditsFrame),
                       title = find(AboutControlId::Title),
                       picture = find(AboutControlId::DonateButton);
    const UniqueHcursor hand(static_cast<HCURSOR>(
        ::LoadImageW(forms.Instance(), MAKEINTRESOURCEW(TB_IDC_HAND), IMAGE_CURSOR, 0, 0, 0)));
    Win32AboutView about(forms);
    about.Create(design);
    HWND window = ToHwnd(about.Handle());
    if (!CHECK(window != nullptr)) {
        return;
    }
    const auto item = [window](AboutControlId id) {
        return ::GetDlgItem(window, 100 + static_cast<int>(id));
    };
    const int dpi = forms.PrimaryDpi();
    RECT r{};
    for (const int at : {dpi, 2 * dpi}) {
        const auto pixels = [at](int twips) { return RoundHalfEven(twips * at / 1440.0); };
        if (at != dpi) {
            // Any rectangle Windows suggests is taken as it is (one within the screen: larger
            // ones are cut to the largest size a window may take).
            RECT suggested{40, 30, 40 + 600, 30 + 500};
            ::SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(at, at),
                           reinterpret_cast<LPARAM>(&suggested));
            ::GetWindowRect(window, &r);
            CHECK(::EqualRect(&r, &suggested));
        }
        LOGFONTW shown{};
        ::GetObjectW(reinterpret_cast<HFONT>(::SendMessageW(item(title.id), WM_GETFONT, 0, 0)),
                     sizeof(shown), &shown);
        CHECK(shown.lfHeight == -RoundHalfEven(title.font.sizePoints * at / 72.0));
        ::GetWindowRect(item(picture.id), &r);
        ::MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&r), 2);
        CHECK(r.left == pixels(frame.leftTwips + picture.leftTwips) &&
              r.top == pixels(frame.topTwips + picture.topTwips) &&
              r.right - r.left == pixels(picture.widthTwips) &&
              r.bottom - r.top == pixels(picture.heightTwips));
        // The cursor the window sets over the picture, a link: the hand enlarged as the bird is.
        ::SendMessageW(window, WM_SETCURSOR, reinterpret_cast<WPARAM>(item(picture.id)),
                       MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
        CHECK(IsEnlarged(hand.get(), ::GetCursor(), BirdScaleFor(at / 96.0)));
    }
}

}  // namespace

void* operator new(std::size_t size) {
    ++allocations;
    void* block = std::malloc(size == 0 ? 1 : size);
    return block != nullptr ? block : throw std::bad_alloc();
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
        for (const auto test : {TestFrameBitmaps, TestRegistry, TestFirstRunAfterARefusedWrite,
                                TestWindowSystem, TestShellAndMutex, TestBirdSurface, TestMonitors,
                                TestAboutAtItsDpi, TestTimersAndSessionEnd}) {
            test(forms);
        }
    } catch (const std::exception& error) {
        std::printf("FAIL unexpected error: %s\n", error.what());
        ++failures;
    }
    std::printf("%s: %d failure(s)\n", failures == 0 ? "PASS" : "FAIL", failures);
    return failures;
}
