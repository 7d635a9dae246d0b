// SPDX-License-Identifier: MIT
// The .xls book and sheet handles. A book is either new or loaded from a
// file; loaded sheets stay as their records, new cells are kept as encoded
// records until the save, since the string table must precede the sheets.
#include <algorithm>
#include <cstdint>
#include <deque>
#include <memory>
#include <span>

#include "platform/files.h"
#include "workbook/book.h"
#include "workbook/limits.h"
#include "workbook/xls/biff_reader.h"
#include "workbook/xls/biff_records.h"
#include "workbook/xls/compound_file.h"
#include "workbook/xls/first_row.h"
#include "workbook/xls/property_set.h"
#include "workbook/xls/xls_text.h"

namespace workbook {
namespace {

using xls::Bytes;
using xls::ByteSpan;

// Files beyond this size are not .xls workbooks a program could have written.
constexpr std::uint64_t kMaxFileSize = 512ULL * 1024 * 1024;
// Sheet positions are 16-bit in several records.
constexpr std::size_t kMaxSheets = 0xFFFF;

// The same bytes seen as characters, which is how files take them.
std::span<const char> AsChars(ByteSpan bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

// Opens the file a book is loaded from; the book keeps it open, since the
// streams it does not change are read from it only when they are written out.
bool OpenSourceFile(const std::string& path, std::shared_ptr<xls::SourceFile>& source,
                    std::uint64_t& size, std::string& error, BookStatus& status) {
    platform::File file;
    if (const auto opened = platform::OpenFileForReading(path, file, error);
        opened != platform::FileStatus::kOk) {
        status = LoadStatusOf(opened);
        return false;
    }
    if (!file.Size(&size)) {
        error = "Cannot read " + path + ": " + file.ErrorText() + ".";
        status = BookStatus::kCannotRead;
        return false;
    }
    if (size > kMaxFileSize) {
        error = "the file is too large for an .xls workbook.";
        status = BookStatus::kUnsupported;
        return false;
    }
    source = std::make_shared<xls::SourceFile>(std::move(file));
    return true;
}

class XlsBook;

class XlsSheet final : public Sheet {
public:
    XlsSheet(Book& owner, xls::BookModel& book, xls::SheetModel model)
        : Sheet(owner), book_(&book), model_(std::move(model)) {
        // The handle stays where it is made, so the model may point at its layout.
        model_.layout = &layout();
    }

    std::string_view Name() const override { return model_.nameUtf8; }

    int LastRow() const override {
        return std::max(model_.substream.endRow, model_.cells.empty() ? 0 : model_.cells.endRow());
    }

    bool FirstRowTexts(std::vector<std::string>& texts) const override {
        texts.clear();
        return !model_.loaded || xls::ReadFirstRowTexts(model_.substream, book_->strings, texts);
    }

    bool WriteText(int row, int column, std::string_view text, const Format* format,
                   std::string& error) override {
        if (!Check(row, column, format, error)) {
            return false;
        }
        xls::SharedStrings& strings = book_->strings;
        if (text.size() <= xls::StringMerger::kMaxText) {
            ++strings.references;
            // Short texts are the ones that recur; they get their entries a
            // block at a time, merged where equal.
            model_.cells.AddText(row, column, Xf(format), text, book_->cellSpill, strings);
            return true;
        }
        const bool ascii = xls::IsAscii(text);
        std::u16string units;
        if (!ascii) {
            units = xls::Utf8ToUtf16(text);
        }
        const std::size_t length = ascii ? text.size() : units.size();
        if (length > static_cast<std::size_t>(kMaxCellCharacters)) {
            error = "The text for row " + std::to_string(row + 1) + ", column " +
                    std::to_string(column + 1) + " has " + std::to_string(length) +
                    " characters, more than an .xls cell holds (" +
                    std::to_string(kMaxCellCharacters) + ").";
            owner().lastStatus() = BookStatus::kCellTooLong;
            return false;
        }
        ++strings.references;
        const std::uint32_t index = ascii ? xls::PutAsciiStringEntry(strings, text, scratch_)
                                          : xls::PutSharedStringEntry(strings, units, scratch_);
        model_.cells.Add(row, column, xls::LabelSstRecord(row, column, Xf(format), index),
                         book_->cellSpill, strings);
        return true;
    }

    bool WriteNumber(int row, int column, double value, const Format* format,
                     std::string& error) override {
        if (!Check(row, column, format, error)) {
            return false;
        }
        scratch_.clear();
        xls::PutNumberRecord(scratch_, row, column, Xf(format), value);
        model_.cells.Add(row, column, scratch_, book_->cellSpill, book_->strings);
        return true;
    }

    bool WriteBool(int row, int column, bool value, const Format* format,
                   std::string& error) override {
        if (!Check(row, column, format, error)) {
            return false;
        }
        scratch_.clear();
        xls::PutBoolErrRecord(scratch_, row, column, Xf(format), value);
        model_.cells.Add(row, column, scratch_, book_->cellSpill, book_->strings);
        return true;
    }

    xls::SheetModel& model() { return model_; }

private:
    bool Check(int row, int column, const Format* format, std::string& error) const {
        if (model_.sheetType != xls::kSheetWorksheet) {
            error = "The sheet \"" + model_.nameUtf8 +
                    "\" is not a worksheet; cells cannot be written to it.";
            owner().lastStatus() = BookStatus::kCellRefused;
            return false;
        }
        if (row < 0 || row >= kXlsMaxRows) {
            error = "Row " + std::to_string(static_cast<long long>(row) + 1) +
                    " is beyond the last row of an .xls sheet (" + std::to_string(kXlsMaxRows) +
                    ").";
            owner().lastStatus() = BookStatus::kOutsideSheet;
            return false;
        }
        if (column < 0 || column >= kXlsMaxColumns) {
            error = "Column " + std::to_string(static_cast<long long>(column) + 1) +
                    " is beyond the last column of an .xls sheet (" +
                    std::to_string(kXlsMaxColumns) + ").";
            owner().lastStatus() = BookStatus::kOutsideSheet;
            return false;
        }
        if (row < model_.substream.endRow) {
            error = "Row " + std::to_string(row + 1) + " of the sheet \"" + model_.nameUtf8 +
                    "\" already holds cells; new rows go below row " +
                    std::to_string(model_.substream.endRow) + ".";
            owner().lastStatus() = BookStatus::kCellRefused;
            return false;
        }
        if (format != nullptr &&
            (format->index < 0 ||
             static_cast<std::size_t>(format->index) >= owner().formats().size() ||
             &owner().formats()[static_cast<std::size_t>(format->index)] != format)) {
            error = "The format does not belong to this book.";
            owner().lastStatus() = BookStatus::kCellRefused;
            return false;
        }
        for (const xls::SpillFile* spill : {&book_->cellSpill, &book_->strings.spill}) {
            if (spill->failed()) {
                error = "The cells cannot be kept: " + spill->error() + ".";
                return false;
            }
        }
        return model_.cells.CheckOrder(row, column, error);
    }

    std::uint16_t Xf(const Format* format) const {
        return format == nullptr ? book_->defaultXf
                                 : static_cast<std::uint16_t>(book_->firstNewXf + format->index);
    }

    xls::BookModel* book_;
    xls::SheetModel model_;
    Bytes scratch_;
};

class XlsBook final : public Book {
public:
    XlsBook() : Book(BookKind::kXls) { Reset(); }

    bool Load(const std::string& path, std::string& error) override {
        ClearFormats();
        set_date1904(false);
        std::string why;
        if (!LoadFile(path, why)) {
            Reset();
            // A file that could not be read says so itself; a read one is named.
            const bool unread = lastStatus() == BookStatus::kFileMissing ||
                                lastStatus() == BookStatus::kCannotRead ||
                                lastStatus() == BookStatus::kFileInUse;
            error = unread ? why : "Cannot load " + path + ": " + why;
            return false;
        }
        return true;
    }

    int SheetCount() const override { return static_cast<int>(sheets_.size()); }

    Sheet* GetSheet(int index) override { return sheets_[static_cast<std::size_t>(index)].get(); }

    bool DeleteSheet(int index, std::string& /*error*/) override {
        xls::FixReferencesForDeletedSheet(model_, index, SheetCount(),
                                          sheets_[static_cast<std::size_t>(index)]->model().name);
        sheets_.erase(sheets_.begin() + index);
        return true;
    }

    Sheet* ReplaceSheet(int index, std::string_view name, std::string& error) override {
        if (!CheckSheetName(name, error, index)) {
            return nullptr;
        }
        // Names and 3-D references point at sheets by their place, which
        // the new sheet takes: they need no change to point at it.
        xls::SheetModel model = NewSheetModel(name);
        sheets_[static_cast<std::size_t>(index)] =
            std::make_unique<XlsSheet>(*this, model_, std::move(model));
        return sheets_[static_cast<std::size_t>(index)].get();
    }

    Sheet* AddSheet(std::string_view name, std::string& error) override {
        if (!CheckSheetName(name, error)) {
            return nullptr;
        }
        if (sheets_.size() >= kMaxSheets) {
            error = "The book already has the most sheets an .xls workbook holds.";
            lastStatus() = BookStatus::kTooManySheets;
            return nullptr;
        }
        sheets_.push_back(std::make_unique<XlsSheet>(*this, model_, NewSheetModel(name)));
        // A sheet that replaces a deleted one of its name inherits the
        // references other sheets' formulas made to it.
        xls::AdoptReferencesOfDeletedSheet(model_, sheets_.back()->model().name, SheetCount() - 1);
        return sheets_.back().get();
    }

    bool Save(const std::string& path, std::string& error) override {
        std::vector<xls::SheetModel*> sheets;
        for (const auto& sheet : sheets_) {
            sheets.push_back(&sheet->model());
        }
        if (sheets.empty()) {
            error = "Cannot save " + path + ": an .xls workbook needs at least one sheet.";
            lastStatus() = BookStatus::kNoSheets;
            return false;
        }
        if (model_.firstNewXf + formats().size() > xls::kMaxXfRecords) {
            error = "Cannot save " + path +
                    ": the book has more cell formats than an .xls workbook holds.";
            lastStatus() = BookStatus::kTooLarge;
            return false;
        }
        if (source_ && source_->released()) {
            error = "Cannot save " + path + ": this book was loaded from " + sourcePath_ +
                    ", which an earlier save of the book replaced; load it again.";
            lastStatus() = BookStatus::kCannotRead;
            return false;
        }
        std::deque<Bytes> buffers;
        xls::CompoundEntry root = container_;
        if (!DropStaleSheetList(root)) {
            error = "Cannot save " + path + ": " + sourcePath_ +
                    " cannot be read: " + source_->ErrorText() + ".";
            lastStatus() = BookStatus::kCannotRead;
            return false;
        }
        xls::CompoundEntry& workbook = root.children.emplace_back();
        workbook.name = u"Workbook";
        if (!xls::BuildWorkbookStream(model_, sheets, formats(), buffers, workbook.pieces, error)) {
            error = "Cannot save " + path + ": " + error;
            return false;
        }
        platform::PendingFile temp;
        if (const auto created = temp.Create(path, error); created != platform::FileStatus::kOk) {
            lastStatus() = SaveStatusOf(created);
            return false;
        }
        bool writeFailed = false;
        const bool written = xls::WriteCompoundFile(root, [&](ByteSpan bytes) {
            writeFailed = !temp.file().WriteAll(AsChars(bytes));
            return !writeFailed;
        });
        if (!written) {
            // The cells and strings kept in scratch files are read back while
            // the file is written.
            std::string why = "layout failed";
            if (writeFailed) {
                why = temp.file().ErrorText();
            } else if (source_ && source_->failed()) {
                why = sourcePath_ + " cannot be read: " + source_->ErrorText();
            } else if (model_.cellSpill.failed()) {
                why = "the cells could not be kept: " + model_.cellSpill.error();
            } else if (model_.strings.spill.failed()) {
                why = "the cells could not be kept: " + model_.strings.spill.error();
            }
            error = "Cannot save " + path + ": " + why + ".";
            return false;
        }
        // The new file is complete, so nothing more is read from the old
        // one; it is closed before it is replaced, since Windows replaces no
        // file that is open. The book cannot be saved again after that.
        if (source_) {
            source_->Release();
        }
        if (const auto committed = temp.Commit(error); committed != platform::FileStatus::kOk) {
            lastStatus() = SaveStatusOf(committed);
            return false;
        }
        return true;
    }

private:
    void Reset() {
        model_ = xls::BookModel{};
        model_.globals = xls::NewBookGlobals();
        sheets_.clear();
        loadedSheetNames_.clear();
        container_ = xls::CompoundEntry{};
        container_.isStorage = true;
        source_.reset();
        sourcePath_.clear();
    }

    bool LoadFile(const std::string& path, std::string& error) {
        std::shared_ptr<xls::SourceFile> source;
        std::uint64_t size = 0;
        if (!OpenSourceFile(path, source, size, error, lastStatus())) {
            return false;
        }
        xls::CompoundEntry root;
        if (!xls::ReadCompoundFile(source, size, root, error)) {
            lastStatus() = BookStatus::kNotThisKind;
            return false;
        }
        const xls::CompoundEntry* stream = xls::FindChild(root, u"Workbook");
        if (stream == nullptr || stream->isStorage) {
            error = xls::FindChild(root, u"Book") != nullptr
                        ? "The workbook is in a format older than Excel 97 (BIFF5 or earlier), "
                          "which cannot be "
                          "kept faithfully."
                        : "The file holds no Excel workbook stream.";
            lastStatus() = xls::FindChild(root, u"Book") != nullptr ? BookStatus::kUnsupported
                                                                    : BookStatus::kNotThisKind;
            return false;
        }
        const auto workbookStream =
            stream->kept ? stream->kept : std::make_shared<const xls::StreamBytes>(stream->data);
        xls::LoadedWorkbook loaded;
        if (!xls::ReadWorkbookStream(workbookStream, loaded, error)) {
            return false;
        }
        if (loaded.sheets.size() > kMaxSheets) {
            error = "The workbook has more sheets than can be kept.";
            lastStatus() = BookStatus::kUnsupported;
            return false;
        }
        // Everything but the workbook streams is copied through; a BIFF5
        // "Book" stream beside "Workbook" would show stale content.
        std::erase_if(root.children, [](const xls::CompoundEntry& child) {
            return xls::SameEntryName(child.name, u"Workbook") ||
                   xls::SameEntryName(child.name, u"Book");
        });
        model_ = std::move(loaded.book);
        sheets_.clear();
        for (xls::SheetModel& sheet : loaded.sheets) {
            sheets_.push_back(std::make_unique<XlsSheet>(*this, model_, std::move(sheet)));
        }
        container_ = std::move(root);
        source_ = std::move(source);
        sourcePath_ = path;
        loadedSheetNames_.clear();
        for (const auto& sheet : sheets_) {
            loadedSheetNames_.push_back(sheet->model().nameUtf8);
        }
        set_date1904(loaded.date1904);
        return true;
    }

    // The document summary of a loaded file lists its sheets as they were;
    // once they differ, the list goes (Excel makes it anew on its next save)
    // rather than show readers sheets that are gone. False when the summary
    // is still in the file and cannot be read from it.
    bool DropStaleSheetList(xls::CompoundEntry& root) const {
        std::vector<std::string> names;
        for (const auto& sheet : sheets_) {
            names.push_back(sheet->model().nameUtf8);
        }
        if (names == loadedSheetNames_) {
            return true;
        }
        for (xls::CompoundEntry& child : root.children) {
            if (!child.isStorage && xls::SameEntryName(child.name,
                                                       u"\x05"
                                                       u"DocumentSummaryInformation")) {
                if (child.kept) {
                    child.data.resize(static_cast<std::size_t>(child.kept->size()));
                    if (!child.kept->Read(0, child.data)) {
                        return false;
                    }
                    child.kept.reset();
                }
                (void)xls::DropSheetListProperties(child.data);
            }
        }
        return true;
    }

    // A new worksheet with a tab id no other sheet has.
    xls::SheetModel NewSheetModel(std::string_view name) const {
        xls::SheetModel model;
        model.name = xls::Utf8ToUtf16(name);
        model.nameUtf8 = xls::Utf16ToUtf8(model.name);
        std::uint16_t tabId = 0;
        for (const auto& sheet : sheets_) {
            tabId = std::max(tabId, sheet->model().tabId);
        }
        model.tabId = static_cast<std::uint16_t>(tabId + 1);
        model.cells.Configure(true, {});
        return model;
    }

    // `name` must be valid and differ from every sheet's but the one at
    // `replacing`, if any.
    bool CheckSheetName(std::string_view name, std::string& error, int replacing = -1) {
        error = SheetNameProblem(name);
        if (!error.empty()) {
            lastStatus() = BookStatus::kInvalidName;
            return false;
        }
        for (std::size_t i = 0; i < sheets_.size(); ++i) {
            const auto& sheet = sheets_[i];
            if (static_cast<int>(i) != replacing && SameSheetName(sheet->model().nameUtf8, name)) {
                error = "The book already has a sheet named \"" + std::string(name) + "\".";
                lastStatus() = BookStatus::kDuplicateName;
                return false;
            }
        }
        return true;
    }

    xls::BookModel model_;
    std::vector<std::unique_ptr<XlsSheet>> sheets_;
    xls::CompoundEntry container_;  // the root storage without the Workbook stream
    std::vector<std::string> loadedSheetNames_;
    std::shared_ptr<xls::SourceFile> source_;  // the file loaded, while its streams are kept
    std::string sourcePath_;
};

}  // namespace

Book* NewXlsBook() {
    return new XlsBook();
}

}  // namespace workbook
