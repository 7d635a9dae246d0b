// SPDX-License-Identifier: MIT
// The workbook part (xl/workbook.xml): the sheet list, the date system,
// defined names and the window's active and first tabs.
#include <algorithm>
#include <charconv>

#include "platform/ascii.h"
#include "workbook/workbook.h"
#include "workbook/xlsx/package_parts.h"
#include "workbook/xlsx/xml_reader.h"
#include "workbook/xlsx/xml_writer.h"

namespace workbook::xlsx {
namespace {

long long ToNumber(std::string_view text, long long fallback) {
    long long value = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    return result.ec == std::errc() && result.ptr == text.data() + text.size() ? value : fallback;
}

class WorkbookHandler : public XmlHandler {
public:
    explicit WorkbookHandler(WorkbookInfo& info) : info_(info) {}
    void Start(const XmlElement& element) override {
        if (element.depth == 2) {
            lastTopOffset_ = element.offset;
            lastTopLength_ = element.length;
            if (element.local == "calcPr") {
                info_.calcPrOffset = element.offset;
                info_.calcPrLength = element.length;
            }
        }
        if (element.depth == 1) {
            info_.prefix = TagPrefix(element.raw);
            const std::string declaration = "xmlns:r=\"" + std::string(kRelationshipsNs) + "\"";
            info_.relationshipsPrefixIsR = element.raw.find(declaration) != std::string_view::npos;
        } else if (element.depth == 2 && element.local == "workbookPr") {
            const std::string_view value = element.Get("date1904");
            info_.date1904 = value == "1" || value == "true";
        } else if (element.depth == 3 && element.local == "workbookView" && info_.viewTag.empty()) {
            info_.viewTag = std::string(element.raw);
            info_.viewOffset = element.offset;
            info_.activeTab = ToNumber(element.Get("activeTab"), -1);
            info_.firstSheet = ToNumber(element.Get("firstSheet"), -1);
        } else if (element.depth == 3 && element.local == "sheet") {
            WorkbookSheet sheet;
            sheet.name = element.Get("name");
            sheet.relId = element.Get("id", kRelationshipsNs);
            sheet.sheetId = ToNumber(element.Get("sheetId"), 0);
            const std::string_view state = element.Get("state");
            sheet.hidden = state == "hidden" || state == "veryHidden";
            sheet.offset = element.offset;
            sheet.length = element.length;
            info_.sheets.push_back(std::move(sheet));
            inSheet_ = true;
        } else if (element.depth == 2 && element.local == "definedNames") {
            info_.definedNamesOffset = element.offset;
        } else if (element.depth == 3 && element.local == "definedName") {
            DefinedName name;
            name.name = element.Get("name");
            name.startTag = std::string(element.raw);
            name.localSheetId = ToNumber(element.Get("localSheetId"), -1);
            name.offset = element.offset;
            info_.definedNames.push_back(std::move(name));
            inName_ = true;
        }
    }
    void Text(std::string_view text) override {
        if (inName_) {
            info_.definedNames.back().text += text;
        }
    }
    void End(const XmlElement& element) override {
        if (element.depth == 2 &&
            (element.local == "sheets" || element.local == "functionGroups" ||
             element.local == "externalReferences" || element.local == "definedNames")) {
            // These precede <calcPr> in a workbook part.
            const std::uint64_t end = element.length == 0 ? lastTopOffset_ + lastTopLength_
                                                          : element.offset + element.length;
            info_.calcPrInsertAt = std::max(info_.calcPrInsertAt, end);
        }
        if (element.depth == 3 && inSheet_) {
            inSheet_ = false;
            if (element.length > 0) {
                WorkbookSheet& sheet = info_.sheets.back();
                sheet.length = element.offset + element.length - sheet.offset;
            }
        } else if (element.depth == 3 && inName_) {
            inName_ = false;
            DefinedName& name = info_.definedNames.back();
            if (element.length == 0) {
                name.empty = true;
                name.length = name.startTag.size();
            } else {
                name.length = element.offset + element.length - name.offset;
            }
        } else if (element.depth == 2 && element.local == "sheets") {
            info_.sheetsEnd = element.length > 0 ? element.offset : 0;
        } else if (element.depth == 2 && element.local == "definedNames") {
            info_.definedNamesLength = element.offset + element.length - info_.definedNamesOffset;
            info_.definedNamesEndTag = element.length > 0 ? element.offset : 0;
        }
    }

private:
    WorkbookInfo& info_;
    bool inSheet_ = false;
    bool inName_ = false;
    std::uint64_t lastTopOffset_ = 0;  // the last start tag directly under the root
    std::uint64_t lastTopLength_ = 0;
};

bool IsNameCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '.' || static_cast<unsigned char>(c) >= 0x80;
}

// True when `formula` refers to the sheet, as Name! or 'Name'! (with any
// apostrophe in the name doubled).
bool RefersToSheet(std::string_view formula, std::string_view sheetName) {
    std::string quoted = "'";
    for (char c : sheetName) {
        quoted += c;
        if (c == '\'') {
            quoted += '\'';
        }
    }
    quoted += "'!";
    const std::string plain = std::string(sheetName) + "!";
    for (std::size_t i = 0; i < formula.size(); ++i) {
        if (formula.size() - i >= quoted.size() &&
            platform::EqualsIgnoringCase(formula.substr(i, quoted.size()), quoted)) {
            return true;
        }
        if ((i == 0 || !IsNameCharacter(formula[i - 1])) && formula[i] != '\'' &&
            formula.size() - i >= plain.size() &&
            platform::EqualsIgnoringCase(formula.substr(i, plain.size()), plain)) {
            return true;
        }
    }
    return false;
}

void AppendSheetElement(std::string& out, std::string_view prefix, const SheetListing& sheet,
                        bool declareR) {
    out += '<';
    out += prefix;
    out += "sheet name=\"";
    AppendAttributeText(out, sheet.name);
    out += "\" sheetId=\"";
    out += std::to_string(sheet.sheetId);
    out += "\" r:id=\"";
    AppendAttributeText(out, sheet.relId);
    out += '"';
    if (declareR) {
        out += " xmlns:r=\"";
        out += kRelationshipsNs;
        out += '"';
    }
    out += "/>";
}

// The key Excel orders defined names by: the name without the prefix of
// the built-in ones, ignoring case.
std::string NameSortKey(std::string_view name) {
    if (name.size() >= 6 && platform::EqualsIgnoringCase(name.substr(0, 6), "_xlnm.")) {
        name.remove_prefix(6);
    }
    return platform::AsciiLowered(name);
}

// A sheet's hidden filter-range name.
void AppendFilterName(std::string& out, std::string_view prefix, long long sheet,
                      std::string_view formula) {
    out += '<';
    out += prefix;
    out += "definedName name=\"";
    out += kFilterDatabaseName;
    out += "\" localSheetId=\"";
    out += std::to_string(sheet);
    out += "\" hidden=\"1\">";
    AppendAttributeText(out, formula);
    out += "</";
    out += prefix;
    out += "definedName>";
}

}  // namespace

bool ParseWorkbookPart(std::string_view text, std::string_view partName, WorkbookInfo& info,
                       std::string& error) {
    info = {};
    WorkbookHandler handler(info);
    if (!ParseXml(text, handler, partName, error)) {
        return false;
    }
    if (info.sheets.empty() || info.sheetsEnd == 0) {
        error = "The workbook part lists no sheets.";
        return false;
    }
    for (const auto& sheet : info.sheets) {
        if (sheet.name.empty() || sheet.relId.empty()) {
            error = "The workbook part lists a sheet without a name or relationship.";
            return false;
        }
    }
    return true;
}

std::string WriteWorkbookPart(const std::vector<SheetListing>& sheets) {
    XmlWriter xml;
    xml.Open("workbook")
        .Attribute("xmlns", kMainNs)
        .Attribute("xmlns:r", kRelationshipsNs)
        .EndAttributes();
    xml.Open("workbookPr").CloseEmpty();
    xml.Open("bookViews").EndAttributes().Open("workbookView").CloseEmpty().Close("bookViews");
    xml.Open("sheets").EndAttributes();
    std::string out = xml.Take();
    for (const auto& sheet : sheets) {
        AppendSheetElement(out, {}, sheet, false);
    }
    out += "</sheets>";
    std::string names;
    for (std::size_t i = 0; i < sheets.size(); ++i) {
        if (!sheets[i].filterFormula.empty()) {
            AppendFilterName(names, {}, static_cast<long long>(i), sheets[i].filterFormula);
        }
    }
    if (!names.empty()) {
        out += "<definedNames>" + names + "</definedNames>";
    }
    out += "</workbook>";
    return out;
}

namespace {

// Where each loaded sheet now stands (-1 when it is gone), and for each
// where what pointed at it goes: the sheet itself, the new sheet that took
// its name (formulas and names refer to sheets by name), or -1.
struct SheetMoves {
    std::vector<long long> newIndex;
    std::vector<long long> nameIndex;
};

SheetMoves MovesOf(const WorkbookInfo& info, const std::vector<SheetListing>& sheets) {
    SheetMoves moves;
    moves.newIndex.assign(info.sheets.size(), -1);
    for (std::size_t i = 0; i < sheets.size(); ++i) {
        if (sheets[i].loadedIndex >= 0) {
            moves.newIndex[static_cast<std::size_t>(sheets[i].loadedIndex)] =
                static_cast<long long>(i);
        }
    }
    const auto replacement = [&](std::size_t loaded) -> long long {
        for (std::size_t i = 0; i < sheets.size(); ++i) {
            if (sheets[i].loadedIndex < 0 &&
                SameSheetName(sheets[i].name, info.sheets[loaded].name)) {
                return static_cast<long long>(i);
            }
        }
        return -1;
    };
    moves.nameIndex = moves.newIndex;
    for (std::size_t i = 0; i < info.sheets.size(); ++i) {
        if (moves.newIndex[i] < 0) {
            moves.nameIndex[i] = replacement(i);
        }
    }
    return moves;
}

// A tag with the attribute set, added before the tag's end when it is absent.
std::string WithAttribute(std::string tag, std::string_view name, const std::string& value) {
    if (!SetAttributeInTag(tag, name, value)) {
        const std::size_t close =
            tag.size() >= 2 && tag[tag.size() - 2] == '/' ? tag.size() - 2 : tag.size() - 1;
        tag.insert(close, " " + std::string(name) + "=\"" + value + "\"");
    }
    return tag;
}

// The splices for the defined names: names local to a removed sheet go,
// those local to a moved sheet follow it (`nameIndex`), names that refer to
// a sheet in `removedNames` turn into #REF!, and each sheet with a filter
// gets its filter name. `replaced` tells that a new sheet took a loaded
// sheet's name.
void EditDefinedNames(const WorkbookInfo& info, const std::vector<SheetListing>& sheets,
                      const std::vector<long long>& nameIndex,
                      const std::vector<std::string>& removedNames, bool replaced,
                      std::vector<Splice>& splices) {
    const bool filters = std::any_of(sheets.begin(), sheets.end(), [](const SheetListing& sheet) {
        return !sheet.filterFormula.empty();
    });
    if (!removedNames.empty() || replaced || filters) {
        std::size_t keptNames = 0;
        std::vector<Splice> nameSplices;
        // Sheets whose filter name took the place of the one the sheet they
        // replace had.
        std::vector<bool> filterPlaced(sheets.size(), false);
        std::vector<std::pair<std::string, std::uint64_t>> keptOffsets;  // sort key, offset
        for (const auto& name : info.definedNames) {
            const long long local = name.localSheetId;
            if (local >= 0 && (static_cast<std::size_t>(local) >= nameIndex.size() ||
                               nameIndex[static_cast<std::size_t>(local)] < 0)) {
                nameSplices.push_back({name.offset, name.length, {}});
                continue;
            }
            ++keptNames;
            keptOffsets.emplace_back(NameSortKey(name.name), name.offset);
            if (local >= 0 && platform::EqualsIgnoringCase(name.name, kFilterDatabaseName)) {
                const auto now =
                    static_cast<std::size_t>(nameIndex[static_cast<std::size_t>(local)]);
                if (!sheets[now].filterFormula.empty() && !filterPlaced[now]) {
                    filterPlaced[now] = true;
                    std::string element;
                    AppendFilterName(element, TagPrefix(name.startTag), static_cast<long long>(now),
                                     sheets[now].filterFormula);
                    nameSplices.push_back({name.offset, name.length, std::move(element)});
                    continue;
                }
            }
            std::string tag = name.startTag;
            bool changed = false;
            if (local >= 0 && nameIndex[static_cast<std::size_t>(local)] != local) {
                changed =
                    SetAttributeInTag(tag, "localSheetId",
                                      std::to_string(nameIndex[static_cast<std::size_t>(local)]));
            }
            bool broken = false;
            for (const auto& removed : removedNames) {
                broken = broken || RefersToSheet(name.text, removed);
            }
            if (!changed && !broken) {
                continue;
            }
            if (broken) {
                // The name's target is gone; keep the name so formulas that use
                // it show #REF! rather than #NAME?.
                std::string element = tag;
                if (name.empty && element.size() >= 2) {
                    element.erase(element.size() - 2);
                    element += '>';
                }
                element += "#REF!</";
                element += TagPrefix(tag);
                element += "definedName>";
                nameSplices.push_back({name.offset, name.length, std::move(element)});
            } else {
                nameSplices.push_back({name.offset, tag.size(), std::move(tag)});
            }
        }
        std::string addedNames;
        for (std::size_t i = 0; i < sheets.size(); ++i) {
            if (!sheets[i].filterFormula.empty() && !filterPlaced[i]) {
                AppendFilterName(addedNames, info.prefix, static_cast<long long>(i),
                                 sheets[i].filterFormula);
            }
        }
        // New names go where Excel keeps them, in the order of their sort
        // keys: before the first kept name that sorts after them, else last.
        std::uint64_t namesAt = info.definedNamesEndTag;
        const std::string filterKey = NameSortKey(kFilterDatabaseName);
        for (const auto& [key, offset] : keptOffsets) {
            if (key > filterKey) {
                namesAt = offset;
                break;
            }
        }
        const std::string namesElement = addedNames.empty()
                                             ? std::string()
                                             : "<" + info.prefix + "definedNames>" + addedNames +
                                                   "</" + info.prefix + "definedNames>";
        if (info.definedNamesLength > 0 &&
            ((keptNames == 0 && !info.definedNames.empty()) ||
             (info.definedNamesEndTag == 0 && !addedNames.empty()))) {
            // Every loaded name is gone, or the element is empty: it is
            // written anew, or goes when no name is added.
            splices.push_back({info.definedNamesOffset, info.definedNamesLength, namesElement});
        } else {
            if (info.definedNamesLength > 0 && !addedNames.empty()) {
                // Ahead of the edit of the name at the same offset, if any.
                splices.push_back({namesAt, 0, std::move(addedNames)});
            }
            splices.insert(splices.end(), nameSplices.begin(), nameSplices.end());
            if (info.definedNamesLength == 0 && !namesElement.empty()) {
                // Where the element belongs: after the sheets and external
                // references, before the calculation properties (whose own
                // insertion at the same place comes later).
                splices.push_back({info.calcPrInsertAt, 0, namesElement});
            }
        }
    }
}

}  // namespace

long long ShownSheetAfterEdit(const WorkbookInfo& info, const std::vector<SheetListing>& sheets) {
    if (sheets.empty()) {
        return 0;
    }
    const SheetMoves moves = MovesOf(info, sheets);
    const long long last = static_cast<long long>(sheets.size()) - 1;
    const long long old = std::max<long long>(info.activeTab, 0);
    long long shown = 0;
    if (old < static_cast<long long>(info.sheets.size()) &&
        moves.nameIndex[static_cast<std::size_t>(old)] >= 0) {
        shown = moves.nameIndex[static_cast<std::size_t>(old)];
    } else {
        // Gone with no successor: the sheet now in its place.
        for (std::size_t i = 0; i < info.sheets.size() && static_cast<long long>(i) < old; ++i) {
            shown += moves.newIndex[i] >= 0 ? 1 : 0;
        }
    }
    shown = std::clamp<long long>(shown, 0, last);
    const auto hidden = [&](long long index) {
        const int loaded = sheets[static_cast<std::size_t>(index)].loadedIndex;
        return loaded >= 0 && info.sheets[static_cast<std::size_t>(loaded)].hidden;
    };
    for (long long i = 0; hidden(shown) && i <= last; ++i) {
        if (!hidden(i)) {
            shown = i;
        }
    }
    return shown;
}

std::string EditWorkbookPart(std::string_view original, const WorkbookInfo& info,
                             const std::vector<SheetListing>& sheets) {
    const SheetMoves moves = MovesOf(info, sheets);
    const std::vector<long long>& newIndex = moves.newIndex;
    // Names that point into a replaced sheet go on pointing at the sheet in
    // its place, as formulas do.
    const std::vector<long long>& nameIndex = moves.nameIndex;
    std::vector<std::string> removedNames;
    bool replaced = false;
    std::vector<Splice> splices;
    for (std::size_t i = 0; i < info.sheets.size(); ++i) {
        if (newIndex[i] < 0) {
            splices.push_back({info.sheets[i].offset, info.sheets[i].length, {}});
            if (nameIndex[i] < 0) {
                removedNames.push_back(info.sheets[i].name);
            } else {
                replaced = true;
            }
        }
    }
    // A new sheet goes before the loaded sheet that follows it in the tab
    // order, or at the end of the list.
    std::uint64_t insertAt = info.sheetsEnd;
    std::vector<Splice> added;
    for (std::size_t i = sheets.size(); i-- > 0;) {
        const SheetListing& sheet = sheets[i];
        if (sheet.loadedIndex >= 0) {
            insertAt = info.sheets[static_cast<std::size_t>(sheet.loadedIndex)].offset;
            continue;
        }
        if (added.empty() || added.back().offset != insertAt) {
            added.push_back({insertAt, 0, {}});
        }
        std::string element;
        AppendSheetElement(element, info.prefix, sheet, !info.relationshipsPrefixIsR);
        added.back().text.insert(0, element);
    }
    splices.insert(splices.end(), added.begin(), added.end());

    EditDefinedNames(info, sheets, nameIndex, removedNames, replaced, splices);
    if (!info.viewTag.empty()) {
        // A first tab that pointed at a removed sheet moves to the sheet now
        // in its place; the active tab, the same or to a visible sheet.
        const auto remap = [&](long long old) {
            long long position = 0;
            for (std::size_t i = 0; i < info.sheets.size() && static_cast<long long>(i) < old;
                 ++i) {
                position += newIndex[i] >= 0 ? 1 : 0;
            }
            return std::clamp<long long>(
                position, 0, std::max<long long>(0, static_cast<long long>(sheets.size()) - 1));
        };
        std::string tag = info.viewTag;
        const long long shown = ShownSheetAfterEdit(info, sheets);
        if (shown != std::max<long long>(info.activeTab, 0)) {
            tag = WithAttribute(tag, "activeTab", std::to_string(shown));
        }
        if (info.firstSheet >= 0 && remap(info.firstSheet) != info.firstSheet) {
            (void)SetAttributeInTag(tag, "firstSheet", std::to_string(remap(info.firstSheet)));
        }
        if (tag != info.viewTag) {
            splices.push_back({info.viewOffset, info.viewTag.size(), std::move(tag)});
        }
    }
    // Formulas on the kept sheets may read the sheet just written, and their
    // stored results predate it: ask for a full recalculation on opening.
    if (info.calcPrLength > 0) {
        std::string tag(original.substr(static_cast<std::size_t>(info.calcPrOffset),
                                        static_cast<std::size_t>(info.calcPrLength)));
        if (!SetAttributeInTag(tag, "fullCalcOnLoad", "1")) {
            const std::size_t close =
                tag.size() >= 2 && tag[tag.size() - 2] == '/' ? tag.size() - 2 : tag.size() - 1;
            tag.insert(close, " fullCalcOnLoad=\"1\"");
        }
        splices.push_back({info.calcPrOffset, info.calcPrLength, std::move(tag)});
    } else if (info.calcPrInsertAt > 0) {
        splices.push_back(
            {info.calcPrInsertAt, 0, "<" + info.prefix + "calcPr fullCalcOnLoad=\"1\"/>"});
    }
    return ApplySplices(original, std::move(splices));
}

}  // namespace workbook::xlsx
