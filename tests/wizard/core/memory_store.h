// SPDX-License-Identifier: MIT
// A recent-file store in memory, standing in for QSettings or the registry.
#pragma once

#include <map>
#include <string>

#include "wizard/core/wizard_core.h"

namespace wizard_testing {

class MemoryStore : public wizard::RecentStore {
public:
    std::optional<std::string> Read(std::string_view name) const override {
        const auto found = values.find(std::string(name));
        if (found == values.end()) {
            return std::nullopt;
        }
        return found->second;
    }
    void Write(std::string_view name, std::string_view text) override {
        values[std::string(name)] = std::string(text);
    }

    std::map<std::string, std::string> values;
};

}  // namespace wizard_testing
