// SPDX-License-Identifier: MIT
// Well-known folders and the program's own path, after the XDG base-directory
// conventions.
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "platform/platform.h"

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

// Creates the folder and its parents; true when it exists afterwards.
bool MakeFolders(const std::string& path) {
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

}  // namespace

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
    return MakeFolders(folder) ? folder : std::string();
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

}  // namespace platform
