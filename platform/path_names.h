// SPDX-License-Identifier: MIT
// The name and folder parts of a path, split on this platform's separators
// (IsPathSeparator), so every caller cuts a path at the same place.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// The last component of `path`: what follows its last separator, or the whole
// path when it has none; empty when the path ends in a separator.
std::string_view FileNameOf(std::string_view path);

// `path` without its last component, keeping the separator before it ("a/"
// for "a/b.csv"); empty for a bare name. Joined with a name by plain
// concatenation, it keeps the caller's spelling of the folder.
std::string_view FolderPrefixOf(std::string_view path);

// The folder to open or create a file's neighbours in: FolderOf(path), or "."
// for a bare name, which lives in the current folder.
std::string ContainingFolder(std::string_view path);

}  // namespace platform
