#include <algorithm>

#include "audio_io/flac_reader.h"
#include "audio_io/flac_writer.h"
#include "audio_io/metadata_tags.h"
#include "wav_test_support.h"

using namespace io_test;

// Writes samples in blocks of 16384 frames, as the operations do.
static void write_blocks(FlacWriter& writer, const std::vector<int32_t>& samples) {
    for (uint64_t done = 0, frames; done < samples.size() / 2; done += frames) {
        frames = std::min<uint64_t>(16384, samples.size() / 2 - done);
        ASSERT_EQ(flac_writer_write(writer, samples.data() + 2 * done, frames), frames);
    }
}

TEST(FlacWriter, OutputPassesFlacTestAndDecodesToTheSamplesWritten) {
    // bits, rate, frames, estimate
    const std::tuple<uint32_t, uint32_t, uint64_t, uint64_t> cases[] = {
        {24, 44100, 50000, 50000}, {16, 48000, 40000, 0}, {16, 44100, 0, 0}};
    for (const auto& [bits, sample_rate, frames, estimate] : cases) {
        SCOPED_TRACE(std::to_string(bits) + " bits, " + std::to_string(frames) + " frames");
        TempDir dir;
        const std::string path = dir.file("out.flac");
        const std::vector<int32_t> samples = test_signal(2 * frames, bits, bits + 1);
        FlacWriter writer{};
        char error[256] = "";
        ASSERT_TRUE(flac_writer_open(writer, path.c_str(), sample_rate, bits, 2, estimate, nullptr, 0, 0, error, sizeof error))
            << error;
        write_blocks(writer, samples);
        ASSERT_TRUE(flac_writer_finish(writer));

        EXPECT_EQ(run("flac -t -s '" + path + "'"), 0);
        EXPECT_EQ(capture("metaflac --show-bps --show-sample-rate --show-total-samples '" + path + "'"),
                  std::to_string(bits) + "\n" + std::to_string(sample_rate) + "\n" + std::to_string(frames) + "\n");
        EXPECT_EQ(block_types(path), (std::vector<int>{0, 4}));  // libFLAC's own empty comment block
        ASSERT_EQ(run("flac -d -s -f --force-raw-format --endian=little --sign=signed -o '" + dir.file("out.raw") + "' '" +
                      path + "'"),
                  0);
        EXPECT_TRUE(read_file(dir.file("out.raw")) == to_raw(samples, (bits + 7) / 8));
    }
}

// As decoding FLAC to FLAC with tags writes it: the pictures our reader carries from
// the input, in their order, then the new comments.
TEST(FlacReaderAndWriter, CarriedPicturesAndNewTagsKeepTheirOrder) {
    TempDir dir;
    write_file(dir.file("front.png"), {'P', 'N', 'G'});
    const std::string input = dir.file("in.flac");
    flac_encode(dir, input, test_signal(20000, 16, 21), 16, 44100,
                "-T TITLE=Old --picture='3|image/png|front|1x1x24|" + dir.file("front.png") +
                    "' --picture='4|image/png|back|1x1x24|" + dir.file("front.png") + "'");
    FlacReader reader{};
    char error[256] = "";
    ASSERT_TRUE(flac_reader_open(reader, input.c_str(), error, sizeof error)) << error;
    ASSERT_EQ(block_types(input), (std::vector<int>{0, 3, 4, 6, 6, 1}));  // seek table and padding are not carried
    ASSERT_EQ(reader.carried_count, 3u);  // the comments, then the pictures
    ASSERT_EQ(reader.carried_blocks[0]->type, FLAC__METADATA_TYPE_VORBIS_COMMENT);
    // Fields in the struct's order; the empty album artist is left out.
    const MetadataTags tags{"Ti", "Ar", "Al", "", "Rock", "1999", "3", "12", "1", "2", "Note", "Comp", "(c)"};
    FLAC__StreamMetadata* tag_block = tags_build_vorbis_comment(tags, error, sizeof error);
    ASSERT_NE(tag_block, nullptr) << error;
    FLAC__StreamMetadata* blocks[] = {reader.carried_blocks[1], reader.carried_blocks[2], tag_block};

    const std::string output = dir.file("out.flac");
    FlacWriter writer{};
    ASSERT_TRUE(flac_writer_open(writer, output.c_str(), 44100, 24, 2, 10000, blocks, 3, 0, error, sizeof error)) << error;
    write_blocks(writer, test_signal(20000, 24, 22));
    ASSERT_TRUE(flac_writer_finish(writer));
    flac_reader_close(reader);
    metadata_block_free(tag_block);

    EXPECT_EQ(run("flac -t -s '" + output + "'"), 0);
    EXPECT_EQ(block_types(output), (std::vector<int>{0, 6, 6, 4}));
    EXPECT_EQ(capture("metaflac --export-tags-to=- '" + output + "'"),
              "TITLE=Ti\nARTIST=Ar\nALBUM=Al\nDATE=1999\nTRACKNUMBER=3\nTRACKTOTAL=12\nDISCNUMBER=1\nDISCTOTAL=2\n"
              "GENRE=Rock\nCOMMENT=Note\nCOMPOSER=Comp\nCOPYRIGHT=(c)\nENCODER=QV-HDCD 1.0.1.0\n");
    const std::string pictures = capture("metaflac --list --block-type=PICTURE '" + output + "'");
    EXPECT_LT(pictures.find("description: front"), pictures.find("description: back"));
}
