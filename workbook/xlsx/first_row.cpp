// SPDX-License-Identifier: MIT
// The texts of a loaded worksheet's first row, read from its part as the
// file holds it: inline strings, and shared strings looked up in the
// workbook's string table. Only as much of either part is inflated as the
// first row needs.
#include <algorithm>
#include <charconv>
#include <map>
#include <string>
#include <vector>

#include "workbook/limits.h"
#include "workbook/xlsx/package_parts.h"
#include "workbook/xlsx/worksheet_part.h"
#include "workbook/xlsx/xml_reader.h"
#include "workbook/xlsx/zip_reader.h"

namespace workbook::xlsx {
namespace {

// The zero-based column of a reference such as "C1", or -1.
int ColumnOf(std::string_view reference) {
    int column = 0;
    std::size_t i = 0;
    for (; i < reference.size() && reference[i] >= 'A' && reference[i] <= 'Z'; ++i) {
        column = column * 26 + (reference[i] - 'A' + 1);
        if (column > kXlsxMaxColumns) {
            return -1;
        }
    }
    return i == 0 ? -1 : column - 1;
}

int NumberOf(std::string_view text) {
    int value = -1;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    return result.ec == std::errc() && result.ptr == text.data() + text.size() ? value : -1;
}

// One cell of the first row as the part gives it.
struct FirstRowCell {
    int column = 0;
    std::string text;  // inline string, or the shared string's index
    bool shared = false;
    bool empty = true;  // no value at all
};

// Collects the cells of row 1 and stops at its end, or at the first later row.
class FirstRowHandler : public XmlHandler {
public:
    void Start(const XmlElement& element) override {
        if (element.depth == 2 && element.local == "sheetData") {
            inSheetData_ = true;
        } else if (inSheetData_ && element.depth == 3 && element.local == "row") {
            const std::string_view r = element.Get("r");
            if (!r.empty() && NumberOf(r) != 1) {
                stop = true;  // the sheet has no first row
            }
            inRow_ = true;
        } else if (inRow_ && element.depth == 4 && element.local == "c") {
            FirstRowCell cell;
            const std::string_view r = element.Get("r");
            cell.column = r.empty() ? nextColumn_ : ColumnOf(r);
            type_ = std::string(element.Get("t"));
            cells.push_back(std::move(cell));
            inCell_ = cells.back().column >= 0;
            failed = failed || !inCell_;
        } else if (inCell_ && element.depth == 5) {
            // <v> the value, <is> an inline string, <f> a formula.
            part_ = element.local;
            if (part_ == "f") {
                failed = true;
            }
        } else if (inCell_ && part_ == "is" && element.local == "rPh") {
            inPhonetic_ = true;
        } else if (inCell_ && part_ == "is" && element.local == "t" && !inPhonetic_) {
            inText_ = true;
        }
    }
    void End(const XmlElement& element) override {
        if (inCell_ && element.local == "rPh") {
            inPhonetic_ = false;
        } else if (inCell_ && element.local == "t" && element.depth > 5) {
            inText_ = false;
        } else if (inCell_ && element.depth == 5) {
            part_.clear();
        } else if (inCell_ && element.depth == 4) {
            FirstRowCell& cell = cells.back();
            if (!cell.empty) {
                // Only texts can be titles: numbers, booleans, errors and
                // formula results cannot.
                cell.shared = type_ == "s";
                failed = failed || !(cell.shared || type_ == "inlineStr");
            }
            nextColumn_ = cell.column + 1;
            inCell_ = false;
        } else if (inRow_ && element.depth == 3) {
            stop = true;
        } else if (element.depth == 2 && element.local == "sheetData") {
            stop = true;
        }
    }
    void Text(std::string_view text) override {
        // An inline string's text is in its <t> elements; what lies between
        // them is layout.
        if (inCell_ && (part_ == "v" || inText_)) {
            cells.back().text.append(text);
            cells.back().empty = false;
        }
    }

    std::vector<FirstRowCell> cells;
    bool failed = false;

private:
    bool inSheetData_ = false;
    bool inRow_ = false;
    bool inCell_ = false;
    bool inPhonetic_ = false;
    bool inText_ = false;
    int nextColumn_ = 0;
    std::string type_;
    std::string part_;  // the cell's child being read
};

// Collects the shared strings whose indices are keys of `wanted`, and stops
// after the last of them.
class SharedStringsHandler : public XmlHandler {
public:
    explicit SharedStringsHandler(std::map<int, std::string>& wanted)
        : wanted_(wanted), last_(wanted.empty() ? -1 : wanted.rbegin()->first) {}
    void Start(const XmlElement& element) override {
        if (element.depth == 2 && element.local == "si") {
            ++index_;
            current_ = wanted_.find(index_);
        } else if (element.local == "rPh") {
            inPhonetic_ = true;
        } else if (element.local == "t" && !inPhonetic_) {
            inText_ = true;
        }
    }
    void End(const XmlElement& element) override {
        if (element.local == "rPh") {
            inPhonetic_ = false;
        } else if (element.local == "t") {
            inText_ = false;
        } else if (element.depth == 2 && element.local == "si") {
            current_ = wanted_.end();
            stop = index_ >= last_;
        }
    }
    void Text(std::string_view text) override {
        if (inText_ && current_ != wanted_.end()) {
            current_->second.append(text);
        }
    }
    int count() const { return index_ + 1; }

private:
    std::map<int, std::string>& wanted_;
    int last_;
    int index_ = -1;
    std::map<int, std::string>::iterator current_ = wanted_.end();
    bool inPhonetic_ = false;
    bool inText_ = false;
};

// Streams a part through `handler` until it stops. False when the part is
// missing, cannot be read or is not XML.
bool ParsePart(const ZipReader& archive, std::string_view partName, XmlHandler& handler) {
    const int index = archive.Find(partName);
    if (index < 0) {
        return false;
    }
    const ZipEntry& entry = archive.entries()[static_cast<std::size_t>(index)];
    XmlParser parser(handler);
    std::string failure;
    const bool read = archive.Inflate(
        entry,
        [&](std::span<const char> piece) {
            return parser.Feed(piece, false, entry.name, failure) && !parser.stopped();
        },
        failure);
    if (read && failure.empty() && !parser.stopped()) {
        (void)parser.Feed({}, true, entry.name, failure);
    }
    return read && failure.empty();
}

// The target of the first relationship of `sourcePart` whose type ends in
// `typeEnd`, as a part name; empty when there is none.
std::string RelatedPart(const ZipReader& archive, std::string_view sourcePart,
                        std::string_view typeEnd) {
    const int index = archive.Find(RelationshipsPartOf(sourcePart));
    std::string text;
    std::string error;
    RelationshipsInfo info;
    if (index < 0 ||
        !archive.ReadSmall(archive.entries()[static_cast<std::size_t>(index)], text, error) ||
        !ParseRelationshipsPart(text, "", info, error)) {
        return {};
    }
    for (const Relationship& relationship : info.relationships) {
        if (!relationship.external && relationship.type.ends_with(typeEnd)) {
            return ResolveTarget(sourcePart, relationship.target);
        }
    }
    return {};
}

}  // namespace

bool XlsxSheet::FirstRowTexts(std::vector<std::string>& texts) const {
    texts.clear();
    if (!loaded()) {
        return true;
    }
    if (kind_ != SheetKind::kWorksheet) {
        return true;  // a chart or dialog sheet has no cells
    }
    FirstRowHandler row;
    if (!ParsePart(*archive_, partName_, row) || row.failed) {
        return false;
    }
    std::map<int, std::string> wanted;
    for (const FirstRowCell& cell : row.cells) {
        if (cell.shared) {
            const int index = NumberOf(cell.text);
            if (index < 0) {
                return false;
            }
            wanted.emplace(index, std::string());
        }
    }
    if (!wanted.empty()) {
        const std::string workbookPart = RelatedPart(*archive_, "", "/officeDocument");
        const std::string stringsPart =
            workbookPart.empty() ? std::string()
                                 : RelatedPart(*archive_, workbookPart, "/sharedStrings");
        SharedStringsHandler strings(wanted);
        if (stringsPart.empty() || !ParsePart(*archive_, stringsPart, strings) ||
            strings.count() <= wanted.rbegin()->first) {
            return false;
        }
    }
    for (const FirstRowCell& cell : row.cells) {
        if (static_cast<std::size_t>(cell.column) >= texts.size()) {
            texts.resize(static_cast<std::size_t>(cell.column) + 1);
        }
        texts[static_cast<std::size_t>(cell.column)] =
            cell.shared ? wanted[NumberOf(cell.text)] : cell.text;
    }
    return true;
}

}  // namespace workbook::xlsx
