// SPDX-License-Identifier: MIT
// Command-line export. The pieces keep the order users have long pasted
// into scripts, including ALLCHAR twice; parsing the text back gives the
// same settings except what the parameter language cannot carry (overwrite
// mode 2, empty character sets, header and log flags). The box shows the
// pieces as they are; the ready-to-run form quotes each one, because a
// delimiter such as ";" or a name with blanks would otherwise be taken
// apart by the shell.
#include "wizard/core/wizard_core.h"

namespace wizard {
namespace {

struct Piece {
    std::string argument;
    std::string_view before;  // "" or the line break ahead of the last piece
    std::string_view after;   // one blank, two after the character sets
};

std::string Joined(std::string_view keyword, std::string_view value) {
    std::string text(keyword);
    text.append(value);
    return text;
}

std::vector<Piece> CommandLinePieces(const engine::ConversionSettings& s) {
    std::vector<Piece> pieces;
    const auto add = [&](std::string argument, std::string_view after = " ") {
        pieces.push_back({std::move(argument), "", after});
    };
    const auto flag = [](std::int32_t value, const char* on, const char* off) {
        return std::string(value != 0 ? on : off);
    };
    add(std::string(engine::TextOf(s.outputPath)));
    if (!engine::TextOf(s.tableName).empty()) {
        add(Joined("/TABLENAME=", engine::TextOf(s.tableName)));
    }
    add(std::string(engine::TextOf(s.inputPath)));
    add(flag(s.overwriteFile, "/OVERWRITE=1", "/OVERWRITE=0"));
    add(s.overwriteTable == engine::kOverwriteOn     ? "/OVERWRITETABLE=1"
        : s.overwriteTable == engine::kOverwriteSkip ? "/OVERWRITETABLE=SKIP"
                                                     : "/OVERWRITETABLE=0");
    // The compact form 4 and the detected orders 11-13 have no keyword.
    add(s.dateMode == engine::kDateMonthFirst  ? "/MM.DD.YYYY"
        : s.dateMode == engine::kDateDayFirst  ? "/DD.MM.YYYY"
        : s.dateMode == engine::kDateYearFirst ? "/YYYY.MM.DD"
                                               : "/AUTODATE");
    add(flag(s.allCharacter, "/ALLCHAR=1", "/ALLCHAR=0"));
    add(flag(s.dropFlag, "/DROP=1", "/DROP=0"));
    if (s.importRecords == 0) {
        add("/RECORDS=0");
    }
    if (s.maxLength != 0) {
        add(Joined("/MAXLEN=", std::to_string(s.maxLength)));
    }
    add(flag(s.typesInFile, "/TYPESINFILE=1", "/TYPESINFILE=0"));
    if (s.fieldTypes != nullptr) {
        add(Joined("/FIELDTYPES=", s.fieldTypes.get()));
    }
    add(flag(s.workbookType, "/TYPE=2007", "/TYPE=ANY"));
    // With AUTO the delimiter is what stands where the input gives no clear
    // answer: said first when it is not the default.
    if (s.autoDelimiter == 0 || s.delimiter != ',') {
        add(s.delimiter == '\t'  ? std::string("/FIELDS=TAB")
            : s.delimiter == '|' ? std::string("/FIELDS=PIPE")
                                 : Joined("/FIELDS=", std::string_view(&s.delimiter, 1)));
    }
    if (s.autoDelimiter != 0) {
        add("/FIELDS=AUTO");
    }
    add(flag(s.allCharacter, "/ALLCHAR=1", "/ALLCHAR=0"));
    if (!engine::TextOf(s.numericChars).empty()) {
        add(Joined("/NUMERIC=", engine::TextOf(s.numericChars)), "  ");
    }
    if (!engine::TextOf(s.booleanChars).empty()) {
        add(Joined("/BOOLEAN=", engine::TextOf(s.booleanChars)), "  ");
    }
    if (!engine::TextOf(s.orderText).empty()) {
        add(Joined("/ORDER=", engine::TextOf(s.orderText)));
    }
    for (const engine::OwnedText& entry : s.typeOverrides) {
        if (entry != nullptr) {
            add(Joined("/CT:", entry.get()));
        }
    }
    if (!engine::TextOf(s.statusPath).empty()) {
        add(Joined("/STATUS=", engine::TextOf(s.statusPath)));
    }
    if (s.inputCodePage != 0) {
        add(Joined("/CODEPAGE=", s.inputCodePage == platform::kCodePageUtf8
                                     ? std::string("UTF-8")
                                     : std::to_string(s.inputCodePage)));
    }
    if (s.decimalSeparator == '.' || s.decimalSeparator == ',') {
        add(Joined("/DECIMAL=", std::string_view(&s.decimalSeparator, 1)));
    }
    if (s.autoFit != 0) {
        add("/AUTOFIT");
    }
    if (s.freezeHeader != 0) {
        add("/FREEZEHEADER");
    }
    if (s.autoFilter != 0) {
        add("/AUTOFILTER");
    }
    if (s.splitRows != 0) {
        add("/SPLITROWS");
    }
    add(flag(s.openResult, "/OPEN=1", "/OPEN=0"));
    if (s.batchMode != 0) {
        add("/BATCH");
    }
    if (s.waitAtEnd != 0) {
        add("/WAIT");
    }
    pieces.push_back({"/SILENT", "\n", " "});
    return pieces;
}

bool IsPosixSafe(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           std::string_view("_-+=:,./@%").find(c) != std::string_view::npos;
}

std::string QuotePosix(std::string_view argument) {
    bool safe = !argument.empty();
    for (char c : argument) {
        safe = safe && IsPosixSafe(c);
    }
    if (safe) {
        return std::string(argument);
    }
    // Inside single quotes nothing is special; a quote itself ends the
    // quoting, is escaped, and the quoting starts again.
    std::string quoted = "'";
    for (char c : argument) {
        if (c == '\'') {
            quoted += "'\\''";
        } else {
            quoted += c;
        }
    }
    quoted += '\'';
    return quoted;
}

std::string QuoteWindows(std::string_view argument) {
    // Blanks and quotes matter to the splitter; the others to cmd.exe, which
    // leaves them alone inside quotes.
    const bool plain = !argument.empty() &&
                       argument.find_first_of(" \t\n\v\"&|<>^();%!") == std::string_view::npos;
    if (plain) {
        return std::string(argument);
    }
    std::string quoted = "\"";
    std::size_t backslashes = 0;
    for (char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        if (c == '"') {
            // Backslashes before a quote are halved by the splitter.
            quoted.append(2 * backslashes + 1, '\\');
        } else {
            quoted.append(backslashes, '\\');
        }
        backslashes = 0;
        quoted += c;
    }
    // Before the closing quote too.
    quoted.append(2 * backslashes, '\\');
    quoted += '"';
    return quoted;
}

}  // namespace

std::string CommandLineText(const engine::ConversionSettings& settings) {
    std::string text;
    for (const Piece& piece : CommandLinePieces(settings)) {
        text.append(piece.before);
        text.append(piece.argument);
        text.append(piece.after);
    }
    return text;
}

std::vector<std::string> CommandLineArguments(const engine::ConversionSettings& settings) {
    std::vector<std::string> arguments;
    for (Piece& piece : CommandLinePieces(settings)) {
        arguments.push_back(std::move(piece.argument));
    }
    return arguments;
}

std::string QuoteArgument(std::string_view argument, platform::ShellQuoting quoting) {
    return quoting == platform::ShellQuoting::kWindows ? QuoteWindows(argument)
                                                       : QuotePosix(argument);
}

std::string ReadyToRunRefusal(const engine::ConversionSettings& settings,
                              std::string_view programPath, platform::ShellQuoting quoting) {
    if (quoting != platform::ShellQuoting::kWindows) {
        return {};
    }
    // cmd.exe expands %name% (and !name! with delayed expansion) even inside
    // quotes, and takes every quote as the start or end of a quoted part, so
    // an escaped quote ends the quoting and & or | after it run a command.
    std::vector<std::string> arguments{std::string(programPath)};
    for (std::string& argument : CommandLineArguments(settings)) {
        arguments.push_back(std::move(argument));
    }
    for (const std::string& argument : arguments) {
        std::string found;
        for (char c : std::string_view("%!\"")) {
            if (argument.find(c) != std::string::npos) {
                found += found.empty() ? "" : " or ";
                found += c;
            }
        }
        if (!found.empty()) {
            return "Not copied: " + argument + " holds " + found +
                   ", which cmd.exe does not keep as typed; change it to copy a line that runs.";
        }
    }
    return {};
}

std::string ReadyToRunCommandLine(const engine::ConversionSettings& settings,
                                  std::string_view programPath, platform::ShellQuoting quoting) {
    std::string line = QuoteArgument(programPath, quoting);
    for (const std::string& argument : CommandLineArguments(settings)) {
        line += ' ';
        line += QuoteArgument(argument, quoting);
    }
    return line;
}

}  // namespace wizard
