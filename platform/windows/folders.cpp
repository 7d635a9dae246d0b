// SPDX-License-Identifier: MIT
// Well-known folders and the program's own path on Windows. The user's
// roaming application-data folder holds both the run log and the per-user
// settings, since a program under Program Files cannot write beside itself.
#include <shlobj.h>
#include <windows.h>

#include <cstdlib>
#include <string>

#include "platform/paths.h"
#include "platform/windows/wide.h"

namespace platform {
namespace {

constexpr std::string_view kVendorFolder = "Morvik";

// %APPDATA% first, which tests (and administrators) may point elsewhere, as
// XDG_STATE_HOME is on Linux; then the known folder itself.
std::string RoamingAppData() {
    if (const wchar_t* value = _wgetenv(L"APPDATA"); value != nullptr && value[0] != L'\0') {
        return windows::Narrow(value);
    }
    wchar_t* path = nullptr;
    std::string folder;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_RoamingAppData, KF_FLAG_CREATE, nullptr, &path))) {
        folder = windows::Narrow(path);
    }
    CoTaskMemFree(path);
    return folder;
}

}  // namespace

std::string ProgramPath() {
    std::wstring path(32768, L'\0');
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0 || length >= path.size()) {
        return {};
    }
    path.resize(length);
    return windows::NarrowPath(path);
}

std::string AppDataFolder() {
    const std::string base = RoamingAppData();
    if (base.empty()) {
        return {};
    }
    const std::string folder = JoinPath(base, kVendorFolder);
    (void)CreateDirectoryW(windows::WidePath(folder).c_str(), nullptr);  // may exist already
    return IsDirectory(folder) ? folder : std::string();
}

std::string UserConfigFolder() {
    const std::string base = RoamingAppData();
    return base.empty() ? std::string() : JoinPath(base, kVendorFolder);
}

bool PathExists(const std::string& path) {
    return GetFileAttributesW(windows::WidePath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsDirectory(const std::string& path) {
    const DWORD attributes = GetFileAttributesW(windows::WidePath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace platform
