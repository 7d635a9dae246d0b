// SPDX-License-Identifier: MIT
// The batch runner: one conversion run per file an input pattern matches.
#pragma once

#include "engine/conversion_run.h"
#include "engine/settings.h"

namespace engine {

enum class BatchVariant {
    kProgram,  // no output name: a workbook beside each input
    kLibrary,  // the output name decides: one workbook, or one per file in a folder
};

struct BatchResult {
    int matched = 0;    // files the pattern matched (folders and dot-files left out)
    int converted = 0;  // runs that saved their workbook (cancelled ones included)
    int failed = 0;     // runs that failed
};

// Converts every file that settings->inputPath matches, in sorted order.
BatchResult BatchRunner(const RunOwner* owner, ConversionSettings* settings, BatchVariant variant);

}  // namespace engine
