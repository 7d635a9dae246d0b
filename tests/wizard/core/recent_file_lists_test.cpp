// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include "tests/wizard/core/memory_store.h"
#include "wizard/core/wizard_core.h"

namespace {

using wizard::AddRecentItem;
using wizard::RecentList;
using wizard_testing::MemoryStore;

std::vector<std::string> Positions(const MemoryStore& store) {
    std::vector<std::string> items;
    for (int i = 0; i < wizard::kRecentItems; ++i) {
        items.push_back(store.values.at("CSVfiles" + std::to_string(i)));
    }
    return items;
}

TEST(RecentFiles, AddMovesToFrontWithoutCopiesAndKeepsTen) {
    struct Row {
        const char* what;
        std::vector<std::string> before;  // positions 0 to 9 as stored; fewer means missing
        std::string added;
        std::vector<std::string> after;  // all ten positions
    };
    const std::vector<std::string> ten = {"a", "b", "c", "d", "e", "f", "g", "h", "i", "j"};
    const Row rows[] = {
        {"first run", {}, "x", {"x", "", "", "", "", "", "", "", "", ""}},
        {"from position 3", ten, "d", {"d", "a", "b", "c", "e", "f", "g", "h", "i", "j"}},
        {"another letter case",
         {"a", "/DATA/X.CSV", "b"},
         "/data/x.csv",
         {"/data/x.csv", "a", "b", "", "", "", "", "", "", ""}},
        {"eleventh drops the last", ten, "k", {"k", "a", "b", "c", "d", "e", "f", "g", "h", "i"}},
        {"already first", {"a", "b"}, "a", {"a", "b", "", "", "", "", "", "", "", ""}},
        {"empty entries kept in place",
         {"a", "", "b"},
         "c",
         {"c", "a", "", "b", "", "", "", "", "", ""}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        MemoryStore store;
        for (std::size_t i = 0; i < row.before.size(); ++i) {
            store.values["CSVfiles" + std::to_string(i)] = row.before[i];
        }
        AddRecentItem(store, "CSVfiles", row.added);
        EXPECT_EQ(Positions(store), row.after);
    }
}

TEST(RecentFiles, OverlongValueReadsAsMissingAndIsDroppedOnTheNextAdd) {
    MemoryStore store;
    const std::string longest(wizard::kRecentValueCharacters, 'n');
    store.values["CSVfiles0"] = longest + "n";
    store.values["CSVfiles1"] = longest;
    store.values["LastCSVFile"] = longest + "n";
    EXPECT_EQ(RecentList(store, "CSVfiles"), std::vector<std::string>{longest});
    EXPECT_EQ(wizard::ReadWizardValue(store, "LastCSVFile"), "");
    AddRecentItem(store, "CSVfiles", "z");
    EXPECT_EQ(store.values.at("CSVfiles1"), "");
    EXPECT_EQ(store.values.at("CSVfiles2"), longest);
}

}  // namespace
