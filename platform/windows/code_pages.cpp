// SPDX-License-Identifier: MIT
// Code pages on Windows: the system's ANSI and OEM pages, and its converter.
// Windows fills the holes of its single-byte tables with the C1 control of
// the same number (0x81 in 1252 gives U+0081) where iconv reports the byte
// undefined; those holes are reported undefined here too, so the same bytes
// give the same text on both systems.
#include <windows.h>

#include <array>
#include <cstdlib>
#include <string>

#include "platform/code_page_backend.h"
#include "platform/platform.h"
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
    // Convert strictly, so a byte the page rejects is known: Windows would
    // otherwise put the page's default character there (U+30FB in 932). Each
    // rejected byte becomes U+FFFD and decoding goes on at the next, as the
    // POSIX side does.
    std::wstring wide;
    wide.reserve(in.size());
    std::size_t i = 0;
    while (i < in.size()) {
        // The longest run that converts as a whole, tried in halves.
        std::size_t run = in.size() - i;
        for (;;) {
            const int length = MultiByteToWideChar(page, MB_ERR_INVALID_CHARS, in.data() + i,
                                                   static_cast<int>(run), nullptr, 0);
            if (length > 0) {
                const std::size_t at = wide.size();
                wide.resize(at + static_cast<std::size_t>(length));
                (void)MultiByteToWideChar(page, MB_ERR_INVALID_CHARS, in.data() + i,
                                          static_cast<int>(run), wide.data() + at, length);
                i += run;
                break;
            }
            if (run == 1) {
                wide.push_back(static_cast<wchar_t>(kReplacementCharacter));
                ++i;
                break;
            }
            run = run > 16 ? run / 2 : run - 1;
        }
    }
    out += windows::Narrow(wide);
    return true;
}

}  // namespace detail

SystemCodePages GetSystemCodePages() {
    SystemCodePages pages;
    pages.ansi = static_cast<int>(GetACP());
    pages.oem = static_cast<int>(GetOEMCP());
    if (pages.ansi == CP_UTF8) {
        pages.ansi = 1252;  // a UTF-8 system's "ANSI" page decodes nothing legacy
    }
    if (const int ansi = detail::CodePageFromText(std::getenv("QUENDLE_ANSI_CODEPAGE"));
        ansi != 0) {
        pages.ansi = ansi;
    }
    if (const int oem = detail::CodePageFromText(std::getenv("QUENDLE_OEM_CODEPAGE")); oem != 0) {
        pages.oem = oem;
    }
    return pages;
}

}  // namespace platform
