// SPDX-License-Identifier: MIT
// The merger that lets equal texts share a string table entry: whatever it
// remembers or forgets, it never gives a text another text's entry, and
// past its limits the texts it already holds go on merging.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "workbook/xls/xls_model.h"

namespace {

using workbook::xls::StringMerger;

// Looks `text` up; when absent, remembers it under `next` and gives that.
std::uint32_t Settle(StringMerger& merger, const std::string& text, std::uint32_t next) {
    const std::uint64_t hash = StringMerger::Hash(text);
    std::uint32_t index = 0;
    if (merger.Find(text, hash, index)) {
        return index;
    }
    merger.Remember(text, hash, next);
    return next;
}

TEST(StringMerger, NeverMergesDifferentTextsAndKeepsWhatItHolds) {
    struct Case {
        const char* what;
        int distinct;
        std::size_t width;  // each text padded to this many bytes
    };
    // Short texts run into the number of texts remembered, long ones into
    // the bytes kept; both well past the limit.
    const Case cases[] = {
        {"few texts", 1000, 1},
        {"more short texts than are remembered", 600000, 1},
        {"more long texts than are kept", 300000, StringMerger::kMaxText},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        StringMerger merger;
        const auto text = [&c](int i) {
            std::string t = std::to_string(i);
            t.insert(0, c.width > t.size() ? c.width - t.size() : 0, '-');
            return t;
        };
        std::vector<std::uint32_t> first(static_cast<std::size_t>(c.distinct));
        std::uint32_t next = 0;
        for (int i = 0; i < c.distinct; ++i) {
            first[static_cast<std::size_t>(i)] = Settle(merger, text(i), next);
            ASSERT_EQ(first[static_cast<std::size_t>(i)], next) << text(i);
            ++next;
        }
        // A second round: a remembered text comes back with its own entry;
        // a forgotten one gets a new entry, never another text's.
        int merged = 0;
        for (int i = 0; i < c.distinct; ++i) {
            const std::uint32_t again = Settle(merger, text(i), next);
            if (again == next) {
                ++next;
            } else {
                ASSERT_EQ(again, first[static_cast<std::size_t>(i)]) << text(i);
                ++merged;
            }
        }
        // The earliest texts are remembered however many follow.
        EXPECT_EQ(Settle(merger, text(0), next), first[0]);
        EXPECT_GE(merged, std::min(c.distinct, 100000));
        if (c.distinct < 100000) {
            EXPECT_EQ(merged, c.distinct);
        } else {
            EXPECT_LT(merged, c.distinct);
        }
    }
}

// Texts longer than the merger takes are never remembered.
TEST(StringMerger, LongTextsPassThrough) {
    StringMerger merger;
    const std::string text(StringMerger::kMaxText + 1, 'x');
    EXPECT_EQ(Settle(merger, text, 0), 0u);
    EXPECT_EQ(Settle(merger, text, 1), 1u);
    EXPECT_EQ(Settle(merger, text.substr(1), 2), 2u);
    EXPECT_EQ(Settle(merger, text.substr(1), 3), 2u);
}

}  // namespace
