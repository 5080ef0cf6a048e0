// UTF-8, UTF-16 and ANSI code page conversions through MultiByteToWideChar and back.
#include "platform/win32/win32_text.h"

#include <climits>

namespace tb::win32 {

namespace {

std::wstring ToWide(UINT codePage, std::string_view text) {
    if (text.empty() || text.size() > INT_MAX) {
        return {};
    }
    const int length = static_cast<int>(text.size());
    const int needed = ::MultiByteToWideChar(codePage, 0, text.data(), length, nullptr, 0);
    if (needed <= 0) {
        return {};
    }
    std::wstring wide(static_cast<std::size_t>(needed), L'\0');
    ::MultiByteToWideChar(codePage, 0, text.data(), length, wide.data(), needed);
    return wide;
}

std::string FromWide(UINT codePage, std::wstring_view text) {
    if (text.empty() || text.size() > INT_MAX) {
        return {};
    }
    const int length = static_cast<int>(text.size());
    const int needed =
        ::WideCharToMultiByte(codePage, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) {
        return {};
    }
    std::string narrow(static_cast<std::size_t>(needed), '\0');
    ::WideCharToMultiByte(codePage, 0, text.data(), length, narrow.data(), needed, nullptr,
                          nullptr);
    return narrow;
}

}  // namespace

std::wstring Widen(std::string_view utf8) {
    return ToWide(CP_UTF8, utf8);
}

std::string Narrow(std::wstring_view utf16) {
    return FromWide(CP_UTF8, utf16);
}

std::string ToAnsi(std::string_view utf8) {
    return FromWide(CP_ACP, Widen(utf8));
}

}  // namespace tb::win32
