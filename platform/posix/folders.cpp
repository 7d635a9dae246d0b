// SPDX-License-Identifier: MIT
// Well-known folders and the program's own path, after the XDG base-directory
// conventions.
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "platform/paths.h"

namespace platform {
namespace {

constexpr std::string_view kVendorFolder = "Morvik";

std::string HomeFolder() {
    if (const char* home = std::getenv("HOME"); home != nullptr && home[0] != '\0') {
        return home;
    }
    struct passwd entry {};
    struct passwd* found = nullptr;
    char buffer[4096];
    if (getpwuid_r(getuid(), &entry, buffer, sizeof buffer, &found) == 0 && found != nullptr &&
        found->pw_dir != nullptr) {
        return found->pw_dir;
    }
    return {};
}

// $variable when it holds an absolute path, else ~/fallback.
std::string BaseFolder(const char* variable, std::string_view fallback) {
    if (const char* value = std::getenv(variable); value != nullptr && value[0] == '/') {
        return value;
    }
    const std::string home = HomeFolder();
    return home.empty() ? std::string() : home + "/" + std::string(fallback);
}

}  // namespace

bool CreateFolders(const std::string& path) {
    for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string part = path.substr(0, slash);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
            return false;
        }
        if (slash == std::string::npos) {
            break;
        }
    }
    return IsDirectory(path);
}

std::string ProgramPath() {
    std::string path(4096, '\0');
    const ssize_t length = ::readlink("/proc/self/exe", path.data(), path.size());
    if (length <= 0 || static_cast<std::size_t>(length) >= path.size()) {
        return {};
    }
    path.resize(static_cast<std::size_t>(length));
    return path;
}

std::string AppDataFolder() {
    const std::string base = BaseFolder("XDG_STATE_HOME", ".local/state");
    if (base.empty()) {
        return {};
    }
    std::string folder = base + "/" + std::string(kVendorFolder);
    return CreateFolders(folder) ? folder : std::string();
}

std::string UserConfigFolder() {
    const std::string base = BaseFolder("XDG_CONFIG_HOME", ".config");
    return base.empty() ? std::string() : base + "/" + std::string(kVendorFolder);
}

bool PathExists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

bool IsDirectory(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string AbsolutePath(std::string_view path) {
    if (path.empty() || path.front() == '/') {
        return std::string(path);
    }
    std::string folder(4096, '\0');
    if (::getcwd(folder.data(), folder.size()) == nullptr) {
        return std::string(path);  // no current folder to anchor it to
    }
    folder.resize(std::char_traits<char>::length(folder.c_str()));
    if (folder.back() != '/') {
        folder += '/';
    }
    return folder + std::string(path.starts_with("./") ? path.substr(2) : path);
}

bool IsWritableFolder(const std::string& path) {
    return IsDirectory(path) && ::access(path.c_str(), W_OK | X_OK) == 0;
}

ShellQuoting NativeShellQuoting() {
    return ShellQuoting::kPosix;
}

bool ReadFileStart(const std::string& path, std::size_t maxBytes, std::string* out) {
    out->clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    struct stat info {};
    bool ok = ::fstat(fd, &info) == 0 && !S_ISDIR(info.st_mode);
    std::size_t got = 0;
    if (ok) {
        out->resize(maxBytes);
        while (got < maxBytes) {
            const ssize_t n = ::read(fd, out->data() + got, maxBytes - got);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                ok = n == 0;
                break;
            }
            got += static_cast<std::size_t>(n);
        }
    }
    ::close(fd);
    out->resize(ok ? got : 0);
    return ok;
}

}  // namespace platform
