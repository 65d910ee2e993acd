// Choice of the temporary path a same-file run writes before moving it into place.
#include <gtest/gtest.h>

#include <string>

#include "cli/eac_output.h"

// Ordinary names, plain and numbered, are met by the command-line EAC tests.
TEST(EacTemporaryPath, SplitsAtTheLastDotOfTheFileName) {
    const struct {
        const char* output;
        const char* expected;
    } cases[] = {
        {"x/01.Track.WAV", "x/01.Track.qv-hdcd-eac.tmp.WAV"},
        {"noext", "noext.qv-hdcd-eac.tmp.tmp"},
        // A dotted directory must not lend its '.' to the split.
        {"album.v2/track", "album.v2/track.qv-hdcd-eac.tmp.tmp"},
        {"album.v2\\track", "album.v2\\track.qv-hdcd-eac.tmp.tmp"},
        {"x/.flac", "x/.qv-hdcd-eac.tmp.flac"},
    };
    for (const auto& c : cases) {
        char temp[EAC_TEMP_PATH_CAPACITY];
        ASSERT_TRUE(eac_temp_name(c.output, 0, temp, sizeof temp)) << c.output;
        EXPECT_STREQ(temp, c.expected);
    }
}

TEST(EacTemporaryPath, NameThatWouldBeCutShortFails) {
    char temp[64];
    const std::string fits(64 - sizeof ".qv-hdcd-eac.tmp.wav", 'a');
    EXPECT_TRUE(eac_temp_name((fits + ".wav").c_str(), 0, temp, sizeof temp));
    EXPECT_FALSE(eac_temp_name((fits + "a.wav").c_str(), 0, temp, sizeof temp));
}
