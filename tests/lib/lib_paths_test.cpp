#include "lib_paths.h"

#include <gtest/gtest.h>

namespace {

TEST(DefaultLibraryPath, ReplacesTheFileNamesExtensionOnly) {
    const char* const cases[][2] = {
        {"C:\\x\\foo.def", "C:\\x\\foo.lib"},
        {"C:\\x\\FOO.DEF", "C:\\x\\FOO.lib"},
        {"C:\\x\\foo.bar.def", "C:\\x\\foo.bar.lib"},
        {"C:\\a.b\\foo", "C:\\a.b\\foo.lib"},
        {"/tmp/a.b/foo", "/tmp/a.b/foo.lib"},
        {"foo.def", "foo.lib"},
        {"foo", "foo.lib"},
        {"C:\\x\\中文.def", "C:\\x\\中文.lib"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DefaultLibraryPath(c[0]), c[1]) << c[0];
}

TEST(DllNameFor, AddsDllWithoutExtensionAndFallsBackToTheDefFilesName) {
    const char* const cases[][3] = {
        {"foo", "x.def", "foo.dll"},
        {"foo.dll", "x.def", "foo.dll"},
        {"FOO.DRV", "x.def", "FOO.DRV"},
        {"", "C:\\x\\bar.def", "bar.dll"},
        {"", "C:\\a.b\\bar", "bar.dll"},
        {"", "/tmp/dir/baz.def", "baz.dll"},
#ifdef _WIN32
        // The tests run with code page 936 there: 乗 is 81 5C, and its 5C is no separator.
        {"", "C:\\x\\乗.def", "乗.dll"},
#endif
    };
    for (const auto& c : cases)
        EXPECT_EQ(DllNameFor(c[0], c[1]), c[2]) << c[0] << " " << c[1];
}

} // namespace
