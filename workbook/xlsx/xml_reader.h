// SPDX-License-Identifier: MIT
// A guarded expat parser for package parts: refuses DOCTYPE and entity
// declarations, caps element depth, and reports each element with its byte
// position in the part so that callers can splice the original bytes.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace workbook::xlsx {

// Deeper nesting than any spreadsheet part uses.
inline constexpr int kMaxXmlDepth = 256;

struct XmlAttribute {
    std::string_view ns;     // namespace URI, empty when unprefixed
    std::string_view local;  // local name
    std::string_view value;
};

struct XmlElement {
    std::string_view ns;
    std::string_view local;
    std::vector<XmlAttribute> attributes;  // in document order
    std::uint64_t offset = 0;              // byte offset of the tag in the part
    std::uint64_t length = 0;  // byte length of the tag; 0 for the end of an empty element
    int depth = 0;             // 1 for the root
    std::string_view raw;      // the tag's own bytes when expat still holds them, else empty

    // The value of the unprefixed (or, with `ns`, namespaced) attribute, or empty.
    std::string_view Get(std::string_view name, std::string_view ns = {}) const;
    bool Has(std::string_view name) const;
};

class XmlHandler {
public:
    virtual ~XmlHandler() = default;
    virtual void Start(const XmlElement&) {}
    virtual void End(const XmlElement&) {}
    virtual void Text(std::string_view) {}
    // Set to true from a callback to stop parsing early (not an error).
    bool stop = false;
};

class XmlParser {
public:
    explicit XmlParser(XmlHandler& handler);
    ~XmlParser();
    XmlParser(const XmlParser&) = delete;
    XmlParser& operator=(const XmlParser&) = delete;

    // Feeds the next piece; `last` on the final one. False on malformed or
    // refused XML, with `error` naming the part.
    [[nodiscard]] bool Feed(std::span<const char> piece, bool last, std::string_view partName,
                            std::string& error);
    bool stopped() const { return handler_.stop; }

    struct State;

private:
    XmlHandler& handler_;
    std::unique_ptr<State> state_;  // opaque to keep expat out of this header
};

// Parses a whole part held in memory.
[[nodiscard]] bool ParseXml(std::string_view text, XmlHandler& handler, std::string_view partName,
                            std::string& error);

// Namespaces of the package parts.
inline constexpr std::string_view kRelationshipsNs =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships";

}  // namespace workbook::xlsx
