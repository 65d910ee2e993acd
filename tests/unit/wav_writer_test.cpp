#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "audio_io/wav_reader.h"
#include "audio_io/wav_writer.h"
#include "wav_test_support.h"

using namespace wav_test;

namespace {

const Bytes FMT_PCM24_44100 = {'f', 'm', 't', ' ', 16, 0, 0, 0, 1, 0, 2, 0, 0x44, 0xAC, 0, 0,
                               0x98, 0x09, 0x04, 0, 6, 0, 24, 0};

Bytes slice(const Bytes& bytes, size_t from, size_t count) {
    if (from + count > bytes.size()) return {};
    return Bytes(bytes.begin() + from, bytes.begin() + from + count);
}

uint64_t le_at(const Bytes& bytes, size_t from, int width) {
    uint64_t value = 0;
    for (int i = width - 1; i >= 0; --i) value = (value << 8) | bytes.at(from + i);
    return value;
}

TEST(WavWriterHeader, RiffPcm24And16HeaderBytes) {
    const std::string path = scratch_path("riff.wav");
    char error_text[256];
    WavWriter writer;
    ASSERT_TRUE(wav_writer_create_pcm24(writer, path.c_str(), 44100, 2, 1000, error_text, sizeof error_text));
    EXPECT_EQ(writer.rf64, 0);
    // Only the upper three bytes of each value are stored.
    std::vector<int32_t> block(2000, 0x12345678);
    const int32_t edges[6] = {-256, INT32_MIN, INT32_MAX, 0xFF, -1, 0x12345678};
    std::copy(edges, edges + 6, block.begin() + 1);
    ASSERT_EQ(wav_writer_write_pcm24(writer, block.data(), 1000), 1000u);
    EXPECT_EQ(writer.frames_written, 1000u);
    ASSERT_TRUE(wav_writer_finish(writer));
    EXPECT_EQ(writer.file, nullptr);
    EXPECT_TRUE(wav_writer_finish(writer));  // a second finish does nothing

    const Bytes file = read_file(path);
    ASSERT_EQ(file.size(), 6044u);
    const Bytes expected = concat({{'R', 'I', 'F', 'F', 0x94, 0x17, 0, 0, 'W', 'A', 'V', 'E'},
                                   FMT_PCM24_44100,
                                   {'d', 'a', 't', 'a', 0x70, 0x17, 0, 0}});
    EXPECT_EQ(slice(file, 0, 44), expected);
    EXPECT_EQ(slice(file, 44, 21), (Bytes{0x56, 0x34, 0x12, 0xFF, 0xFF, 0xFF, 0, 0, 0x80, 0xFF, 0xFF, 0x7F, 0, 0, 0,
                                          0xFF, 0xFF, 0xFF, 0x56, 0x34, 0x12}));

    // PCM16 at 48 kHz: byte rate 192000, block align 4.
    ASSERT_TRUE(wav_writer_create_pcm16(writer, path.c_str(), 48000, 2, 3, error_text, sizeof error_text));
    const int16_t samples[6] = {-2, 1, 32767, -32768, 0x1234, 0};
    ASSERT_EQ(wav_writer_write_pcm16(writer, samples, 3), 3u);
    ASSERT_TRUE(wav_writer_finish(writer));
    const Bytes file16 = read_file(path);
    const Bytes expected16 = {'R', 'I', 'F', 'F', 48, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ', 16, 0, 0, 0, 1, 0, 2, 0,
                              0x80, 0xBB, 0, 0, 0x00, 0xEE, 0x02, 0, 4, 0, 16, 0, 'd', 'a', 't', 'a', 12, 0, 0, 0,
                              0xFE, 0xFF, 1, 0, 0xFF, 0x7F, 0x00, 0x80, 0x34, 0x12, 0, 0};
    EXPECT_EQ(file16, expected16);
    remove(path.c_str());
}

TEST(WavWriterHeader, ContainerFollowsTheEstimateAndSizesFollowTheOutput) {
    struct Case {
        const char* name;
        uint16_t bits;
        uint64_t expected_frames;
        uint32_t frames_to_write;
        int32_t rf64;
    };
    const std::vector<Case> cases = {
        {"PCM24 largest RIFF estimate", 24, 715827876, 2, 0},
        {"PCM24 one frame more", 24, 715827877, 2, 1},
        {"PCM16 largest RIFF estimate", 16, 1073741814, 2, 0},
        {"PCM16 one frame more", 16, 1073741815, 2, 1},
        {"absurd estimate", 24, UINT64_MAX / 3, 1, 1},
        {"RF64 with no frames", 24, 4000000000ull, 0, 1},
        {"RIFF with no frames", 24, 0, 0, 0},
        {"estimate 0, output larger", 24, 0, 5000, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = scratch_path("choice.wav");
        char error_text[256];
        WavWriter writer;
        ASSERT_TRUE(wav_writer_create(writer, path.c_str(), 96000, 2, c.bits, c.expected_frames, error_text, sizeof error_text));
        EXPECT_EQ(writer.rf64, c.rf64);
        std::vector<int32_t> wide(2 * c.frames_to_write);
        std::vector<int16_t> narrow(2 * c.frames_to_write);
        for (size_t i = 0; i < wide.size(); ++i) {
            narrow[i] = static_cast<int16_t>(i * 7919);
            wide[i] = static_cast<int32_t>(static_cast<uint32_t>(i * 2654435761u) & 0xFFFFFF00u);
        }
        if (c.bits == 16) {
            ASSERT_EQ(wav_writer_write_pcm16(writer, narrow.data(), c.frames_to_write), c.frames_to_write);
        } else {
            ASSERT_EQ(wav_writer_write_pcm24(writer, wide.data(), c.frames_to_write), c.frames_to_write);
        }
        ASSERT_TRUE(wav_writer_finish(writer));

        const Bytes file = read_file(path);
        const uint64_t data_bytes = uint64_t{c.frames_to_write} * 2 * (c.bits / 8);
        const size_t header = c.rf64 ? 80 : 44;
        ASSERT_EQ(file.size(), header + data_bytes);
        if (c.rf64) {
            EXPECT_EQ(slice(file, 0, 20), (Bytes{'R', 'F', '6', '4', 0xFF, 0xFF, 0xFF, 0xFF, 'W', 'A', 'V', 'E', 'd', 's', '6',
                                                 '4', 28, 0, 0, 0}));
            EXPECT_EQ(le_at(file, 20, 8), 72 + data_bytes);
            EXPECT_EQ(le_at(file, 28, 8), data_bytes);
            EXPECT_EQ(le_at(file, 36, 8), c.frames_to_write);
            EXPECT_EQ(le_at(file, 44, 4), 0u);
            EXPECT_EQ(slice(file, 48, 4), (Bytes{'f', 'm', 't', ' '}));
            EXPECT_EQ(slice(file, 72, 8), (Bytes{'d', 'a', 't', 'a', 0xFF, 0xFF, 0xFF, 0xFF}));
        } else {
            EXPECT_EQ(le_at(file, 4, 4), 36 + data_bytes);
            EXPECT_EQ(le_at(file, 40, 4), data_bytes);
        }

        // Whatever the container, our reader gets the samples back.
        WavReader reader;
        ASSERT_TRUE(wav_reader_open(reader, path.c_str(), error_text, sizeof error_text)) << error_text;
        EXPECT_EQ(reader.rf64, c.rf64);
        EXPECT_EQ(reader.info.sample_rate, 96000u);
        EXPECT_EQ(reader.info.data_offset, static_cast<int64_t>(header));
        EXPECT_EQ(pcm_stream_info_expected_frames(reader.info), c.frames_to_write);
        std::vector<int32_t> back(2 * c.frames_to_write + 2);
        EXPECT_EQ(wav_reader_read(reader, back.data(), c.frames_to_write + 1), c.frames_to_write);
        for (size_t i = 0; i < wide.size(); ++i) {
            ASSERT_EQ(back[i], c.bits == 16 ? narrow[i] : wide[i] >> 8) << "sample " << i;
        }
        wav_reader_close(reader);
        remove(path.c_str());
    }
}

TEST(WavWriterLifecycle, UnusableRequestsAndUnfinishedClose) {
    char error_text[256];
    WavWriter writer;
    EXPECT_TRUE(wav_writer_finish(writer));  // never created
    EXPECT_FALSE(wav_writer_create_pcm24(writer, (scratch_path("no-dir") + "/x.wav").c_str(), 44100, 2, 0, error_text,
                                         sizeof error_text));
    EXPECT_STREQ(error_text, "Unable to create output file.");
    EXPECT_EQ(writer.file, nullptr);
    const int32_t samples[2] = {0, 0};
    EXPECT_EQ(wav_writer_write_pcm24(writer, samples, 1), 0u);

    // Closing without finishing leaves the zero size fields of the provisional header.
    const std::string path = scratch_path("unfinished.wav");
    ASSERT_TRUE(wav_writer_create_pcm24(writer, path.c_str(), 44100, 2, 100, error_text, sizeof error_text));
    ASSERT_EQ(wav_writer_write_pcm24(writer, samples, 1), 1u);
    wav_writer_close_unfinished(writer);
    EXPECT_EQ(writer.file, nullptr);
    EXPECT_TRUE(wav_writer_finish(writer));
    const Bytes file = read_file(path);
    ASSERT_EQ(file.size(), 50u);
    EXPECT_EQ(le_at(file, 4, 4), 0u);
    EXPECT_EQ(le_at(file, 40, 4), 0u);

    // A RIFF file whose output outgrew the 32-bit fields (as after a zero
    // estimate) fails at finish, closed and unpatched.
    ASSERT_TRUE(wav_writer_create_pcm24(writer, path.c_str(), 44100, 2, 0, error_text, sizeof error_text));
    ASSERT_EQ(wav_writer_write_pcm24(writer, samples, 1), 1u);
    writer.frames_written = 715827883;  // 4294967298 data bytes, standing in for the writing
    EXPECT_FALSE(wav_writer_finish(writer));
    EXPECT_EQ(writer.file, nullptr);
    EXPECT_TRUE(wav_writer_finish(writer));
    const Bytes outgrown = read_file(path);
    ASSERT_EQ(outgrown.size(), 50u);
    EXPECT_EQ(le_at(outgrown, 4, 4), 0u);
    EXPECT_EQ(le_at(outgrown, 40, 4), 0u);
    remove(path.c_str());
}

// Runs body in a child whose file-size limit is limit bytes, with SIGXFSZ
// ignored so that writes past the limit fail with EFBIG as on a full disk.
// Returns the child's exit code.
int run_with_file_size_limit(rlim_t limit, int (*body)(const char*), const std::string& path) {
    const pid_t child = fork();
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        struct rlimit rl;
        rl.rlim_cur = limit;
        rl.rlim_max = limit;
        if (setrlimit(RLIMIT_FSIZE, &rl) != 0) _exit(90);
        _exit(body(path.c_str()));
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

// Exit codes: 0 the fault was reported as expected, others say what went wrong.
int create_on_full_disk(const char* path) {
    char error_text[256] = "";
    WavWriter writer;
    if (wav_writer_create_pcm24(writer, path, 44100, 2, 1000, error_text, sizeof error_text)) return 1;
    if (writer.file != nullptr) return 2;
    return std::strcmp(error_text, "Unable to create output file.") == 0 ? 0 : 3;
}

int finish_on_full_disk(const char* path) {
    char error_text[256] = "";
    WavWriter writer;
    if (!wav_writer_create_pcm24(writer, path, 44100, 2, 1000, error_text, sizeof error_text)) return 1;
    // Small enough to sit in the stream's buffer: the write itself succeeds and
    // the refusal only comes when the buffer is flushed at finish.
    const std::vector<int32_t> block(2 * 300, 0x7F7F7F00);
    if (wav_writer_write_pcm24(writer, block.data(), 300) != 300) return 2;
    if (wav_writer_finish(writer)) return 3;
    if (writer.file != nullptr) return 4;
    return wav_writer_finish(writer) ? 0 : 5;
}

int short_block_write(const char* path) {
    char error_text[256] = "";
    WavWriter writer;
    if (!wav_writer_create_pcm24(writer, path, 44100, 2, 1000, error_text, sizeof error_text)) return 1;
    // Larger than any stdio buffer: goes straight to the file and comes up short.
    const std::vector<int32_t> block(2 * 16384, 0x01020300);
    const uint32_t written = wav_writer_write_pcm24(writer, block.data(), 16384);
    if (written >= 16384) return 2;
    if (writer.frames_written != written) return 3;
    wav_writer_close_unfinished(writer);
    return 0;
}

TEST(WavWriterFullDisk, FailuresAreReportedNotHidden) {
    struct Case {
        const char* name;
        rlim_t limit;
        int (*body)(const char*);
    };
    const Case cases[] = {
        {"header refused", 20, create_on_full_disk},
        {"buffered samples refused at finish", 44 + 1000, finish_on_full_disk},
        {"block write comes up short", 44 + 50000, short_block_write},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = scratch_path("full.wav");
        remove(path.c_str());
        EXPECT_EQ(run_with_file_size_limit(c.limit, c.body, path), 0);
        remove(path.c_str());
    }
}

}  // namespace
