// SPDX-License-Identifier: MIT
// Message display: through a caller's sink, or one line on stderr.
#pragma once

#include <string_view>

namespace platform {

enum class MessageIcon { kNone, kError, kWarning, kInformation };

// Where a message box goes. The program's windows and the silent paths
// supply their own; a null sink writes "<caption>: <text>" to stderr.
struct MessageSink {
    void* context = nullptr;
    void (*show)(void* context, std::string_view caption, std::string_view text,
                 MessageIcon icon) = nullptr;
};

// Shows the message through `sink`, or on stderr when `sink` is null. Never
// blocks on stderr.
void ShowMessage(const MessageSink* sink, std::string_view caption, std::string_view text,
                 MessageIcon icon);

}  // namespace platform
