// SPDX-License-Identifier: MIT
// UTF-8 and UTF-16 for the wide Windows calls, and the system's words for an
// error code. Paths become wide paths that the file calls accept at any length.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace platform::windows {

// UTF-16 form of UTF-8 text; ill-formed bytes become U+FFFD.
std::wstring Widen(std::string_view text);

// UTF-8 form of UTF-16 text; unpaired surrogates become U+FFFD.
std::string Narrow(std::wstring_view text);

// The wide form of a path for the file calls: separators made "\", and a long
// absolute path given the "\\?\" prefix that lifts the 260-character limit.
std::wstring WidePath(std::string_view path);

// A path the system gave back, without the "\\?\" prefix, in UTF-8.
std::string NarrowPath(std::wstring_view path);

// The system's words for an error code, without a trailing line end.
std::string ErrorText(DWORD code);

}  // namespace platform::windows
