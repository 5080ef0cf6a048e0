// A small Windows program the end-to-end suite runs beside Tapperbird under Wine: it reports
// what Wine itself believes (window rectangles, the foreground window, menus, object counts) and
// hosts plain target windows for the bird to perch on. Commands arrive one per line on stdin;
// each answer is one line: "ok key=value ..." or "error ...".
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr UINT kRunCommand = WM_APP + 1;
constexpr UINT_PTR kWatchTimer = 1;

struct Watch {
    bool on = false;
    long samples = 0;
    long birdForeground = 0;
    long menuOwnerForeground = 0;
    DWORD lastBirdTick = 0;  // ms, GetTickCount of the latest sample that saw the bird
};

struct Probe {
    HINSTANCE instance = nullptr;
    DWORD mainThread = 0;
    HANDLE answered = nullptr;
    std::string line;    // the command being run
    std::string answer;  // its reply
    Watch watch;
    HWND timerWindow = nullptr;
};

std::string Hex(const void* window) {
    char text[32];
    std::snprintf(text, sizeof(text), "%llx",
                  static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(window)));
    return text;
}

HWND ParseHwnd(const char* text) {
    return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(std::strtoull(text, nullptr, 16)));
}

std::string RectText(const char* prefix, const RECT& r) {
    char text[160];
    std::snprintf(text, sizeof(text), " %sleft=%ld %stop=%ld %sright=%ld %sbottom=%ld", prefix,
                  r.left, prefix, r.top, prefix, r.right, prefix, r.bottom);
    return text;
}

std::string ClassOf(HWND window) {
    char name[128] = "";
    if (window != nullptr) {
        ::GetClassNameA(window, name, sizeof(name));
    }
    return name;
}

// The target windows are plain windows filled with one colour; each owns its brush.
LRESULT CALLBACK TargetProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_ERASEBKGND) {
        RECT r;
        ::GetClientRect(window, &r);
        HBRUSH brush = reinterpret_cast<HBRUSH>(::GetWindowLongPtrW(window, GWLP_USERDATA));
        ::FillRect(reinterpret_cast<HDC>(wParam), &r, brush);
        return 1;
    }
    if (message == WM_NCDESTROY) {
        ::DeleteObject(reinterpret_cast<HGDIOBJ>(::GetWindowLongPtrW(window, GWLP_USERDATA)));
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

LRESULT CALLBACK TimerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* probe = reinterpret_cast<Probe*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message == WM_TIMER && wParam == kWatchTimer && probe != nullptr && probe->watch.on) {
        HWND foreground = ::GetForegroundWindow();
        ++probe->watch.samples;
        const std::string name = ClassOf(foreground);
        if (name == "TapperbirdBird") {
            ++probe->watch.birdForeground;
            probe->watch.lastBirdTick = ::GetTickCount();
        } else if (name == "TapperbirdHost") {
            ++probe->watch.menuOwnerForeground;
        }
        return 0;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

std::string Run(Probe& probe, const std::string& line) {
    char verb[32] = "";
    char a[128] = "";
    long n[5] = {0, 0, 0, 0, 0};
    std::sscanf(line.c_str(), "%31s", verb);
    const std::string command = verb;
    if (command == "bird" || command == "about" || command == "host") {
        const wchar_t* cls = command == "bird"    ? L"TapperbirdBird"
                             : command == "about" ? L"TapperbirdAbout"
                                                  : L"TapperbirdHost";
        HWND window = ::FindWindowW(cls, nullptr);
        if (window == nullptr) {
            return "ok found=0";
        }
        RECT r{};
        ::GetWindowRect(window, &r);
        DWORD pid = 0;
        ::GetWindowThreadProcessId(window, &pid);
        return "ok found=1 hwnd=" + Hex(window) + " pid=" + std::to_string(pid) +
               " visible=" + std::to_string(::IsWindowVisible(window) ? 1 : 0) +
               " exstyle=" + std::to_string(::GetWindowLongW(window, GWL_EXSTYLE)) +
               RectText("", r);
    }
    if (command == "fg") {
        HWND foreground = ::GetForegroundWindow();
        return "ok hwnd=" + Hex(foreground) + " class=" + ClassOf(foreground);
    }
    if (command == "rect") {
        std::sscanf(line.c_str(), "%*s %127s", a);
        HWND window = ParseHwnd(a);
        RECT r{};
        if (!::GetWindowRect(window, &r)) {
            return "error no such window";
        }
        RECT c{};
        ::GetClientRect(window, &c);
        POINT origin{0, 0};
        ::ClientToScreen(window, &origin);
        ::OffsetRect(&c, origin.x, origin.y);
        return "ok" + RectText("", r) + RectText("client_", c);
    }
    if (command == "menu") {
        // Popup menus are windows of the system class "#32768".
        HWND menu = nullptr;
        while ((menu = ::FindWindowExW(nullptr, menu, L"#32768", nullptr)) != nullptr) {
            if (::IsWindowVisible(menu)) {
                RECT r{};
                ::GetWindowRect(menu, &r);
                return "ok open=1" + RectText("", r);
            }
        }
        return "ok open=0";
    }
    if (command == "open") {
        // open <title> x y w h rrggbb
        unsigned colour = 0;
        if (std::sscanf(line.c_str(), "%*s %127s %ld %ld %ld %ld %x", a, &n[0], &n[1], &n[2], &n[3],
                        &colour) != 6) {
            return "error usage: open title x y w h rrggbb";
        }
        HBRUSH brush = ::CreateSolidBrush(RGB(colour >> 16, (colour >> 8) & 0xFF, colour & 0xFF));
        wchar_t title[128];
        ::MultiByteToWideChar(CP_UTF8, 0, a, -1, title, 128);
        HWND window = ::CreateWindowExW(0, L"TbTarget", title, WS_OVERLAPPEDWINDOW, n[0], n[1],
                                        n[2], n[3], nullptr, nullptr, probe.instance, nullptr);
        if (window == nullptr) {
            ::DeleteObject(brush);
            return "error cannot create";
        }
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(brush));
        ::ShowWindow(window, SW_SHOWNORMAL);
        ::UpdateWindow(window);
        return "ok hwnd=" + Hex(window);
    }
    if (command == "move") {
        if (std::sscanf(line.c_str(), "%*s %127s %ld %ld %ld %ld", a, &n[0], &n[1], &n[2], &n[3]) !=
            5) {
            return "error usage: move hwnd x y w h";
        }
        ::MoveWindow(ParseHwnd(a), n[0], n[1], n[2], n[3], TRUE);
        return "ok";
    }
    if (command == "activate") {
        std::sscanf(line.c_str(), "%*s %127s", a);
        return std::string("ok done=") + (::SetForegroundWindow(ParseHwnd(a)) ? "1" : "0");
    }
    if (command == "destroy") {
        std::sscanf(line.c_str(), "%*s %127s", a);
        return std::string("ok done=") + (::DestroyWindow(ParseHwnd(a)) ? "1" : "0");
    }
    if (command == "close") {
        // What the close box does: a system command, then WM_CLOSE from the default handler.
        std::sscanf(line.c_str(), "%*s %127s", a);
        ::PostMessageW(ParseHwnd(a), WM_SYSCOMMAND, SC_CLOSE, 0);
        return "ok";
    }
    if (command == "watch") {
        std::sscanf(line.c_str(), "%*s %127s", a);
        if (std::strcmp(a, "on") == 0) {
            probe.watch = Watch{};
            probe.watch.on = true;
            ::SetTimer(probe.timerWindow, kWatchTimer, 25, nullptr);
        }
        return "ok samples=" + std::to_string(probe.watch.samples) +
               " bird=" + std::to_string(probe.watch.birdForeground) +
               " host=" + std::to_string(probe.watch.menuOwnerForeground) + " bird_ms_ago=" +
               std::to_string(probe.watch.birdForeground != 0
                                  ? ::GetTickCount() - probe.watch.lastBirdTick
                                  : 0);
    }
    if (command == "stats") {
        std::sscanf(line.c_str(), "%*s %ld", &n[0]);
        HANDLE process = ::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE,
                                       static_cast<DWORD>(n[0]));
        if (process == nullptr) {
            return "error cannot open process";
        }
        DWORD handles = 0;
        const BOOL haveHandles = ::GetProcessHandleCount(process, &handles);
        PROCESS_MEMORY_COUNTERS memory{};
        memory.cb = sizeof(memory);
        const BOOL haveMemory = ::GetProcessMemoryInfo(process, &memory, sizeof(memory));
        FILETIME created, exited, kernel, user;
        ULONGLONG cpu100ns = 0;
        if (::GetProcessTimes(process, &created, &exited, &kernel, &user)) {
            cpu100ns =
                (static_cast<ULONGLONG>(kernel.dwHighDateTime) << 32 | kernel.dwLowDateTime) +
                (static_cast<ULONGLONG>(user.dwHighDateTime) << 32 | user.dwLowDateTime);
        }
        std::string reply =
            "ok gdi=" + std::to_string(::GetGuiResources(process, GR_GDIOBJECTS)) +
            " user=" + std::to_string(::GetGuiResources(process, GR_USEROBJECTS)) +
            " handles=" + (haveHandles ? std::to_string(handles) : std::string("-1")) +
            " working_set=" + (haveMemory ? std::to_string(memory.WorkingSetSize) : "-1") +
            " peak_working_set=" + (haveMemory ? std::to_string(memory.PeakWorkingSetSize) : "-1") +
            " cpu_ms=" + std::to_string(cpu100ns / 10000);
        ::CloseHandle(process);
        return reply;
    }
    if (command == "cursor") {
        // The cursor Wine shows at the pointer, as a handle: equal handles, equal cursors.
        CURSORINFO info{};
        info.cbSize = sizeof(info);
        if (!::GetCursorInfo(&info)) {
            return "error no cursor information";
        }
        return "ok handle=" + Hex(info.hCursor);
    }
    if (command == "screen") {
        return "ok width=" + std::to_string(::GetSystemMetrics(SM_CXSCREEN)) +
               " height=" + std::to_string(::GetSystemMetrics(SM_CYSCREEN));
    }
    return "error unknown command " + command;
}

// Reads stdin on its own thread so the main thread keeps pumping the target windows' messages.
DWORD WINAPI ReadCommands(void* parameter) {
    auto& probe = *static_cast<Probe*>(parameter);
    char buffer[512];
    while (std::fgets(buffer, sizeof(buffer), stdin) != nullptr) {
        probe.line = buffer;
        while (!probe.line.empty() && (probe.line.back() == '\n' || probe.line.back() == '\r')) {
            probe.line.pop_back();
        }
        if (probe.line == "quit") {
            break;
        }
        ::PostThreadMessageW(probe.mainThread, kRunCommand, 0, 0);
        ::WaitForSingleObject(probe.answered, INFINITE);
        std::fputs(probe.answer.c_str(), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
    }
    ::PostThreadMessageW(probe.mainThread, WM_QUIT, 0, 0);
    return 0;
}

}  // namespace

int main() {
    Probe probe;
    probe.instance = ::GetModuleHandleW(nullptr);
    probe.mainThread = ::GetCurrentThreadId();
    probe.answered = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);

    WNDCLASSW target{};
    target.lpfnWndProc = TargetProc;
    target.hInstance = probe.instance;
    target.hCursor = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
    target.lpszClassName = L"TbTarget";
    ::RegisterClassW(&target);
    WNDCLASSW timer{};
    timer.lpfnWndProc = TimerProc;
    timer.hInstance = probe.instance;
    timer.lpszClassName = L"TbProbeTimer";
    ::RegisterClassW(&timer);
    probe.timerWindow = ::CreateWindowExW(0, L"TbProbeTimer", L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                          nullptr, probe.instance, nullptr);
    ::SetWindowLongPtrW(probe.timerWindow, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&probe));

    MSG message;
    ::PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);  // the thread's queue must exist first
    HANDLE reader = ::CreateThread(nullptr, 0, ReadCommands, &probe, 0, nullptr);
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (message.hwnd == nullptr && message.message == kRunCommand) {
            probe.answer = Run(probe, probe.line);
            ::SetEvent(probe.answered);
            continue;
        }
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    ::WaitForSingleObject(reader, 2000);
    return 0;
}
