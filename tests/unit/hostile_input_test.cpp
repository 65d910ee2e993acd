// Inputs found by fuzzing that once got through the readers, replayed here
// with the check that failed on them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "audio_io/flac_reader.h"

namespace {

std::string regression_path(const char* name) {
    return std::string(QV_SOURCE_DIR) + "/fuzz/regressions/" + name;
}

// Reads the whole stream; returns the delivered samples.
std::vector<int32_t> read_all(FlacReader& reader) {
    std::vector<int32_t> all;
    std::vector<int32_t> block(2 * 4096);
    while (const uint64_t frames = flac_reader_read(reader, block.data(), 4096)) {
        all.insert(all.end(), block.begin(), block.begin() + static_cast<std::ptrdiff_t>(2 * frames));
    }
    return all;
}

TEST(HostileFlacInput, FrameWiderThanTheStreamIsAnErrorNotData) {
    // STREAMINFO says 16 bits; a later frame header says otherwise and decodes
    // to values far outside PCM16.
    FlacReader reader;
    char error_text[256] = "";
    const std::string path = regression_path("flac_reader/frame_depth_differs_from_streaminfo.flac");
    ASSERT_TRUE(flac_reader_open(reader, path.c_str(), error_text, sizeof error_text)) << error_text;
    ASSERT_EQ(reader.bits_per_sample, 16u);
    for (int32_t value : read_all(reader)) {
        ASSERT_GE(value, -32768);
        ASSERT_LE(value, 32767);
    }
    EXPECT_TRUE(reader.error);
    flac_reader_close(reader);
}

}  // namespace
