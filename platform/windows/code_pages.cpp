// SPDX-License-Identifier: MIT
// Code pages on Windows: the system's ANSI and OEM pages, and its converter.
// Windows fills the holes of its single-byte tables with the C1 control of
// the same number (0x81 in 1252 gives U+0081) where iconv reports the byte
// undefined; those holes are reported undefined here too, so the same bytes
// give the same text on both systems.
#include "platform/code_pages.h"

#include <windows.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <string>

#include "platform/code_page_backend.h"
#include "platform/utf8.h"
#include "platform/windows/wide.h"

namespace platform {
namespace {

bool IsIsoPage(int codePage) {
    // The ISO 8859 pages define 0x80-0x9F as the C1 controls themselves.
    return codePage >= 28591 && codePage <= 28606;
}

}  // namespace

namespace detail {

bool DecodeEachByte(int codePage, std::array<ByteText, 256>& bytes) {
    CPINFO info{};
    if (codePage <= 0 || !GetCPInfo(static_cast<UINT>(codePage), &info) || info.MaxCharSize != 1) {
        return false;  // unknown, or a multi-byte page
    }
    for (std::size_t b = 0; b < 256; ++b) {
        const char in = static_cast<char>(b);
        wchar_t out[4] = {};
        const int length =
            MultiByteToWideChar(static_cast<UINT>(codePage), MB_ERR_INVALID_CHARS, &in, 1, out, 4);
        bool defined = length > 0;
        if (defined && length == 1 && b >= 0x80 && b <= 0x9F && out[0] == b &&
            !IsIsoPage(codePage)) {
            defined = false;  // a hole filled with its own number
        }
        if (defined && length == 1 && out[0] >= 0xE000 && out[0] <= 0xF8FF) {
            defined = false;  // a hole filled with a private-use character
        }
        bytes[b].defined = defined;
        bytes[b].utf8 = defined ? windows::Narrow(std::wstring_view(out, length)) : std::string();
    }
    return true;
}

bool SystemToUtf8(int codePage, std::string_view in, std::string& out) {
    CPINFO info{};
    if (codePage <= 0 || !GetCPInfo(static_cast<UINT>(codePage), &info)) {
        return false;
    }
    const auto page = static_cast<UINT>(codePage);
    std::wstring wide;
    wide.reserve(in.size());
    // Converts in[at, at + length) strictly, appending it; false (and nothing
    // appended) when the page rejects any byte of it, a character cut off at
    // the end included.
    const auto convert = [&](std::size_t at, std::size_t length) {
        const int size = static_cast<int>(length);
        const int needed =
            MultiByteToWideChar(page, MB_ERR_INVALID_CHARS, in.data() + at, size, nullptr, 0);
        if (needed <= 0) {
            return false;
        }
        const std::size_t end = wide.size();
        wide.resize(end + static_cast<std::size_t>(needed));
        (void)MultiByteToWideChar(page, MB_ERR_INVALID_CHARS, in.data() + at, size,
                                  wide.data() + end, needed);
        return true;
    };
    // Strictly, so a byte the page rejects is known: Windows would otherwise
    // put the page's default character there (U+30FB in 932). Each rejected
    // byte becomes U+FFFD and decoding goes on at the next, as on POSIX. The
    // system does not say where a run went wrong, so runs are tried in a
    // window that doubles while runs convert and is cut back to the run that
    // did after a try fails: a failed try costs no more than the bytes
    // converted before it, which keeps a record with many bad bytes linear.
    // A byte counts as rejected only once every run of up to
    // kLongestCharacter bytes from it has failed, so a character a window cut
    // in two is never taken for a bad one.
    constexpr std::size_t kLongestCharacter = 4;  // GB18030's four-byte characters
    constexpr std::size_t kSmallestWindow = 2 * kLongestCharacter;
    constexpr std::size_t kLargestWindow = std::size_t{1} << 30;  // the calls count in ints
    std::size_t window = kLargestWindow;  // most records convert whole at the first try
    std::size_t i = 0;
    while (i < in.size()) {
        std::size_t run = std::min(window, in.size() - i);
        bool converted = convert(i, run);
        while (!converted && run > 1) {
            // Halving never goes below kLongestCharacter; from there each length is tried.
            run = run > kSmallestWindow ? run / 2 : run - 1;
            converted = convert(i, run);
        }
        if (!converted) {
            wide.push_back(static_cast<wchar_t>(kReplacementCharacter));
        }
        i += run;
        window = std::clamp(run * 2, kSmallestWindow, kLargestWindow);
    }
    out += windows::Narrow(wide);
    return true;
}

SystemCodePages DefaultSystemPages() {
    SystemCodePages pages;
    pages.ansi = static_cast<int>(GetACP());
    pages.oem = static_cast<int>(GetOEMCP());
    if (pages.ansi == CP_UTF8) {
        pages.ansi = 1252;  // a UTF-8 system's "ANSI" page decodes nothing legacy
    }
    return pages;
}

}  // namespace detail
}  // namespace platform
