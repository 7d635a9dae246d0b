// SPDX-License-Identifier: MIT
// Code pages on POSIX: Windows code-page numbers mapped to iconv names, and the
// ANSI/OEM pair taken from the environment or the locale.
#include "platform/code_pages.h"

#include <iconv.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "platform/code_page_backend.h"

namespace platform {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD in UTF-8

struct IconvCloser {
    void operator()(void* handle) const { iconv_close(static_cast<iconv_t>(handle)); }
};
using UniqueIconv = std::unique_ptr<void, IconvCloser>;

// The iconv name of a code page; glibc knows most Windows pages as CP<n>.
std::string IconvName(int codePage) {
    switch (codePage) {
        case 20127:
            return "ASCII";
        case 20866:
            return "KOI8-R";
        case 21866:
            return "KOI8-U";
        case 10000:
            return "MACINTOSH";
        case 20932:
        case 51932:
            return "EUC-JP";
        case 51936:
            return "EUC-CN";
        case 51949:
            return "EUC-KR";
        case 54936:
            return "GB18030";
        default:
            break;
    }
    if (codePage >= 28591 && codePage <= 28606) {
        return "ISO-8859-" + std::to_string(codePage - 28590);
    }
    return "CP" + std::to_string(codePage);
}

UniqueIconv OpenToUtf8(int codePage) {
    if (codePage <= 0) {
        return nullptr;
    }
    iconv_t handle = iconv_open("UTF-8", IconvName(codePage).c_str());
    if (handle == reinterpret_cast<iconv_t>(-1)) {  // iconv's documented failure value
        return nullptr;
    }
    return UniqueIconv(handle);
}

// The first non-empty of LC_ALL, LC_CTYPE, LANG, as the C library picks them.
std::string_view LocaleName() {
    for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const char* value = std::getenv(name);  // NOLINT(concurrency-mt-unsafe): read-only use
        if (value != nullptr && *value != '\0') {
            return value;
        }
    }
    return {};
}

}  // namespace

namespace detail {

bool DecodeEachByte(int codePage, std::array<ByteText, 256>& bytes) {
    UniqueIconv cd = OpenToUtf8(codePage);
    if (cd == nullptr) {
        return false;
    }
    auto* handle = static_cast<iconv_t>(cd.get());
    for (std::size_t b = 0; b < 256; ++b) {
        char in = static_cast<char>(b);
        char* inPtr = &in;
        std::size_t inLeft = 1;
        char out[16];
        char* outPtr = out;
        std::size_t outLeft = sizeof out;
        iconv(handle, nullptr, nullptr, nullptr, nullptr);
        const std::size_t converted = iconv(handle, &inPtr, &inLeft, &outPtr, &outLeft);
        if (converted == static_cast<std::size_t>(-1) && errno == EINVAL) {
            return false;  // a lead byte
        }
        if (converted != static_cast<std::size_t>(-1)) {
            // Pages with combining marks hold a base letter back until flushed.
            iconv(handle, nullptr, nullptr, &outPtr, &outLeft);
        }
        bytes[b].defined = converted != static_cast<std::size_t>(-1);
        bytes[b].utf8.assign(out, static_cast<std::size_t>(outPtr - out));
    }
    return true;
}

// Multi-byte legacy pages through iconv. A byte iconv rejects becomes U+FFFD
// and decoding resumes at the next byte, so one bad byte costs one character.
// Records come one at a time, so each thread keeps the converter of the page
// it last decoded: opening one costs more than decoding a short record.
bool SystemToUtf8(int codePage, std::string_view in, std::string& out) {
    struct Converter {
        int codePage = 0;
        UniqueIconv handle;
    };
    thread_local Converter converter;
    if (converter.handle == nullptr || converter.codePage != codePage) {
        converter.handle = OpenToUtf8(codePage);
        converter.codePage = codePage;
        if (converter.handle == nullptr) {
            return false;
        }
    }
    auto* handle = static_cast<iconv_t>(converter.handle.get());
    // A call that ended early (a cut-off sequence) may have left shift state.
    iconv(handle, nullptr, nullptr, nullptr, nullptr);
    char* inPtr = const_cast<char*>(in.data());  // iconv's prototype lacks const
    std::size_t inLeft = in.size();
    std::size_t used = out.size();
    out.resize(used + in.size() * 4 + 16);
    bool flushed = false;
    while (!flushed) {
        if (out.size() - used < 16) {
            out.resize(out.size() * 2);
        }
        char* outPtr = out.data() + used;
        std::size_t outLeft = out.size() - used;
        // With the input used up, one more call flushes a held-back character.
        const bool flush = inLeft == 0;
        const std::size_t result =
            iconv(handle, flush ? nullptr : &inPtr, &inLeft, &outPtr, &outLeft);
        used = out.size() - outLeft;
        if (result != static_cast<std::size_t>(-1)) {
            flushed = flush;
            continue;
        }
        if (errno == E2BIG) {
            out.resize(out.size() * 2);
            continue;
        }
        if (errno != EILSEQ && errno != EINVAL) {
            break;
        }
        // A rejected byte, or (EINVAL) a sequence cut off at the end.
        if (out.size() - used < kReplacement.size()) {
            out.resize(out.size() * 2);
        }
        std::memcpy(out.data() + used, kReplacement.data(), kReplacement.size());
        used += kReplacement.size();
        if (errno == EINVAL || flush) {
            break;
        }
        ++inPtr;
        --inLeft;
        iconv(handle, nullptr, nullptr, nullptr, nullptr);
    }
    out.resize(used);
    return true;
}

// ---- System code pages ----------------------------------------------------------

SystemCodePages DefaultSystemPages() {
    SystemCodePages pages;
    const std::string_view locale = LocaleName();
    const std::string_view language = locale.substr(0, locale.find_first_of("_.@"));
    if (language == "ru" || language == "uk" || language == "be" || language == "bg") {
        pages = {1251, 866};
    }
    return pages;
}

}  // namespace detail
}  // namespace platform
