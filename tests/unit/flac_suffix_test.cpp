#include <gtest/gtest.h>

#include "cli/flac_suffix.h"

TEST(HasFlacSuffix, FoldsAsciiCaseOfTheLastFiveBytesOnly) {
    const struct {
        const char* path;
        bool flac;
    } cases[] = {
        {"a.flac", true},
        {"a.FLAC", true},
        {".flac", true},
        {"C:\\Music\\01 Track.Flac", true},
        {"flac", false},
        {"", false},
        {"a.flac.bak", false},
        {"a.flacc", false},
        {"a_flac", false},
        // Bytes beyond ASCII are not folded, whatever the locale thinks of them.
        {"a.fl\xc3\x81" "c", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(has_flac_suffix(c.path), c.flac) << '"' << c.path << '"';
    }
}
