// SPDX-License-Identifier: MIT
// The source page's preview: the first 640 KiB of a file decoded to UTF-8,
// and the OEM/ANSI decision for input that is not Unicode.
#pragma once

#include <QString>
#include <cstdint>
#include <string_view>

#include "platform/platform.h"

namespace wizard {

inline constexpr std::int64_t kPreviewBytes = 655360;  // 640 KiB
inline constexpr std::size_t kDetectBytes = 65536;

// How a legacy (non-Unicode) file is shown.
enum class PreviewMode { kAsOem = 0, kAsAnsi = 1, kDetect = -1 };

struct Preview {
    bool opened = false;  // false: the file could not be opened or is not a file
    bool legacy = false;  // in the system's ANSI or OEM page, so the OEM box applies
    int oemSource = 0;    // with legacy: 1 when shown as OEM
    QString text;         // up to the first zero byte; empty for an empty file
};

// 1 when the bytes hold more letters that the OEM page decodes as Cyrillic
// than letters that the ANSI page does, counting over the first 65 536 bytes
// up to the first zero byte; 0 otherwise (ties and no such letters too).
// Pages without Cyrillic letters never vote, so the answer is then 0.
int DetectOemText(std::string_view bytes, const platform::SystemCodePages& pages);

// Decodes the first bytes of a file. A byte-order mark, a fixed input code
// page (CODEPAGE=, `inputCodePage` not 0) or well-formed UTF-8 decide the
// text by themselves; otherwise the bytes are legacy text in the OEM page
// (mode kAsOem, or kDetect when DetectOemText says so) or the ANSI page.
Preview DecodePreview(std::string_view bytes, PreviewMode mode, int inputCodePage,
                      const platform::SystemCodePages& pages);

// Reads at most kPreviewBytes of the file and decodes them.
Preview LoadPreview(const QString& path, PreviewMode mode, int inputCodePage);

}  // namespace wizard
