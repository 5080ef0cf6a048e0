// The Windows program's entry point: builds the Win32 realisation, hands it to the program,
// runs the start-up and then the message loop.
#include <windows.h>

#include <cstdlib>
#include <exception>

#include "platform/platform.h"
#include "platform/random_source.h"
#include "platform/win32/win32_about.h"
#include "platform/win32/win32_bird.h"
#include "platform/win32/win32_forms.h"
#include "platform/win32/win32_menu.h"
#include "platform/win32/win32_services.h"
#include "platform/win32/win32_text.h"
#include "platform/win32/win32_window_system.h"
#include "app/program.h"

#if defined(__GLIBCXX__)
// libstdc++'s default terminate handler prints a demangled type name, which pulls a demangler
// and printf into a GUI program with no console; a plain abort is the same end, 60 KiB smaller.
namespace __gnu_cxx {
void __verbose_terminate_handler() {
    std::abort();
}
}  // namespace __gnu_cxx
#endif

namespace tb::win32 {

namespace {

// Every service of the realisation, in the order they depend on each other; no globals.
struct Win32Platform {
    explicit Win32Platform(HINSTANCE instance)
        : forms(instance), bird(forms), menu(forms), about(forms) {}

    Platform Services() {
        return Platform{windows, bird, forms, registry, shell, mutex, menu, about, random};
    }

    Win32FormsRuntime forms;
    Win32WindowSystem windows;
    Win32BirdSurface bird;
    Win32PopupMenu menu;
    Win32AboutView about;
    Win32Registry registry;
    Win32Shell shell;
    Win32NamedMutex mutex;
    Lcg24Random random;
};

int RunMessageLoop() {
    MSG message{};
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}

int Run(HINSTANCE instance) {
    Win32Platform platform(instance);
    Platform services = platform.Services();
    Program program(services);
    program.Start();
    return RunMessageLoop();
}

}  // namespace

}  // namespace tb::win32

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    try {
        return tb::win32::Run(instance);
    } catch (const std::exception& error) {
        // Set-up failed before the program could report anything itself.
        ::MessageBoxW(nullptr, tb::win32::Widen(error.what()).c_str(), L"Tapperbird",
                      MB_ICONEXCLAMATION | MB_OK);
        return 1;
    }
}
