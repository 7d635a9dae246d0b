// SPDX-License-Identifier: MIT
// The source, output and completion page models driven as a view drives
// them, on real files in a temporary folder.
#include <gtest/gtest.h>

#include <filesystem>

#include "engine/csv_input.h"
#include "engine/name_rules.h"
#include "platform/profile_file.h"
#include "tests/test_support.h"
#include "tests/wizard/core/memory_store.h"
#include "tests/wizard/core/settings_for.h"
#include "wizard/core/wizard_core.h"
#include "wizard/exit_codes.h"

namespace {

using namespace std::literals;
using testing_support::TempDir;
using testing_support::WriteWholeFile;
using wizard::OutputPageModel;
using wizard::SourcePageModel;
using wizard_testing::MemoryStore;
using wizard_testing::SettingsFor;

constexpr platform::SystemCodePages kWestern{1252, 437};
constexpr std::string_view kDos866 =
    "\x88\xA2\xA0\xAD \x8F\xA5\xE2\xE0\xAE\xA2,\x8C\xAE\xE1\xAA\xA2\xA0\n"sv;

// Runs the body with the current folder set to `folder`, then puts it back.
class CurrentFolder {
public:
    explicit CurrentFolder(const std::filesystem::path& folder)
        : m_old(std::filesystem::current_path()) {
        std::filesystem::current_path(folder);
    }
    ~CurrentFolder() { std::filesystem::current_path(m_old); }
    CurrentFolder(const CurrentFolder&) = delete;
    CurrentFolder& operator=(const CurrentFolder&) = delete;

private:
    std::filesystem::path m_old;
};

TEST(SourcePageModel, StartsFromTheCommandLineOrTheLastFile) {
    TempDir dir;
    ASSERT_TRUE(WriteWholeFile(dir.File("given.csv"), "a,b\n"));
    ASSERT_TRUE(WriteWholeFile(dir.File("last.csv"), "c,d\n"));
    struct Row {
        const char* what;
        std::vector<std::string> arguments;
        std::string last;
        std::string name;
        std::string preview;
        bool pressNext;
    };
    const Row rows[] = {
        {"command line wins",
         {dir.File("given.csv")},
         dir.File("last.csv"),
         dir.File("given.csv"),
         "a,b\n",
         false},
        {"last file", {}, dir.File("last.csv"), dir.File("last.csv"), "c,d\n", false},
        {"nothing", {}, "", "", "", false},
        {"batch", {dir.File("given.csv"), "/BATCH"}, "", dir.File("given.csv"), "a,b\n", true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        MemoryStore store;
        if (!row.last.empty()) {
            store.values[wizard::kLastSourceValue] = row.last;
        }
        const auto settings = SettingsFor(row.arguments);
        SourcePageModel model(settings.get(), &store, kWestern);
        EXPECT_EQ(model.Enter(), row.pressNext);
        EXPECT_EQ(model.nameText(), row.name);
        EXPECT_EQ(engine::TextOf(settings->inputPath), row.name);
        EXPECT_EQ(model.previewText(), row.preview);
        EXPECT_EQ(model.nextEnabled(), !row.preview.empty());
        EXPECT_FALSE(model.TakeMessage().has_value());
        // Nothing is remembered before Next.
        EXPECT_EQ(store.values.count(wizard::kSourceList + "0"s), 0u);
    }
}

// A blank preview always says why under it, at once, while typing too.
TEST(SourcePageModel, BlankPreviewSaysWhy) {
    TempDir dir;
    ASSERT_TRUE(WriteWholeFile(dir.File("empty.csv"), ""));
    ASSERT_TRUE(WriteWholeFile(dir.File("good.csv"), "a,b\n"));
    std::filesystem::create_directory(dir.path() / "folder.csv");
    struct Row {
        std::string name;
        std::string note;
    };
    const Row rows[] = {
        {dir.File("absent.csv"), "Unable to load this CSV file. There is no such file."},
        {dir.File("folder.csv"), "Unable to load this CSV file. This is a folder."},
        {dir.File("empty.csv"), "The file is empty: there is nothing to convert."},
        {dir.File("good.csv"), ""},
    };
    const auto settings = SettingsFor({});
    MemoryStore store;
    SourcePageModel model(settings.get(), &store, kWestern);
    model.Enter();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        model.NameEdited(row.name);
        EXPECT_EQ(model.previewNote(), row.note);
        EXPECT_EQ(model.nextEnabled(), row.note.empty());
    }
}

TEST(SourcePageModel, UnloadableNameIsReportedOnceByNameAndRefused) {
    TempDir dir;
    const std::string missing = dir.File("missing.csv");
    const auto settings = SettingsFor({missing, "/BATCH"});
    MemoryStore store;
    SourcePageModel model(settings.get(), &store, kWestern);
    model.Enter();
    const auto message = model.TakeMessage();
    ASSERT_TRUE(message.has_value());
    EXPECT_EQ(message->caption, "Error");
    EXPECT_EQ(message->text, std::string(wizard::kUnableToLoadText) + "\n" + missing);
    model.NameCommitted();
    EXPECT_FALSE(model.TakeMessage().has_value()) << "the same name is reported once";
    EXPECT_FALSE(model.Next());
    EXPECT_EQ(settings->batchMode, 0);
    // Typing stays silent; committing a new bad name reports it.
    model.NameEdited(dir.File("other.csv"));
    EXPECT_FALSE(model.TakeMessage().has_value());
    model.NameCommitted();
    ASSERT_TRUE(model.TakeMessage().has_value());
    // A folder is no CSV file either.
    model.NameChosen(dir.path().string());
    EXPECT_TRUE(model.TakeMessage().has_value());
    EXPECT_FALSE(model.nextEnabled());
}

TEST(SourcePageModel, OemBoxAndEncodingChoiceReachTheConversion) {
    TempDir dir;
    ASSERT_TRUE(WriteWholeFile(dir.File("dos.csv"), std::string(kDos866)));
    const auto settings = SettingsFor({dir.File("dos.csv")});
    MemoryStore store;
    SourcePageModel model(settings.get(), &store, kWestern);
    model.Enter();
    // Detected as DOS 866 under a Western locale too.
    EXPECT_EQ(model.previewText(), "Иван Петров,Москва\n");
    EXPECT_TRUE(model.oemEnabled());
    EXPECT_TRUE(model.oemChecked());
    EXPECT_EQ(settings->oemSource, 1);
    EXPECT_EQ(settings->inputCodePage, 0) << "the conversion finds 866 by itself";
    model.OemClicked();
    EXPECT_FALSE(model.oemChecked());
    EXPECT_EQ(settings->inputCodePage, 1251);
    EXPECT_NE(model.previewText(), "Иван Петров,Москва\n");
    // The same name typed again keeps the user's choice.
    model.NameEdited(dir.File("dos.csv"));
    EXPECT_FALSE(model.oemChecked());
    model.OemClicked();
    EXPECT_EQ(model.previewText(), "Иван Петров,Москва\n");

    struct Row {
        int codePage;
        bool oemEnabled;
        std::string_view exported;  // in the command line
    };
    const Row rows[] = {
        {1252, false, " /CODEPAGE=1252 "},
        {866, false, " /CODEPAGE=866 "},
        {65001, false, " /CODEPAGE=UTF-8 "},
        {0, true, ""},  // automatic: the conversion decides as the preview did
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.codePage);
        const auto& choices = model.encodings();
        const auto choice = std::find_if(choices.begin(), choices.end(),
                                         [&](const auto& c) { return c.codePage == row.codePage; });
        ASSERT_NE(choice, choices.end());
        model.EncodingChosen(static_cast<std::size_t>(choice - choices.begin()));
        EXPECT_EQ(model.oemEnabled(), row.oemEnabled);
        EXPECT_EQ(settings->inputCodePage, row.codePage);
        const std::string exported = wizard::CommandLineText(*settings);
        if (row.exported.empty()) {
            EXPECT_EQ(exported.find("/CODEPAGE"), std::string::npos) << exported;
        } else {
            EXPECT_NE(exported.find(row.exported), std::string::npos) << exported;
        }
    }
}

// The preview, the wizard's conversion and a silent one read a file alike:
// DOS 866 lines found by their letters on a Western system, a UTF-8 line
// as UTF-8.
TEST(SourcePageModel, PreviewWizardAndSilentRunDecodeAlike) {
    const testing_support::ScopedEnv ansi("QUENDLE_ANSI_CODEPAGE", "1252");
    const testing_support::ScopedEnv oem("QUENDLE_OEM_CODEPAGE", "437");
    TempDir dir;
    const std::string expected = "Иван Петров,Москва\nПётр,Київ\n";
    ASSERT_TRUE(WriteWholeFile(dir.File("mixed.csv"), std::string(kDos866) + "Пётр,Київ\n"));
    const auto readAll = [&](const engine::ConversionSettings& settings) {
        engine::CsvInput input;
        std::string text;
        if (!input.Open(dir.File("mixed.csv"), settings)) {
            return std::string(input.errorText());
        }
        engine::CsvRecord record;
        while (input.ReadRecord(record)) {
            text += std::string(record.text) + "\n";
        }
        return text;
    };
    const auto wizardSettings = SettingsFor({dir.File("mixed.csv")});
    MemoryStore store;
    SourcePageModel model(wizardSettings.get(), &store, kWestern);
    model.Enter();
    EXPECT_EQ(model.previewText(), expected);
    EXPECT_EQ(readAll(*wizardSettings), expected);
    const auto silentSettings = SettingsFor({dir.File("mixed.csv"), "/SILENT"});
    EXPECT_EQ(readAll(*silentSettings), expected);
}

TEST(SourcePageModel, NextRemembersTheAbsoluteName) {
    TempDir dir;
    std::filesystem::create_directory(dir.path() / "sub");
    ASSERT_TRUE(WriteWholeFile(dir.File("sub/in.csv"), "a\n"));
    const std::string absolute = std::filesystem::canonical(dir.path()).string() + "/sub/in.csv";
    const auto settings = SettingsFor({});
    MemoryStore store;
    SourcePageModel model(settings.get(), &store, kWestern);
    {
        CurrentFolder here(std::filesystem::canonical(dir.path()));
        model.Enter();
        model.NameEdited("sub/in.csv");
        EXPECT_EQ(model.previewText(), "a\n");
        ASSERT_TRUE(model.Next());
    }
    EXPECT_EQ(engine::TextOf(settings->inputPath), absolute);
    EXPECT_EQ(store.values.at(wizard::kLastSourceValue), absolute);
    EXPECT_EQ(store.values.at(wizard::kSourceList + "0"s), absolute);
}

TEST(OutputPageModel, ProposesANameAndADelimiterOnlyWhereNothingWasGiven) {
    TempDir dir;
    const std::string input = dir.File("sales.csv");
    struct Row {
        const char* what;
        std::vector<std::string> arguments;
        std::string last;
        std::string preview;
        std::string name;
        char delimiter;
    };
    const Row rows[] = {
        {"proposal beside the input", {input}, "", "a;b;c\n1;2,5;3\n", dir.File("sales.xlsx"), ';'},
        {"TYPE=ANY proposes .xls",
         {input, "/TYPE=ANY"},
         "",
         "a\tb\n1\t2\n",
         dir.File("sales.xls"),
         '\t'},
        {"pipes", {input}, "", "a|b\n\"x|y\"|2\n", dir.File("sales.xlsx"), '|'},
        {"commas stay", {input}, "", "a,b;c\n1,2;3\n", dir.File("sales.xlsx"), ','},
        {"uneven semicolons are not plain",
         {input},
         "",
         "a;b\n1;2;3\n",
         dir.File("sales.xlsx"),
         ','},
        {"FIELDS= stands", {input, "/FIELDS=,"}, "", "a;b\n1;2\n", dir.File("sales.xlsx"), ','},
        {"last name wins over the proposal", {input}, "/w/last.xls", "a;b\n", "/w/last.xls", ';'},
        {"command line wins", {input, "/w/given.xlsx"}, "/w/last.xls", "a\n", "/w/given.xlsx", ','},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        MemoryStore store;
        if (!row.last.empty()) {
            store.values[wizard::kLastOutputValue] = row.last;
        }
        const auto settings = SettingsFor(row.arguments);
        OutputPageModel model(settings.get(), &store);
        model.Enter(row.preview);
        EXPECT_EQ(model.nameText(), row.name);
        EXPECT_EQ(engine::TextOf(settings->outputPath), row.name);
        EXPECT_EQ(settings->delimiter, row.delimiter);
        EXPECT_EQ(engine::DelimiterFromText(model.delimiterText(), '?'), row.delimiter);
    }
}

TEST(OutputPageModel, ProposalsFollowAnotherSourceUntilTheUserChangesThem) {
    const auto settings = SettingsFor({"/in/a.csv"});
    MemoryStore store;
    OutputPageModel model(settings.get(), &store);
    model.Enter("x;y\n");
    EXPECT_EQ(model.nameText(), "/in/a.xlsx");
    engine::CopyText(settings->inputPath, "/in/b.csv");
    model.Enter("x|y\n");
    EXPECT_EQ(model.nameText(), "/in/b.xlsx");
    EXPECT_EQ(settings->delimiter, '|');
    model.NameEdited("/in/mine.xlsx");
    model.DelimiterEdited(";");
    engine::CopyText(settings->inputPath, "/in/c.csv");
    model.Enter("x\ty\n");
    EXPECT_EQ(model.nameText(), "/in/mine.xlsx");
    EXPECT_EQ(settings->delimiter, ';');
}

// FIELDS=AUTO shows as typed and leaves the choice to the run; typing
// AUTO in the box does the same, and any other delimiter takes it back.
TEST(OutputPageModel, AutoDelimiterStaysAChoiceOfTheRun) {
    const auto settings = SettingsFor({"/in/a.csv", "/out/b.xls", "/fields=auto"});
    MemoryStore store;
    OutputPageModel model(settings.get(), &store);
    model.Enter("a;b\n1;2\n");
    EXPECT_EQ(model.delimiterText(), "auto");
    EXPECT_EQ(settings->autoDelimiter, 1);
    EXPECT_EQ(settings->delimiter, ',') << "no proposal over FIELDS=AUTO";
    struct Row {
        const char* typed;
        std::int32_t autoDelimiter;
        char delimiter;
    };
    for (const Row& row : {Row{";", 0, ';'}, Row{"AUTO", 1, ','}, Row{"Autos", 0, 'A'},
                           Row{"Auto", 1, ','}, Row{"TAB", 0, '\t'}}) {
        SCOPED_TRACE(row.typed);
        model.DelimiterEdited(row.typed);
        EXPECT_EQ(settings->autoDelimiter, row.autoDelimiter);
        EXPECT_EQ(settings->delimiter, row.delimiter);
    }
}

TEST(OutputPageModel, ControlsEditTheRecord) {
    const auto settings = SettingsFor({"/in/a.csv", "/out/b.xls", "/FIELDS=X"});
    MemoryStore store;
    OutputPageModel model(settings.get(), &store);
    model.Enter("");
    EXPECT_EQ(model.delimiterItems().back(), "X");
    EXPECT_EQ(model.delimiterText(), "X");
    struct Row {
        const char* typed;
        char delimiter;
    };
    for (const Row& row :
         {Row{"tab", '\t'}, Row{"Pipe", '|'}, Row{"", ','}, Row{";x", ';'}, Row{"é", ','}}) {
        SCOPED_TRACE(row.typed);
        model.DelimiterEdited(row.typed);
        EXPECT_EQ(settings->delimiter, row.delimiter);
    }
    EXPECT_EQ(engine::TextOf(settings->fieldsText), "X") << "the list never rewrites FIELDS=";

    // The extension follows the type, both ways; other names stay.
    model.TypeChosen(1);
    EXPECT_EQ(model.nameText(), "/out/b.xlsx");
    model.TypeChosen(0);
    EXPECT_EQ(engine::TextOf(settings->outputPath), "/out/b.xls");
    model.NameEdited("/out/B.XLS");
    model.TypeChosen(1);
    EXPECT_EQ(model.nameText(), "/out/B.XLSx");
    model.NameEdited("/out/book.ods");
    EXPECT_EQ(model.nameText(), "/out/book.ods");

    struct Choice {
        int index;
        char separator;
        const char* exported;
    };
    for (const Choice& c : {Choice{1, '.', " /DECIMAL=. "}, Choice{2, ',', " /DECIMAL=, "},
                            Choice{0, '\0', nullptr}}) {
        SCOPED_TRACE(c.index);
        model.DecimalChosen(c.index);
        EXPECT_EQ(settings->decimalSeparator, c.separator);
        EXPECT_EQ(model.decimalIndex(), c.index);
        const std::string text = wizard::CommandLineText(*settings);
        if (c.exported != nullptr) {
            EXPECT_NE(text.find(c.exported), std::string::npos);
        } else {
            EXPECT_EQ(text.find("DECIMAL"), std::string::npos);
        }
    }

    model.AllCharacterClicked(false);
    EXPECT_TRUE(model.characterSetsEnabled());
    model.DateChosen(4);
    EXPECT_EQ(settings->dateMode, 4);
    model.OverwriteFileClicked(true);
    EXPECT_EQ(settings->overwriteFile, 1);
}

TEST(OutputPageModel, NextChecksTheFolderBeforeTheConversion) {
    TempDir dir;
    ASSERT_TRUE(WriteWholeFile(dir.File("plain-file"), "x"));
    std::filesystem::create_directory(dir.path() / "book.xlsx");
    struct Row {
        const char* what;
        std::string name;
        std::string messageStart;  // empty: Next goes on
    };
    const Row rows[] = {
        {"missing folder", dir.File("nowhere/b.xlsx"), "The output folder does not exist:\n"},
        {"a file as folder", dir.File("plain-file/b.xlsx"), "The output folder does not exist:\n"},
        {"a folder as workbook", dir.File("book.xlsx"), "This name belongs to a folder"},
        {"fine", dir.File("b.xlsx"), ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const auto settings = SettingsFor({"/in/a.csv", row.name, "/BATCH"});
        MemoryStore store;
        OutputPageModel model(settings.get(), &store);
        model.Enter("");
        const bool next = model.Next();
        EXPECT_EQ(next, row.messageStart.empty());
        const auto message = model.TakeMessage();
        if (row.messageStart.empty()) {
            EXPECT_FALSE(message.has_value());
            EXPECT_EQ(settings->batchMode, 1);
            EXPECT_EQ(store.values.at(wizard::kLastOutputValue), row.name);
        } else {
            ASSERT_TRUE(message.has_value());
            EXPECT_EQ(message->text.rfind(row.messageStart, 0), 0u) << message->text;
            // The message names the place, on a line of its own.
            EXPECT_NE(message->text.find("\n" + dir.path().string()), std::string::npos);
            EXPECT_EQ(settings->batchMode, 0);
            EXPECT_EQ(store.values.count(wizard::kLastOutputValue), 0u);
        }
    }
}

TEST(OutputPageModel, NextAddsTheExtensionMakesTheNameAbsoluteAndCutsTheSets) {
    TempDir dir;
    const std::filesystem::path folder = std::filesystem::canonical(dir.path());
    const auto settings = SettingsFor({"/in/a.csv", "/NUMERIC=" + std::string(31, '9')});
    MemoryStore store;
    OutputPageModel model(settings.get(), &store);
    {
        CurrentFolder here(folder);
        model.Enter("");
        model.NameEdited("report");
        model.TypeChosen(0);
        model.BooleanEdited("JjNn");
        ASSERT_TRUE(model.Next());
    }
    const std::string expected = folder.string() + "/report.xls";
    EXPECT_EQ(engine::TextOf(settings->outputPath), expected);
    EXPECT_EQ(store.values.at(wizard::kOutputList + "0"s), expected);
    EXPECT_EQ(engine::TextOf(settings->numericChars), std::string(30, '9'));
    EXPECT_EQ(engine::TextOf(settings->booleanChars), "JjNn");
    EXPECT_EQ(settings->workbookTypeGiven, 1);
}

// A name typed key by key is taken as typed; its extension follows the type
// only once typing ends, and Next refuses one that names no workbook.
TEST(OutputPageModel, TypedNameKeepsItsKeysAndNextRefusesOtherExtensions) {
    TempDir dir;
    const std::filesystem::path folder = std::filesystem::canonical(dir.path());
    struct Row {
        const char* what;
        std::int32_t type;
        std::string typed;
        std::string whileTyping;  // the name after the last key
        std::string committed;    // after the field is left
        bool next;
    };
    const Row rows[] = {
        {"xlsx typed out", 1, "report.xlsx", "report.xlsx", "report.xlsx", true},
        {"xls left for xlsx", 1, "report.xls", "report.xls", "report.xlsx", true},
        {"xlsx left for xls", 0, "report.xlsx", "report.xlsx", "report.xls", true},
        {"upper case", 1, "REPORT.XLS", "REPORT.XLS", "REPORT.XLSx", true},
        {"one x too many", 1, "report.xlsxx", "report.xlsxx", "report.xlsxx", false},
        {"another format", 0, "report.csv", "report.csv", "report.csv", false},
        {"no extension", 0, "report", "report", "report", true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const auto settings =
            SettingsFor({"/in/a.csv", row.type == 1 ? "/TYPE=2007" : "/TYPE=ANY"});
        MemoryStore store;
        OutputPageModel model(settings.get(), &store);
        CurrentFolder here(folder);
        model.Enter("");
        for (std::size_t keys = 1; keys <= row.typed.size(); ++keys) {
            model.NameEdited(row.typed.substr(0, keys));
        }
        EXPECT_EQ(model.nameText(), row.whileTyping);
        EXPECT_EQ(engine::TextOf(settings->outputPath), row.whileTyping);
        model.NameCommitted();
        EXPECT_EQ(model.nameText(), row.committed);
        EXPECT_EQ(model.Next(), row.next);
        const auto message = model.TakeMessage();
        if (row.next) {
            EXPECT_FALSE(message.has_value());
        } else {
            ASSERT_TRUE(message.has_value());
            EXPECT_EQ(message->text, "The workbook name must end in .xls or .xlsx:\n" +
                                         (folder / row.committed).string());
            EXPECT_EQ(store.values.count(wizard::kLastOutputValue), 0u);
        }
    }
}

TEST(OutputPageModel, SaveDialogChoiceSetsTheType) {
    const auto settings = SettingsFor({"/in/a.csv", "/out/a.xls"});
    MemoryStore store;
    OutputPageModel model(settings.get(), &store);
    model.Enter("");
    EXPECT_EQ(model.saveFolder(), "/out");
    model.FileChosen("/elsewhere/new.xlsx");
    EXPECT_EQ(model.typeIndex(), 1);
    EXPECT_EQ(model.nameText(), "/elsewhere/new.xlsx");
    model.FileChosen("/elsewhere/old.XLS");
    EXPECT_EQ(model.typeIndex(), 0);
    model.FileChosen("/elsewhere/bare");
    EXPECT_EQ(model.nameText(), "/elsewhere/bare.xls");
}

TEST(CompletionPageModel, SaysWhatTheRunDid) {
    struct Row {
        const char* what;
        wizard::RunReport report;
        std::int32_t records;
        std::string text;
        bool openEnabled;
        bool opens;
    };
    const Row rows[] = {
        {"converted",
         {wizard::RunOutcome::kConverted, "", {}},
         12,
         "12 records have been imported.",
         true,
         true},
        {"nothing written",
         {wizard::RunOutcome::kConverted, "", {}},
         0,
         "0 records have been exported.",
         true,
         true},
        {"cancelled keeps what it saved",
         {wizard::RunOutcome::kCancelled, "", {}},
         3,
         "3 records have been imported.",
         true,
         true},
        {"failed",
         {wizard::RunOutcome::kFailed, "Cannot create XLS file.", {}},
         0,
         "Conversion failed: Cannot create XLS file.",
         false,
         false},
        {"failed after some lines",
         {wizard::RunOutcome::kFailed, "Disk full", {}},
         40,
         "Conversion failed: Disk full",
         false,
         false},
        {"warnings under the count",
         {wizard::RunOutcome::kConverted, "", {"a.csv: 2 fields were kept as text.", "w2"}},
         5,
         "5 records have been imported.\na.csv: 2 fields were kept as text.\nw2",
         true,
         true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const auto settings = SettingsFor({"/in/a.csv", "/out/a.xls"});
        settings->recordCount = row.records;
        wizard::CompletionPageModel model(settings.get());
        EXPECT_FALSE(model.Enter(row.report));
        EXPECT_EQ(model.resultText(), row.text);
        EXPECT_EQ(model.titleText(),
                  std::string(row.openEnabled ? "Conversion complete" : "Conversion failed"));
        EXPECT_EQ(model.backEnabled(), !row.openEnabled) << "Back only to correct a failure";
        EXPECT_EQ(model.openEnabled(), row.openEnabled);
        EXPECT_EQ(model.openChecked(), row.opens);
        model.OpenClicked(true);  // a disabled box cannot be ticked
        EXPECT_EQ(model.Finish(""), row.opens ? "/out/a.xls" : "");
    }
}

TEST(CompletionPageModel, FinishSavesTheStartingOptionsAndBatchFinishesItself) {
    TempDir dir;
    const testing_support::ScopedEnv state("XDG_STATE_HOME", dir.File("state").c_str());
    const auto settings =
        SettingsFor({"/in/a.csv", "/out/a.xls", "/OPEN=0", "/BATCH", "/OVERWRITE=2"});
    settings->logEnabled = 1;
    wizard::CompletionPageModel model(settings.get());
    EXPECT_TRUE(model.Enter({wizard::RunOutcome::kConverted, "", {}}));
    EXPECT_FALSE(model.Enter({wizard::RunOutcome::kConverted, "", {}})) << "asks once";
    EXPECT_FALSE(model.openChecked());
    model.SaveClicked(true);
    const std::string ini = dir.File("new/folder/quendle.ini");
    EXPECT_EQ(model.Finish(ini), "");
    EXPECT_EQ(platform::ReadProfileInt("Common", "Open", 7, ini), 0);
    EXPECT_EQ(platform::ReadProfileInt("Common", "OverWrite", 7, ini), 2);
    EXPECT_EQ(platform::ReadProfileInt("Common", "Log", 7, ini), 1);

    const auto waiting = SettingsFor({"/in/a.csv", "/out/a.xls", "/BATCH", "/WAIT"});
    wizard::CompletionPageModel stays(waiting.get());
    EXPECT_FALSE(stays.Enter({wizard::RunOutcome::kConverted, "", {}}));
}

}  // namespace

namespace {

TEST(ProgressPageModel, OneRunPerWizardAndCancelOnlyWhileItRuns) {
    TempDir dir;
    const std::string status = dir.File("status.ini");
    const auto settings = SettingsFor({"/in/a.csv", "/out/a.xls", "/STATUS=" + status});
    wizard::ProgressPageModel model(settings.get());
    model.Cancel();
    EXPECT_FALSE(platform::PathExists(status)) << "no run, no status";
    EXPECT_EQ(settings->cancelRequested.load(), 0);
    EXPECT_TRUE(model.Enter());
    EXPECT_FALSE(model.Enter()) << "a second entry starts no second worker";
    model.Cancel();
    EXPECT_EQ(settings->cancelRequested.load(), 1);
    EXPECT_EQ(platform::ReadProfileString("QUENDLE", "Result", "", status), "Cancelled");
    model.Finished({wizard::RunOutcome::kCancelled, "", {}});
    EXPECT_FALSE(model.running());
    EXPECT_EQ(model.report().outcome, wizard::RunOutcome::kCancelled);
    EXPECT_FALSE(model.Enter()) << "a cancelled run is not run again";
}

// After a failure the user goes back and runs again, with a fresh count;
// after a success the page starts nothing more.
TEST(ProgressPageModel, AFailedRunMayBeRunAgain) {
    const auto settings = SettingsFor({"/in/a.csv", "/out/a.xls"});
    wizard::ProgressPageModel model(settings.get());
    ASSERT_TRUE(model.Enter());
    EXPECT_FALSE(model.Enter()) << "not while the run is on";
    settings->recordCount = 7;
    model.Finished({wizard::RunOutcome::kFailed, "Cannot save XLS file.", {}});
    EXPECT_TRUE(model.retryAllowed());
    ASSERT_TRUE(model.Enter());
    EXPECT_TRUE(model.running());
    EXPECT_EQ(settings->recordCount, 0);
    model.Finished({wizard::RunOutcome::kConverted, "", {}});
    EXPECT_FALSE(model.retryAllowed());
    EXPECT_FALSE(model.Enter());
}

}  // namespace

namespace {

// The program's exit status tells a script how the wizard ended.
TEST(WizardExitStatus, FollowsTheLastRun) {
    struct Row {
        const char* what;
        bool ran;
        wizard::RunOutcome outcome;
        int status;
    };
    const Row rows[] = {
        {"closed before any run", false, wizard::RunOutcome::kConverted, wizard::kExitCancelled},
        {"converted", true, wizard::RunOutcome::kConverted, wizard::kExitSuccess},
        {"failed", true, wizard::RunOutcome::kFailed, wizard::kExitConversionFailed},
        {"cancelled during the run", true, wizard::RunOutcome::kCancelled, wizard::kExitCancelled},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const auto settings = SettingsFor({"/in/a.csv", "/out/a.xls"});
        wizard::ProgressPageModel model(settings.get());
        if (row.ran) {
            ASSERT_TRUE(model.Enter());
            model.Finished({row.outcome, "", {}});
        }
        EXPECT_EQ(wizard::WizardExitStatus(model), row.status);
    }
}

}  // namespace
