// SPDX-License-Identifier: MIT
// The theme part (xl/theme/theme1.xml) of a new book. The styles part names
// theme colour 1 and the minor font scheme, which mean nothing to a reader
// without a theme; this one gives the usual spreadsheet palette and fonts
// and the smallest format scheme the schema allows (three plain styles of
// each kind).
#include <array>

#include "workbook/xlsx/package_parts.h"

namespace workbook::xlsx {
namespace {

struct SchemeColour {
    std::string_view slot;
    std::string_view rgb;
};

// dk1 and lt1 follow the system's window colours; the rest are fixed.
constexpr std::array<SchemeColour, 10> kFixedColours{{
    {"dk2", "44546A"},
    {"lt2", "E7E6E6"},
    {"accent1", "4472C4"},
    {"accent2", "ED7D31"},
    {"accent3", "A5A5A5"},
    {"accent4", "FFC000"},
    {"accent5", "5B9BD5"},
    {"accent6", "70AD47"},
    {"hlink", "0563C1"},
    {"folHlink", "954F72"},
}};

constexpr std::string_view kPlaceholderFill =
    "<a:solidFill><a:schemeClr val=\"phClr\"/></a:solidFill>";

void AppendFont(std::string& out, std::string_view role, std::string_view latin) {
    out += "<a:";
    out += role;
    out += "><a:latin typeface=\"";
    out += latin;
    out += "\"/><a:ea typeface=\"\"/><a:cs typeface=\"\"/></a:";
    out += role;
    out += '>';
}

}  // namespace

std::string WriteThemePart() {
    std::string out =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
        "<a:theme xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\" "
        "name=\"Quendle\"><a:themeElements><a:clrScheme name=\"Quendle\">"
        "<a:dk1><a:sysClr val=\"windowText\" lastClr=\"000000\"/></a:dk1>"
        "<a:lt1><a:sysClr val=\"window\" lastClr=\"FFFFFF\"/></a:lt1>";
    for (const auto& colour : kFixedColours) {
        out += "<a:";
        out += colour.slot;
        out += "><a:srgbClr val=\"";
        out += colour.rgb;
        out += "\"/></a:";
        out += colour.slot;
        out += '>';
    }
    out += "</a:clrScheme><a:fontScheme name=\"Quendle\">";
    AppendFont(out, "majorFont", "Calibri Light");
    AppendFont(out, "minorFont", "Calibri");
    out += "</a:fontScheme><a:fmtScheme name=\"Quendle\"><a:fillStyleLst>";
    for (int i = 0; i < 3; ++i) {
        out += kPlaceholderFill;
    }
    out += "</a:fillStyleLst><a:lnStyleLst>";
    for (const std::string_view width : {"6350", "12700", "19050"}) {
        out += "<a:ln w=\"";
        out += width;
        out += "\" cap=\"flat\" cmpd=\"sng\" algn=\"ctr\">";
        out += kPlaceholderFill;
        out += "<a:prstDash val=\"solid\"/></a:ln>";
    }
    out += "</a:lnStyleLst><a:effectStyleLst>";
    for (int i = 0; i < 3; ++i) {
        out += "<a:effectStyle><a:effectLst/></a:effectStyle>";
    }
    out += "</a:effectStyleLst><a:bgFillStyleLst>";
    for (int i = 0; i < 3; ++i) {
        out += kPlaceholderFill;
    }
    out +=
        "</a:bgFillStyleLst></a:fmtScheme></a:themeElements><a:objectDefaults/>"
        "<a:extraClrSchemeLst/></a:theme>";
    return out;
}

}  // namespace workbook::xlsx
