// SPDX-License-Identifier: MIT
// Filling the record's fixed text buffers.
#include <algorithm>

#include "engine/settings.h"
#include "platform/utf8_stepping.h"

namespace engine {

bool CopyText(std::span<char> dst, std::string_view src, std::size_t maxCharacters) {
    if (dst.empty()) {
        return src.empty();
    }
    const std::size_t room = dst.size() - 1;
    std::size_t length = 0;
    std::size_t characters = 0;
    while (length < src.size() && characters < maxCharacters) {
        const std::size_t next = length + platform::StepUtf8(src, length).length;
        if (next > room) {
            break;
        }
        length = next;
        ++characters;
    }
    std::copy_n(src.data(), length, dst.data());
    dst[length] = '\0';
    return length == src.size();
}

}  // namespace engine
