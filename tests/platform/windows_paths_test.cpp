// SPDX-License-Identifier: MIT
// The wide names handed to the Windows file calls. Windows lifts the limit
// of 260 characters only for the "\\?\" form, and counts a relative name
// with the current folder in front; Wine lifts it for every name, so the
// form itself is checked here, where a run under Wine would not fail.
#include <gtest/gtest.h>

#include <string>

#include "platform/paths.h"
#include "platform/windows/wide.h"
#include "save_support.h"
#include "test_support.h"

namespace platform {
namespace {

using testing_support::PathText;
using testing_support::ScopedCurrentFolder;
using testing_support::TempDir;
using windows::Widen;
using windows::WidePath;

TEST(WidePaths, NamesLongOnceResolvedTakeTheLongForm) {
    TempDir dir;
    const std::string deep = DeepFolderName(PathText(dir.path()));
    ASSERT_TRUE(CreateFolders(deep));
    ScopedCurrentFolder here(deep);
    ASSERT_FALSE(here.error()) << here.error().message();
    const std::wstring longForm = L"\\\\?\\" + Widen(deep);
    struct Case {
        const char* name;
        std::string path;
        std::wstring expected;
    };
    const Case cases[] = {
        {"a short relative name", "in.csv", longForm + L"\\in.csv"},
        {"forward slashes", "out/book.xlsx", longForm + L"\\out\\book.xlsx"},
        {"dot parts", ".\\x\\..\\in.csv", longForm + L"\\in.csv"},
        {"a long absolute name", JoinPath(deep, "in.csv"), longForm + L"\\in.csv"},
        {"a short absolute name stays as it is", "C:\\data\\in.csv", L"C:\\data\\in.csv"},
        {"the long form stays as it is", "\\\\?\\C:\\data\\in.csv", L"\\\\?\\C:\\data\\in.csv"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_TRUE(WidePath(c.path) == c.expected) << PathText(WidePath(c.path));
    }
}

}  // namespace
}  // namespace platform
