// Cross-checks against an independent WAV/RF64 implementation (libsndfile via
// python3-soundfile): files it writes must read back here with their samples,
// and every kind of file our writer produces must read back there.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include <sys/wait.h>

#include "audio_io/wav_reader.h"
#include "audio_io/wav_writer.h"
#include "wav_test_support.h"

using namespace wav_test;

namespace {

const int PEER_MISSING = 77;

int run_peer(const std::string& arguments) {
    const std::string command =
        "/usr/bin/python3 '" QV_SOURCE_DIR "/tests/peers/soundfile_peer.py' " + arguments + " > /dev/null 2>&1";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Interleaved stereo test signal at the given width: both full-scale extremes
// first, then pseudo-random values.
std::vector<int32_t> test_signal(int bits, size_t frames) {
    const int64_t low = -(int64_t{1} << (bits - 1));
    const int64_t high = (int64_t{1} << (bits - 1)) - 1;
    std::vector<int32_t> samples = {static_cast<int32_t>(low), static_cast<int32_t>(high),
                                    static_cast<int32_t>(high), static_cast<int32_t>(low)};
    uint64_t state = 0x9E3779B97F4A7C15ull;
    while (samples.size() < 2 * frames) {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        samples.push_back(static_cast<int32_t>(static_cast<int64_t>(state >> 33) % (high - low + 1) + low));
    }
    return samples;
}

void write_raw(const std::string& path, const std::vector<int32_t>& samples) {
    Bytes bytes;
    for (int32_t v : samples) put_le(bytes, static_cast<uint32_t>(v), 4);
    write_file(path, bytes);
}

std::vector<int32_t> read_raw(const std::string& path) {
    const Bytes bytes = read_file(path);
    std::vector<int32_t> samples;
    for (size_t i = 0; i + 4 <= bytes.size(); i += 4) {
        samples.push_back(static_cast<int32_t>(bytes[i] | (bytes[i + 1] << 8) | (bytes[i + 2] << 16) |
                                               (static_cast<uint32_t>(bytes[i + 3]) << 24)));
    }
    return samples;
}

std::string read_text(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

TEST(WavPeer, FilesWrittenByThePeerReadBackHere) {
    struct Case {
        const char* container;
        const char* subtype;
        int bits;
        int32_t rf64;
    };
    const Case cases[] = {
        {"WAV", "PCM_16", 16, 0},
        {"WAV", "PCM_24", 24, 0},
        {"RF64", "PCM_16", 16, 1},
        {"RF64", "PCM_24", 24, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.container) + " " + c.subtype);
        const std::vector<int32_t> samples = test_signal(c.bits, 20000);
        const std::string raw = scratch_path("in.raw");
        const std::string wav = scratch_path("peer.wav");
        write_raw(raw, samples);
        const int status = run_peer(std::string("write '") + wav + "' " + c.container + " " + c.subtype + " 88200 '" + raw + "'");
        if (status == PEER_MISSING) GTEST_SKIP() << "python3-soundfile is not installed";
        ASSERT_EQ(status, 0);

        WavReader reader;
        char error_text[256];
        ASSERT_TRUE(wav_reader_open(reader, wav.c_str(), error_text, sizeof error_text)) << error_text;
        EXPECT_EQ(reader.rf64, c.rf64);
        EXPECT_EQ(reader.info.sample_rate, 88200u);
        EXPECT_EQ(reader.info.valid_bits, c.bits);
        EXPECT_EQ(pcm_stream_info_expected_frames(reader.info), 20000u);
        std::vector<int32_t> back;
        std::vector<int32_t> block(2 * 16384);
        uint32_t frames;
        while ((frames = wav_reader_read(reader, block.data(), 16384)) > 0) {
            back.insert(back.end(), block.begin(), block.begin() + 2 * frames);
        }
        wav_reader_close(reader);
        EXPECT_EQ(back, samples);
        remove(raw.c_str());
        remove(wav.c_str());
    }
}

TEST(WavPeer, EveryKindOfOutputReadsBackInThePeer) {
    struct Case {
        const char* name;
        int bits;
        uint64_t expected_frames;
        const char* peer_says;
    };
    const Case cases[] = {
        {"RIFF PCM16", 16, 20000, "WAV PCM_16 44100 2 20000"},
        {"RIFF PCM24", 24, 20000, "WAV PCM_24 44100 2 20000"},
        {"RIFF PCM24 outgrowing a zero estimate", 24, 0, "WAV PCM_24 44100 2 20000"},
        {"RF64 PCM24 from the smallest estimate that needs it", 24, 715827877, "RF64 PCM_24 44100 2 20000"},
        {"RF64 PCM16 finished far short of its estimate", 16, 5000000000ull, "RF64 PCM_16 44100 2 20000"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<int32_t> samples = test_signal(c.bits, 20000);
        const std::string wav = scratch_path("ours.wav");
        const std::string raw = scratch_path("out.raw");
        char error_text[256];
        WavWriter writer;
        ASSERT_TRUE(wav_writer_create(writer, wav.c_str(), 44100, 2, static_cast<uint16_t>(c.bits), c.expected_frames,
                                      error_text, sizeof error_text));
        // Written in uneven blocks, as a decode with a short last block would.
        for (size_t frame = 0; frame < 20000;) {
            const uint32_t count = static_cast<uint32_t>(std::min<size_t>(16384, 20000 - frame));
            if (c.bits == 16) {
                std::vector<int16_t> block(samples.begin() + 2 * frame, samples.begin() + 2 * (frame + count));
                ASSERT_EQ(wav_writer_write_pcm16(writer, block.data(), count), count);
            } else {
                std::vector<int32_t> block(samples.begin() + 2 * frame, samples.begin() + 2 * (frame + count));
                for (int32_t& v : block) v = static_cast<int32_t>(static_cast<uint32_t>(v) << 8);
                ASSERT_EQ(wav_writer_write_pcm24(writer, block.data(), count), count);
            }
            frame += count;
        }
        ASSERT_TRUE(wav_writer_finish(writer));

        const int status = run_peer("read '" + wav + "' '" + raw + "'");
        if (status == PEER_MISSING) GTEST_SKIP() << "python3-soundfile is not installed";
        ASSERT_EQ(status, 0);
        EXPECT_EQ(read_text(raw + ".txt"), c.peer_says);
        EXPECT_EQ(read_raw(raw), samples);
        remove(wav.c_str());
        remove(raw.c_str());
        remove((raw + ".txt").c_str());
    }
}

}  // namespace
