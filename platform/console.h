// SPDX-License-Identifier: MIT
// The standard error stream and the program's arguments as UTF-8.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace platform {

// True when the standard error stream is an interactive terminal (or console).
bool StandardErrorIsTerminal();

// Writes bytes to the standard error stream unbuffered; failures are ignored.
void WriteStandardError(std::string_view text);

// The program's arguments as UTF-8 texts, argv[0] first. POSIX passes them on
// as they are; Windows reads the wide command line, so names outside the
// ANSI code page survive.
std::vector<std::string> CommandLineArguments(int argc, char** argv);

// The UTF-8 form of a narrow text another program passed to the library: in
// the ANSI code page on Windows, as Windows programs pass them; unchanged on
// POSIX, where texts are UTF-8.
std::string CallerTextToUtf8(std::string_view text);

}  // namespace platform
