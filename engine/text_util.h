// SPDX-License-Identifier: MIT
// Small text helpers shared inside the engine. Letter case is compared for
// A to Z only (platform/ascii.h), as the parameter language and sheet lookup
// define it.
#pragma once

#include <cstring>
#include <string_view>

#include "engine/settings.h"
#include "platform/ascii.h"

namespace engine {

using platform::EndsWithIgnoringCase;
using platform::EqualsIgnoringCase;
using platform::StartsWithIgnoringCase;

// A heap copy owned by the settings record.
inline OwnedText CopyOwned(std::string_view text) {
    OwnedText copy = std::make_unique<char[]>(text.size() + 1);
    std::memcpy(copy.get(), text.data(), text.size());
    return copy;
}

}  // namespace engine
