// SPDX-License-Identifier: MIT
// Message display: through the caller's sink, or one line on stderr.
#include "platform/messages.h"

#include <string>

#include "platform/console.h"

namespace platform {

void ShowMessage(const MessageSink* sink, std::string_view caption, std::string_view text,
                 MessageIcon icon) {
    if (sink != nullptr && sink->show != nullptr) {
        sink->show(sink->context, caption, text, icon);
        return;
    }
    std::string line;
    line.reserve(caption.size() + text.size() + 3);
    line.append(caption).append(": ").append(text).push_back('\n');
    // One write per message, so that lines of concurrent callers do not mix.
    WriteStandardError(line);
}

}  // namespace platform
