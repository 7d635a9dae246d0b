// SPDX-License-Identifier: MIT
// The path helpers the wizard's pages use, on Windows: absolute names, the
// folder of a name, creating and testing folders, and reading a file's start
// for the preview.
#include <windows.h>

#include <string>
#include <string_view>

#include "platform/paths.h"
#include "platform/windows/wide.h"

namespace platform {
namespace {

constexpr std::size_t kReadChunk = std::size_t{1} << 20;

// "C:\...", "C:/...", "\\server\..." and "\..." (the current drive's root).
bool IsAbsolute(std::string_view path) {
    if (!path.empty() && IsPathSeparator(path.front())) {
        return true;
    }
    return path.size() >= 3 && path[1] == ':' && IsPathSeparator(path[2]);
}

// Closes a handle when it goes.
class Handle {
public:
    explicit Handle(HANDLE handle) : m_handle(handle) {}
    ~Handle() {
        if (valid()) {
            CloseHandle(m_handle);
        }
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    bool valid() const { return m_handle != INVALID_HANDLE_VALUE && m_handle != nullptr; }
    HANDLE get() const { return m_handle; }

private:
    HANDLE m_handle;
};

}  // namespace

std::string AbsolutePath(std::string_view path) {
    if (path.empty() || IsAbsolute(path)) {
        return std::string(path);
    }
    const DWORD length = GetCurrentDirectoryW(0, nullptr);
    if (length == 0) {
        return std::string(path);  // no current folder to anchor it to
    }
    std::wstring folder(length, L'\0');
    const DWORD got = GetCurrentDirectoryW(length, folder.data());
    folder.resize(got);
    std::string absolute = windows::NarrowPath(folder);
    if (absolute.empty() || !IsPathSeparator(absolute.back())) {
        absolute += kPathSeparator;
    }
    if (path.size() >= 2 && path[0] == '.' && IsPathSeparator(path[1])) {
        path.remove_prefix(2);
    }
    return absolute + std::string(path);
}

bool CreateFolders(const std::string& path) {
    if (path.empty()) {
        return false;
    }
    // Each folder from the top down; the ones that exist already fail harmlessly.
    for (std::size_t i = 1; i <= path.size(); ++i) {
        if (i == path.size() || IsPathSeparator(path[i])) {
            const std::string part = path.substr(0, i);
            if (!(part.size() == 2 && part[1] == ':')) {
                CreateDirectoryW(windows::WidePath(part).c_str(), nullptr);
            }
        }
    }
    return IsDirectory(path);
}

bool IsWritableFolder(const std::string& path) {
    if (!IsDirectory(path)) {
        return false;
    }
    // Access rights on Windows are lists, not bits: the one sure test is to
    // create a file, which goes again when its handle closes.
    const std::string probe =
        JoinPath(path, "~quendle-" + std::to_string(GetCurrentProcessId()) + ".tmp");
    const Handle file(CreateFileW(windows::WidePath(probe).c_str(), GENERIC_WRITE, 0, nullptr,
                                  CREATE_NEW, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE,
                                  nullptr));
    return file.valid();
}

ShellQuoting NativeShellQuoting() {
    return ShellQuoting::kWindows;
}

bool ReadFileStart(const std::string& path, std::size_t maxBytes, std::string* out) {
    out->clear();
    const Handle file(CreateFileW(windows::WidePath(path).c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) {
        return false;  // missing, locked, or a folder
    }
    out->resize(maxBytes);
    std::size_t got = 0;
    while (got < maxBytes) {
        const std::size_t left = maxBytes - got;
        const DWORD want = static_cast<DWORD>(left < kReadChunk ? left : kReadChunk);
        DWORD read = 0;
        if (!ReadFile(file.get(), out->data() + got, want, &read, nullptr)) {
            out->clear();
            return false;
        }
        if (read == 0) {
            break;
        }
        got += read;
    }
    out->resize(got);
    return true;
}

}  // namespace platform
