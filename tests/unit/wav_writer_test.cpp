#include <algorithm>
#include <cstring>

#include "audio_io/wav_writer.h"
#include "wav_test_support.h"

using namespace io_test;

TEST(WavWriter, EveryKindOfOutputReadsBackInThePeer) {
    const std::tuple<const char*, int, uint64_t, const char*> cases[] = {
        {"PCM16", 16, 20000, "WAV PCM_16 44100 2 20000"},
        {"PCM24 at the largest RIFF estimate", 24, 715827876, "WAV PCM_24 44100 2 20000"},
        {"PCM24 one frame more", 24, 715827877, "RF64 PCM_24 44100 2 20000"},
        {"RIFF outgrowing a zero estimate", 24, 0, "WAV PCM_24 44100 2 20000"},
        {"RF64 finished far short of its estimate", 16, 5000000000ull, "RF64 PCM_16 44100 2 20000"},
    };
    TempDir dir;
    for (const auto& [name, bits, expected_frames, peer_says] : cases) {
        SCOPED_TRACE(name);
        const std::vector<int32_t> samples = test_signal(40000, bits, bits);
        const std::string wav = dir.file("ours.wav"), raw = dir.file("out.raw");
        char error_text[256] = "";
        WavWriter writer;
        FILE* file = fopen(wav.c_str(), "w+b");
        ASSERT_NE(file, nullptr);
        ASSERT_TRUE(wav_writer_create(writer, file, 44100, 2, static_cast<uint16_t>(bits), expected_frames,
                                      error_text, sizeof error_text));
        EXPECT_EQ(writer.rf64, std::strncmp(peer_says, "RF64", 4) == 0);
        // PCM24 keeps the top three bytes of each value. Uneven blocks, as with a short last block.
        const std::vector<int16_t> narrow(samples.begin(), samples.end());
        std::vector<int32_t> wide(samples.size());
        for (size_t i = 0; i < wide.size(); ++i) wide[i] = samples[i] * 256 + (i & 0xFF);
        for (uint32_t frame = 0, count; frame < 20000; frame += count) {
            count = std::min(16384u, 20000 - frame);
            ASSERT_EQ(bits == 16 ? wav_writer_write_pcm16(writer, &narrow[2 * frame], count)
                                 : wav_writer_write_pcm24(writer, &wide[2 * frame], count), count);
        }
        ASSERT_TRUE(wav_writer_finish(writer));
        ASSERT_EQ(fclose(file), 0);

        // The python3-soundfile peer (tests/peers/soundfile_peer.py) exits 77 without soundfile.
        const int status = run("/usr/bin/python3 '" QV_SOURCE_DIR "/tests/peers/soundfile_peer.py' read '" + wav + "' '" + raw + "'");
        if (status == 77) GTEST_SKIP() << "python3-soundfile is not installed";
        ASSERT_EQ(status, 0);
        EXPECT_EQ(capture("cat '" + raw + ".txt'"), std::string(peer_says) + "\n");
        EXPECT_TRUE(read_file(raw) == to_raw(samples, 4));
    }
}
