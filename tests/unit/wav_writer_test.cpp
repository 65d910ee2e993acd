#include <algorithm>
#include <csignal>
#include <cstring>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

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
        ASSERT_TRUE(wav_writer_create(writer, wav.c_str(), 44100, 2, static_cast<uint16_t>(bits), expected_frames,
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

        const int status = run_peer("read '" + wav + "' '" + raw + "'");
        if (status == PEER_MISSING) GTEST_SKIP() << "python3-soundfile is not installed";
        ASSERT_EQ(status, 0);
        EXPECT_EQ(capture("cat '" + raw + ".txt'"), std::string(peer_says) + "\n");
        EXPECT_TRUE(read_file(raw) == to_raw(samples, 4));
    }
}

TEST(WavWriter, FullDiskFailuresAreReported) {
    // A file-size limit with SIGXFSZ ignored: writes past it fail as on a full disk.
    for (const bool at_create : {true, false}) {
        SCOPED_TRACE(at_create ? "header refused at create" : "buffered samples refused at finish");
        TempDir dir;
        const pid_t child = fork();
        if (child == 0) {
            signal(SIGXFSZ, SIG_IGN);
            const rlim_t bytes = at_create ? 20 : 44 + 1000;
            const struct rlimit limit = {bytes, bytes};
            if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(90);
            char error_text[256] = "";
            WavWriter writer;
            const bool created =
                wav_writer_create_pcm24(writer, dir.file("full.wav").c_str(), 44100, 2, 1000, error_text, sizeof error_text);
            if (at_create) _exit(!created && writer.file == nullptr && !strcmp(error_text, "Unable to create output file.") ? 0 : 1);
            // Small enough to stay in the stream's buffer until finish flushes it.
            const std::vector<int32_t> block(2 * 300, 0x7F7F7F00);
            const bool wrote = created && wav_writer_write_pcm24(writer, block.data(), 300) == 300;
            _exit(wrote && !wav_writer_finish(writer) && writer.file == nullptr ? 0 : 2);
        }
        int status = -1;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status;
    }
}
