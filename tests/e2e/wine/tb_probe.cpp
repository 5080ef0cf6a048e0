// A small Windows program the end-to-end suite runs beside Tapperbird under Wine: it reports
// what Wine itself believes (window rectangles, the foreground window, menus, the cursor) and
// hosts plain target windows for the bird to perch on. Commands arrive one per line on stdin;
// each answer is one line: "ok key=value ..." or "error ...".
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr UINT kRunCommand = WM_APP + 1;

// One command at a time crosses from the reader thread to the window thread.
struct Probe {
    DWORD mainThread = 0;
    HANDLE answered = nullptr;
    std::string line, answer;
    long samples = 0, birdSamples = 0;  // of the foreground watch
} probe;

std::string Hex(const void* handle) {
    char text[32];
    std::snprintf(text, sizeof(text), "%llx",
                  static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(handle)));
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

// Every 25 ms: is the bird the foreground window? It never should be.
void CALLBACK WatchTick(HWND, UINT, UINT_PTR, DWORD) {
    char name[64] = "";
    ::GetClassNameA(::GetForegroundWindow(), name, sizeof(name));
    ++probe.samples;
    probe.birdSamples += std::strcmp(name, "TapperbirdBird") == 0;
}

std::string Run(const std::string& line) {
    char verb[32] = "";
    char a[128] = "";
    long n[4] = {0, 0, 0, 0};
    unsigned colour = 0;
    const int fields = std::sscanf(line.c_str(), "%31s %127s %ld %ld %ld %ld %x", verb, a, &n[0],
                                   &n[1], &n[2], &n[3], &colour);
    const std::string command = verb;
    HWND window = ParseHwnd(a);
    RECT r{};
    if (command == "bird" || command == "about") {
        window = ::FindWindowW(command == "bird" ? L"TapperbirdBird" : L"TapperbirdAbout", nullptr);
        if (window == nullptr) {
            return "ok found=0";
        }
        ::GetWindowRect(window, &r);
        DWORD pid = 0;
        ::GetWindowThreadProcessId(window, &pid);
        return "ok found=1 hwnd=" + Hex(window) + " pid=" + std::to_string(pid) + RectText("", r);
    }
    if (command == "fg") {
        return "ok hwnd=" + Hex(::GetForegroundWindow());
    }
    if (command == "rect") {
        if (!::GetWindowRect(window, &r)) {
            return "error no such window";
        }
        RECT client{};
        ::GetClientRect(window, &client);
        ::MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&client), 2);
        return "ok" + RectText("", r) + RectText("client_", client);
    }
    if (command == "menu") {
        // Popup menus are windows of the system class "#32768".
        HWND menu = nullptr;
        while ((menu = ::FindWindowExW(nullptr, menu, L"#32768", nullptr)) != nullptr) {
            if (::IsWindowVisible(menu)) {
                ::GetWindowRect(menu, &r);
                return "ok open=1" + RectText("", r);
            }
        }
        return "ok open=0";
    }
    if (command == "open" && fields == 7) {  // open title x y w h rrggbb
        // A plain window of one colour: a class per colour, which owns the brush.
        wchar_t title[128], name[32];
        ::MultiByteToWideChar(CP_UTF8, 0, a, -1, title, 128);
        std::swprintf(name, 32, L"TbTarget%06x", colour);
        WNDCLASSW target{};
        target.style = CS_HREDRAW | CS_VREDRAW;  // a resize repaints it all, leaving nothing stale
        target.lpfnWndProc = ::DefWindowProcW;
        target.hCursor = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
        target.hbrBackground = ::CreateSolidBrush(RGB(colour >> 16, colour >> 8, colour));
        target.lpszClassName = name;
        if (!::RegisterClassW(&target)) {  // already there for this colour
            ::DeleteObject(target.hbrBackground);
        }
        window = ::CreateWindowExW(0, name, title, WS_OVERLAPPEDWINDOW, n[0], n[1], n[2], n[3],
                                   nullptr, nullptr, nullptr, nullptr);
        if (window == nullptr) {
            return "error cannot create";
        }
        ::ShowWindow(window, SW_SHOWNORMAL);
        ::UpdateWindow(window);
        return "ok hwnd=" + Hex(window);
    }
    if (command == "move" && fields == 6) {  // move hwnd x y w h
        ::MoveWindow(window, n[0], n[1], n[2], n[3], TRUE);
        return "ok";
    }
    if (command == "show" && fields >= 3) {  // show hwnd SW_...: 3 maximises, 9 restores
        ::ShowWindow(window, static_cast<int>(n[0]));
        return "ok";
    }
    if (command == "destroy") {
        ::DestroyWindow(window);
        return "ok";
    }
    if (command == "close") {
        // What the close box does: a system command, then WM_CLOSE from the default handler.
        ::PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
        return "ok";
    }
    if (command == "watch") {  // "watch on" starts it once; any other word only reports
        static UINT_PTR timer = 0;
        if (std::strcmp(a, "on") == 0 && timer == 0) {
            timer = ::SetTimer(nullptr, 0, 25, WatchTick);
        }
        return "ok samples=" + std::to_string(probe.samples) +
               " bird=" + std::to_string(probe.birdSamples);
    }
    if (command == "monitors") {  // every monitor as Wine presents it
        struct Walk {
            std::string text;
            int count = 0;
        } walk;
        ::EnumDisplayMonitors(
            nullptr, nullptr,
            [](HMONITOR monitor, HDC, LPRECT, LPARAM data) -> BOOL {
                auto& w = *reinterpret_cast<Walk*>(data);
                MONITORINFO info{};
                info.cbSize = sizeof(info);
                if (::GetMonitorInfoW(monitor, &info)) {
                    const std::string prefix = "m" + std::to_string(w.count++) + "_";
                    w.text += RectText(prefix.c_str(), info.rcMonitor);
                }
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&walk));
        return "ok count=" + std::to_string(walk.count) + walk.text;
    }
    if (command == "cursor") {
        // The cursor Wine shows at the pointer, as a handle: equal handles, equal cursors.
        CURSORINFO info{};
        info.cbSize = sizeof(info);
        return ::GetCursorInfo(&info) ? "ok handle=" + Hex(info.hCursor) : "error no cursor";
    }
    return "error unknown or malformed command: " + line;
}

// Reads stdin on its own thread so the main thread keeps pumping the target windows' messages.
DWORD WINAPI ReadCommands(void*) {
    char buffer[512];
    while (std::fgets(buffer, sizeof(buffer), stdin) != nullptr) {
        probe.line = buffer;
        probe.line.erase(probe.line.find_last_not_of("\r\n") + 1);
        ::PostThreadMessageW(probe.mainThread, kRunCommand, 0, 0);
        ::WaitForSingleObject(probe.answered, INFINITE);
        std::printf("%s\n", probe.answer.c_str());
        std::fflush(stdout);
    }
    ::PostThreadMessageW(probe.mainThread, WM_QUIT, 0, 0);
    return 0;
}

}  // namespace

int main() {
    probe.mainThread = ::GetCurrentThreadId();
    probe.answered = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);

    MSG message;
    ::PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);  // the thread's queue must exist first
    HANDLE reader = ::CreateThread(nullptr, 0, ReadCommands, nullptr, 0, nullptr);
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (message.hwnd == nullptr && message.message == kRunCommand) {
            probe.answer = Run(probe.line);
            ::SetEvent(probe.answered);
            continue;
        }
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    ::WaitForSingleObject(reader, 2000);
    return 0;
}
