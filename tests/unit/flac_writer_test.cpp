#include <algorithm>

#include "audio_io/flac_writer.h"
#include "wav_test_support.h"

using namespace io_test;

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
        FILE* file = fopen(path.c_str(), "w+b");
        ASSERT_NE(file, nullptr);
        ASSERT_TRUE(flac_writer_open(writer, file, sample_rate, bits, 2, estimate, nullptr, 0, 0, error, sizeof error))
            << error;
        for (uint64_t done = 0, count; done < frames; done += count) {  // in blocks, as the operations write
            count = std::min<uint64_t>(16384, frames - done);
            ASSERT_EQ(flac_writer_write(writer, samples.data() + 2 * done, count), count);
        }
        ASSERT_TRUE(flac_writer_finish(writer));
        ASSERT_EQ(fclose(file), 0);

        EXPECT_EQ(run("flac -t -s '" + path + "'"), 0);
        EXPECT_EQ(capture("metaflac --show-bps --show-sample-rate --show-total-samples '" + path + "'"),
                  std::to_string(bits) + "\n" + std::to_string(sample_rate) + "\n" + std::to_string(frames) + "\n");
        EXPECT_EQ(capture("metaflac --list '" + path + "' | sed -n 's/^  type: //p'"),
                  "0 (STREAMINFO)\n4 (VORBIS_COMMENT)\n");  // libFLAC's own empty comment block
        ASSERT_EQ(run("flac -d -s -f --force-raw-format --endian=little --sign=signed -o '" + dir.file("out.raw") + "' '" +
                      path + "'"),
                  0);
        EXPECT_TRUE(read_file(dir.file("out.raw")) == to_raw(samples, (bits + 7) / 8));
    }
}
