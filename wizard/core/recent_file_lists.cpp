// SPDX-License-Identifier: MIT
// The recent-file lists: ten values "<list><digit>" per list, most recent at
// 0, so that other tools of the same family can share them.
#include "platform/ascii.h"
#include "wizard/core/wizard_core.h"

namespace wizard {
namespace {

std::string ItemName(std::string_view list, int position) {
    std::string name(list);
    name += static_cast<char>('0' + position);
    return name;
}

std::size_t CharacterCount(std::string_view text) {
    std::size_t count = 0;
    for (char c : text) {
        count += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
    }
    return count;
}

}  // namespace

std::string ReadWizardValue(const RecentStore& store, std::string_view name) {
    std::optional<std::string> value = store.Read(name);
    if (!value || CharacterCount(*value) > kRecentValueCharacters) {
        return {};
    }
    return std::move(*value);
}

std::vector<std::string> RecentList(const RecentStore& store, std::string_view list) {
    std::vector<std::string> names;
    for (int position = 0; position < kRecentItems; ++position) {
        std::string item = ReadWizardValue(store, ItemName(list, position));
        if (!item.empty()) {
            names.push_back(std::move(item));
        }
    }
    return names;
}

void AddRecentItem(RecentStore& store, std::string_view list, std::string_view name) {
    std::vector<std::string> items{std::string(name)};
    for (int position = 0; position < kRecentItems; ++position) {
        std::string stored = ReadWizardValue(store, ItemName(list, position));
        if (!platform::EqualsIgnoringCase(stored, name)) {
            items.push_back(std::move(stored));
        }
    }
    items.resize(kRecentItems);
    for (int position = 0; position < kRecentItems; ++position) {
        store.Write(ItemName(list, position), items[static_cast<std::size_t>(position)]);
    }
}

}  // namespace wizard
