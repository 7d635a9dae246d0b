// SPDX-License-Identifier: MIT
// Document properties of a new book (docProps/core.xml, docProps/app.xml).
#include <ctime>

#include "platform/platform.h"
#include "workbook/xlsx/package_parts.h"
#include "workbook/xlsx/xml_writer.h"

namespace workbook::xlsx {

std::string WriteCorePropertiesPart() {
    char stamp[32] = "1980-01-01T00:00:00Z";
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    if (platform::UtcTime(now, &utc)) {
        std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%SZ", &utc);
    }
    XmlWriter xml;
    xml.Open("cp:coreProperties")
        .Attribute("xmlns:cp",
                   "http://schemas.openxmlformats.org/package/2006/metadata/core-properties")
        .Attribute("xmlns:dc", "http://purl.org/dc/elements/1.1/")
        .Attribute("xmlns:dcterms", "http://purl.org/dc/terms/")
        .Attribute("xmlns:xsi", "http://www.w3.org/2001/XMLSchema-instance")
        .EndAttributes();
    xml.Open("dcterms:created")
        .Attribute("xsi:type", "dcterms:W3CDTF")
        .EndAttributes()
        .Text(stamp)
        .Close("dcterms:created");
    xml.Open("dcterms:modified")
        .Attribute("xsi:type", "dcterms:W3CDTF")
        .EndAttributes()
        .Text(stamp)
        .Close("dcterms:modified");
    xml.Close("cp:coreProperties");
    return xml.Take();
}

std::string WriteAppPropertiesPart(const std::vector<SheetListing>& sheets) {
    XmlWriter xml;
    xml.Open("Properties")
        .Attribute("xmlns",
                   "http://schemas.openxmlformats.org/officeDocument/2006/extended-properties")
        .Attribute("xmlns:vt",
                   "http://schemas.openxmlformats.org/officeDocument/2006/docPropsVTypes")
        .EndAttributes();
    xml.Open("Application").EndAttributes().Text("Quendle").Close("Application");
    xml.Open("TitlesOfParts").EndAttributes();
    xml.Open("vt:vector")
        .Attribute("size", static_cast<long long>(sheets.size()))
        .Attribute("baseType", "lpstr")
        .EndAttributes();
    for (const auto& sheet : sheets) {
        xml.Open("vt:lpstr").EndAttributes().Text(sheet.name).Close("vt:lpstr");
    }
    xml.Close("vt:vector").Close("TitlesOfParts").Close("Properties");
    return xml.Take();
}

}  // namespace workbook::xlsx
