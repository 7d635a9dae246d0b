// SPDX-License-Identifier: MIT
// The one place that turns text into XML: escaping of element text and
// attribute values, with UTF-8 repair and the spreadsheet's _xHHHH_ escapes
// for characters that XML 1.0 cannot carry.
#pragma once

#include <string>
#include <string_view>

namespace workbook::xlsx {

// Appends `text` as element content of a cell or shared string. Invalid UTF-8
// becomes U+FFFD; C0 control characters other than tab and line feed, and
// the non-characters U+FFFE and U+FFFF, become _xHHHH_ (so does a carriage
// return, which XML parsers would turn into a line feed); DEL, which XML
// allows, is written as it is; a literal "_xHHHH_" gets its first underscore
// escaped as _x005F_ so that readers do not decode it.
void AppendCellText(std::string& out, std::string_view text);

// Appends `text` as an attribute value for a double-quoted attribute.
// Invalid UTF-8 becomes U+FFFD; characters XML cannot hold are dropped.
void AppendAttributeText(std::string& out, std::string_view text);

// True when `text` begins or ends with white space that XML would not keep
// without xml:space="preserve".
bool NeedsSpacePreserve(std::string_view text);

// The length of `text` in UTF-16 code units, counting each invalid byte as
// one replacement character.
std::size_t Utf16Length(std::string_view text);

// A small builder for package parts: elements with attributes, escaped text.
class XmlWriter {
public:
    XmlWriter() { out_ = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"; }
    // Opens `<name`; attributes may follow until the tag is closed.
    XmlWriter& Open(std::string_view name);
    XmlWriter& Attribute(std::string_view name, std::string_view value);
    XmlWriter& Attribute(std::string_view name, long long value);
    // Ends the start tag: `>` when content follows.
    XmlWriter& EndAttributes();
    // Ends the element opened last with `/>` (no content).
    XmlWriter& CloseEmpty();
    XmlWriter& Text(std::string_view text);
    XmlWriter& Close(std::string_view name);
    const std::string& str() const { return out_; }
    std::string Take() { return std::move(out_); }

private:
    std::string out_;
};

}  // namespace workbook::xlsx
