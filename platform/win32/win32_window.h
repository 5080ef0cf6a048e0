// The window-procedure trampoline every window of the program goes through: a static procedure
// that forwards each message to the C++ object given at creation.
#pragma once

#include <windows.h>

namespace tb::win32 {

class MessageTarget {
  public:
    // Routes the window's messages to `target`; pass it as CreateWindowEx's lpParam.
    static LRESULT CALLBACK Trampoline(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  protected:
    MessageTarget() = default;
    ~MessageTarget() = default;
    MessageTarget(const MessageTarget&) = delete;
    MessageTarget& operator=(const MessageTarget&) = delete;

    virtual LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) = 0;
};

// Registers a window class routed through the trampoline; an existing class of that name is
// taken as it is. Throws std::runtime_error when the system refuses.
void RegisterTrampolineClass(HINSTANCE instance, const wchar_t* className, HICON icon,
                             HBRUSH background);

// Creates a window routed to `target`; throws std::runtime_error naming `what` on failure.
HWND CreateRoutedWindow(HINSTANCE instance, const wchar_t* className, const wchar_t* title,
                        DWORD style, DWORD exStyle, int x, int y, int width, int height,
                        HWND parent, MessageTarget& target, const char* what);

// Casts a procedure found with GetProcAddress to its real type.
template <typename Fn>
Fn ProcAs(FARPROC proc) {
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(proc));
}

}  // namespace tb::win32
