// SPDX-License-Identifier: MIT
// The Windows side of the test helpers. Temporary folders get random names;
// the environment is the C library's, which the engine reads; there is no
// POSIX shell or Python, so reader scripts run on the Linux side instead
// (scripts/windows.sh) and commands here report exit code -1.
#include <stdlib.h>

#include <random>

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

CommandResult RunCommand(const std::string& command) {
    CommandResult result;
    result.output = "not run on this system: " + command;
    return result;
}

}  // namespace testing_support
