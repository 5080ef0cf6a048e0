// The window-procedure trampoline every window of the program goes through: a static procedure
// that forwards each message to the C++ object given at creation.
#pragma once

#include <windows.h>

#include <exception>

namespace tb::win32 {

// Why the realisation could not be set up. The message lives in the object itself: a heap
// string here would pull a second string implementation into the program for one message.
class SetupError final : public std::exception {
  public:
    // `what` and, when not 0, the system's error code.
    explicit SetupError(const char* what, unsigned long code = 0);
    const char* what() const noexcept override { return message_; }

  private:
    char message_[192];
};

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
// taken as it is. Throws SetupError when the system refuses.
void RegisterTrampolineClass(HINSTANCE instance, const wchar_t* className, HICON icon,
                             HBRUSH background);

// Creates a window routed to `target`; throws SetupError naming `what` on failure.
HWND CreateRoutedWindow(HINSTANCE instance, const wchar_t* className, const wchar_t* title,
                        DWORD style, DWORD exStyle, int x, int y, int width, int height,
                        HWND parent, MessageTarget& target, const char* what);

// Casts a procedure found with GetProcAddress to its real type.
template <typename Fn>
Fn ProcAs(FARPROC proc) {
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(proc));
}

}  // namespace tb::win32
