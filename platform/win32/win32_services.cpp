// Registry calls through the ANSI entry points (the Run value's data through the wide one, so
// every character of the path survives), ShellExecuteExW, and CreateMutexA.
#include "platform/win32/win32_services.h"

#include <shellapi.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/win32/win32_text.h"

namespace tb::win32 {

namespace {

HKEY ToHkey(KeyHandle key) {
    if (key == kHkeyCurrentUser) {
        return HKEY_CURRENT_USER;  // sign-extended on 64-bit Windows, unlike the logic's value
    }
    return reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(key));
}

KeyHandle FromHkey(HKEY key) {
    return static_cast<KeyHandle>(reinterpret_cast<std::uintptr_t>(key));
}

// Opens or creates through `call`, mapping the handle out only on success.
template <typename Call>
RegResult Opened(KeyHandle& key, Call call) {
    HKEY opened = nullptr;
    const LONG result = call(&opened);
    key = result == ERROR_SUCCESS ? FromHkey(opened) : 0;
    return static_cast<RegResult>(result);
}

}  // namespace

RegResult Win32Registry::OpenKey(std::string_view path, KeyHandle& key) {
    const std::string ansi = ToAnsi(path);
    return Opened(key,
                  [&](HKEY* out) { return ::RegOpenKeyA(HKEY_CURRENT_USER, ansi.c_str(), out); });
}

RegResult Win32Registry::CreateKey(KeyHandle parent, std::string_view subPath, KeyHandle& key) {
    const std::string ansi = ToAnsi(subPath);
    return Opened(key,
                  [&](HKEY* out) { return ::RegCreateKeyA(ToHkey(parent), ansi.c_str(), out); });
}

RegResult Win32Registry::OpenKeyEx(std::string_view path, std::uint32_t access, KeyHandle& key) {
    const std::string ansi = ToAnsi(path);
    return Opened(key, [&](HKEY* out) {
        return ::RegOpenKeyExA(HKEY_CURRENT_USER, ansi.c_str(), 0, access, out);
    });
}

RegResult Win32Registry::SetStringValue(KeyHandle key, std::string_view name,
                                        std::string_view utf8Data) {
    const std::wstring wideName = Widen(name);
    const std::wstring data = Widen(utf8Data);
    // REG_SZ in UTF-16 with the terminating NUL counted in the length.
    const auto bytes = static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t));
    return static_cast<RegResult>(::RegSetValueExW(ToHkey(key), wideName.c_str(), 0, REG_SZ,
                                                   reinterpret_cast<const BYTE*>(data.c_str()),
                                                   bytes));
}

RegResult Win32Registry::DeleteValue(KeyHandle key, std::string_view name) {
    const std::string ansi = ToAnsi(name);
    return static_cast<RegResult>(::RegDeleteValueA(ToHkey(key), ansi.c_str()));
}

RegResult Win32Registry::DeleteKey(KeyHandle parent, std::string_view subKey) {
    const std::string ansi = ToAnsi(subKey);
    return static_cast<RegResult>(::RegDeleteKeyA(ToHkey(parent), ansi.c_str()));
}

RegResult Win32Registry::QueryValue(KeyHandle key, std::string_view name, ValueType& type,
                                    std::uint8_t* buffer, std::uint32_t capacity,
                                    std::uint32_t& size) {
    const std::string ansi = ToAnsi(name);
    DWORD valueType = REG_NONE;
    DWORD length = buffer != nullptr ? capacity : 0;
    LONG result =
        ::RegQueryValueExA(ToHkey(key), ansi.c_str(), nullptr, &valueType, buffer, &length);
    if (result == ERROR_MORE_DATA && buffer != nullptr) {
        // Win32 copies nothing when the data does not fit; the caller is promised its first
        // `capacity` bytes, so read the whole value once more and copy the head. A value that
        // grows in between is simply reported as it was first seen.
        std::vector<std::uint8_t> whole(length);
        DWORD wholeLength = length;
        DWORD wholeType = REG_NONE;
        if (::RegQueryValueExA(ToHkey(key), ansi.c_str(), nullptr, &wholeType, whole.data(),
                               &wholeLength) == ERROR_SUCCESS) {
            std::memcpy(buffer, whole.data(), std::min<std::size_t>(wholeLength, capacity));
            valueType = wholeType;
            length = wholeLength;
        }
    }
    type = static_cast<ValueType>(valueType);
    size = length;
    return static_cast<RegResult>(result);
}

RegResult Win32Registry::CloseKey(KeyHandle key) {
    if (key == kHkeyCurrentUser) {
        return kErrorSuccess;  // the hive itself is never closed
    }
    if (key == 0) {
        return kErrorInvalidHandle;
    }
    return static_cast<RegResult>(::RegCloseKey(ToHkey(key)));
}

void Win32Shell::Open(std::string_view target) {
    // Failure is silent by design: an address nobody handles just does nothing. Plain
    // ShellExecute may put up its own error box instead, hence the "no UI" flag.
    const std::wstring file = Widen(target);
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_FLAG_NO_UI;
    info.lpFile = file.c_str();
    info.nShow = SW_SHOWNORMAL;
    ::ShellExecuteExW(&info);
}

void Win32NamedMutex::Create(std::string_view name) {
    const std::string ansi = ToAnsi(name);
    mutex_.reset(::CreateMutexA(nullptr, FALSE, ansi.c_str()));
}

}  // namespace tb::win32
