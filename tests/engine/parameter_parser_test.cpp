// SPDX-License-Identifier: MIT
#include "engine/parameter_parser.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/settings.h"

namespace engine {
namespace {

constexpr std::string_view kProgram = "/opt/x.y/bin/quendle";

// A record with defaults, then the parameters; element 0 is a placeholder.
struct Parsed {
    ConversionSettings s{};
    explicit Parsed(std::vector<std::string> parameters) {
        SetDefaultSettings(&s);
        parameters.insert(parameters.begin(), "quendle");
        std::vector<const char*> elements;
        for (const auto& p : parameters) {
            elements.push_back(p.c_str());
        }
        ParameterParserFor(&s, static_cast<int>(elements.size()), elements.data(), kProgram);
    }
};

TEST(ParameterParser, FileNamesAndTheirOrder) {
    struct Case {
        std::vector<std::string> parameters;
        std::string input;
        std::string output;
        std::string table;
    };
    const Case cases[] = {
        {{"a.csv"}, "a.csv", "", ""},
        {{".csv"}, "", "", ""},  // four characters are no file name
        {{"DATA.CSV", "Book.XLSX"}, "DATA.CSV", "Book.XLSX", ""},
        {{"notes.TXT"}, "notes.TXT", "", ""},
        {{"a.csv", "b.csv"}, "b.csv", "", ""},        // the later input wins
        {{"one.xls", "two.xls"}, "", "one.xls", ""},  // the first output wins
        // A value-taking option stays an option whatever its value ends in.
        {{"in.csv", "-STATUS=D:/state.txt"}, "in.csv", "", ""},
        {{"/TABLENAME=Q1.xls", "out.xlsx"}, "", "out.xlsx", "Q1.xls"},
        {{"in.csv", "/tablename=Q1.csv"}, "in.csv", "", "Q1.csv"},
        {{"out.xls", "/TABLENAME=Q1.xls"}, "", "out.xls", "Q1.xls"},
        {{"in.csv", "/FIELDTYPES=n;d.txt"}, "in.csv", "", ""},
        // Paths that merely start with "/" are still file names.
        {{"/home/me/a.csv", "/tmp/status/b.xlsx"}, "/home/me/a.csv", "/tmp/status/b.xlsx", ""},
        {{"/TABLES/a.csv"}, "/TABLES/a.csv", "", ""},
        {{"x.xlsm"}, "", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.parameters));
        Parsed p(c.parameters);
        EXPECT_EQ(TextOf(p.s.inputPath), c.input);
        EXPECT_EQ(TextOf(p.s.outputPath), c.output);
        EXPECT_EQ(TextOf(p.s.tableName), c.table);
    }
}

TEST(ParameterParser, OptionValuesThatEndLikeFileNames) {
    Parsed p({"in.csv", "out.xlsx", "/SILENT", "/STATUS=/tmp/state.txt", "-FIELDTYPES=n;;c.csv"});
    EXPECT_EQ(TextOf(p.s.inputPath), "in.csv");
    EXPECT_EQ(TextOf(p.s.statusPath), "/tmp/state.txt");
    ASSERT_TRUE(p.s.fieldTypes);
    EXPECT_STREQ(p.s.fieldTypes.get(), "n;;c.csv");
}

TEST(ParameterParser, ElementZeroIsNeverExamined) {
    ConversionSettings s{};
    SetDefaultSettings(&s);
    const char* elements[] = {"data.csv"};
    ParameterParserFor(&s, 1, elements, kProgram);
    EXPECT_EQ(TextOf(s.inputPath), "");
}

// Each option with the field it sets; the value read back through a getter.
TEST(ParameterParser, OptionTable) {
    using Get = std::int32_t (*)(const ConversionSettings&);
    struct Case {
        const char* parameter;
        Get get;
        std::int32_t expected;
    };
    const Get overwriteTable = [](const ConversionSettings& s) { return s.overwriteTable; };
    const Get overwriteFile = [](const ConversionSettings& s) { return s.overwriteFile; };
    const Get workbookType = [](const ConversionSettings& s) { return s.workbookType; };
    const Get dateMode = [](const ConversionSettings& s) { return s.dateMode; };
    const Case cases[] = {
        {"/OVERWRITETABLE=0", overwriteTable, 0},
        {"/overwritetable=no", overwriteTable, 0},
        {"/OVERWRITETABLE=SKIP", overwriteTable, 2},
        {"/OVERWRITETABLE=2", overwriteTable, 1},  // not an option: the default stays
        {"-OVERWRITE=1", overwriteFile, 1},
        {"/OVERWRITE=2", overwriteFile, 2},
        {"/Overwrite=Yes", overwriteFile, 1},
        {"/OVERWRITE=SKIP", overwriteFile, 2},
        {"/TYPE=2007", workbookType, 1},
        {"/TYPE=2010", workbookType, 0},
        {"/YYYY.MM.DD", dateMode, 3},
        {"/dd.mm.yyyy", dateMode, 2},
        {"/MM.DD.YYYY", dateMode, 1},
        {"/HEADER=1", [](const ConversionSettings& s) { return s.hasHeader; }, 1},
        {"/TYPESINFILE=1", [](const ConversionSettings& s) { return s.typesInFile; }, 1},
        {"/ALLCHAR=0", [](const ConversionSettings& s) { return s.allCharacter; }, 0},
        {"/DROP=1", [](const ConversionSettings& s) { return s.dropFlag; }, 1},
        {"/RECORDS=0", [](const ConversionSettings& s) { return s.importRecords; }, 0},
        {"/RECORDS=1", [](const ConversionSettings& s) { return s.importRecords; }, 1},
        {"/LOG", [](const ConversionSettings& s) { return s.logEnabled; }, 1},
        {"/LOGGING", [](const ConversionSettings& s) { return s.logEnabled; }, 0},
        {"/MAXLEN=  -42abc", [](const ConversionSettings& s) { return s.maxLength; }, -42},
        {"/OPEN=0", [](const ConversionSettings& s) { return s.openResult; }, 0},
        {"/WAIT", [](const ConversionSettings& s) { return s.waitAtEnd; }, 1},
        {"/BATCH", [](const ConversionSettings& s) { return s.batchMode; }, 1},
        {"/SILENT", [](const ConversionSettings& s) { return s.silentMode; }, 1},
        {"SILENT", [](const ConversionSettings& s) { return s.silentMode; }, 0},
        {"/SOURCE=ANSI", [](const ConversionSettings& s) { return s.sourceCodePage; }, 1},
        {"/CODEPAGE=1251", [](const ConversionSettings& s) { return s.inputCodePage; }, 1251},
        {"/codepage=utf-8", [](const ConversionSettings& s) { return s.inputCodePage; }, 65001},
        {"/CODEPAGE=cyrillic", [](const ConversionSettings& s) { return s.inputCodePage; }, 0},
        {"-decimal=,", [](const ConversionSettings& s) { return int{s.decimalSeparator}; }, ','},
        {"/DECIMAL=.", [](const ConversionSettings& s) { return int{s.decimalSeparator}; }, '.'},
        {"/DECIMAL=;", [](const ConversionSettings& s) { return int{s.decimalSeparator}; }, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.parameter);
        Parsed p({c.parameter});
        EXPECT_EQ(c.get(p.s), c.expected);
    }
}

// OEM input can be asked for on the command line, and ANSI undoes it.
TEST(ParameterParser, SourceCodePageDecidesOemDecoding) {
    Parsed oem({"/SOURCE=OEM"});
    EXPECT_EQ(oem.s.sourceCodePage, 2);
    EXPECT_EQ(oem.s.oemSource, 1);
    Parsed back({"/SOURCE=OEM", "/SOURCE=ANSI"});
    EXPECT_EQ(back.s.sourceCodePage, 1);
    EXPECT_EQ(back.s.oemSource, 0);
}

TEST(ParameterParser, FieldsRule) {
    struct Case {
        std::vector<std::string> parameters;
        char delimiter;
        std::string fieldsText;
    };
    const Case cases[] = {
        {{"/fields=tab"}, '\t', "tab"},
        {{"/FIELDS=PIPE"}, '|', "PIPE"},
        {{"/FIELDS=;"}, ';', ";"},
        {{"/FIELDS=Tabs"}, 'T', "Tabs"},
        {{"/FIELDS=;", "/FIELDS="}, ';', ""},  // empty keeps the delimiter
        {{"/FIELDS=§x"}, ',', "§x"},           // not one byte: the delimiter stays
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.parameters));
        Parsed p(c.parameters);
        EXPECT_EQ(p.s.delimiter, c.delimiter);
        EXPECT_EQ(TextOf(p.s.fieldsText), c.fieldsText);
    }
}

TEST(ParameterParser, TextValuesAreCutAtTheirCapacity) {
    struct Case {
        std::string parameter;
        std::string_view (*get)(const ConversionSettings&);
        std::string expected;
    };
    const std::string forty(40, 'Y');
    const std::string cyrillic40 = [] {
        std::string s;
        for (int i = 0; i < 40; ++i) {
            s += "Д";
        }
        return s;
    }();
    const auto booleans = [](const ConversionSettings& s) { return TextOf(s.booleanChars); };
    const auto numerics = [](const ConversionSettings& s) { return TextOf(s.numericChars); };
    const auto table = [](const ConversionSettings& s) { return TextOf(s.tableName); };
    const auto order = [](const ConversionSettings& s) { return TextOf(s.orderText); };
    const auto status = [](const ConversionSettings& s) { return TextOf(s.statusPath); };
    const Case cases[] = {
        {"/BOOLEAN=" + forty, booleans, forty.substr(0, 31)},
        {"/BOOLEAN=" + cyrillic40, booleans, cyrillic40.substr(0, 31 * 2)},
        {"/NUMERIC=", numerics, ""},
        {"/NUMERIC=0123456789", numerics, "0123456789"},
        {"/TABLENAME=" + std::string(300, 't'), table, std::string(255, 't')},
        {"/ORDER=" + std::string(120, 'o'), order, std::string(99, 'o')},
        {"/STATUS=/var/" + std::string(300, 's'), status, "/var/" + std::string(300, 's')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.parameter.substr(0, 20));
        Parsed p({c.parameter});
        EXPECT_EQ(c.get(p.s), c.expected);
    }
}

TEST(ParameterParser, PathsAreKeptWholeOrRefused) {
    // A path of `bytes` bytes in two-byte letters, ending in `extension`.
    const auto pathOf = [](std::size_t bytes, std::string_view extension) {
        std::string path = "/data/";
        while (path.size() + extension.size() + 2 <= bytes) {
            path += "ф";
        }
        if (path.size() + extension.size() < bytes) {
            path += 'x';
        }
        return path + std::string(extension);
    };
    const std::string fits = pathOf(kPathCapacity - 1, ".csv");
    const std::string tooLong = pathOf(kPathCapacity, ".csv");
    const std::string longBook = pathOf(kPathCapacity + 300, ".xlsx");
    const std::string fitsBook = pathOf(kPathCapacity - 1, ".xls");
    const std::string status = pathOf(kPathCapacity + 1, ".log");
    ASSERT_EQ(fits.size(), kPathCapacity - 1);
    ASSERT_EQ(tooLong.size(), kPathCapacity);
    const struct {
        std::string element;
        char (ConversionSettings::*field)[kPathCapacity];
        std::string path;
        bool kept;
    } cases[] = {
        {fits, &ConversionSettings::inputPath, fits, true},
        {tooLong, &ConversionSettings::inputPath, tooLong, false},
        {fitsBook, &ConversionSettings::outputPath, fitsBook, true},
        {longBook, &ConversionSettings::outputPath, longBook, false},
        {"/STATUS=" + status, &ConversionSettings::statusPath, status, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.path.size() << " bytes");
        testing::internal::CaptureStderr();
        Parsed p({c.element});
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_EQ(TextOf(p.s.*c.field), c.kept ? std::string_view(c.path) : std::string_view());
        EXPECT_EQ(p.s.refusedPaths, c.kept ? 0 : 1);
        EXPECT_EQ(said.empty(), c.kept) << said;
    }
}

TEST(ParameterParser, IgnoredParametersAreNamed) {
    struct Case {
        std::vector<std::string> parameters;
        std::vector<std::string> mentions;  // one per note, in order
    };
    const Case cases[] = {
        {{"in.csv", "out.xlsx", "/SILENT", "/FIELDS=;", "-header=1", "/CT:1=n"}, {}},
        {{"in.csv", "out.xls", "/FIELD=;", "/HEADERS=1"},
         {"option /FIELD=; is not known", "option /HEADERS=1 is not known"}},
        {{"/data/in.csv", "report.ods"}, {"report.ods is neither", "workbook is /data/in.xls"}},
        {{"/data/in.csv", "report.ods", "/TYPE=2007"}, {"workbook is /data/in.xlsx"}},
        {{"in.csv", "a.xls", "b.xlsx"}, {"second workbook name b.xlsx was ignored"}},
        {{"in.csv", "a.xls", "/tmp/b.xlsx"}, {"second workbook name /tmp/b.xlsx was ignored"}},
        {{"a.csv", "/data/b.csv", "o.xls"}, {"input a.csv was replaced by /data/b.csv"}},
        {{"a.csv", "o.xls", "/STATUS=/tmp/s.txt", "/TABLENAME=x.xls"}, {}},
        {{"data.tsv", "out.xlsx"}, {"input data.tsv was ignored", "/FIELDS=TAB"}},
        {{"in.csv", "out.xls", "extra"}, {"extra is neither a file name nor an option"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.parameters[1]);
        Parsed p(c.parameters);
        std::vector<const char*> elements = {"quendle"};
        for (const std::string& parameter : c.parameters) {
            elements.push_back(parameter.c_str());
        }
        const std::vector<std::string> notes =
            IgnoredParameterNotes(&p.s, static_cast<int>(elements.size()), elements.data());
        std::string all;
        for (const std::string& note : notes) {
            all += note + "\n";
        }
        for (const std::string& part : c.mentions) {
            EXPECT_NE(all.find(part), std::string::npos) << part << " in:\n" << all;
        }
        if (c.mentions.empty()) {
            EXPECT_TRUE(notes.empty()) << all;
        }
    }
}

TEST(ParameterParser, ColumnsRule) {
    struct Case {
        std::vector<std::string> parameters;
        std::string text;
        std::int32_t first;
        std::int32_t last;
    };
    const Case cases[] = {
        {{"/COLUMNS=3-7"}, "3-7", 3, 7},
        {{"/COLUMNS=5"}, "5", 5, 5},
        {{"/COLUMNS=id,Name"}, ",ID,NAME,", 0, 0},
        {{"/COLUMNS=2-4", "/COLUMNS=name"}, ",NAME,", 2, 4},
        {{"/COLUMNS="}, ",,", 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.parameters));
        Parsed p(c.parameters);
        ASSERT_TRUE(p.s.columnsText);
        EXPECT_STREQ(p.s.columnsText.get(), c.text.c_str());
        EXPECT_EQ(p.s.firstColumn, c.first);
        EXPECT_EQ(p.s.lastColumn, c.last);
    }
}

TEST(ParameterParser, StatusBesideTheProgram) {
    Parsed p({"/STATUS"});
    EXPECT_EQ(TextOf(p.s.statusPath), "/opt/x.y/bin/status.log");
    Parsed named({"/STATUS=/tmp/state.ini"});
    EXPECT_EQ(TextOf(named.s.statusPath), "/tmp/state.ini");
}

TEST(ParameterParser, TypeOverridesFillSlotsInOrder) {
    Parsed p({"/CT:3=d", "/CHANGETYPE:abc=n", "/CT:3", "/ct:1=L", "/FIELDTYPES=n;d"});
    ASSERT_TRUE(p.s.typeOverrides[0]);
    EXPECT_STREQ(p.s.typeOverrides[0].get(), "3=d");
    EXPECT_STREQ(p.s.typeOverrides[1].get(), "abc=n");
    EXPECT_STREQ(p.s.typeOverrides[2].get(), "1=L");  // "3" without "=" stored nothing
    EXPECT_FALSE(p.s.typeOverrides[3]);
    ASSERT_TRUE(p.s.fieldTypes);
    EXPECT_STREQ(p.s.fieldTypes.get(), "n;d");
}

TEST(ParameterParser, TypeOverrideTableDropsEntriesWhenFull) {
    ConversionSettings s{};
    SetDefaultSettings(&s);
    for (std::size_t i = 0; i < kTypeOverrideSlots; ++i) {
        AddTypeOverride(&s, std::to_string(i) + "=n");
    }
    AddTypeOverride(&s, "9999=d");
    EXPECT_STREQ(s.typeOverrides[kTypeOverrideSlots - 1].get(), "2047=n");
    for (const auto& slot : s.typeOverrides) {
        EXPECT_STRNE(slot.get(), "9999=d");
    }
}

TEST(ParameterParser, SlotEntriesAreBounded) {
    ConversionSettings s{};
    SetTypeOverrideSlot(&s, 7, 12, "d");
    EXPECT_STREQ(s.typeOverrides[7].get(), "12=d");
    SetTypeOverrideSlot(&s, 7, 7, std::string(500, 'n'));
    EXPECT_EQ(std::string_view(s.typeOverrides[7].get()), "7=" + std::string(125, 'n'));
    SetTypeOverrideSlot(&s, kTypeOverrideSlots, 0, "d");  // past the table: ignored
}

TEST(LeadingInteger, ReadsAsAtoiWithoutOverflow) {
    const std::pair<std::string_view, std::int32_t> cases[] = {
        {"42", 42},
        {"  -7x", -7},
        {"+3=n", 3},
        {"abc", 0},
        {"", 0},
        {"\t12", 12},
        {"99999999999", INT32_MAX},
        {"-99999999999", INT32_MIN},
        {"- 5", 0},
    };
    for (const auto& [text, expected] : cases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(LeadingInteger(text), expected);
    }
}

// FIELDS=AUTO leaves the choice to each input; any later FIELDS= takes it back.
TEST(ParameterParser, FieldsAuto) {
    struct Case {
        std::vector<std::string> parameters;
        std::int32_t autoDelimiter;
        char delimiter;
        std::string fieldsText;
    };
    const Case cases[] = {
        {{}, 0, ',', ""},
        {{"/FIELDS=AUTO"}, 1, ',', "AUTO"},
        {{"-fields=auto"}, 1, ',', "auto"},
        {{"/Fields=Auto"}, 1, ',', "Auto"},
        {{"/FIELDS=;", "/FIELDS=AUTO"}, 1, ';', "AUTO"},  // the default it falls back on
        {{"/FIELDS=AUTO", "/FIELDS=TAB"}, 0, '\t', "TAB"},
        {{"/FIELDS=AUTOMATIC"}, 0, 'A', "AUTOMATIC"},  // only the word itself
        {{"/FIELDS=AUT"}, 0, 'A', "AUT"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.parameters));
        Parsed p(c.parameters);
        EXPECT_EQ(p.s.autoDelimiter, c.autoDelimiter);
        EXPECT_EQ(p.s.delimiter, c.delimiter);
        EXPECT_EQ(TextOf(p.s.fieldsText), c.fieldsText);
    }
}

TEST(ParameterParser, LayoutOptionsAndTheirCase) {
    struct Case {
        std::vector<std::string> parameters;
        std::int32_t autoFit, freezeHeader, autoFilter, splitRows;
    };
    const Case cases[] = {
        {{}, 0, 0, 0, 0},
        {{"/AUTOFIT"}, 1, 0, 0, 0},
        {{"-autofit"}, 1, 0, 0, 0},
        {{"/FreezeHeader"}, 0, 1, 0, 0},
        {{"-AUTOFILTER"}, 0, 0, 1, 0},
        {{"/splitrows"}, 0, 0, 0, 1},
        {{"/AUTOFIT", "/FREEZEHEADER", "/AUTOFILTER", "/SPLITROWS"}, 1, 1, 1, 1},
        {{"/AUTOFIT=1", "/AUTOFIT=0"}, 0, 0, 0, 0},  // the last one counts
        {{"/SPLITROWS=0", "/SPLITROWS=1"}, 0, 0, 0, 1},
        // Only the keywords themselves: no prefixes, no other values, no
        // element without "/" or "-".
        {{"/AUTOFITS", "/AUTOFIT=2", "/SPLIT", "AUTOFIT", "/FREEZE", "+AUTOFILTER"}, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.parameters));
        Parsed p(c.parameters);
        EXPECT_EQ(p.s.autoFit, c.autoFit);
        EXPECT_EQ(p.s.freezeHeader, c.freezeHeader);
        EXPECT_EQ(p.s.autoFilter, c.autoFilter);
        EXPECT_EQ(p.s.splitRows, c.splitRows);
    }
    // Known options are not named as ignored in a silent run.
    const char* elements[] = {"quendle", "/AUTOFIT", "-splitrows=0", "/FIELDS=AUTO", "/AUTOFITS"};
    ConversionSettings s{};
    SetDefaultSettings(&s);
    const std::vector<std::string> notes = IgnoredParameterNotes(&s, 5, elements);
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_NE(notes[0].find("/AUTOFITS"), std::string::npos);
}

}  // namespace
}  // namespace engine
