// SPDX-License-Identifier: MIT
// The batch runner: one conversion run per file that the input pattern
// matches, each into the workbook that the output name gives.
#include <string>
#include <vector>

#include "engine/engine.h"
#include "engine/text_util.h"
#include "workbook/workbook.h"

namespace engine {
namespace {

// The folder part of a path with its trailing separator; empty for a bare name.
std::string_view FolderOf(std::string_view path) {
    const std::size_t slash = platform::LastSeparator(path);
    return slash == std::string_view::npos ? std::string_view() : path.substr(0, slash + 1);
}

// The input's file name without its last extension.
std::string_view BaseNameOf(std::string_view path) {
    std::string_view name = path.substr(FolderOf(path).size());
    const std::size_t dot = name.find_last_of('.');
    return dot == std::string_view::npos || dot == 0 ? name : name.substr(0, dot);
}

// A sheet a run of this batch made, in the workbook it went to.
struct MadeSheet {
    std::string output;
    std::string name;
};

bool MadeEarlier(const std::vector<MadeSheet>& made, std::string_view output,
                 std::string_view name) {
    for (const MadeSheet& sheet : made) {
        if (sheet.output == output && workbook::SameSheetName(sheet.name, name)) {
            return true;
        }
    }
    return false;
}

// `name` with the first " (n)" from 2 on that no sheet made earlier in the
// same workbook has, the name cut so that the whole is a valid sheet name.
std::string UniqueSheetName(const std::vector<MadeSheet>& made, std::string_view output,
                            std::string_view name) {
    for (int n = 2;; ++n) {
        const std::string suffix = " (" + std::to_string(n) + ")";
        std::string base(name);
        while (!base.empty() && workbook::SheetNameUnits(base) + suffix.size() > 31) {
            // Drops the last whole character.
            while (base.size() > 1 && (static_cast<unsigned char>(base.back()) & 0xC0) == 0x80) {
                base.pop_back();
            }
            base.pop_back();
        }
        std::string candidate = base + suffix;
        if (!MadeEarlier(made, output, candidate)) {
            return candidate;
        }
    }
}

}  // namespace

BatchResult BatchRunner(const RunOwner* owner, ConversionSettings* settings, BatchVariant variant) {
    BatchResult result;
    const std::string pattern(TextOf(settings->inputPath));
    const std::string outputTemplate(TextOf(settings->outputPath));

    // Without TYPE= the output name's extension chooses the format.
    if (settings->workbookTypeGiven == 0 && !outputTemplate.empty()) {
        settings->workbookType = EndsWithIgnoringCase(outputTemplate, ".xlsx") ? 1 : 0;
    }

    // The target: one workbook for all files (oneBook), or one per file in
    // `folder` (beside each input when the program has no output name).
    bool oneBook = !outputTemplate.empty();
    bool besideInput = outputTemplate.empty();
    std::string folder;
    if (variant == BatchVariant::kLibrary && !outputTemplate.empty()) {
        if (platform::IsDirectory(outputTemplate)) {
            oneBook = false;
            folder = outputTemplate;
            if (!platform::IsPathSeparator(folder.back())) {
                folder += platform::kPathSeparator;
            }
        } else if (platform::PathExists(outputTemplate) &&
                   EndsWithIgnoringCase(outputTemplate, ".xlsx")) {
            // An existing .xlsx name stands for its folder; a bare name for
            // the current folder.
            oneBook = false;
            folder = std::string(FolderOf(outputTemplate));
        }
    }

    std::vector<MadeSheet> made;
    for (const platform::FoundFile& found : platform::FindFiles(pattern)) {
        if (found.name.empty() || found.name[0] == '.' || found.isDirectory) {
            continue;
        }
        ++result.matched;
        std::string input(FolderOf(pattern));
        input += found.name;
        const bool inputFits = CopyText(settings->inputPath, input);

        std::string output;
        if (oneBook) {
            output = outputTemplate;
        } else {
            output = besideInput ? std::string(FolderOf(input)) : folder;
            output += BaseNameOf(input);
            output += ".xls";
        }
        output = AdaptExtension(output, settings->workbookType);
        if (!inputFits || !CopyText(settings->outputPath, output)) {
            // A cut name would read or write another file.
            platform::ShowMessage(owner != nullptr ? owner->messages : nullptr, "Error",
                                  "The path of " + (inputFits ? output : input) +
                                      " is longer than " + std::to_string(kPathCapacity - 1) +
                                      " bytes. It was not converted.",
                                  platform::MessageIcon::kError);
            ++result.failed;
            continue;
        }

        // Two inputs whose sheet names come out alike (cut at 31 characters,
        // or equal but for letter case) must not replace each other's sheet.
        const std::string name = SheetNameFor(settings);
        if (settings->overwriteTable != 0 && MadeEarlier(made, output, name)) {
            const std::string unique = UniqueSheetName(made, output, name);
            (void)CopyText(settings->tableName, unique);  // at most 31 characters: fits
            const std::string text = "The sheet name " + name + " for " + input +
                                     " was already used in this batch; the sheet is named " +
                                     unique + " instead.";
            if (settings->logEnabled != 0) {
                WriteLogEntry("QUENDLE", settings, kLogOwnText, "Warning: " + text);
            }
            platform::ShowMessage(owner != nullptr ? owner->messages : nullptr, "Warning", text,
                                  platform::MessageIcon::kWarning);
        }
        const RunResult run = ConversionRun(owner, settings);
        if (run == RunResult::kConverted || run == RunResult::kCancelled) {
            made.push_back({output, SheetNameFor(settings)});
        }
        switch (run) {
            case RunResult::kConverted:
            case RunResult::kCancelled:
                ++result.converted;
                break;
            case RunResult::kNoInput:
                --result.matched;
                break;
            case RunResult::kFailed:
                ++result.failed;
                break;
        }
        // Only the first file may replace the workbook or use TABLENAME=;
        // the later ones add their own sheets to what the first one wrote.
        settings->overwriteFile = 0;
        settings->tableName[0] = '\0';
        if (settings->cancelRequested.load(std::memory_order_relaxed) != 0) {
            break;
        }
    }
    return result;
}

}  // namespace engine
