// SPDX-License-Identifier: MIT
// The Windows side of the test helpers. Temporary folders get random names;
// the environment is the C library's, which the engine reads. There is no
// POSIX shell or Python here, so commands (the reader scripts, unzip) go to
// the Linux side: each is left as a request in the folder that
// QUENDLE_READER_QUEUE names, tests/tools/reader_queue.py (started by
// scripts/windows.sh) runs it there and leaves the answer beside it, and the
// test goes on with that answer as it would with its own shell's.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <windows.h>

#include <atomic>
#include <chrono>
#include <random>
#include <thread>

#include "test_support.h"

namespace testing_support {

std::filesystem::path MakeTempFolder() {
    std::random_device random;
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 32; ++attempt) {
        const std::filesystem::path candidate = base / ("quendle-test-" + std::to_string(random()));
        std::error_code failure;
        if (std::filesystem::create_directory(candidate, failure)) {
            return candidate;
        }
    }
    return {};
}

void SetEnvironment(const char* name, const char* value) {
    // An empty value removes the variable from the C library's environment.
    (void)_putenv_s(name, value != nullptr ? value : "");
}

std::string SystemFaultText(SystemFault fault) {
    // Windows has no "not a folder" error for a path through a plain file:
    // the path is not found.
    const DWORD code =
        fault == SystemFault::kNoSuchFile ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
    char* buffer = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
    std::string text = buffer != nullptr ? std::string(buffer, length) : std::string();
    LocalFree(buffer);
    // The platform layer drops the closing period and line end; so does this.
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == '.' ||
                             text.back() == ' ')) {
        text.pop_back();
    }
    return text;
}

namespace {

// Request names that no other test program, nor an earlier one that had the
// same process id, can have used.
std::string NextRequestName() {
    static const std::string token = [] {
        std::random_device random;
        return std::to_string(random()) + std::to_string(random());
    }();
    static std::atomic<int> counter{0};
    return token + "-" + std::to_string(++counter);
}

std::string CurrentTestName() {
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    return test != nullptr ? std::string(test->test_suite_name()) + "." + test->name() : "-";
}

}  // namespace

CommandResult RunCommand(const std::string& command) {
    CommandResult result;
    const char* queueText = std::getenv("QUENDLE_READER_QUEUE");
    if (queueText == nullptr || *queueText == '\0') {
        result.output = "not run: no QUENDLE_READER_QUEUE to hand it to: " + command;
        return result;
    }
    const std::filesystem::path queue = Utf8Path(queueText);
    // The answering side keeps this file while it runs; without it a request
    // would wait for the test's whole time limit.
    const std::filesystem::path ready = queue / "ready";
    std::error_code failure;
    if (!std::filesystem::exists(ready, failure)) {
        result.output = "not run: nothing answers requests in " + std::string(queueText);
        return result;
    }
    const std::string name = NextRequestName();
    const std::filesystem::path request = queue / (name + ".request");
    const std::filesystem::path answer = queue / (name + ".answer");
    // Written whole, then renamed, so the other side never reads half of it.
    const std::string partial = PathText(queue / (name + ".partial"));
    if (!WriteWholeFile(partial, CurrentTestName() + "\n" + command)) {
        result.output = "cannot write the request " + partial;
        return result;
    }
    std::filesystem::rename(Utf8Path(partial), request, failure);
    if (failure) {
        result.output = "cannot queue the request " + partial + ": " + failure.message();
        return result;
    }
    while (!std::filesystem::exists(answer, failure)) {
        if (!std::filesystem::exists(ready, failure)) {
            result.output = "not run: the answering side stopped before " + command;
            return result;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    // The answer: the exit code on the first line, then what the command printed.
    const std::string text = ReadWholeFile(PathText(answer));
    std::filesystem::remove(answer, failure);
    const std::size_t lineEnd = text.find('\n');
    if (lineEnd == std::string::npos) {
        result.output = "malformed answer to " + command;
        return result;
    }
    result.exitCode = std::atoi(text.substr(0, lineEnd).c_str());
    result.output = text.substr(lineEnd + 1);
    return result;
}

}  // namespace testing_support
