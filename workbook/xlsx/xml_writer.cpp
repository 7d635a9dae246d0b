// SPDX-License-Identifier: MIT
// Escaping for package XML. Cell text goes through a fast path for runs of
// plain ASCII, since sheets are almost all plain text and this runs per cell.
#include "workbook/xlsx/xml_writer.h"

#include <charconv>
#include <cstdint>

#include "platform/utf8.h"
#include "platform/utf8_stepping.h"

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

// What a markup character becomes, and in attribute values also the quote
// and the white space a parser would normalise to a space; empty for every
// other character. In element text, tab and line feed stand as they are.
constexpr std::string_view EscapeOf(char c, bool inAttribute) {
    switch (c) {
        case '&':
            return "&amp;";
        case '<':
            return "&lt;";
        case '>':
            return "&gt;";
        case '"':
            return inAttribute ? "&quot;" : "\"";
        case '\t':
            return inAttribute ? "&#9;" : "\t";
        case '\n':
            return inAttribute ? "&#10;" : "\n";
        case '\r':
            return inAttribute ? "&#13;" : "";  // element text: _x000D_, as any C0 control
        default:
            return {};
    }
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
        if (const std::string_view escape = EscapeOf(text[i], false); !escape.empty()) {
            out += escape;
            ++i;
            continue;
        }
        if (text[i] == '_') {
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
        }
        const platform::Utf8Step step = platform::StepUtf8(text, i);
        if (!step.wellFormed) {
            out += kReplacement;
        } else if (step.codePoint < 0x20 || step.codePoint == 0xFFFE || step.codePoint == 0xFFFF) {
            AppendEscapedCode(out, step.codePoint);
        } else {
            out.append(text.data() + i, step.length);
        }
        i += step.length;
    }
}

void AppendAttributeText(std::string& out, std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        if (const std::string_view escape = EscapeOf(text[i], true); !escape.empty()) {
            out += escape;
            ++i;
            continue;
        }
        const platform::Utf8Step step = platform::StepUtf8(text, i);
        if (!step.wellFormed) {
            out += kReplacement;
        } else if (step.codePoint >= 0x20 && step.codePoint != 0xFFFE && step.codePoint != 0xFFFF) {
            out.append(text.data() + i, step.length);
        }
        i += step.length;
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
        // An ill-formed part is one U+FFFD, as AppendCellText writes it.
        const platform::Utf8Step step = platform::StepUtf8(text, i);
        units += step.codePoint >= 0x10000 ? 2 : 1;
        i += step.length;
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
