#include <algorithm>

#include "audio_io/flac_reader.h"
#include "wav_test_support.h"

using namespace io_test;

TEST(FlacReader, DeliversWhatFlacEncodedAndFlagsDamage) {
    for (const uint32_t bits : {16u, 24u}) {
        SCOPED_TRACE(bits);
        TempDir dir;
        const std::vector<int32_t> samples = test_signal(120000, bits, bits);
        write_file(dir.file("in.raw"), to_raw(samples, bits / 8));
        ASSERT_EQ(run("flac -s --force-raw-format --endian=little --sign=signed --channels=2 --sample-rate=44100 --bps=" +
                      std::to_string(bits) + " --blocksize=4608 --no-padding --no-seektable -o '" + dir.file("in.flac") +
                      "' '" + dir.file("in.raw") + "'"),
                  0);
        const Bytes bytes = read_file(dir.file("in.flac"));
        const size_t MD5 = 8 + 18;  // after "fLaC", the block header and 18 bytes of STREAMINFO
        Bytes changed = bytes, zeroed = bytes, damaged = bytes;
        changed[MD5 + 5] ^= 0x01;
        zeroed[MD5 - 5] &= 0xF0;  // with the next four bytes, the 36-bit total sample count
        std::fill(zeroed.begin() + MD5 - 4, zeroed.begin() + MD5 + 16, 0);
        for (size_t i = bytes.size() / 2; i < bytes.size() / 2 + 64; ++i) damaged[i] ^= 0xA5;
        const std::tuple<const char*, Bytes, int> cases[] = {{"untouched", bytes, 0},
                                                             {"changed signature", changed, 1},
                                                             {"all-zero signature and no total", zeroed, 0},
                                                             {"damaged frame", damaged, 1}};
        // Requests smaller than flac's 4608-frame blocks, and larger ones that
        // take whole frames directly and the rest of a frame on the next read.
        for (const uint64_t request : {1000u, 10000u}) {
            for (const auto& [name, file, flag] : cases) {
                SCOPED_TRACE(std::string(name) + ", reads of " + std::to_string(request));
                write_file(dir.file("in.flac"), file);
                FlacReader reader{};
                char error[256] = "";
                ASSERT_TRUE(flac_reader_open(reader, dir.file("in.flac").c_str(), error, sizeof error)) << error;
                EXPECT_EQ(reader.bits_per_sample, bits);
                const std::vector<int32_t> decoded = read_all(reader, flac_reader_read, request);
                EXPECT_EQ(reader.error, flag);
                if (flag == 0) {
                    EXPECT_TRUE(decoded == samples);
                }
                flac_reader_close(reader);
            }
        }
    }
}

TEST(FlacReader, FrameWiderThanTheStreamIsAnErrorNotData) {
    // Found by fuzzing: STREAMINFO says 16 bits, a later frame header says otherwise.
    FlacReader reader{};
    char error[256] = "";
    const std::string path = QV_SOURCE_DIR "/fuzz/regressions/flac_reader/frame_depth_differs_from_streaminfo.flac";
    ASSERT_TRUE(flac_reader_open(reader, path.c_str(), error, sizeof error)) << error;
    ASSERT_EQ(reader.bits_per_sample, 16u);
    for (const int32_t value : read_all(reader, flac_reader_read, uint64_t{4096})) {
        ASSERT_TRUE(value >= -32768 && value <= 32767) << value;
    }
    EXPECT_TRUE(reader.error);
    flac_reader_close(reader);
}
