#include <algorithm>

#include "audio_io/flac_writer.h"
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
