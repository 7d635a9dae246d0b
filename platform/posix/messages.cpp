// SPDX-License-Identifier: MIT
// Message display: through the caller's sink, or one line on stderr.
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/platform.h"

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
    std::size_t done = 0;
    while (done < line.size()) {
        const ssize_t wrote = ::write(STDERR_FILENO, line.data() + done, line.size() - done);
        if (wrote < 0 && errno == EINTR) {
            continue;
        }
        if (wrote <= 0) {
            return;  // stderr is gone; nothing else can show the message
        }
        done += static_cast<std::size_t>(wrote);
    }
}

}  // namespace platform
