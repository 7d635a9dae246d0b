// SPDX-License-Identifier: MIT
// The content-types part ([Content_Types].xml): the media type of every part.
#include <algorithm>

#include "platform/ascii.h"
#include "workbook/xlsx/list_part_ends.h"
#include "workbook/xlsx/package_parts.h"
#include "workbook/xlsx/xml_reader.h"
#include "workbook/xlsx/xml_writer.h"

namespace workbook::xlsx {
namespace {

constexpr std::string_view kContentTypesNs =
    "http://schemas.openxmlformats.org/package/2006/content-types";

class ContentTypesHandler : public XmlHandler {
public:
    explicit ContentTypesHandler(ContentTypesInfo& info) : info_(info), ends_(info.endOffset) {}
    void Start(const XmlElement& element) override {
        if (element.depth == 1) {
            info_.prefix = TagPrefix(element.raw);
        } else if (element.depth == 2 && element.local == "Override") {
            std::string_view name = element.Get("PartName");
            if (!name.empty() && name.front() == '/') {
                name.remove_prefix(1);
            }
            ContentOverride& added = info_.overrides.emplace_back(
                ContentOverride{std::string(name), element.offset, element.length});
            ends_.Opened(added.offset, added.length);
        }
    }
    void End(const XmlElement& element) override { ends_.End(element); }

private:
    ContentTypesInfo& info_;
    ListPartEnds ends_;
};

void AppendOverride(std::string& out, std::string_view prefix, std::string_view partName,
                    std::string_view contentType) {
    out += '<';
    out += prefix;
    out += "Override PartName=\"/";
    AppendAttributeText(out, partName);
    out += "\" ContentType=\"";
    AppendAttributeText(out, contentType);
    out += "\"/>";
}

}  // namespace

bool ParseContentTypesPart(std::string_view text, ContentTypesInfo& info, std::string& error) {
    info = {};
    ContentTypesHandler handler(info);
    return ParseXml(text, handler, "[Content_Types].xml", error);
}

std::string WriteContentTypesPart(const std::vector<std::string>& worksheetParts) {
    XmlWriter xml;
    xml.Open("Types").Attribute("xmlns", kContentTypesNs).EndAttributes();
    xml.Open("Default")
        .Attribute("Extension", "rels")
        .Attribute("ContentType", "application/vnd.openxmlformats-package.relationships+xml")
        .CloseEmpty();
    xml.Open("Default")
        .Attribute("Extension", "xml")
        .Attribute("ContentType", "application/xml")
        .CloseEmpty();
    std::string out = xml.Take();
    AppendOverride(out, {}, "xl/workbook.xml",
                   "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml");
    for (const auto& part : worksheetParts) {
        AppendOverride(out, {}, part, kWorksheetContentType);
    }
    AppendOverride(out, {}, "xl/styles.xml", kStylesContentType);
    AppendOverride(out, {}, "xl/theme/theme1.xml", kThemeContentType);
    AppendOverride(out, {}, "docProps/core.xml",
                   "application/vnd.openxmlformats-package.core-properties+xml");
    AppendOverride(out, {}, "docProps/app.xml",
                   "application/vnd.openxmlformats-officedocument.extended-properties+xml");
    out += "</Types>";
    return out;
}

std::string EditContentTypesPart(
    std::string_view original, const ContentTypesInfo& info,
    const std::vector<std::string>& removedParts,
    const std::vector<std::pair<std::string, std::string_view>>& addParts) {
    std::vector<Splice> splices;
    for (const auto& entry : info.overrides) {
        const std::string name = platform::AsciiLowered(entry.partName);
        if (std::find(removedParts.begin(), removedParts.end(), name) != removedParts.end()) {
            splices.push_back({entry.offset, entry.length, {}});
        }
    }
    if (!addParts.empty()) {
        Splice insert{info.endOffset, 0, {}};
        for (const auto& [part, type] : addParts) {
            AppendOverride(insert.text, info.prefix, part, type);
        }
        splices.push_back(std::move(insert));
    }
    return ApplySplices(original, std::move(splices));
}

}  // namespace workbook::xlsx
