// The temporary name an output is written under before it takes its own.
#include <gtest/gtest.h>

#include "files/output_file.h"

// Ordinary names, plain and numbered, are met by the command-line tests.
TEST(OutputTemporaryName, SplitsAtTheLastDotOfTheFileName) {
    const struct {
        const char* output;
        unsigned attempt;
        const char* expected;
    } cases[] = {
        {"x/01.Track.WAV", 0, "x/01.Track.qv-hdcd-eac.tmp.WAV"},
        {"noext", 0, "noext.qv-hdcd-eac.tmp.tmp"},
        // A dotted directory must not lend its '.' to the split.
        {"album.v2/track", 0, "album.v2/track.qv-hdcd-eac.tmp.tmp"},
        {"album.v2\\track", 7, "album.v2\\track.qv-hdcd-eac-7.tmp.tmp"},
        {"x/.flac", 0, "x/.qv-hdcd-eac.tmp.flac"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(output_file_temporary_name(c.output, "qv-hdcd-eac", c.attempt), c.expected) << c.output;
    }
}
