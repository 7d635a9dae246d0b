// SPDX-License-Identifier: MIT
// Escaping for package XML. Cell text goes through a fast path for runs of
// plain ASCII, since sheets are almost all plain text and this runs per cell.
#include "workbook/xlsx/xml_writer.h"

#include <charconv>
#include <cstdint>

#include "platform/utf8.h"

namespace workbook::xlsx {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

bool IsHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

void AppendEscapedCode(std::string& out, std::uint32_t code) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    out += "_x";
    out += kDigits[(code >> 12) & 0xF];
    out += kDigits[(code >> 8) & 0xF];
    out += kDigits[(code >> 4) & 0xF];
    out += kDigits[code & 0xF];
    out += '_';
}

}  // namespace

void AppendCellText(std::string& out, std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        // Plain run: printable ASCII without markup characters or underscores.
        std::size_t run = i;
        while (run < text.size()) {
            const char c = text[run];
            if (c < 0x20 || c > 0x7E || c == '&' || c == '<' || c == '>' || c == '_') {
                break;
            }
            ++run;
        }
        out.append(text.data() + i, run - i);
        i = run;
        if (i >= text.size()) {
            break;
        }
        const char c = text[i];
        switch (c) {
            case '&':
                out += "&amp;";
                ++i;
                continue;
            case '<':
                out += "&lt;";
                ++i;
                continue;
            case '>':
                out += "&gt;";
                ++i;
                continue;
            case '\t':
            case '\n':
                out += c;
                ++i;
                continue;
            case '_':
                // Readers decode "_xHHHH_" only with its closing underscore.
                if (text.size() - i >= 7 && text[i + 1] == 'x' && IsHex(text[i + 2]) &&
                    IsHex(text[i + 3]) && IsHex(text[i + 4]) && IsHex(text[i + 5]) &&
                    text[i + 6] == '_') {
                    out += "_x005F_";
                } else {
                    out += '_';
                }
                ++i;
                continue;
            default:
                break;
        }
        char32_t code = 0;
        const std::size_t length = platform::DecodeUtf8(text, i, &code);
        if (length == 0) {
            out += kReplacement;
            ++i;
        } else if (code < 0x20 || code == 0xFFFE || code == 0xFFFF) {
            AppendEscapedCode(out, code);
            i += length;
        } else {
            out.append(text.data() + i, length);
            i += length;
        }
    }
}

void AppendAttributeText(std::string& out, std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        switch (c) {
            case '&':
                out += "&amp;";
                ++i;
                continue;
            case '<':
                out += "&lt;";
                ++i;
                continue;
            case '>':
                out += "&gt;";
                ++i;
                continue;
            case '"':
                out += "&quot;";
                ++i;
                continue;
            case '\t':
                out += "&#9;";
                ++i;
                continue;
            case '\n':
                out += "&#10;";
                ++i;
                continue;
            case '\r':
                out += "&#13;";
                ++i;
                continue;
            default:
                break;
        }
        char32_t code = 0;
        const std::size_t length = platform::DecodeUtf8(text, i, &code);
        if (length == 0) {
            out += kReplacement;
            ++i;
        } else {
            if (code >= 0x20 && code != 0xFFFE && code != 0xFFFF) {
                out.append(text.data() + i, length);
            }
            i += length;
        }
    }
}

bool NeedsSpacePreserve(std::string_view text) {
    if (text.empty()) {
        return false;
    }
    const auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    return isSpace(text.front()) || isSpace(text.back());
}

std::size_t Utf16Length(std::string_view text) {
    std::size_t units = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        if (static_cast<unsigned char>(text[i]) < 0x80) {
            ++units;
            ++i;
            continue;
        }
        char32_t code = 0;
        const std::size_t length = platform::DecodeUtf8(text, i, &code);
        if (length == 0) {
            ++units;
            ++i;
        } else {
            units += code >= 0x10000 ? 2 : 1;
            i += length;
        }
    }
    return units;
}

XmlWriter& XmlWriter::Open(std::string_view name) {
    out_ += '<';
    out_ += name;
    return *this;
}

XmlWriter& XmlWriter::Attribute(std::string_view name, std::string_view value) {
    out_ += ' ';
    out_ += name;
    out_ += "=\"";
    AppendAttributeText(out_, value);
    out_ += '"';
    return *this;
}

XmlWriter& XmlWriter::Attribute(std::string_view name, long long value) {
    char digits[24];
    const auto result = std::to_chars(digits, digits + sizeof digits, value);
    return Attribute(name, std::string_view(digits, static_cast<std::size_t>(result.ptr - digits)));
}

XmlWriter& XmlWriter::EndAttributes() {
    out_ += '>';
    return *this;
}

XmlWriter& XmlWriter::CloseEmpty() {
    out_ += "/>";
    return *this;
}

XmlWriter& XmlWriter::Text(std::string_view text) {
    AppendAttributeText(out_, text);
    return *this;
}

XmlWriter& XmlWriter::Close(std::string_view name) {
    out_ += "</";
    out_ += name;
    out_ += '>';
    return *this;
}

}  // namespace workbook::xlsx
