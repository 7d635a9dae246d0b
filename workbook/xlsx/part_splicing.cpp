// SPDX-License-Identifier: MIT
// Byte-level editing of loaded parts: a part is changed only where the book
// changed, every other byte is passed through as it was.
#include <algorithm>

#include "workbook/xlsx/package_parts.h"

namespace workbook::xlsx {

std::string ApplySplices(std::string_view original, std::vector<Splice> splices) {
    std::stable_sort(splices.begin(), splices.end(),
                     [](const Splice& a, const Splice& b) { return a.offset < b.offset; });
    std::string out;
    out.reserve(original.size() + 256);
    std::uint64_t at = 0;
    for (const Splice& splice : splices) {
        if (splice.offset < at || splice.offset > original.size()) {
            continue;  // overlapping or out of range: our own bug, keep the original bytes
        }
        // Both offsets lie within `original`, so they fit in size_t.
        out.append(original.substr(static_cast<std::size_t>(at),
                                   static_cast<std::size_t>(splice.offset - at)));
        out += splice.text;
        at = std::min<std::uint64_t>(splice.offset + splice.length, original.size());
    }
    out.append(original.substr(static_cast<std::size_t>(at)));
    return out;
}

std::string TagPrefix(std::string_view rawTag) {
    if (rawTag.size() < 2 || rawTag[0] != '<') {
        return {};
    }
    std::size_t end = 1;
    while (end < rawTag.size() && rawTag[end] != ' ' && rawTag[end] != '>' && rawTag[end] != '/' &&
           rawTag[end] != '\t' && rawTag[end] != '\n' && rawTag[end] != '\r') {
        ++end;
    }
    const std::string_view name = rawTag.substr(1, end - 1);
    const std::size_t colon = name.find(':');
    return colon == std::string_view::npos ? std::string() : std::string(name.substr(0, colon + 1));
}

bool SetAttributeInTag(std::string& tag, std::string_view name, std::string_view value) {
    std::size_t at = 0;
    while ((at = tag.find(name, at)) != std::string::npos) {
        const bool boundary = at > 0 && (tag[at - 1] == ' ' || tag[at - 1] == '\t' ||
                                         tag[at - 1] == '\n' || tag[at - 1] == '\r');
        std::size_t cursor = at + name.size();
        while (cursor < tag.size() && (tag[cursor] == ' ' || tag[cursor] == '\t')) {
            ++cursor;
        }
        if (!boundary || cursor >= tag.size() || tag[cursor] != '=') {
            at += name.size();
            continue;
        }
        ++cursor;
        while (cursor < tag.size() && (tag[cursor] == ' ' || tag[cursor] == '\t')) {
            ++cursor;
        }
        if (cursor >= tag.size() || (tag[cursor] != '"' && tag[cursor] != '\'')) {
            return false;
        }
        const char quote = tag[cursor];
        const std::size_t close = tag.find(quote, cursor + 1);
        if (close == std::string::npos) {
            return false;
        }
        tag.replace(cursor + 1, close - cursor - 1, value);
        return true;
    }
    return false;
}

}  // namespace workbook::xlsx
