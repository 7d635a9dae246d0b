// SPDX-License-Identifier: MIT
// The package parts of an .xlsx workbook other than the worksheets: for a new
// book each is written whole; for a loaded book each is parsed once for the
// positions of what may change, and later edited by splicing its original
// bytes, so that everything else in it stays exactly as it was.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "workbook/book.h"

namespace workbook::xlsx {

// Content types and relationship types used by the package.
inline constexpr std::string_view kWorksheetContentType =
    "application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml";
inline constexpr std::string_view kStylesContentType =
    "application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml";
inline constexpr std::string_view kWorksheetRelType =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet";
inline constexpr std::string_view kStylesRelType =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles";
inline constexpr std::string_view kThemeContentType =
    "application/vnd.openxmlformats-officedocument.theme+xml";
inline constexpr std::string_view kThemeRelType =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/theme";
inline constexpr std::string_view kAppPropertiesRelType =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/extended-properties";
inline constexpr std::string_view kMainNs =
    "http://schemas.openxmlformats.org/spreadsheetml/2006/main";

// A byte range of a part to replace with new text (empty text: removal).
struct Splice {
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
    std::string text;
};
// Applies splices, which must not overlap, to `original`.
std::string ApplySplices(std::string_view original, std::vector<Splice> splices);

// "x:" when the tag `<x:name ...>` carries a namespace prefix, else "".
std::string TagPrefix(std::string_view rawTag);

// Replaces the value of attribute `name` inside a raw start tag; false when absent.
bool SetAttributeInTag(std::string& tag, std::string_view name, std::string_view value);

// ---- Relationships (_rels/*.rels) ----

struct Relationship {
    std::string id;
    std::string type;
    std::string target;  // as written, relative to the source part's folder
    bool external = false;
    std::uint64_t offset = 0;  // the element's bytes in the loaded part
    std::uint64_t length = 0;
};

struct RelationshipsInfo {
    std::vector<Relationship> relationships;
    std::uint64_t endOffset = 0;  // where new relationships go (before the closing tag)
    std::string prefix;           // namespace prefix of the elements
};

[[nodiscard]] bool ParseRelationshipsPart(std::string_view text, std::string_view partName,
                                          RelationshipsInfo& info, std::string& error);
// A new relationships part.
std::string WriteRelationshipsPart(const std::vector<Relationship>& relationships);
// The loaded part without the relationships whose ids are in `removeIds`,
// with `add` appended.
std::string EditRelationshipsPart(std::string_view original, const RelationshipsInfo& info,
                                  const std::vector<std::string>& removeIds,
                                  const std::vector<Relationship>& add);
// The part name that `target` names, seen from `sourcePart` ("" for the
// package root); empty when it leaves the package.
std::string ResolveTarget(std::string_view sourcePart, std::string_view target);
// The relationships part that belongs to `partName`.
std::string RelationshipsPartOf(std::string_view partName);

// ---- Content types ([Content_Types].xml) ----

struct ContentOverride {
    std::string partName;  // without the leading slash
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
};

struct ContentTypesInfo {
    std::vector<ContentOverride> overrides;
    std::uint64_t endOffset = 0;
    std::string prefix;
};

[[nodiscard]] bool ParseContentTypesPart(std::string_view text, ContentTypesInfo& info,
                                         std::string& error);
// A new content-types part for `worksheetParts` and the usual parts of a new book.
std::string WriteContentTypesPart(const std::vector<std::string>& worksheetParts);
// The loaded part without the overrides of `removedParts` (lower-case names),
// with overrides for `addParts` (part name, content type) appended.
std::string EditContentTypesPart(
    std::string_view original, const ContentTypesInfo& info,
    const std::vector<std::string>& removedParts,
    const std::vector<std::pair<std::string, std::string_view>>& addParts);

// ---- Workbook (xl/workbook.xml) ----

struct WorkbookSheet {
    std::string name;
    std::string relId;
    long long sheetId = 0;
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
    bool hidden = false;  // state="hidden" or "veryHidden"
};

struct DefinedName {
    std::string name;
    std::string startTag;  // raw bytes of the start tag
    std::string text;      // the formula
    long long localSheetId = -1;
    std::uint64_t offset = 0;  // whole element, start tag to end tag
    std::uint64_t length = 0;
    bool empty = false;  // written as <definedName .../>
};

struct WorkbookInfo {
    bool date1904 = false;
    std::vector<WorkbookSheet> sheets;
    std::uint64_t sheetsEnd = 0;          // offset of </sheets>
    std::string prefix;                   // namespace prefix of the main elements
    bool relationshipsPrefixIsR = false;  // the root declares xmlns:r for relationships
    std::vector<DefinedName> definedNames;
    std::uint64_t definedNamesOffset = 0;  // the whole <definedNames> element
    std::uint64_t definedNamesLength = 0;
    std::uint64_t definedNamesEndTag = 0;  // offset of </definedNames>; 0 when self-closing
    std::string viewTag;                   // raw first <workbookView .../> tag, empty when none
    std::uint64_t viewOffset = 0;
    long long activeTab = -1;  // -1 when the attribute is absent
    long long firstSheet = -1;
    std::uint64_t calcPrOffset = 0;  // the <calcPr> tag; length 0 when there is none
    std::uint64_t calcPrLength = 0;
    std::uint64_t calcPrInsertAt = 0;  // where a missing <calcPr> goes, after its predecessors
};

[[nodiscard]] bool ParseWorkbookPart(std::string_view text, std::string_view partName,
                                     WorkbookInfo& info, std::string& error);

// A sheet of the saved book as the workbook part lists it.
struct SheetListing {
    std::string name;
    std::string relId;
    long long sheetId = 0;
    int loadedIndex = -1;  // index in WorkbookInfo::sheets, -1 for a new sheet
    // The range of the sheet's filter buttons, as its hidden filter-range name
    // gives it (FilterDatabaseFormula); empty when the sheet gets none.
    std::string filterFormula;
};

// The name Excel gives a sheet's filter range, local to the sheet and hidden.
inline constexpr std::string_view kFilterDatabaseName = "_xlnm._FilterDatabase";

std::string WriteWorkbookPart(const std::vector<SheetListing>& sheets);
// The index in `sheets` of the tab shown on opening: the loaded active tab
// where it went (to the sheet now in its place when it is gone), or the
// first visible sheet when that one is hidden.
long long ShownSheetAfterEdit(const WorkbookInfo& info, const std::vector<SheetListing>& sheets);
// The loaded part listing exactly `sheets` (loaded ones kept in their
// original order, new ones in their places among them), with defined names,
// the active tab and the first visible tab adjusted for the loaded sheets
// that are gone or replaced, and a full recalculation asked for on opening.
// A new sheet with a filter gets its filter-range name, in place of one a
// replaced sheet had.
std::string EditWorkbookPart(std::string_view original, const WorkbookInfo& info,
                             const std::vector<SheetListing>& sheets);

// ---- Styles (xl/styles.xml) ----

struct StylesInfo {
    long long cellXfCount = 0;  // xf elements inside cellXfs
    std::string cellXfsTag;     // raw start tag of cellXfs
    std::uint64_t cellXfsOffset = 0;
    std::uint64_t cellXfsEnd = 0;  // offset of </cellXfs>
    std::string prefix;
    bool found = false;
};

[[nodiscard]] bool ParseStylesPart(std::string_view text, StylesInfo& info, std::string& error);
// A new styles part: the default cell format, then one per book format.
std::string WriteStylesPart(const std::deque<Format>& formats);
// The loaded part with one cell format per book format appended to cellXfs.
std::string EditStylesPart(std::string_view original, const StylesInfo& info,
                           const std::deque<Format>& formats);

// ---- Document properties (docProps/core.xml, docProps/app.xml) ----

std::string WriteCorePropertiesPart();
std::string WriteAppPropertiesPart(const std::vector<SheetListing>& sheets);

// What app.xml says of the parts: HeadingPairs names groups (worksheets,
// charts, named ranges, in the writer's language) with their sizes, and
// TitlesOfParts lists the titles of all groups in that order.
struct TitleGroup {
    std::string label;
    std::vector<std::string> titles;

    bool operator==(const TitleGroup&) const = default;
};

struct AppPropertiesInfo {
    std::vector<TitleGroup> groups;
    std::uint64_t headingPairsOffset = 0;  // whole elements, start tag to end tag
    std::uint64_t headingPairsLength = 0;
    std::uint64_t titlesOffset = 0;
    std::uint64_t titlesLength = 0;
    std::string prefix;    // namespace prefix of the two elements
    std::string vtPrefix;  // of the vector elements inside them
    // Both lists are there and agree: as many titles as the groups count.
    bool found = false;
};

[[nodiscard]] bool ParseAppPropertiesPart(std::string_view text, std::string_view partName,
                                          AppPropertiesInfo& info, std::string& error);
// The loaded part with its two lists made to match `sheets`: each kept
// sheet stays in its group, new sheets join the group of the first sheet
// listed (a new "Worksheets" group when none is), emptied groups go, and
// other groups (named ranges) lose the names local to a removed sheet.
// `loadedNames` are the loaded workbook's sheet names by loaded index. A
// part whose lists were missing or disagreed is returned unchanged.
std::string EditAppPropertiesPart(std::string_view original, const AppPropertiesInfo& info,
                                  const std::vector<SheetListing>& sheets,
                                  const std::vector<std::string>& loadedNames);

// The theme of a new book, which its styles' theme colours and fonts name.
std::string WriteThemePart();
// The package relationships of a new book.
std::string WritePackageRelationshipsPart();

}  // namespace workbook::xlsx
