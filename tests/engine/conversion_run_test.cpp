// SPDX-License-Identifier: MIT
#include "engine/conversion_run.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/settings.h"
#include "platform/messages.h"
#include "test_support.h"
#include "workbook/workbook.h"

namespace engine {
namespace {

using testing_support::ReadWholeFile;
using testing_support::Repeat;
using testing_support::TempDir;
using testing_support::WriteWholeFile;

struct Message {
    std::string caption;
    std::string text;
    platform::MessageIcon icon;
};

// Collects what a run would show in message boxes.
struct MessageLog {
    std::vector<Message> messages;
    platform::MessageSink sink{this, [](void* context, std::string_view caption,
                                        std::string_view text, platform::MessageIcon icon) {
                                   static_cast<MessageLog*>(context)->messages.push_back(
                                       {std::string(caption), std::string(text), icon});
                               }};
};

class ConversionRunTest : public testing::Test {
protected:
    void SetUp() override {
        SetDefaultSettings(&s_);
        owner_.messages = &log_.sink;
    }
    void Use(const std::string& input, const std::string& output) {
        CopyText(s_.inputPath, input);
        CopyText(s_.outputPath, output);
    }
    // Converts `text` from `input` to `output`, which must fail with one
    // error message; the message's text goes to `message`.
    void RunFailing(const std::string& input, const std::string& output, const std::string& text,
                    int workbookType, std::string* message) {
        log_.messages.clear();
        ASSERT_TRUE(WriteWholeFile(input, text));
        Use(input, output);
        s_.workbookType = workbookType;
        EXPECT_EQ(ConversionRun(&owner_, &s_), RunResult::kFailed);
        ASSERT_EQ(log_.messages.size(), 1u);
        EXPECT_EQ(log_.messages[0].caption, "Error");
        *message = log_.messages[0].text;
    }
    int SheetRows(const std::string& path, std::string_view sheetName) {
        workbook::BookPtr book(workbook::CreateBook(
            path.ends_with(".xlsx") ? workbook::BookKind::kXlsx : workbook::BookKind::kXls));
        if (!book || !workbook::LoadBook(book.get(), path)) {
            return -1;
        }
        for (int i = 0; i < workbook::SheetCount(book.get()); ++i) {
            workbook::Sheet* sheet = workbook::GetSheet(book.get(), i);
            if (workbook::SheetName(sheet) == sheetName) {
                return workbook::LastRow(sheet);
            }
        }
        return -2;
    }

    TempDir dir_;
    ConversionSettings s_{};
    MessageLog log_;
    RunOwner owner_;
};

TEST_F(ConversionRunTest, RecordCountAndRowsAcrossModes) {
    struct Case {
        const char* name;
        std::string csv;
        std::int32_t hasHeader, typesInFile, importRecords;
        std::int32_t records;  // added to recordCount
        int rows;              // rows in the saved sheet
    };
    const Case cases[] = {
        {"plain", "a\nb\nc\n", 0, 0, 1, 3, 3},
        {"empty file", "", 0, 0, 1, 0, 0},
        {"header counts", "h\na\n", 1, 0, 1, 2, 2},
        {"types line only", "c\n", 0, 1, 1, 0, 0},
        {"header and types", "h\nc\na\nb\n", 1, 1, 1, 3, 3},
        {"records off", "a\nb\n", 0, 0, 0, 0, 0},
        {"no final newline", "a\nb", 0, 0, 1, 2, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string input = dir_.File("in.csv");
        const std::string output = dir_.File("out.xlsx");
        ASSERT_TRUE(WriteWholeFile(input, c.csv));
        Use(input, output);
        s_.workbookType = 1;
        s_.overwriteFile = 1;
        s_.hasHeader = c.hasHeader;
        s_.typesInFile = c.typesInFile;
        s_.importRecords = c.importRecords;
        s_.recordCount = 5;
        EXPECT_EQ(ConversionRun(&owner_, &s_), RunResult::kConverted);
        EXPECT_EQ(s_.recordCount, 5 + c.records);
        EXPECT_EQ(SheetRows(output, "in"), c.rows);
        EXPECT_TRUE(log_.messages.empty());
    }
}

// FIELDTYPES= and the types line give each entry to its own column; empty
// entries and columns they do not name keep what CHANGETYPE gave them.
TEST_F(ConversionRunTest, FieldTypesNameTheirOwnColumns) {
    struct Case {
        const char* name;
        const char* fieldTypes;  // null: none
        std::vector<std::string> changeTypes;
        std::string csv;  // with TYPESINFILE=1 when it has a types line
        bool typesLine;
        std::vector<std::string> entries;  // the table afterwards, slot by slot
    };
    const Case cases[] = {
        {"empty entry keeps its column", "n;;c", {}, "1;2;3\n", false, {"0=n", "2=c"}},
        {"leading and trailing entries", ";;n;;l;", {}, "1\n", false, {"2=n", "4=l"}},
        {"CT for another column stays", "n;;c", {"3=c"}, "1\n", false, {"3=c", "0=n", "2=c"}},
        {"CT for a named column is replaced", "n", {"0=d", "5=l"}, "1\n", false, {"0=n", "5=l"}},
        {"CT for an empty entry's column stays",
         "n;;c",
         {"1=d"},
         "1\n",
         false,
         {"1=d", "0=n", "2=c"}},
        {"types line after FIELDTYPES",
         ";;n;;l;",
         {},
         "d;;c\n1;2;3\n",
         true,
         {"2=c", "4=l", "0=d"}},
        {"types line keeps CT", nullptr, {"7=n", "1=d"}, ";l\n1;2\n", true, {"7=n", "1=l"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ConversionSettings s{};
        SetDefaultSettings(&s);
        const std::string input = dir_.File("in.csv");
        ASSERT_TRUE(WriteWholeFile(input, c.csv));
        CopyText(s.inputPath, input);
        CopyText(s.outputPath, dir_.File("out.xls"));
        s.overwriteFile = 1;
        s.delimiter = ';';
        s.typesInFile = c.typesLine ? 1 : 0;
        if (c.fieldTypes != nullptr) {
            const std::size_t size = std::strlen(c.fieldTypes) + 1;
            s.fieldTypes = std::make_unique<char[]>(size);
            std::memcpy(s.fieldTypes.get(), c.fieldTypes, size);
        }
        for (const std::string& entry : c.changeTypes) {
            AddTypeOverride(&s, entry);
        }
        EXPECT_EQ(ConversionRun(&owner_, &s), RunResult::kConverted);
        if (c.fieldTypes != nullptr) {
            EXPECT_STREQ(s.fieldTypes.get(), c.fieldTypes);  // the run leaves it as given
        }
        std::vector<std::string> entries;
        for (const OwnedText& slot : s.typeOverrides) {
            if (slot) {
                entries.emplace_back(slot.get());
            }
        }
        EXPECT_EQ(entries, c.entries);
    }
}

TEST_F(ConversionRunTest, CancelSavesWhatWasWritten) {
    const std::string input = dir_.File("in.csv");
    const std::string output = dir_.File("out.xls");
    ASSERT_TRUE(WriteWholeFile(input, "a\nb\n"));
    Use(input, output);
    s_.cancelRequested = 1;
    EXPECT_EQ(ConversionRun(&owner_, &s_), RunResult::kCancelled);
    EXPECT_EQ(s_.recordCount, 0);
    EXPECT_EQ(SheetRows(output, "in"), 0);
}

TEST_F(ConversionRunTest, FailedSaveShowsTheLibraryReasonThenTheRunsMessage) {
    const std::string input = dir_.File("in.csv");
    ASSERT_TRUE(WriteWholeFile(input, "a\n"));
    const std::pair<std::int32_t, const char*> cases[] = {
        {0, "Cannot save XLS file."},
        {1, "Cannot save XLSX file."},
    };
    for (const auto& [type, text] : cases) {
        SCOPED_TRACE(text);
        log_.messages.clear();
        s_.recordCount = 0;
        const std::string output =
            dir_.File(type == 1 ? "missing/folder/out.xlsx" : "missing/folder/out.xls");
        Use(input, output);
        s_.workbookType = type;
        EXPECT_EQ(ConversionRun(&owner_, &s_), RunResult::kFailed);
        ASSERT_EQ(log_.messages.size(), 2u);
        EXPECT_EQ(log_.messages[0].caption, output);
        EXPECT_FALSE(log_.messages[0].text.empty());
        EXPECT_EQ(log_.messages[0].icon, platform::MessageIcon::kNone);
        EXPECT_EQ(log_.messages[1].caption, "Error");
        EXPECT_EQ(log_.messages[1].text, text);
        EXPECT_EQ(log_.messages[1].icon, platform::MessageIcon::kError);
        EXPECT_EQ(s_.recordCount, 1);
    }
}

TEST_F(ConversionRunTest, UnreadableExistingWorkbookIsLeftAlone) {
    const std::string input = dir_.File("in.csv");
    const std::string output = dir_.File("out.xlsx");
    ASSERT_TRUE(WriteWholeFile(input, "a\n"));
    ASSERT_TRUE(WriteWholeFile(output, "not a zip at all"));
    Use(input, output);
    s_.workbookType = 1;
    EXPECT_EQ(ConversionRun(&owner_, &s_), RunResult::kFailed);
    ASSERT_EQ(log_.messages.size(), 1u);
    EXPECT_NE(log_.messages[0].text.find(output), std::string::npos);
    EXPECT_EQ(ReadWholeFile(output), "not a zip at all");
}

TEST_F(ConversionRunTest, AWorkbookChangedDuringTheRunIsLeftAsTheOtherProgramSavedIt) {
    const std::string input = dir_.File("in.csv");
    ASSERT_TRUE(WriteWholeFile(input, "a\nb\n"));
    for (const std::int32_t type : {0, 1}) {
        SCOPED_TRACE(type);
        const std::string output = dir_.File(type == 1 ? "book.xlsx" : "book.xls");
        s_.workbookType = type;
        Use(input, output);
        ASSERT_EQ(ConversionRun(&owner_, &s_), RunResult::kConverted);
        log_.messages.clear();

        // Another program, which takes no lock, saves the workbook while
        // the run converts.
        struct Other {
            std::string path;
            bool saved = false;
            bool tried = false;
        } other{output};
        ProgressReporter progress;
        progress.context = &other;
        progress.showPosition = [](void* context, std::int64_t, std::int64_t, std::int32_t,
                                   std::int64_t) {
            auto* program = static_cast<Other*>(context);
            if (!program->tried) {
                // Saved as office programs save: a new file renamed over the old.
                program->tried = true;
                std::error_code failed;
                program->saved =
                    WriteWholeFile(program->path + ".new", "their workbook") &&
                    (std::filesystem::rename(program->path + ".new", program->path, failed),
                     !failed);
                std::filesystem::remove(program->path + ".new", failed);
            }
        };
        RunOwner owner = owner_;
        owner.progress = &progress;
        (void)CopyText(s_.tableName, "second");
        const RunResult result = ConversionRun(&owner, &s_);
        s_.tableName[0] = '\0';
        ASSERT_TRUE(other.tried);
        if (!other.saved) {
            // Windows holds the workbook against writers while the run has it.
            EXPECT_EQ(result, RunResult::kConverted);
            EXPECT_EQ(SheetRows(output, "second"), 2);
            continue;
        }
        EXPECT_EQ(result, RunResult::kFailed);
        ASSERT_EQ(log_.messages.size(), 2u);
        EXPECT_NE(log_.messages[0].text.find(
                      "another program changed or replaced the workbook while this conversion ran"),
                  std::string::npos)
            << log_.messages[0].text;
        EXPECT_EQ(ReadWholeFile(output), "their workbook");
    }
}

TEST_F(ConversionRunTest, QuoteNeverClosedIsReportedWithItsLine) {
    struct Case {
        const char* name;
        std::string input;
        RunResult result;
        const char* caption;
        const char* mentions;  // in the one message shown
    };
    const std::string overlong(40000, 'x');  // longer than any cell holds
    const Case cases[] = {
        {"data kept, warned", "h\r\n1\r\n2,\"x\r\n3\r\n", RunResult::kConverted, "Warning",
         "The quote opened on line 3 is never closed."},
        {"Mac line ends", "h\r1\r\"open\r2", RunResult::kConverted, "Warning",
         "The quote opened on line 3 is never closed."},
        {"limit hit, error names the quote", "a\n\"" + overlong, RunResult::kFailed, "Error",
         "The quote opened on line 2 is never closed."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        log_.messages.clear();
        const std::string input = dir_.File("q.csv");
        const std::string output = dir_.File("q.xlsx");
        ASSERT_TRUE(WriteWholeFile(input, c.input));
        Use(input, output);
        s_.workbookType = 1;
        s_.overwriteFile = 1;
        EXPECT_EQ(ConversionRun(&owner_, &s_), c.result);
        ASSERT_EQ(log_.messages.size(), 1u);
        EXPECT_EQ(log_.messages[0].caption, c.caption);
        EXPECT_NE(log_.messages[0].text.find(c.mentions), std::string::npos)
            << log_.messages[0].text;
    }
    // A file whose quotes all close says nothing.
    log_.messages.clear();
    ASSERT_TRUE(WriteWholeFile(dir_.File("q.csv"), "\"a\nb\",c\n"));
    EXPECT_EQ(ConversionRun(&owner_, &s_), RunResult::kConverted);
    EXPECT_TRUE(log_.messages.empty());
}

TEST_F(ConversionRunTest, HugeLineFailsNamingFileAndLine) {
    // 40 MB in one field: the reader gives it up once it passes a cell's
    // limit instead of holding all of it (bench figures show the memory).
    const std::string huge(40u << 20, 'h');
    struct Case {
        const char* name;
        std::string input;
        int workbookType;
        const char* mentions;
    };
    const Case cases[] = {
        {"xlsx, unquoted", "a,b\nx," + huge + ",z\nlast\n", 1, "Line 2, field 2 of "},
        {"xls, quote never closed", "a\n\n\"" + huge, 0, "Line 3, field 1 of "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string input = dir_.File("huge.csv");
        const std::string output = dir_.File(c.workbookType == 1 ? "huge.xlsx" : "huge.xls");
        std::string text;
        ASSERT_NO_FATAL_FAILURE(RunFailing(input, output, c.input, c.workbookType, &text));
        EXPECT_NE(text.find(std::string(c.mentions) + input + ": "), std::string::npos) << text;
        EXPECT_NE(text.find("longer than a cell holds"), std::string::npos) << text;
        EXPECT_EQ(text.find("never closed") != std::string::npos, c.workbookType == 0) << text;
        EXPECT_FALSE(std::filesystem::exists(output));
    }
}

TEST_F(ConversionRunTest, TooManyFieldsFailNamingLineAndField) {
    const std::string manyShort = Repeat("ab,", 3u << 20);  // 9 MiB in one line
    struct Case {
        const char* name;
        std::string input;
        int workbookType;
        bool typesInFile;
        const char* mentions;
    };
    const Case cases[] = {
        {"xls, long line", "a\n" + manyShort + "\nlast\n", 0, false, "Line 2, field 257 of "},
        {"xlsx, long line", "a\n\n" + manyShort, 1, false, "Line 3, field 16385 of "},
        {"xls, short line", Repeat("x,", 256) + "x\n", 0, false, "Line 1, field 257 of "},
        {"xls, long types line", manyShort + "\n1\n", 0, true, "Line 1, field 257 of "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string input = dir_.File("wide.csv");
        const std::string output = dir_.File(c.workbookType == 1 ? "wide.xlsx" : "wide.xls");
        s_.typesInFile = c.typesInFile ? 1 : 0;
        std::string text;
        ASSERT_NO_FATAL_FAILURE(RunFailing(input, output, c.input, c.workbookType, &text));
        EXPECT_NE(text.find(std::string(c.mentions) + input + ": "), std::string::npos) << text;
        EXPECT_NE(text.find("more fields than the"), std::string::npos) << text;
        EXPECT_FALSE(std::filesystem::exists(output));
    }
    // A types line that the reader kept whole may name more columns than
    // the sheet has; only written lines must fit.
    log_.messages.clear();
    s_.typesInFile = 1;
    s_.workbookType = 0;
    const std::string input = dir_.File("types.csv");
    ASSERT_TRUE(WriteWholeFile(input, Repeat("n,", 300) + "\n1,2\n"));
    Use(input, dir_.File("types.xls"));
    EXPECT_EQ(ConversionRun(&owner_, &s_), RunResult::kConverted);
    EXPECT_TRUE(log_.messages.empty());
    s_.typesInFile = 0;
}

TEST(SheetNameFor, DerivesAndRepairsNames) {
    struct Case {
        std::string_view table, input, expected;
    };
    const Case cases[] = {
        {"", "/data/sales.2016.csv", "sales.2016"},
        {"", "plain.csv", "plain"},
        {"", "/data/noext", "noext"},
        {"Q1", "/data/x.csv", "Q1"},
        {"a[1]:b", "", "a_1__b"},
        {"0123456789012345678901234567890123", "", "0123456789012345678901234567890"},
        {"ЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖ", "", "ЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖ"},
        {"'x'", "", "_x_"},
        {"", "/data/.csv", "Sheet1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        ConversionSettings s{};
        CopyText(s.tableName, c.table);
        CopyText(s.inputPath, c.input);
        EXPECT_EQ(SheetNameFor(&s), c.expected);
    }
}

}  // namespace
}  // namespace engine
