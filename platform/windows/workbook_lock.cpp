// SPDX-License-Identifier: MIT
// The workbook lock on Windows: the hidden file beside the workbook is held
// open with no sharing and deletes itself when closed, so a second holder is
// refused until the first one's handle closes, by its release or by the end
// of its process. The workbook itself is held open against writers too: a
// program that takes no lock file still cannot change it under a conversion.
#include "platform/workbook_lock.h"

#include <windows.h>

#include <string>

#include "platform/paths.h"
#include "platform/windows/wide.h"
#include "platform/workbook_lock_backend.h"

namespace platform::detail {

using windows::WidePath;

std::string LockKeyOf(const std::string& target) {
    const std::wstring path = WidePath(AbsolutePath(target));
    std::wstring full(32768, L'\0');
    const DWORD length =
        GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    full.resize(length > 0 && length < 32768 ? length : 0);
    if (full.empty()) {
        full = path;
    }
    // Names ignore letter case here: Book.xlsx and BOOK.XLSX are one workbook.
    (void)CharLowerBuffW(full.data(), static_cast<DWORD>(full.size()));
    return windows::NarrowPath(full);
}

bool ReadIdentity(const std::string& path, FileIdentity* identity) {
    *identity = FileIdentity{};
    HANDLE handle = CreateFileW(WidePath(path).c_str(), FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    const bool read = GetFileInformationByHandle(handle, &info) != 0;
    CloseHandle(handle);
    if (!read) {
        return false;
    }
    identity->exists = true;
    identity->device = info.dwVolumeSerialNumber;
    identity->index = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    identity->size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    identity->modified = static_cast<std::int64_t>(
        (static_cast<std::uint64_t>(info.ftLastWriteTime.dwHighDateTime) << 32) |
        info.ftLastWriteTime.dwLowDateTime);
    return true;
}

LockFileResult TryLockFile(const std::string& lockPath, std::intptr_t* handle) {
    const std::wstring path = WidePath(lockPath);
    HANDLE file =
        CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr, OPEN_ALWAYS,
                    FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        *handle = reinterpret_cast<std::intptr_t>(file);
        return LockFileResult::kLocked;
    }
    const DWORD code = GetLastError();
    // A holder's open handle refuses sharing; a file whose holder just
    // closed it is refused until the system has deleted it.
    if (code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION ||
        (code == ERROR_ACCESS_DENIED &&
         GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES)) {
        return LockFileResult::kBusy;
    }
    return LockFileResult::kUnavailable;
}

void UnlockFile(const std::string&, std::intptr_t handle) {
    CloseHandle(reinterpret_cast<HANDLE>(handle));  // deletes the file on close
}

LockStatus GuardWorkbook(const std::string& target, std::intptr_t* guard, std::string& error) {
    *guard = -1;
    // Reading stays open to all, as a conversion's own load needs it.
    HANDLE handle = CreateFileW(WidePath(target).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        if (code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION) {
            error = OpenElsewhereText(target) + ".";
            return LockStatus::kOpenElsewhere;
        }
        return LockStatus::kOk;  // the load says what is wrong with it
    }
    *guard = reinterpret_cast<std::intptr_t>(handle);
    return LockStatus::kOk;
}

void CloseGuard(std::intptr_t guard) {
    if (guard != -1) {
        CloseHandle(reinterpret_cast<HANDLE>(guard));
    }
}

}  // namespace platform::detail
