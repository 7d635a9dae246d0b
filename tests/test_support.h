// SPDX-License-Identifier: MIT
// Helpers shared by the test programs: a temporary folder removed on every
// path, whole-file reads and writes, and running the independent reader
// scripts of tests/tools (on Windows, through the Linux side).
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <system_error>

namespace testing_support {

// Paths as the engine holds them, UTF-8, and as std::filesystem takes them.
// A narrow std::string given to std::filesystem::path is read in the ANSI
// code page on Windows, so every conversion goes through char8_t.
inline std::filesystem::path Utf8Path(const std::string& text) {
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}
inline std::string PathText(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

// A new, empty folder under the system's temporary folder; empty on failure.
std::filesystem::path MakeTempFolder();

// Sets an environment variable, or removes it when `value` is null.
void SetEnvironment(const char* name, const char* value);

// File-system failures whose wording comes from the system, so a test that
// checks the reason reaches the user expects that system's own words.
enum class SystemFault {
    kNoSuchFile,    // opening a file that does not exist
    kNoSuchFolder,  // creating a file in a folder that does not exist
    kNotAFolder,    // creating a file under a path that is a plain file
};
std::string SystemFaultText(SystemFault fault);

// A fresh folder under the system's temporary folder, removed with
// everything in it when the guard goes out of scope.
class TempDir {
public:
    TempDir() : path_(MakeTempFolder()) {}
    ~TempDir() {
        std::error_code ignored;
        if (!path_.empty()) {
            std::filesystem::remove_all(path_, ignored);
        }
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::string File(const std::string& name) const { return PathText(path_ / Utf8Path(name)); }

private:
    std::filesystem::path path_;
};

// `piece` `times` over, for inputs too big to write out.
inline std::string Repeat(std::string_view piece, std::size_t times) {
    std::string text;
    text.reserve(piece.size() * times);
    for (std::size_t i = 0; i < times; ++i) {
        text += piece;
    }
    return text;
}

inline std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(Utf8Path(path), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline bool WriteWholeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(Utf8Path(path), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

// Sets an environment variable (or, with null, removes it) for the guard's
// lifetime and puts back what was there before.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) {
            old_ = old;
        }
        SetEnvironment(name, value);
    }
    ~ScopedEnv() { SetEnvironment(name_, old_ ? old_->c_str() : nullptr); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* name_;
    std::optional<std::string> old_;
};

// Makes a folder the current one for the guard's lifetime; error() tells
// whether that worked.
class ScopedCurrentFolder {
public:
    explicit ScopedCurrentFolder(const std::string& folder) {
        old_ = std::filesystem::current_path(error_);
        if (!error_) {
            std::filesystem::current_path(Utf8Path(folder), error_);
        }
    }
    ~ScopedCurrentFolder() {
        std::error_code ignored;
        std::filesystem::current_path(old_, ignored);
    }
    ScopedCurrentFolder(const ScopedCurrentFolder&) = delete;
    ScopedCurrentFolder& operator=(const ScopedCurrentFolder&) = delete;
    const std::error_code& error() const { return error_; }

private:
    std::filesystem::path old_;
    std::error_code error_;
};

struct CommandResult {
    int exitCode = -1;
    std::string output;  // stdout and stderr together
};

// Runs a shell command and collects what it prints. On Windows, where no
// POSIX shell or reader scripts exist, the command is handed to the Linux
// side (support_windows.cpp, tools/reader_queue.py) and the answer awaited;
// only the reader scripts and unzip run there. Exit code -1 when the command
// could not run at all.
CommandResult RunCommand(const std::string& command);

// Quotes a text for the shell.
inline std::string ShellQuote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'') {
            quoted += "'\\''";
        } else {
            quoted += c;
        }
    }
    return quoted + "'";
}

// Runs one of the tests/tools Python scripts with Debian's python3.
inline CommandResult RunTool(const std::string& script, const std::string& arguments) {
    return RunCommand(ShellQuote(QUENDLE_PYTHON) + " " +
                      ShellQuote(std::string(QUENDLE_TOOLS_DIR) + "/" + script) + " " + arguments);
}

}  // namespace testing_support
