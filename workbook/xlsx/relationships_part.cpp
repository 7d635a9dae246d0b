// SPDX-License-Identifier: MIT
// Relationship parts (_rels/*.rels): how parts name each other.
#include <vector>

#include "workbook/xlsx/list_part_ends.h"
#include "workbook/xlsx/package_parts.h"
#include "workbook/xlsx/xml_reader.h"
#include "workbook/xlsx/xml_writer.h"

namespace workbook::xlsx {
namespace {

constexpr std::string_view kPackageRelsNs =
    "http://schemas.openxmlformats.org/package/2006/relationships";

class RelationshipsHandler : public XmlHandler {
public:
    explicit RelationshipsHandler(RelationshipsInfo& info) : info_(info), ends_(info.endOffset) {}
    void Start(const XmlElement& element) override {
        if (element.depth == 1) {
            info_.prefix = TagPrefix(element.raw);
        } else if (element.depth == 2 && element.local == "Relationship") {
            Relationship relationship;
            relationship.id = element.Get("Id");
            relationship.type = element.Get("Type");
            relationship.target = element.Get("Target");
            relationship.external = element.Get("TargetMode") == "External";
            relationship.offset = element.offset;
            relationship.length = element.length;
            Relationship& added = info_.relationships.emplace_back(std::move(relationship));
            ends_.Opened(added.offset, added.length);
        }
    }
    void End(const XmlElement& element) override { ends_.End(element); }

private:
    RelationshipsInfo& info_;
    ListPartEnds ends_;
};

// Removes "." and ".." steps from a slash-separated path.
std::string NormalizePath(std::string_view path) {
    std::vector<std::string_view> steps;
    std::size_t at = 0;
    while (at <= path.size()) {
        std::size_t slash = path.find('/', at);
        if (slash == std::string_view::npos) {
            slash = path.size();
        }
        const std::string_view step = path.substr(at, slash - at);
        if (step == "..") {
            if (steps.empty()) {
                return {};
            }
            steps.pop_back();
        } else if (!step.empty() && step != ".") {
            steps.push_back(step);
        }
        at = slash + 1;
    }
    std::string out;
    for (const auto& step : steps) {
        if (!out.empty()) {
            out += '/';
        }
        out += step;
    }
    return out;
}

void AppendRelationship(std::string& out, const Relationship& relationship,
                        std::string_view prefix) {
    out += '<';
    out += prefix;
    out += "Relationship Id=\"";
    AppendAttributeText(out, relationship.id);
    out += "\" Type=\"";
    AppendAttributeText(out, relationship.type);
    out += "\" Target=\"";
    AppendAttributeText(out, relationship.target);
    out += '"';
    if (relationship.external) {
        out += " TargetMode=\"External\"";
    }
    out += "/>";
}

}  // namespace

bool ParseRelationshipsPart(std::string_view text, std::string_view partName,
                            RelationshipsInfo& info, std::string& error) {
    info = {};
    RelationshipsHandler handler(info);
    return ParseXml(text, handler, partName, error);
}

std::string WriteRelationshipsPart(const std::vector<Relationship>& relationships) {
    XmlWriter xml;
    xml.Open("Relationships").Attribute("xmlns", kPackageRelsNs).EndAttributes();
    std::string out = xml.Take();
    for (const auto& relationship : relationships) {
        AppendRelationship(out, relationship, {});
    }
    out += "</Relationships>";
    return out;
}

std::string EditRelationshipsPart(std::string_view original, const RelationshipsInfo& info,
                                  const std::vector<std::string>& removeIds,
                                  const std::vector<Relationship>& add) {
    std::vector<Splice> splices;
    for (const auto& relationship : info.relationships) {
        for (const auto& id : removeIds) {
            if (relationship.id == id) {
                splices.push_back({relationship.offset, relationship.length, {}});
                break;
            }
        }
    }
    if (!add.empty()) {
        Splice insert{info.endOffset, 0, {}};
        for (const auto& relationship : add) {
            AppendRelationship(insert.text, relationship, info.prefix);
        }
        splices.push_back(std::move(insert));
    }
    return ApplySplices(original, std::move(splices));
}

std::string ResolveTarget(std::string_view sourcePart, std::string_view target) {
    if (target.empty()) {
        return {};
    }
    if (target.front() == '/') {
        return NormalizePath(target.substr(1));
    }
    const std::size_t slash = sourcePart.rfind('/');
    const std::string folder = slash == std::string_view::npos
                                   ? std::string()
                                   : std::string(sourcePart.substr(0, slash + 1));
    return NormalizePath(folder + std::string(target));
}

std::string RelationshipsPartOf(std::string_view partName) {
    const std::size_t slash = partName.rfind('/');
    if (slash == std::string_view::npos) {
        return "_rels/" + std::string(partName) + ".rels";
    }
    return std::string(partName.substr(0, slash + 1)) + "_rels/" +
           std::string(partName.substr(slash + 1)) + ".rels";
}

std::string WritePackageRelationshipsPart() {
    return WriteRelationshipsPart({
        {"rId1",
         "http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument",
         "xl/workbook.xml", false, 0, 0},
        {"rId2",
         "http://schemas.openxmlformats.org/package/2006/relationships/metadata/core-properties",
         "docProps/core.xml", false, 0, 0},
        {"rId3",
         "http://schemas.openxmlformats.org/officeDocument/2006/relationships/extended-properties",
         "docProps/app.xml", false, 0, 0},
    });
}

}  // namespace workbook::xlsx
