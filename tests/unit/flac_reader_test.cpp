#include "audio_io/flac_reader.h"
#include "audio_io/flac_writer.h"
#include "flac_test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using namespace flac_test;

namespace {

const uint64_t BLOCK = 16384;

// Reads the whole stream in blocks of up to request frames; returns the samples
// and leaves the reader open for the caller to inspect its flags.
std::vector<int32_t> read_all(FlacReader& reader, uint64_t request) {
    std::vector<int32_t> all;
    std::vector<int32_t> block(2 * request);
    for (;;) {
        const uint64_t got = flac_reader_read(reader, block.data(), request);
        if (got == 0) break;
        EXPECT_LE(got, request);
        all.insert(all.end(), block.begin(), block.begin() + static_cast<std::ptrdiff_t>(2 * got));
    }
    return all;
}

// Writes a stereo stream with the program's own writer: the flac command cannot
// make every depth the reader must handle.
void write_with_writer(const std::string& path, const std::vector<int32_t>& samples, uint32_t bits) {
    FlacWriter writer{};
    char error[256] = "";
    ASSERT_TRUE(flac_writer_open(writer, path.c_str(), 44100, bits, 2, samples.size() / 2, nullptr, 0, error,
                                 sizeof error))
        << error;
    ASSERT_EQ(flac_writer_write(writer, samples.data(), samples.size() / 2), samples.size() / 2);
    ASSERT_TRUE(flac_writer_finish(writer));
}

std::string comment_text(const FLAC__StreamMetadata* block, uint32_t index) {
    const auto& entry = block->data.vorbis_comment.comments[index];
    return std::string(reinterpret_cast<const char*>(entry.entry), entry.length);
}

}  // namespace

TEST(FlacReader, DeliversTheEncodedSamplesAndFormat) {
    struct Case {
        const char* name;
        uint32_t bits;
        uint32_t sample_rate;
        uint64_t frames;
        uint64_t request;
        const char* extra;  // flac options; nullptr writes the file with our writer
    };
    const Case cases[] = {
        // 4096-frame blocks: a full request is filled from four decoded frames,
        // and the last request returns the remainder.
        {"pcm16 blocks of 4096", 16, 44100, 70001, BLOCK, "--blocksize=4096"},
        {"pcm16 requests smaller than a block", 16, 48000, 9000, 1000, "--blocksize=4608"},
        {"pcm24", 24, 96000, 20000, BLOCK, ""},
        {"pcm20", 20, 44100, 20000, BLOCK, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string path = dir.file("in.flac");
        const std::vector<int32_t> samples = make_samples(c.frames, 2, c.bits, c.bits);
        if (c.extra != nullptr) {
            flac_encode(dir, path, samples, 2, c.bits, c.sample_rate, c.extra);
        } else {
            write_with_writer(path, samples, c.bits);
        }

        FlacReader reader{};
        char error[256] = "";
        ASSERT_TRUE(flac_reader_open(reader, path.c_str(), error, sizeof error)) << error;
        EXPECT_EQ(reader.channels, 2u);
        EXPECT_EQ(reader.bits_per_sample, c.bits);
        EXPECT_EQ(reader.sample_rate, c.extra != nullptr ? c.sample_rate : 44100u);
        EXPECT_EQ(reader.total_samples, c.frames);

        const std::vector<int32_t> decoded = read_all(reader, c.request);
        EXPECT_TRUE(decoded == samples);
        EXPECT_EQ(reader.end_of_stream, 1);
        EXPECT_EQ(reader.error, 0);
        int32_t spare[2];
        EXPECT_EQ(flac_reader_read(reader, spare, 1), 0u);
        flac_reader_close(reader);
        flac_reader_close(reader);
        EXPECT_EQ(reader.decoder, nullptr);
    }
}

TEST(FlacReader, CarriesCommentsAndPicturesInFileOrder) {
    TempDir dir;
    write_file(dir.file("front.png"), {'P', 'N', 'G', '1'});
    write_file(dir.file("back.jpg"), {'J', 'P', 'G', '2', '2'});
    const std::string path = dir.file("tagged.flac");
    // flac adds a seek table and padding of its own; neither is carried.
    flac_encode(dir, path, make_samples(30000, 2, 16, 3), 2, 16, 44100,
                "-T TITLE=Song -T ARTIST=Band --picture='3|image/png|front|1x1x24|" + dir.file("front.png") +
                    "' --picture='4|image/jpeg|back|2x2x24|" + dir.file("back.jpg") + "'");
    ASSERT_EQ(block_types(path), (std::vector<int>{0, 3, 4, 6, 6, 1}));

    FlacReader reader{};
    char error[256] = "";
    ASSERT_TRUE(flac_reader_open(reader, path.c_str(), error, sizeof error)) << error;
    ASSERT_EQ(reader.carried_count, 3u);
    const FLAC__StreamMetadata* comments = reader.carried_blocks[0];
    ASSERT_EQ(comments->type, FLAC__METADATA_TYPE_VORBIS_COMMENT);
    ASSERT_EQ(comments->data.vorbis_comment.num_comments, 2u);
    EXPECT_EQ(comment_text(comments, 0), "TITLE=Song");
    EXPECT_EQ(comment_text(comments, 1), "ARTIST=Band");
    const char* descriptions[] = {"front", "back"};
    for (uint32_t i = 0; i < 2; ++i) {
        const FLAC__StreamMetadata* picture = reader.carried_blocks[1 + i];
        ASSERT_EQ(picture->type, FLAC__METADATA_TYPE_PICTURE);
        EXPECT_STREQ(reinterpret_cast<const char*>(picture->data.picture.description), descriptions[i]);
    }
    EXPECT_EQ(read_all(reader, BLOCK).size(), 60000u);
    EXPECT_EQ(reader.error, 0);
    flac_reader_close(reader);
    EXPECT_EQ(reader.carried_blocks, nullptr);
    EXPECT_EQ(reader.carried_count, 0u);
}

TEST(FlacReader, RefusesWhatItCannotDecode) {
    TempDir dir;
    const std::vector<int32_t> stereo16 = make_samples(5000, 2, 16, 5);
    flac_encode(dir, dir.file("mono.flac"), make_samples(5000, 1, 16, 6), 1, 16, 44100);
    flac_encode(dir, dir.file("8bit.flac"), make_samples(5000, 2, 8, 7), 2, 8, 44100);
    flac_encode(dir, dir.file("32bit.flac"), make_samples(5000, 2, 24, 8), 2, 32, 44100);
    write_with_writer(dir.file("12bit.flac"), make_samples(5000, 2, 12, 9), 12);
    write_file(dir.file("not.flac"), std::vector<uint8_t>(5000, 0x55));

    char opening_failure[256];
    snprintf(opening_failure, sizeof opening_failure, "Unable to initialize FLAC decoder (status %d).",
             static_cast<int>(FLAC__STREAM_DECODER_INIT_STATUS_ERROR_OPENING_FILE));
    const struct {
        const char* file;
        const char* message;
    } cases[] = {
        {"mono.flac", "QV-HDCD requires stereo FLAC input."},
        {"8bit.flac", "Supported FLAC depths are 16, 20 and 24 bit."},
        {"12bit.flac", "Supported FLAC depths are 16, 20 and 24 bit."},
        {"32bit.flac", "Supported FLAC depths are 16, 20 and 24 bit."},
        {"not.flac", "Unable to read FLAC STREAMINFO."},
        {"missing.flac", opening_failure},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        FlacReader reader{};
        char error[256] = "";
        EXPECT_FALSE(flac_reader_open(reader, dir.file(c.file).c_str(), error, sizeof error));
        EXPECT_STREQ(error, c.message);
        EXPECT_EQ(reader.decoder, nullptr);
    }
}

// The 16-byte MD5 signature follows "fLaC", the 4-byte block header and the
// first 18 bytes of STREAMINFO; the 36-bit total sample count ends just before it.
TEST(FlacReader, DecodingFaultsAndBadSignaturesSetTheErrorFlag) {
    const size_t MD5_OFFSET = 8 + 18;
    const std::vector<int32_t> samples = make_samples(60000, 2, 16, 11);
    struct Case {
        const char* name;
        void (*damage)(std::vector<uint8_t>& bytes);
        bool fails;
        bool exact_samples;
    };
    const Case cases[] = {
        {"untouched", [](std::vector<uint8_t>&) {}, false, true},
        {"changed signature", [](std::vector<uint8_t>& bytes) { bytes[MD5_OFFSET + 5] ^= 0x01; }, true, true},
        {"no signature and no total",
         [](std::vector<uint8_t>& bytes) {
             std::memset(&bytes[MD5_OFFSET], 0, 16);
             bytes[MD5_OFFSET - 5] &= 0xF0;
             std::memset(&bytes[MD5_OFFSET - 4], 0, 4);
         },
         false, true},
        {"damaged frame",
         [](std::vector<uint8_t>& bytes) {
             for (size_t i = bytes.size() / 2; i < bytes.size() / 2 + 64; ++i) bytes[i] ^= 0xA5;
         },
         true, false},
        {"cut short", [](std::vector<uint8_t>& bytes) { bytes.resize(bytes.size() * 2 / 3); }, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string path = dir.file("in.flac");
        flac_encode(dir, path, samples, 2, 16, 44100, "--no-padding --no-seektable");
        std::vector<uint8_t> bytes = read_file(path);
        ASSERT_GT(bytes.size(), MD5_OFFSET + 16);
        ASSERT_EQ(std::memcmp(bytes.data(), "fLaC", 4), 0);
        c.damage(bytes);
        write_file(path, bytes);

        FlacReader reader{};
        char error[256] = "";
        ASSERT_TRUE(flac_reader_open(reader, path.c_str(), error, sizeof error)) << error;
        const std::vector<int32_t> decoded = read_all(reader, BLOCK);
        EXPECT_EQ(reader.error, c.fails ? 1 : 0);
        if (c.exact_samples) {
            EXPECT_TRUE(decoded == samples);
        }
        flac_reader_close(reader);
    }
}
