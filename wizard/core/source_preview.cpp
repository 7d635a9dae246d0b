// SPDX-License-Identifier: MIT
// Preview decoding. Text that is not Unicode is shown as the conversion
// reads it: the engine chooses the legacy page, and lines that are valid
// UTF-8 stay UTF-8.
#include <algorithm>

#include "platform/utf8.h"
#include "wizard/core/wizard_core.h"

namespace wizard {
namespace {

std::string_view UpToZero(std::string_view bytes) {
    const std::size_t zero = bytes.find('\0');
    return zero == std::string_view::npos ? bytes : bytes.substr(0, zero);
}

// Drops an incomplete UTF-8 sequence that the read limit cut off.
std::string_view WithoutCutCharacter(std::string_view bytes) {
    for (std::size_t back = 1; back <= 3 && back <= bytes.size(); ++back) {
        const auto byte = static_cast<unsigned char>(bytes[bytes.size() - back]);
        if ((byte & 0xC0) != 0x80) {
            const std::size_t length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
            return length > back ? bytes.substr(0, bytes.size() - back) : bytes;
        }
    }
    return bytes;
}

std::string Decode(int codePage, std::string_view bytes) {
    std::string utf8;
    if (!platform::ConvertToUtf8(codePage, bytes, utf8)) {
        // An unknown page: show what is plain ASCII rather than nothing.
        static_cast<void>(platform::ConvertToUtf8(1252, bytes, utf8));
    }
    return utf8;
}

std::string DecodeUtf16(std::string_view units, bool littleEndian) {
    units = units.substr(0, units.size() & ~std::size_t{1});
    std::string text =
        Decode(littleEndian ? platform::kCodePageUtf16Le : platform::kCodePageUtf16Be, units);
    return std::string(UpToZero(text));
}

// Each line in the legacy page unless it is valid UTF-8, as the
// conversion reads each record.
std::string DecodeLines(int codePage, std::string_view bytes) {
    std::string text;
    while (!bytes.empty()) {
        const std::size_t end = std::min(bytes.find('\n'), bytes.size() - 1) + 1;
        const std::string_view line = WithoutCutCharacter(bytes.substr(0, end));
        text += platform::IsValidUtf8(line) ? std::string(line)
                                            : Decode(codePage, bytes.substr(0, end));
        bytes.remove_prefix(end);
    }
    return text;
}

}  // namespace

std::vector<EncodingChoice> EncodingChoices(const platform::SystemCodePages& pages,
                                            int givenCodePage) {
    std::vector<EncodingChoice> choices = {
        {"Automatic", 0},
        {"UTF-8", platform::kCodePageUtf8},
        {"UTF-16", platform::kCodePageUtf16Le},
        {"Windows-1251", kCyrillicAnsiPage},
        {"DOS 866", kCyrillicOemPage},
        {"Windows-1252", 1252},
        {"System ANSI (" + std::to_string(pages.ansi) + ")", pages.ansi},
        {"System OEM (" + std::to_string(pages.oem) + ")", pages.oem},
    };
    const bool listed = std::any_of(choices.begin(), choices.end(), [&](const EncodingChoice& c) {
        return c.codePage == givenCodePage;
    });
    if (!listed) {
        choices.push_back({"Code page " + std::to_string(givenCodePage), givenCodePage});
    }
    return choices;
}

Preview DecodePreview(std::string_view bytes, int codePage, PreviewMode mode,
                      const platform::SystemCodePages& pages) {
    Preview preview;
    // A byte-order mark outranks any choice, as it does in the conversion.
    if (bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF")) {
        preview.text = DecodeUtf16(bytes.substr(2), bytes[0] == '\xFF');
        return preview;
    }
    if (bytes.starts_with("\xEF\xBB\xBF")) {
        preview.text =
            Decode(platform::kCodePageUtf8, UpToZero(WithoutCutCharacter(bytes.substr(3))));
        return preview;
    }
    if (codePage == platform::kCodePageUtf16Le || codePage == platform::kCodePageUtf16Be) {
        preview.text = DecodeUtf16(bytes, codePage == platform::kCodePageUtf16Le);
        return preview;
    }
    bytes = UpToZero(bytes);
    if (codePage == platform::kCodePageUtf8) {
        preview.text = Decode(codePage, WithoutCutCharacter(bytes));
        return preview;
    }
    if (codePage != 0) {
        preview.text = Decode(codePage, bytes);
        return preview;
    }
    if (platform::IsValidUtf8(WithoutCutCharacter(bytes))) {
        preview.text = std::string(WithoutCutCharacter(bytes));
        return preview;
    }
    const engine::LegacyPage page =
        engine::ChooseLegacyPage(bytes,
                                 mode == PreviewMode::kDetect  ? engine::LegacySide::kByLetters
                                 : mode == PreviewMode::kAsOem ? engine::LegacySide::kOem
                                                               : engine::LegacySide::kAnsi,
                                 pages);
    preview.legacy = true;
    preview.oemSource = page.oem ? 1 : 0;
    preview.legacyPage = page.codePage;
    preview.text = DecodeLines(page.codePage, bytes);
    return preview;
}

}  // namespace wizard
