// SPDX-License-Identifier: MIT
// Conversions between the engine's UTF-8 and the UTF-16 of the wide calls.
#include "platform/windows/wide.h"

#include <string>

#include "platform/code_pages.h"
#include "platform/utf8.h"

namespace platform::windows {

std::wstring Widen(std::string_view text) {
    std::string valid;
    if (!IsValidUtf8(text)) {
        (void)ConvertToUtf8(kCodePageUtf8, text, valid);  // repairs, cannot fail
        text = valid;
    }
    if (text.empty()) {
        return {};
    }
    const int size = static_cast<int>(text.size());
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length > 0 ? length : 0), L'\0');
    if (length > 0) {
        (void)MultiByteToWideChar(CP_UTF8, 0, text.data(), size, wide.data(), length);
    }
    return wide;
}

std::string Narrow(std::wstring_view text) {
    if (text.empty()) {
        return {};
    }
    const int size = static_cast<int>(text.size());
    const int length =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<std::size_t>(length > 0 ? length : 0), '\0');
    if (length > 0) {
        (void)WideCharToMultiByte(CP_UTF8, 0, text.data(), size, narrow.data(), length, nullptr,
                                  nullptr);
    }
    return narrow;
}

std::wstring WidePath(std::string_view path) {
    std::wstring wide = Widen(path);
    for (wchar_t& c : wide) {
        if (c == L'/') {
            c = L'\\';
        }
    }
    if (wide.rfind(L"\\\\?\\", 0) == 0) {
        return wide;
    }
    // Below MAX_PATH less room for an 8.3 name every call accepts the path
    // as it is; beyond it only the "\\?\" form works, and that form must be
    // absolute and free of "." and ".." parts, which GetFullPathNameW ensures.
    // What counts is the length once the system has put the current folder
    // (or drive) in front, so a short relative name is resolved first: under
    // a deep current folder it is a long path too.
    constexpr std::size_t kPlainLimit = MAX_PATH - 12;
    const bool absolute =
        (wide.size() >= 3 && wide[1] == L':' && wide[2] == L'\\') || wide.rfind(L"\\\\", 0) == 0;
    if (wide.empty() || (absolute && wide.size() < kPlainLimit)) {
        return wide;
    }
    const DWORD needed = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (needed == 0) {
        return wide;
    }
    std::wstring full(needed, L'\0');
    const DWORD got = GetFullPathNameW(wide.c_str(), needed, full.data(), nullptr);
    if (got == 0 || got >= needed) {
        return wide;
    }
    full.resize(got);
    if (full.size() < kPlainLimit) {
        return wide;
    }
    if (full.rfind(L"\\\\", 0) == 0) {
        return L"\\\\?\\UNC\\" + full.substr(2);  // \\server\share\...
    }
    return L"\\\\?\\" + full;
}

std::string NarrowPath(std::wstring_view path) {
    if (path.rfind(L"\\\\?\\UNC\\", 0) == 0) {
        return "\\\\" + Narrow(path.substr(8));
    }
    if (path.rfind(L"\\\\?\\", 0) == 0) {
        path.remove_prefix(4);
    }
    return Narrow(path);
}

std::string ErrorText(DWORD code) {
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::string text;
    if (length > 0 && buffer != nullptr) {
        text = Narrow(std::wstring_view(buffer, length));
    }
    if (buffer != nullptr) {
        LocalFree(buffer);
    }
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' ||
                             text.back() == '.')) {
        text.pop_back();
    }
    return text.empty() ? "error " + std::to_string(code) : text;
}

}  // namespace platform::windows
