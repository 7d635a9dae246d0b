// SPDX-License-Identifier: MIT
// What the parsers of the two list parts, content types and relationships,
// share: where each listed element ends, and where new elements go.
#pragma once

#include <cstdint>

#include "workbook/xlsx/xml_reader.h"

namespace workbook::xlsx {

// Follows a list part's elements to their end tags. A listed element written
// with an end tag of its own (<Relationship ...></Relationship>) ends after
// that tag; the root's end tag is where new elements go.
class ListPartEnds {
public:
    explicit ListPartEnds(std::uint64_t& endOffset) : endOffset_(endOffset) {}

    // The listed element whose start tag was just read, by its byte range.
    void Opened(std::uint64_t& offset, std::uint64_t& length) {
        offset_ = &offset;
        length_ = &length;
    }

    void End(const XmlElement& element) {
        if (element.depth == 2 && offset_ != nullptr && element.length > 0) {
            *length_ = element.offset + element.length - *offset_;
        }
        if (element.depth == 2) {
            offset_ = nullptr;
            length_ = nullptr;
        }
        if (element.depth == 1) {
            endOffset_ = element.offset;
        }
    }

private:
    std::uint64_t& endOffset_;
    std::uint64_t* offset_ = nullptr;  // the open listed element's range, if any
    std::uint64_t* length_ = nullptr;
};

}  // namespace workbook::xlsx
