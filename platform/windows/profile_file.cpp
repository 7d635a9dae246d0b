// SPDX-License-Identifier: MIT
// Private-profile (INI) files through the system's own calls, which match
// sections and keys without regard to case and keep every other line.
#include <windows.h>

#include <string>

#include "platform/platform.h"
#include "platform/windows/wide.h"

// <windows.h> maps WriteProfileString to the win.ini call; ours is meant.
#undef WriteProfileString

namespace platform {
namespace {

// The profile calls look for a name without a folder in the Windows folder,
// so every path is made full first.
std::wstring ProfilePath(const std::string& path) {
    const std::wstring wide = windows::WidePath(path);
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
    return full;
}

// Stands for "no such key": no INI value can hold a control character.
constexpr wchar_t kMissing[] = L"\x01";

std::wstring ReadValue(std::string_view section, std::string_view key, const std::string& path) {
    const std::wstring file = ProfilePath(path);
    const std::wstring wideSection = windows::Widen(section);
    const std::wstring wideKey = windows::Widen(key);
    std::wstring value(256, L'\0');
    for (;;) {
        const DWORD got =
            GetPrivateProfileStringW(wideSection.c_str(), wideKey.c_str(), kMissing, value.data(),
                                     static_cast<DWORD>(value.size()), file.c_str());
        // A value that filled the buffer may have been cut: read it again.
        if (got + 1 < value.size() || value.size() >= 65536) {
            value.resize(got);
            return value;
        }
        value.resize(value.size() * 4);
    }
}

}  // namespace

int ReadProfileInt(std::string_view section, std::string_view key, int fallback,
                   const std::string& path) {
    const std::wstring value = ReadValue(section, key, path);
    if (value == kMissing) {
        return fallback;
    }
    // The value's leading integer, as GetPrivateProfileIntW reads it.
    return static_cast<int>(GetPrivateProfileIntW(windows::Widen(section).c_str(),
                                                  windows::Widen(key).c_str(), fallback,
                                                  ProfilePath(path).c_str()));
}

std::string ReadProfileString(std::string_view section, std::string_view key,
                              std::string_view fallback, const std::string& path) {
    const std::wstring value = ReadValue(section, key, path);
    return value == kMissing ? std::string(fallback) : windows::Narrow(value);
}

bool WriteProfileString(std::string_view section, std::string_view key, std::string_view value,
                        const std::string& path) {
    return WritePrivateProfileStringW(windows::Widen(section).c_str(), windows::Widen(key).c_str(),
                                      windows::Widen(value).c_str(),
                                      ProfilePath(path).c_str()) != 0;
}

}  // namespace platform
