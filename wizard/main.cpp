// SPDX-License-Identifier: MIT
// The program quendle: fills the settings record from the defaults, the INI
// files and the command line, then reports what it would convert.
#include <cstdio>

#include "engine/engine.h"

namespace {

void PrintSettings(const engine::ConversionSettings& s) {
    using engine::TextOf;
    std::printf("inputPath=%s\n", TextOf(s.inputPath).data());
    std::printf("outputPath=%s\n", TextOf(s.outputPath).data());
    std::printf("workbookType=%d overwriteFile=%d overwriteTable=%d\n", s.workbookType,
                s.overwriteFile, s.overwriteTable);
    std::printf("hasHeader=%d typesInFile=%d allCharacter=%d importRecords=%d\n", s.hasHeader,
                s.typesInFile, s.allCharacter, s.importRecords);
    std::printf("delimiter=%d fieldsText=%s\n", s.delimiter, TextOf(s.fieldsText).data());
    std::printf("numericChars=%s booleanChars=%s dateMode=%d\n", TextOf(s.numericChars).data(),
                TextOf(s.booleanChars).data(), s.dateMode);
    std::printf("tableName=%s statusPath=%s\n", TextOf(s.tableName).data(),
                TextOf(s.statusPath).data());
    std::printf("oemSource=%d inputCodePage=%d logEnabled=%d silentMode=%d batchMode=%d\n",
                s.oemSource, s.inputCodePage, s.logEnabled, s.silentMode, s.batchMode);
    for (const auto& entry : s.typeOverrides) {
        if (entry) {
            std::printf("typeOverride=%s\n", entry.get());
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    engine::ConversionSettings settings{};
    engine::SetDefaultSettings(&settings);
    engine::LoadCommonSettings(&settings);
    engine::ParameterParser(&settings, argc, argv);
    PrintSettings(settings);
    std::fprintf(stderr, "quendle: the conversion itself is not built yet; "
                         "these are the settings it would use.\n");
    return 3;
}
