// Window classes and creation through one trampoline, with every refusal turned into an error.
#include "platform/win32/win32_window.h"

#include <algorithm>
#include <cstring>

namespace tb::win32 {

SetupError::SetupError(const char* what, unsigned long code) {
    constexpr std::size_t kRoomForCode = 32;
    const std::size_t length = std::min(std::strlen(what), sizeof(message_) - kRoomForCode);
    std::memcpy(message_, what, length);
    message_[length] = '\0';
    if (code != 0) {
        ::wsprintfA(message_ + length, " (error %lu)", code);
    }
}

LRESULT CALLBACK MessageTarget::Trampoline(HWND window, UINT message, WPARAM wParam,
                                           LPARAM lParam) {
    auto* target = reinterpret_cast<MessageTarget*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        target = static_cast<MessageTarget*>(create->lpCreateParams);
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(target));
    }
    if (target == nullptr) {
        return ::DefWindowProcW(window, message, wParam, lParam);
    }
    if (message == WM_NCDESTROY) {
        // The object may outlive the window; no message after this one may reach it.
        ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    }
    return target->HandleMessage(window, message, wParam, lParam);
}

void RegisterTrampolineClass(HINSTANCE instance, const wchar_t* className, HICON icon,
                             HBRUSH background) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = &MessageTarget::Trampoline;
    wc.hInstance = instance;
    wc.hIcon = icon;
    wc.hCursor = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    wc.hbrBackground = background;
    wc.lpszClassName = className;
    if (::RegisterClassExW(&wc) == 0 && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
        throw SetupError("Cannot register a window class.", ::GetLastError());
    }
}

HWND CreateRoutedWindow(HINSTANCE instance, const wchar_t* className, const wchar_t* title,
                        DWORD style, DWORD exStyle, int x, int y, int width, int height,
                        HWND parent, MessageTarget& target, const char* what) {
    HWND window = ::CreateWindowExW(exStyle, className, title, style, x, y, width, height, parent,
                                    nullptr, instance, &target);
    if (window == nullptr) {
        const unsigned long code = ::GetLastError();
        char message[96];
        ::wsprintfA(message, "Cannot create the %.60s.", what);
        throw SetupError(message, code);
    }
    return window;
}

}  // namespace tb::win32
