// SPDX-License-Identifier: MIT
// The batch runner: one conversion run per file that the input pattern
// matches, each into the workbook that the output name gives.
#include <string>

#include "engine/engine.h"
#include "engine/text_util.h"

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

    for (const platform::FoundFile& found : platform::FindFiles(pattern)) {
        if (found.name.empty() || found.name[0] == '.' || found.isDirectory) {
            continue;
        }
        ++result.matched;
        std::string input(FolderOf(pattern));
        input += found.name;
        CopyText(settings->inputPath, input, kPathCharacters);

        std::string output;
        if (oneBook) {
            output = outputTemplate;
        } else {
            output = besideInput ? std::string(FolderOf(input)) : folder;
            output += BaseNameOf(input);
            output += ".xls";
        }
        CopyText(settings->outputPath, AdaptExtension(output, settings->workbookType),
                 kPathCharacters);

        switch (ConversionRun(owner, settings)) {
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
