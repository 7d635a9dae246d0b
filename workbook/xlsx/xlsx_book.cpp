// SPDX-License-Identifier: MIT
// The .xlsx book: a new package written from scratch, or a loaded package
// whose parts are copied byte for byte (still compressed) unless the
// conversion changes them. Loading reads only the small parts that name the
// sheets, styles and relationships; sheet XML is read when a sheet is asked
// for its last row or written to.
#include <algorithm>
#include <map>
#include <memory>
#include <new>
#include <set>
#include <unordered_map>
#include <vector>

#include "platform/ascii.h"
#include "platform/files.h"
#include "workbook/book.h"
#include "workbook/limits.h"
#include "workbook/xlsx/package_parts.h"
#include "workbook/xlsx/worksheet_part.h"
#include "workbook/xlsx/xml_writer.h"
#include "workbook/xlsx/zip_reader.h"
#include "workbook/xlsx/zip_writer.h"

namespace workbook {
namespace {

using namespace xlsx;

bool EndsWith(std::string_view text, std::string_view tail) {
    return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

// Everything a load brings; swapped into the book only when complete.
struct LoadedPackage {
    ZipReader archive;
    std::string workbookPart;
    std::string workbookXml;
    WorkbookInfo workbook;
    std::string workbookRelsPart;
    std::string workbookRelsXml;
    RelationshipsInfo workbookRels;
    std::string contentTypesXml;
    ContentTypesInfo contentTypes;
    std::string stylesPart;  // empty when the package has none
    std::string stylesXml;
    StylesInfo styles;
    std::string appPart;  // docProps/app.xml or wherever the package keeps it; may be empty
    std::string appXml;
    AppPropertiesInfo app;
    // Relationship targets of every part (lower-case names); "" is the package.
    std::map<std::string, std::vector<std::string>> links;
};

struct BookSheet {
    std::unique_ptr<XlsxSheet> sheet;
    int loadedIndex = -1;  // index in the loaded workbook's sheet list
    std::string relId;
    long long sheetId = 0;
    std::string partName;
};

class XlsxBook : public Book {
public:
    XlsxBook() : Book(BookKind::kXlsx) {}

    bool Load(const std::string& path, std::string& error) override;
    int SheetCount() const override { return static_cast<int>(sheets_.size()); }
    Sheet* GetSheet(int index) override {
        return sheets_[static_cast<std::size_t>(index)].sheet.get();
    }
    bool DeleteSheet(int index, std::string& error) override;
    Sheet* AddSheet(std::string_view name, std::string& error) override;
    Sheet* ReplaceSheet(int index, std::string_view name, std::string& error) override;
    bool Save(const std::string& path, std::string& error) override;

private:
    BookStatus LoadPackage(const std::string& path, LoadedPackage& package,
                           std::vector<BookSheet>& sheets, std::string& error);
    int StyleBase() const;
    // Puts a new worksheet at the end, or in the place of the sheet at `at`.
    Sheet* PlaceSheet(std::size_t at, bool replacing, std::string_view name, std::string& error);
    bool SaveNew(ZipWriter& zip, std::string& error);
    bool SaveLoaded(ZipWriter& zip, std::string& error);
    // The sheets the workbook part lists, each with its part in the archive;
    // two sheets with one name are damage.
    BookStatus ListLoadedSheets(const std::string& path, LoadedPackage& package,
                                std::vector<BookSheet>& sheets, std::string& error);
    // The loaded package's entries but those in `dropped`: the parts in
    // `replaced` (by lower-case name) as given, sheets with new rows rewritten,
    // the rest copied still compressed; then the new sheets in `newParts`
    // and, when `newStyles`, a styles part.
    bool WriteEditedPackage(ZipWriter& zip, const std::set<std::string>& dropped,
                            const std::map<std::string, std::string>& replaced,
                            const std::vector<SheetListing>& listing,
                            const std::vector<std::string>& newParts, bool newStyles,
                            std::string& error);

    std::unique_ptr<LoadedPackage> loaded_;
    std::vector<BookSheet> sheets_;
};

int XlsxBook::StyleBase() const {
    if (loaded_ != nullptr && loaded_->styles.found) {
        return static_cast<int>(loaded_->styles.cellXfCount);
    }
    return 1;
}

bool XlsxBook::Load(const std::string& path, std::string& error) {
    ClearFormats();
    set_date1904(false);
    sheets_.clear();
    loaded_.reset();
    try {
        auto package = std::make_unique<LoadedPackage>();
        std::vector<BookSheet> sheets;
        if (const BookStatus loaded = LoadPackage(path, *package, sheets, error);
            loaded != BookStatus::kOk) {
            lastStatus() = loaded;
            return false;
        }
        loaded_ = std::move(package);
        sheets_ = std::move(sheets);
        set_date1904(loaded_->workbook.date1904);
        for (auto& entry : sheets_) {
            entry.sheet->set_styleBase(StyleBase());
        }
        return true;
    } catch (const std::bad_alloc&) {
        sheets_.clear();
        loaded_.reset();
        error = "Out of memory while loading " + path + ".";
        lastStatus() = BookStatus::kOutOfMemory;
        return false;
    }
}

BookStatus XlsxBook::LoadPackage(const std::string& path, LoadedPackage& package,
                                 std::vector<BookSheet>& sheets, std::string& error) {
    ZipReader& archive = package.archive;
    if (const BookStatus opened = archive.OpenFile(path, error); opened != BookStatus::kOk) {
        return opened;
    }
    // kOk, or why the part cannot be had.
    const auto readPart = [&](std::string_view name, std::string& text) {
        const int index = archive.Find(name);
        if (index < 0) {
            error =
                path + " is not an .xlsx workbook: the part " + std::string(name) + " is missing.";
            return BookStatus::kNotThisKind;
        }
        return archive.ReadSmall(archive.entries()[static_cast<std::size_t>(index)], text, error)
                   ? BookStatus::kOk
                   : BookStatus::kDamaged;
    };
    if (const BookStatus read = readPart("[Content_Types].xml", package.contentTypesXml);
        read != BookStatus::kOk) {
        return read;
    }
    if (!ParseContentTypesPart(package.contentTypesXml, package.contentTypes, error)) {
        return BookStatus::kDamaged;
    }
    // Every relationships part, for knowing which parts a removed sheet alone used.
    RelationshipsInfo packageRels;
    for (const ZipEntry& entry : archive.entries()) {
        const std::string name = platform::AsciiLowered(entry.name);
        const std::size_t folder = name.rfind("_rels/");
        if (!EndsWith(name, ".rels") || folder == std::string::npos ||
            name.find('/', folder + 6) != std::string::npos) {
            continue;
        }
        std::string text;
        RelationshipsInfo info;
        if (!archive.ReadSmall(entry, text, error) ||
            !ParseRelationshipsPart(text, entry.name, info, error)) {
            return BookStatus::kDamaged;
        }
        const std::string source =
            name.substr(0, folder) + name.substr(folder + 6, name.size() - folder - 6 - 5);
        auto& targets = package.links[source];
        for (const auto& relationship : info.relationships) {
            if (!relationship.external) {
                targets.push_back(
                    platform::AsciiLowered(ResolveTarget(source, relationship.target)));
            }
        }
        if (source.empty()) {
            packageRels = std::move(info);
        }
    }
    for (const auto& relationship : packageRels.relationships) {
        if (relationship.external) {
            continue;
        }
        if (EndsWith(relationship.type, "/officeDocument") && package.workbookPart.empty()) {
            package.workbookPart = ResolveTarget("", relationship.target);
        } else if (relationship.type == kAppPropertiesRelType) {
            package.appPart = ResolveTarget("", relationship.target);
        }
    }
    // The part lists in the document properties are only kept in step: a
    // missing or unreadable app.xml is copied as it is.
    if (!package.appPart.empty()) {
        std::string ignored;
        const int index = archive.Find(package.appPart);
        if (index < 0 ||
            !archive.ReadSmall(archive.entries()[static_cast<std::size_t>(index)], package.appXml,
                               ignored) ||
            !ParseAppPropertiesPart(package.appXml, package.appPart, package.app, ignored)) {
            package.app = {};
        }
    }
    if (package.workbookPart.empty()) {
        error = path + " is not an .xlsx workbook: it names no workbook part.";
        return BookStatus::kNotThisKind;
    }
    if (const BookStatus read = readPart(package.workbookPart, package.workbookXml);
        read != BookStatus::kOk) {
        return read;
    }
    if (!ParseWorkbookPart(package.workbookXml, package.workbookPart, package.workbook, error)) {
        return BookStatus::kDamaged;
    }
    package.workbookRelsPart = RelationshipsPartOf(package.workbookPart);
    if (const BookStatus read = readPart(package.workbookRelsPart, package.workbookRelsXml);
        read != BookStatus::kOk) {
        return read;
    }
    if (!ParseRelationshipsPart(package.workbookRelsXml, package.workbookRelsPart,
                                package.workbookRels, error)) {
        return BookStatus::kDamaged;
    }
    for (const auto& relationship : package.workbookRels.relationships) {
        if (EndsWith(relationship.type, "/styles") && !relationship.external) {
            package.stylesPart = ResolveTarget(package.workbookPart, relationship.target);
        }
    }
    if (!package.stylesPart.empty()) {
        if (const BookStatus read = readPart(package.stylesPart, package.stylesXml);
            read != BookStatus::kOk) {
            return read;
        }
        if (!ParseStylesPart(package.stylesXml, package.styles, error)) {
            return BookStatus::kDamaged;
        }
    }
    return ListLoadedSheets(path, package, sheets, error);
}

BookStatus XlsxBook::ListLoadedSheets(const std::string& path, LoadedPackage& package,
                                      std::vector<BookSheet>& sheets, std::string& error) {
    ZipReader& archive = package.archive;
    std::set<std::string> names;
    // By id, the last of equal ids winning; a book may list thousands of sheets.
    std::unordered_map<std::string_view, const Relationship*> relationshipsById;
    for (const auto& candidate : package.workbookRels.relationships) {
        relationshipsById[candidate.id] = &candidate;
    }
    for (std::size_t i = 0; i < package.workbook.sheets.size(); ++i) {
        const WorkbookSheet& listed = package.workbook.sheets[i];
        const auto byId = relationshipsById.find(listed.relId);
        const Relationship* relationship = byId != relationshipsById.end() ? byId->second : nullptr;
        if (relationship == nullptr || relationship->external) {
            error = path + " is damaged: the sheet " + listed.name + " has no part.";
            return BookStatus::kDamaged;
        }
        const std::string partName = ResolveTarget(package.workbookPart, relationship->target);
        const int entryIndex = archive.Find(partName);
        if (entryIndex < 0) {
            error = path + " is damaged: the part of sheet " + listed.name + " is missing.";
            return BookStatus::kDamaged;
        }
        if (!names.insert(platform::AsciiLowered(listed.name)).second) {
            error = path + " is damaged: two sheets are named " + listed.name + ".";
            return BookStatus::kDamaged;
        }
        SheetKind kind = SheetKind::kOther;
        if (EndsWith(relationship->type, "/worksheet")) {
            kind = SheetKind::kWorksheet;
        } else if (EndsWith(relationship->type, "/chartsheet")) {
            kind = SheetKind::kChartsheet;
        }
        BookSheet entry;
        entry.sheet = std::make_unique<XlsxSheet>(*this, listed.name, kind);
        entry.sheet->SetLoaded(archive, entryIndex, partName);
        entry.loadedIndex = static_cast<int>(i);
        entry.relId = listed.relId;
        entry.sheetId = listed.sheetId;
        entry.partName = partName;
        sheets.push_back(std::move(entry));
    }
    return BookStatus::kOk;
}

bool XlsxBook::DeleteSheet(int index, std::string&) {
    sheets_.erase(sheets_.begin() + index);
    return true;
}

Sheet* XlsxBook::AddSheet(std::string_view name, std::string& error) {
    return PlaceSheet(sheets_.size(), false, name, error);
}

Sheet* XlsxBook::ReplaceSheet(int index, std::string_view name, std::string& error) {
    return PlaceSheet(static_cast<std::size_t>(index), true, name, error);
}

Sheet* XlsxBook::PlaceSheet(std::size_t at, bool replacing, std::string_view name,
                            std::string& error) {
    error = SheetNameProblem(name);
    if (!error.empty()) {
        lastStatus() = BookStatus::kInvalidName;
        return nullptr;
    }
    for (std::size_t i = 0; i < sheets_.size(); ++i) {
        const auto& entry = sheets_[i];
        if (!(replacing && i == at) && SameSheetName(entry.sheet->Name(), name)) {
            error = "A sheet named \"" + std::string(entry.sheet->Name()) + "\" already exists.";
            lastStatus() = BookStatus::kDuplicateName;
            return nullptr;
        }
    }
    try {
        BookSheet entry;
        entry.sheet = std::make_unique<XlsxSheet>(*this, std::string(name), SheetKind::kWorksheet);
        entry.sheet->set_styleBase(StyleBase());
        if (!replacing) {
            sheets_.push_back(std::move(entry));
            return sheets_.back().sheet.get();
        }
        // In the old sheet's place, the shown tab and the names local to it
        // (when it takes its name too) follow it there on saving.
        sheets_[at] = std::move(entry);
        return sheets_[at].sheet.get();
    } catch (const std::bad_alloc&) {
        error = "Out of memory.";
        lastStatus() = BookStatus::kOutOfMemory;
        return nullptr;
    }
}

bool XlsxBook::Save(const std::string& path, std::string& error) {
    if (sheets_.empty()) {
        error = "The workbook has no sheet; a workbook needs at least one.";
        lastStatus() = BookStatus::kNoSheets;
        return false;
    }
    try {
        for (auto& entry : sheets_) {
            if (!entry.sheet->FinishRows(error)) {
                lastStatus() = BookStatus::kCannotWrite;
                return false;
            }
        }
        platform::PendingFile file;
        if (const auto created = file.Create(path, error); created != platform::FileStatus::kOk) {
            lastStatus() = SaveStatusOf(created);
            return false;
        }
        ZipWriter zip(file.file());
        const bool written = loaded_ != nullptr ? SaveLoaded(zip, error) : SaveNew(zip, error);
        if (!written || !zip.Finish(error)) {
            lastStatus() = BookStatus::kCannotWrite;
            if (!zip.writeError().empty()) {
                // The file the user asked for, not the temporary one beside it.
                error = "Cannot write " + path + ": " + zip.writeError();
            }
            return false;
        }
        const platform::FileStatus committed = file.Commit(error);
        lastStatus() = SaveStatusOf(committed);
        return committed == platform::FileStatus::kOk;
    } catch (const std::bad_alloc&) {
        error = "Out of memory while saving " + path + ".";
        lastStatus() = BookStatus::kOutOfMemory;
        return false;
    }
}

bool XlsxBook::SaveNew(ZipWriter& zip, std::string& error) {
    std::vector<SheetListing> listing;
    std::vector<std::string> parts;
    std::vector<Relationship> relationships;
    for (std::size_t i = 0; i < sheets_.size(); ++i) {
        const std::string number = std::to_string(i + 1);
        const XlsxSheet& sheet = *sheets_[i].sheet;
        listing.push_back({std::string(sheet.Name()), "rId" + number, static_cast<long long>(i + 1),
                           -1, FilterDatabaseFormula(sheet.Name(), sheet.layout())});
        parts.push_back("xl/worksheets/sheet" + number + ".xml");
        relationships.push_back({"rId" + number, std::string(kWorksheetRelType),
                                 "worksheets/sheet" + number + ".xml", false, 0, 0});
    }
    relationships.push_back({"rId" + std::to_string(sheets_.size() + 1),
                             std::string(kStylesRelType), "styles.xml", false, 0, 0});
    relationships.push_back({"rId" + std::to_string(sheets_.size() + 2), std::string(kThemeRelType),
                             "theme/theme1.xml", false, 0, 0});
    if (!WriteTextEntry(zip, "[Content_Types].xml", WriteContentTypesPart(parts), error) ||
        !WriteTextEntry(zip, "_rels/.rels", WritePackageRelationshipsPart(), error) ||
        !WriteTextEntry(zip, "docProps/app.xml", WriteAppPropertiesPart(listing), error) ||
        !WriteTextEntry(zip, "docProps/core.xml", WriteCorePropertiesPart(), error) ||
        !WriteTextEntry(zip, "xl/workbook.xml", WriteWorkbookPart(listing), error) ||
        !WriteTextEntry(zip, "xl/_rels/workbook.xml.rels", WriteRelationshipsPart(relationships),
                        error) ||
        !WriteTextEntry(zip, "xl/styles.xml", WriteStylesPart(formats()), error) ||
        !WriteTextEntry(zip, "xl/theme/theme1.xml", WriteThemePart(), error)) {
        return false;
    }
    for (std::size_t i = 0; i < sheets_.size(); ++i) {
        if (!sheets_[i].sheet->WriteEntry(zip, parts[i], i == 0, error)) {
            return false;
        }
    }
    return true;
}

// The parts reachable from the package's relationships; the workbook part's
// own targets are taken from `workbookTargets`.
std::set<std::string> ReachableParts(const std::map<std::string, std::vector<std::string>>& links,
                                     const std::string& workbookPart,
                                     const std::vector<std::string>& workbookTargets) {
    std::set<std::string> seen;
    std::vector<std::string> pending{""};
    while (!pending.empty()) {
        const std::string part = std::move(pending.back());
        pending.pop_back();
        const std::vector<std::string>* targets = nullptr;
        if (part == workbookPart) {
            targets = &workbookTargets;
        } else if (auto found = links.find(part); found != links.end()) {
            targets = &found->second;
        }
        if (targets == nullptr) {
            continue;
        }
        for (const auto& target : *targets) {
            if (!target.empty() && seen.insert(target).second) {
                pending.push_back(target);
            }
        }
    }
    return seen;
}

bool XlsxBook::SaveLoaded(ZipWriter& zip, std::string& error) {
    LoadedPackage& package = *loaded_;
    const ZipReader& archive = package.archive;
    const std::string workbookFolder =
        package.workbookPart.substr(0, package.workbookPart.rfind('/') + 1);

    // Names for new sheets that clash with nothing in the package.
    std::set<std::string> usedIds;
    for (const auto& relationship : package.workbookRels.relationships) {
        usedIds.insert(relationship.id);
    }
    long long nextSheetId = 1;
    for (const auto& sheet : package.workbook.sheets) {
        nextSheetId = std::max(nextSheetId, sheet.sheetId + 1);
    }
    int nextPart = 1;
    int nextId = 1;
    std::vector<Relationship> addedRels;
    std::vector<std::pair<std::string, std::string_view>> addedTypes;
    std::vector<SheetListing> listing;
    std::vector<bool> kept(package.workbook.sheets.size(), false);
    std::vector<std::string> newParts(sheets_.size());
    for (std::size_t i = 0; i < sheets_.size(); ++i) {
        BookSheet& entry = sheets_[i];
        if (entry.loadedIndex >= 0) {
            kept[static_cast<std::size_t>(entry.loadedIndex)] = true;
            // A loaded sheet keeps its filter: only sheets written whole get one.
            listing.push_back({std::string(entry.sheet->Name()),
                               entry.relId,
                               entry.sheetId,
                               entry.loadedIndex,
                               {}});
            continue;
        }
        std::string target;
        do {
            target = "worksheets/sheet" + std::to_string(nextPart++) + ".xml";
        } while (archive.Find(workbookFolder + target) >= 0);
        std::string id;
        do {
            id = "rId" + std::to_string(nextId++);
        } while (usedIds.count(id) != 0);
        usedIds.insert(id);
        newParts[i] = workbookFolder + target;
        addedRels.push_back({id, std::string(kWorksheetRelType), target, false, 0, 0});
        addedTypes.emplace_back(newParts[i], kWorksheetContentType);
        listing.push_back({std::string(entry.sheet->Name()), id, nextSheetId++, -1,
                           FilterDatabaseFormula(entry.sheet->Name(), entry.sheet->layout())});
    }
    bool newStyles = false;
    if (package.stylesPart.empty()) {
        newStyles = true;
        std::string id;
        do {
            id = "rId" + std::to_string(nextId++);
        } while (usedIds.count(id) != 0);
        std::string target = "styles.xml";
        for (int n = 2; archive.Find(workbookFolder + target) >= 0; ++n) {
            target = "styles" + std::to_string(n) + ".xml";
        }
        package.stylesPart = workbookFolder + target;
        addedRels.push_back({id, std::string(kStylesRelType), target, false, 0, 0});
        addedTypes.emplace_back(package.stylesPart, kStylesContentType);
    }

    // Relationships of removed sheets go; so does the calculation chain,
    // which would name their cells (Excel rebuilds it).
    std::vector<std::string> removedIds;
    for (std::size_t i = 0; i < kept.size(); ++i) {
        if (!kept[i]) {
            removedIds.push_back(package.workbook.sheets[i].relId);
        }
    }
    if (!removedIds.empty()) {
        for (const auto& relationship : package.workbookRels.relationships) {
            if (EndsWith(relationship.type, "/calcChain")) {
                removedIds.push_back(relationship.id);
            }
        }
    }
    std::vector<std::string> workbookTargets;
    for (const auto& relationship : package.workbookRels.relationships) {
        if (!relationship.external &&
            std::find(removedIds.begin(), removedIds.end(), relationship.id) == removedIds.end()) {
            workbookTargets.push_back(
                platform::AsciiLowered(ResolveTarget(package.workbookPart, relationship.target)));
        }
    }
    const std::string workbookKey = platform::AsciiLowered(package.workbookPart);
    const auto before = ReachableParts(package.links, workbookKey, package.links[workbookKey]);
    const auto after = ReachableParts(package.links, workbookKey, workbookTargets);
    std::set<std::string> dropped;
    for (const auto& part : before) {
        if (after.count(part) == 0) {
            dropped.insert(part);
            dropped.insert(platform::AsciiLowered(RelationshipsPartOf(part)));
        }
    }
    const std::vector<std::string> droppedList(dropped.begin(), dropped.end());

    std::map<std::string, std::string> replaced;
    replaced["[content_types].xml"] = EditContentTypesPart(
        package.contentTypesXml, package.contentTypes, droppedList, addedTypes);
    replaced[workbookKey] = EditWorkbookPart(package.workbookXml, package.workbook, listing);
    replaced[platform::AsciiLowered(package.workbookRelsPart)] =
        EditRelationshipsPart(package.workbookRelsXml, package.workbookRels, removedIds, addedRels);
    if (package.app.found) {
        std::vector<std::string> loadedNames;
        for (const auto& sheet : package.workbook.sheets) {
            loadedNames.push_back(sheet.name);
        }
        replaced[platform::AsciiLowered(package.appPart)] =
            EditAppPropertiesPart(package.appXml, package.app, listing, loadedNames);
    }
    if (!newStyles && !formats().empty()) {
        replaced[platform::AsciiLowered(package.stylesPart)] =
            EditStylesPart(package.stylesXml, package.styles, formats());
    }
    return WriteEditedPackage(zip, dropped, replaced, listing, newParts, newStyles, error);
}

bool XlsxBook::WriteEditedPackage(ZipWriter& zip, const std::set<std::string>& dropped,
                                  const std::map<std::string, std::string>& replaced,
                                  const std::vector<SheetListing>& listing,
                                  const std::vector<std::string>& newParts, bool newStyles,
                                  std::string& error) {
    const LoadedPackage& package = *loaded_;
    const ZipReader& archive = package.archive;
    std::map<std::string, XlsxSheet*> appended;
    for (auto& entry : sheets_) {
        if (entry.loadedIndex >= 0 && entry.sheet->HasNewRows()) {
            appended[platform::AsciiLowered(entry.partName)] = entry.sheet.get();
        }
    }

    for (const ZipEntry& source : archive.entries()) {
        const std::string key = platform::AsciiLowered(source.name);
        if (dropped.count(key) != 0) {
            continue;
        }
        if (auto found = replaced.find(key); found != replaced.end()) {
            if (!WriteTextEntry(zip, source.name, found->second, error)) {
                return false;
            }
            continue;
        }
        if (auto found = appended.find(key); found != appended.end()) {
            if (!found->second->WriteEntry(zip, source.name, false, error)) {
                return false;
            }
            continue;
        }
        ZipEntryInfo info;
        info.name = source.name;
        info.method = source.method;
        info.flags = source.flags & 0x0800;
        info.dosTime = source.dosTime;
        info.dosDate = source.dosDate;
        const bool large = source.packedSize >= 0xFFFFFFFFu || source.rawSize >= 0xFFFFFFFFu;
        if (!zip.BeginEntry(info, large, error)) {
            return false;
        }
        std::string failure;
        const bool copied = archive.ReadRaw(
            source, [&](std::span<const char> piece) { return zip.WriteData(piece, failure); },
            error);
        if (!copied || !failure.empty()) {
            if (!failure.empty()) {
                error = failure;
            }
            return false;
        }
        if (!zip.EndEntry(source.crc, source.packedSize, source.rawSize, error)) {
            return false;
        }
    }
    // A new sheet in the shown tab's place is the selected one.
    const long long shown = ShownSheetAfterEdit(package.workbook, listing);
    for (std::size_t i = 0; i < sheets_.size(); ++i) {
        if (sheets_[i].loadedIndex < 0 &&
            !sheets_[i].sheet->WriteEntry(zip, newParts[i], static_cast<long long>(i) == shown,
                                          error)) {
            return false;
        }
    }
    if (newStyles && !WriteTextEntry(zip, package.stylesPart, WriteStylesPart(formats()), error)) {
        return false;
    }
    return true;
}

}  // namespace

Book* NewXlsxBook() {
    return new (std::nothrow) XlsxBook();
}

}  // namespace workbook
