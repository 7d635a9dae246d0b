// SPDX-License-Identifier: MIT
// A settings record filled as the program fills it from a command line.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "engine/parameter_parser.h"
#include "engine/settings.h"

namespace wizard_testing {

inline std::unique_ptr<engine::ConversionSettings> SettingsFor(
    const std::vector<std::string>& arguments) {
    auto settings = std::make_unique<engine::ConversionSettings>();
    engine::SetDefaultSettings(settings.get());
    std::vector<const char*> elements{"quendle"};
    for (const std::string& argument : arguments) {
        elements.push_back(argument.c_str());
    }
    engine::ParameterParserFor(settings.get(), static_cast<int>(elements.size()), elements.data(),
                               "/nonexistent/quendle");
    return settings;
}

}  // namespace wizard_testing
