// SPDX-License-Identifier: MIT
// The worksheet elements a sheet's layout asks for: fitted column widths
// (<cols>, merged with a loaded sheet's own), the frozen title rows (<pane>)
// and the filter buttons (<autoFilter> and the hidden name that goes with it).
#include <algorithm>
#include <charconv>
#include <cstdint>

#include "workbook/column_widths.h"
#include "workbook/limits.h"
#include "workbook/xlsx/package_parts.h"
#include "workbook/xlsx/worksheet_part.h"
#include "workbook/xlsx/xml_writer.h"

namespace workbook::xlsx {
namespace {

void AppendNumber(std::string& out, long long value) {
    char digits[24];
    const auto result = std::to_chars(digits, digits + sizeof digits, value);
    out.append(digits, static_cast<std::size_t>(result.ptr - digits));
}

std::string WidthText(double width) {
    char digits[32];
    const auto result = std::to_chars(digits, digits + sizeof digits, width);
    return std::string(digits, static_cast<std::size_t>(result.ptr - digits));
}

// The tag with the attribute set, added before the tag's end when absent.
std::string WithAttribute(std::string tag, std::string_view name, std::string_view value) {
    if (!SetAttributeInTag(tag, name, value)) {
        const std::size_t close =
            tag.size() >= 2 && tag[tag.size() - 2] == '/' ? tag.size() - 2 : tag.size() - 1;
        std::string attribute = " ";
        attribute += name;
        attribute += "=\"";
        attribute += value;
        attribute += '"';
        tag.insert(close, attribute);
    }
    return tag;
}

// A new <col> for the columns `first` to `last` (zero-based).
void AppendFittedColumn(std::string& out, int first, int last, double width) {
    out += "<col min=\"";
    AppendNumber(out, first + 1);
    out += "\" max=\"";
    AppendNumber(out, last + 1);
    out += "\" width=\"";
    out += WidthText(width);
    out += "\" customWidth=\"1\"/>";
}

// A loaded <col> narrowed to the columns `first` to `last` (zero-based),
// widened to `width` unless that is 0; its other attributes stay.
void AppendLoadedColumn(std::string& out, const LoadedColumn& column, int first, int last,
                        double width) {
    std::string tag = column.tag;
    if (first + 1 != column.min) {
        tag = WithAttribute(std::move(tag), "min", std::to_string(first + 1));
    }
    if (last + 1 != column.max) {
        tag = WithAttribute(std::move(tag), "max", std::to_string(last + 1));
    }
    if (width > 0) {
        tag = WithAttribute(std::move(tag), "width", WidthText(width));
        tag = WithAttribute(std::move(tag), "customWidth", "1");
    }
    out += tag;
}

double FittedWidthOf(const std::vector<std::uint16_t>& characters, int column) {
    const auto index = static_cast<std::size_t>(column);
    return index < characters.size() ? FittedColumnWidth(characters[index]) : 0.0;
}

// New <col> elements for the fitted columns from `first` to `last`, equal
// neighbours sharing one.
void AppendFittedRun(std::string& out, const std::vector<std::uint16_t>& characters, int first,
                     int last) {
    last = std::min(last, static_cast<int>(characters.size()) - 1);
    int column = first;
    while (column <= last) {
        const double width = FittedWidthOf(characters, column);
        int end = column;
        while (end < last && FittedWidthOf(characters, end + 1) == width) {
            ++end;
        }
        if (width > 0) {
            AppendFittedColumn(out, column, end, width);
        }
        column = end + 1;
    }
}

}  // namespace

std::string FittedColsElement(const std::vector<std::uint16_t>& characters) {
    std::string columns;
    AppendFittedRun(columns, characters, 0, kXlsxMaxColumns - 1);
    return columns.empty() ? std::string() : "<cols>" + columns + "</cols>";
}

bool MergedColsElement(std::vector<LoadedColumn> loaded,
                       const std::vector<std::uint16_t>& characters, std::string& cols) {
    std::stable_sort(loaded.begin(), loaded.end(),
                     [](const LoadedColumn& a, const LoadedColumn& b) { return a.min < b.min; });
    int next = 1;  // the first column, one-based, not yet covered
    for (const LoadedColumn& column : loaded) {
        // Ranges out of order or overlapping are left as the file has them.
        if (column.tag.empty() || column.min < next || column.max < column.min ||
            column.max > kXlsxMaxColumns) {
            return false;
        }
        next = column.max + 1;
    }
    std::string out;
    bool changed = false;
    int column = 0;  // zero-based
    for (const LoadedColumn& range : loaded) {
        const std::size_t before = out.size();
        AppendFittedRun(out, characters, column, range.min - 2);
        changed = changed || out.size() != before;
        // Within the range, runs of columns that keep their width or take
        // the same wider one.
        const double own = range.hasWidth ? range.width : 0.0;
        const auto widthOf = [&](int at) {
            const double fitted = FittedWidthOf(characters, at);
            return fitted > own ? fitted : 0.0;
        };
        for (int first = range.min - 1; first <= range.max - 1;) {
            const double width = widthOf(first);
            int last = first;
            while (last < range.max - 1 && widthOf(last + 1) == width) {
                ++last;
            }
            AppendLoadedColumn(out, range, first, last, width);
            changed = changed || width > 0;
            first = last + 1;
        }
        column = range.max;
    }
    const std::size_t before = out.size();
    AppendFittedRun(out, characters, column, kXlsxMaxColumns - 1);
    changed = changed || out.size() != before;
    if (!changed) {
        return false;
    }
    cols = "<cols>" + out + "</cols>";
    return true;
}

std::string FrozenPaneContent(int rows) {
    // The first row below the pane must be one of the sheet's.
    rows = std::clamp(rows, 1, kXlsxMaxRows - 1);
    std::string cell = "A";
    AppendNumber(cell, static_cast<long long>(rows) + 1);
    std::string out = "<pane ySplit=\"";
    AppendNumber(out, rows);
    out += "\" topLeftCell=\"" + cell +
           "\" activePane=\"bottomLeft\" state=\"frozen\"/>"
           "<selection pane=\"bottomLeft\" activeCell=\"" +
           cell + "\" sqref=\"" + cell + "\"/>";
    return out;
}

std::string FilterRange(const SheetLayout& layout, bool absolute) {
    if (layout.filterRow < 0 || layout.lastColumn < 0) {
        return {};
    }
    const std::string dollar = absolute ? "$" : "";
    std::string range = dollar + "A" + dollar;
    AppendNumber(range, static_cast<long long>(layout.filterRow) + 1);
    range += ':' + dollar + ColumnLetters(layout.lastColumn) + dollar;
    AppendNumber(range, static_cast<long long>(std::max(layout.lastRow, layout.filterRow)) + 1);
    return range;
}

std::string FilterDatabaseFormula(std::string_view sheetName, const SheetLayout& layout) {
    const std::string range = FilterRange(layout, true);
    if (range.empty()) {
        return {};
    }
    // Always quoted: a name with spaces, punctuation or a leading digit
    // needs it, and a quoted plain name means the same.
    std::string formula = "'";
    for (const char c : sheetName) {
        formula += c;
        if (c == '\'') {
            formula += '\'';
        }
    }
    formula += "'!" + range;
    return formula;
}

}  // namespace workbook::xlsx
