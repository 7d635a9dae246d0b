// SPDX-License-Identifier: MIT
// Feeds NUL-separated elements to the parameter parser: it must never write
// past a buffer or leave a text unterminated.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "engine/parameter_parser.h"
#include "engine/settings.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> parts(1, "quendle");
    std::string current;
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            parts.push_back(current);
            current.clear();
        } else {
            current.push_back(static_cast<char>(data[i]));
        }
    }
    parts.push_back(current);
    std::vector<const char*> elements;
    for (const auto& part : parts) {
        elements.push_back(part.c_str());
    }
    engine::ConversionSettings settings{};
    engine::SetDefaultSettings(&settings);
    engine::ParameterParserFor(&settings, static_cast<int>(elements.size()), elements.data(),
                               "/opt/quendle/quendle");
    // Every fixed buffer still holds its terminator.
    const auto terminated = [](const auto& buffer) {
        return std::memchr(buffer, 0, sizeof buffer) != nullptr;
    };
    if (!terminated(settings.inputPath) || !terminated(settings.outputPath) ||
        !terminated(settings.statusPath) || !terminated(settings.tableName) ||
        !terminated(settings.fieldsText) || !terminated(settings.numericChars) ||
        !terminated(settings.booleanChars) || !terminated(settings.orderText)) {
        __builtin_trap();
    }
    return 0;
}
