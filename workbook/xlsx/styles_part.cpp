// SPDX-License-Identifier: MIT
// The styles part (xl/styles.xml). Each book format becomes one cell format
// (xf) with a built-in number format; a cell's style index is the number of
// cell formats the part held before plus the format's index.
#include "workbook/xlsx/package_parts.h"
#include "workbook/xlsx/xml_reader.h"
#include "workbook/xlsx/xml_writer.h"

namespace workbook::xlsx {
namespace {

class StylesHandler : public XmlHandler {
public:
    explicit StylesHandler(StylesInfo& info) : info_(info) {}
    void Start(const XmlElement& element) override {
        if (element.depth == 1) {
            info_.prefix = TagPrefix(element.raw);
        } else if (element.depth == 2 && element.local == "cellXfs") {
            info_.cellXfsTag = std::string(element.raw);
            info_.cellXfsOffset = element.offset;
            inCellXfs_ = true;
        } else if (element.depth == 3 && inCellXfs_ && element.local == "xf") {
            ++info_.cellXfCount;
        }
    }
    void End(const XmlElement& element) override {
        if (element.depth == 2 && element.local == "cellXfs") {
            inCellXfs_ = false;
            if (element.length > 0) {
                info_.cellXfsEnd = element.offset;
                info_.found = true;
            }
        }
    }

private:
    StylesInfo& info_;
    bool inCellXfs_ = false;
};

void AppendCellFormat(std::string& out, std::string_view prefix, const Format& format) {
    out += '<';
    out += prefix;
    out += "xf numFmtId=\"";
    out += std::to_string(format.numFormat);
    out += "\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\"";
    if (format.numFormat != 0) {
        out += " applyNumberFormat=\"1\"";
    }
    out += "/>";
}

}  // namespace

bool ParseStylesPart(std::string_view text, StylesInfo& info, std::string& error) {
    info = {};
    StylesHandler handler(info);
    return ParseXml(text, handler, "xl/styles.xml", error);
}

std::string WriteStylesPart(const std::deque<Format>& formats) {
    std::string out =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
        "<styleSheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
        "<fonts count=\"1\"><font><sz val=\"11\"/><color theme=\"1\"/><name val=\"Calibri\"/>"
        "<family val=\"2\"/><scheme val=\"minor\"/></font></fonts>"
        "<fills count=\"2\"><fill><patternFill patternType=\"none\"/></fill>"
        "<fill><patternFill patternType=\"gray125\"/></fill></fills>"
        "<borders count=\"1\"><border><left/><right/><top/><bottom/><diagonal/></border></borders>"
        "<cellStyleXfs count=\"1\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\"/>"
        "</cellStyleXfs><cellXfs count=\"";
    out += std::to_string(formats.size() + 1);
    out += "\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\"/>";
    for (const auto& format : formats) {
        AppendCellFormat(out, {}, format);
    }
    out +=
        "</cellXfs><cellStyles count=\"1\"><cellStyle name=\"Normal\" xfId=\"0\" builtinId=\"0\"/>"
        "</cellStyles><dxfs count=\"0\"/><tableStyles count=\"0\"/></styleSheet>";
    return out;
}

std::string EditStylesPart(std::string_view original, const StylesInfo& info,
                           const std::deque<Format>& formats) {
    if (formats.empty() || !info.found) {
        return std::string(original);
    }
    std::vector<Splice> splices;
    std::string tag = info.cellXfsTag;
    const std::string count =
        std::to_string(info.cellXfCount + static_cast<long long>(formats.size()));
    if (SetAttributeInTag(tag, "count", count)) {
        splices.push_back({info.cellXfsOffset, info.cellXfsTag.size(), std::move(tag)});
    }
    Splice added{info.cellXfsEnd, 0, {}};
    for (const auto& format : formats) {
        AppendCellFormat(added.text, info.prefix, format);
    }
    splices.push_back(std::move(added));
    return ApplySplices(original, std::move(splices));
}

}  // namespace workbook::xlsx
