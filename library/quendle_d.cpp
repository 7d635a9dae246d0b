// SPDX-License-Identifier: MIT
// The two C entry points of quendle_d. Each call owns its settings record,
// so concurrent calls share nothing.
#include "library/quendle_d.h"

#include <memory>
#include <new>
#include <string>
#include <vector>

#include "engine/batch_runner.h"
#include "engine/parameter_parser.h"
#include "engine/settings.h"
#include "platform/console.h"

namespace {

constexpr std::size_t kMaxPieces = 2048;

std::int32_t Convert(std::int32_t count, char** elements) {
    // The engine works in UTF-8; callers pass their system's narrow texts.
    std::vector<std::string> texts;
    for (std::int32_t i = 0; i < count; ++i) {
        texts.push_back(platform::CallerTextToUtf8(elements[i] != nullptr ? elements[i] : ""));
    }
    std::vector<char*> converted;
    for (std::string& text : texts) {
        converted.push_back(text.data());
    }
    auto settings = std::make_unique<engine::ConversionSettings>();
    engine::SetDefaultSettings(settings.get());
    engine::ParameterParser(settings.get(), static_cast<int>(converted.size()), converted.data());
    if (settings->refusedPaths != 0) {
        return QUENDLE_D_FAILED;  // a path too long to hold, named on stderr
    }
    if (settings->inputPath[0] == '\0') {
        return QUENDLE_D_NO_INPUT;
    }
    if (settings->outputPath[0] == '\0') {
        return QUENDLE_D_NO_OUTPUT;
    }
    // The library never writes a status file, whatever the parameters say.
    settings->statusPath[0] = '\0';
    const engine::BatchResult result =
        engine::BatchRunner(nullptr, settings.get(), engine::BatchVariant::kLibrary);
    return result.failed > 0 ? QUENDLE_D_FAILED : QUENDLE_D_OK;
}

}  // namespace

// One of the two places that catch everything: nothing may unwind into a C
// caller.
extern "C" int32_t QUENDLE_D_CALL Quendle_Converter(int32_t reserved, int32_t count,
                                                    char** elements) {
    (void)reserved;
    try {
        return Convert(elements == nullptr ? 0 : count, elements);
    } catch (...) {
        return QUENDLE_D_FAILED;
    }
}

extern "C" int32_t QUENDLE_D_CALL Quendle_ConverterStr(int32_t reserved, const char* text) {
    try {
        std::vector<std::string> pieces;
        const std::string_view all = text == nullptr ? std::string_view() : std::string_view(text);
        std::size_t start = 0;
        while (start < all.size() && pieces.size() < kMaxPieces) {
            const std::size_t end = std::min(all.find('#', start), all.size());
            if (end > start) {
                pieces.emplace_back(all.substr(start, end - start));
            }
            start = end + 1;
        }
        std::vector<char*> elements;
        elements.reserve(pieces.size());
        for (std::string& piece : pieces) {
            elements.push_back(piece.data());
        }
        return Quendle_Converter(reserved, static_cast<int32_t>(elements.size()), elements.data());
    } catch (...) {
        return QUENDLE_D_FAILED;
    }
}
