#include "audio_io/flac_reader.h"
#include "audio_io/flac_writer.h"
#include "audio_io/metadata_tags.h"
#include "flac_test_support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace flac_test;

namespace {

const uint64_t BLOCK = 16384;

// Writes samples in blocks as the operations do; returns false at the first
// refused block.
bool write_blocks(FlacWriter& writer, const std::vector<int32_t>& samples) {
    for (uint64_t done = 0; done < samples.size() / 2;) {
        uint64_t frames = samples.size() / 2 - done;
        if (frames > BLOCK) frames = BLOCK;
        if (flac_writer_write(writer, samples.data() + 2 * done, frames) != frames) return false;
        done += frames;
    }
    return true;
}

std::string trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    return text;
}

}  // namespace

TEST(FlacWriter, OutputPassesFlacTestAndDecodesToTheSamplesWritten) {
    const struct {
        const char* name;
        uint32_t bits;
        uint32_t sample_rate;
        uint64_t frames;
        uint64_t estimate;
    } cases[] = {
        {"pcm24 as decoding writes it", 24, 44100, 50000, 50000},
        {"pcm16 as preserving writes it", 16, 48000, 40000, 40000},
        {"estimate unknown", 24, 88200, 20000, 0},
        {"no audio at all", 16, 44100, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string path = dir.file("out.flac");
        const std::vector<int32_t> samples = make_samples(c.frames, 2, c.bits, c.bits + 1);
        FlacWriter writer{};
        char error[256] = "";
        ASSERT_TRUE(flac_writer_open(writer, path.c_str(), c.sample_rate, c.bits, 2, c.estimate, nullptr, 0, error,
                                     sizeof error))
            << error;
        ASSERT_TRUE(write_blocks(writer, samples));
        ASSERT_TRUE(flac_writer_finish(writer));
        EXPECT_TRUE(flac_writer_finish(writer));

        EXPECT_EQ(run("flac -t -s '" + path + "'"), 0);
        EXPECT_EQ(trimmed(capture("metaflac --show-bps --show-sample-rate --show-total-samples '" + path + "'")),
                  std::to_string(c.bits) + "\n" + std::to_string(c.sample_rate) + "\n" + std::to_string(c.frames));
        // Without blocks of ours libFLAC writes its own empty comment block.
        EXPECT_EQ(block_types(path), (std::vector<int>{0, 4}));
        EXPECT_EQ(capture("metaflac --export-tags-to=- '" + path + "'"), "");
        const std::string raw = dir.file("decoded.raw");
        ASSERT_EQ(run("flac -d -s -f --force-raw-format --endian=little --sign=signed -o '" + raw + "' '" + path + "'"),
                  0);
        EXPECT_TRUE(read_file(raw) == to_raw(samples, c.bits));
    }
}

// Decoding FLAC to FLAC with tags: the input's pictures, then the new comments.
TEST(FlacWriter, AttachedBlocksAreWrittenInListOrder) {
    TempDir dir;
    write_file(dir.file("front.png"), {'P', 'N', 'G'});
    const std::string input = dir.file("in.flac");
    flac_encode(dir, input, make_samples(10000, 2, 16, 21), 2, 16, 44100,
                "-T TITLE=Old --picture='3|image/png|front|1x1x24|" + dir.file("front.png") +
                    "' --picture='4|image/png|back|1x1x24|" + dir.file("front.png") + "'");
    FlacReader reader{};
    char error[256] = "";
    ASSERT_TRUE(flac_reader_open(reader, input.c_str(), error, sizeof error)) << error;
    ASSERT_EQ(reader.carried_count, 3u);

    MetadataTags tags{};
    tags.artist = "X";
    tags.title = "Y";
    FLAC__StreamMetadata* tag_block = tags_build_vorbis_comment(tags, error, sizeof error);
    ASSERT_NE(tag_block, nullptr) << error;
    FLAC__StreamMetadata* blocks[] = {reader.carried_blocks[1], reader.carried_blocks[2], tag_block};

    const std::string output = dir.file("out.flac");
    FlacWriter writer{};
    ASSERT_TRUE(flac_writer_open(writer, output.c_str(), 44100, 24, 2, 10000, blocks, 3, error, sizeof error))
        << error;
    const std::vector<int32_t> samples = make_samples(10000, 2, 24, 22);
    ASSERT_TRUE(write_blocks(writer, samples));
    ASSERT_TRUE(flac_writer_finish(writer));
    flac_reader_close(reader);
    metadata_block_free(tag_block);

    EXPECT_EQ(run("flac -t -s '" + output + "'"), 0);
    EXPECT_EQ(block_types(output), (std::vector<int>{0, 6, 6, 4}));
    EXPECT_EQ(capture("metaflac --export-tags-to=- '" + output + "'"), "TITLE=Y\nARTIST=X\nENCODER=QV-HDCD 1.0.1.0\n");
    const std::string pictures = capture("metaflac --list --block-type=PICTURE '" + output + "'");
    EXPECT_LT(pictures.find("description: front"), pictures.find("description: back"));
}

TEST(FlacWriter, RefusalsAndFailuresAreReported) {
    TempDir dir;
    char error[256] = "";
    FlacWriter writer{};
    const std::vector<int32_t> samples = make_samples(BLOCK, 2, 16, 31);

    char status_text[256];
    snprintf(status_text, sizeof status_text, "Unable to initialize FLAC encoder (status %d).",
             static_cast<int>(FLAC__STREAM_ENCODER_INIT_STATUS_ENCODER_ERROR));
    EXPECT_FALSE(flac_writer_open(writer, dir.file("no/such/dir/out.flac").c_str(), 44100, 16, 2, 0, nullptr, 0,
                                  error, sizeof error));
    EXPECT_STREQ(error, status_text);
    EXPECT_EQ(writer.encoder, nullptr);
    EXPECT_EQ(flac_writer_write(writer, samples.data(), BLOCK), 0u);
    EXPECT_TRUE(flac_writer_finish(writer));

    snprintf(status_text, sizeof status_text, "Unable to initialize FLAC encoder (status %d).",
             static_cast<int>(FLAC__STREAM_ENCODER_INIT_STATUS_INVALID_BITS_PER_SAMPLE));
    EXPECT_FALSE(flac_writer_open(writer, dir.file("odd.flac").c_str(), 44100, 2, 2, 0, nullptr, 0, error,
                                  sizeof error));
    EXPECT_STREQ(error, status_text);

    // A full disk: the writes fail once the encoder's output reaches the device,
    // later blocks are refused, and finishing does not hide the failure.
    ASSERT_TRUE(flac_writer_open(writer, "/dev/full", 44100, 16, 2, 0, nullptr, 0, error, sizeof error)) << error;
    bool refused = false;
    for (int i = 0; i < 64 && !refused; ++i) refused = flac_writer_write(writer, samples.data(), BLOCK) == 0;
    ASSERT_TRUE(refused);
    EXPECT_EQ(writer.write_error, 1);
    EXPECT_EQ(flac_writer_write(writer, samples.data(), BLOCK), 0u);
    EXPECT_FALSE(flac_writer_finish(writer));
    EXPECT_EQ(writer.encoder, nullptr);
}
