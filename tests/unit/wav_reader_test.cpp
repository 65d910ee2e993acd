#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "audio_io/wav_reader.h"
#include "wav_test_support.h"

using namespace wav_test;

namespace {

Bytes pcm16_data(std::initializer_list<int> values) {
    Bytes out;
    for (int v : values) put_le(out, static_cast<uint16_t>(v), 2);
    return out;
}

Bytes pcm16_fmt() { return chunk("fmt ", fmt_body(1, 2, 44100, 16)); }

// Reads everything with blocks of max_frames; stops at the first 0.
std::vector<int32_t> read_all(WavReader& reader, uint32_t max_frames) {
    std::vector<int32_t> all;
    std::vector<int32_t> block(2 * static_cast<size_t>(max_frames));
    for (;;) {
        const uint32_t frames = wav_reader_read(reader, block.data(), max_frames);
        if (frames == 0) break;
        EXPECT_LE(frames, max_frames);
        all.insert(all.end(), block.begin(), block.begin() + 2 * frames);
    }
    return all;
}

struct OpenFailureCase {
    const char* name;
    Bytes file;
    const char* message;
};

TEST(WavReaderOpen, RejectsEachMalformedOrUnsupportedInputWithItsMessage) {
    const Bytes data4 = chunk("data", pcm16_data({1, 2}));
    Bytes ds64_short;
    put_le(ds64_short, 0, 8);
    put_le(ds64_short, 4, 8);
    put_le(ds64_short, 1, 4);  // 20 bytes: below the fixed part
    Bytes fmt14 = fmt_body(1, 2, 44100, 16);
    fmt14.resize(14);
    Bytes riff_head;
    put_text(riff_head, "RIFF");
    put_le(riff_head, 4, 4);
    put_text(riff_head, "WAV");

    const std::vector<OpenFailureCase> cases = {
        {"empty file", {}, "Input is not RIFF/RF64 WAVE."},
        {"eleven bytes", riff_head, "Input is not RIFF/RF64 WAVE."},
        {"AVI form", concat({{'R', 'I', 'F', 'F', 4, 0, 0, 0, 'A', 'V', 'I', ' '}, pcm16_fmt(), data4}),
         "Input is not RIFF/RF64 WAVE."},
        {"fmt but no data", wave("RIFF", pcm16_fmt()), "Required WAVE chunks not found."},
        {"data before fmt", wave("RIFF", concat({data4, pcm16_fmt()})), "Required WAVE chunks not found."},
        {"chunk running past the end",
         wave("RIFF", concat({chunk("LIST", {1, 2, 3, 4}, 1000), pcm16_fmt(), data4})),
         "Required WAVE chunks not found."},
        {"truncated chunk header", wave("RIFF", concat({pcm16_fmt(), {'d', 'a', 't', 'a', 8, 0}})),
         "Required WAVE chunks not found."},
        {"ds64 below 28 bytes", wave("RF64", concat({chunk("ds64", ds64_short), pcm16_fmt(), data4})),
         "Required WAVE chunks not found."},
        {"ds64 cut short by the end of file", wave("RF64", chunk("ds64", ds64_short, 28, false)),
         "Required WAVE chunks not found."},
        {"fmt below 16 bytes",
         wave("RIFF", concat({chunk("fmt ", fmt14), data4})),
         "Required WAVE chunks not found."},
        {"fmt cut short by the end of file", wave("RIFF", chunk("fmt ", {1, 0, 2, 0}, 16, false)),
         "Required WAVE chunks not found."},
        {"extensible float", wave("RIFF", concat({chunk("fmt ", extensible_body(32, 32, 3)), data4})),
         "WAVE_FORMAT_EXTENSIBLE input is not PCM integer."},
        {"RF64 data size from a missing ds64", wave("RF64", concat({pcm16_fmt(), chunk("data", pcm16_data({1, 2}), 0xFFFFFFFF)})),
         "RF64 data chunk requires a valid ds64 chunk."},
        {"extensible tag in an 18-byte fmt",
         wave("RIFF", concat({chunk("fmt ", concat({fmt_body(0xFFFE, 2, 44100, 24), {0, 0}})), data4})),
         "Requires stereo integer PCM WAVE."},
        {"mono", wave("RIFF", concat({chunk("fmt ", fmt_body(1, 1, 44100, 16)), data4})), "Requires stereo integer PCM WAVE."},
        {"float tag", wave("RIFF", concat({chunk("fmt ", fmt_body(3, 2, 44100, 32)), data4})),
         "Requires stereo integer PCM WAVE."},
        {"8-bit", wave("RIFF", concat({chunk("fmt ", fmt_body(1, 2, 44100, 8)), data4})),
         "Supported depths: PCM16, PCM20-in-24, PCM24."},
        {"extensible with 0 valid bits", wave("RIFF", concat({chunk("fmt ", extensible_body(24, 0)), data4})),
         "Supported depths: PCM16, PCM20-in-24, PCM24."},
        {"extensible 16 valid bits in 24", wave("RIFF", concat({chunk("fmt ", extensible_body(24, 16)), data4})),
         "Supported depths: PCM16, PCM20-in-24, PCM24."},
    };
    for (const OpenFailureCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = scratch_path("bad.wav");
        write_file(path, c.file);
        WavReader reader;
        char error_text[256];
        std::memset(error_text, 'x', sizeof error_text);
        EXPECT_FALSE(wav_reader_open(reader, path.c_str(), error_text, sizeof error_text));
        EXPECT_STREQ(error_text, c.message);
        EXPECT_EQ(reader.file, nullptr);
        EXPECT_EQ(reader.info.channel_count, 0);
        EXPECT_EQ(reader.info.data_size, 0u);
        EXPECT_EQ(reader.rf64, 0);
        int32_t block[4];
        EXPECT_EQ(wav_reader_read(reader, block, 2), 0u);
        wav_reader_close(reader);
        remove(path.c_str());
    }
}

TEST(WavReaderOpen, MissingFileAndShortErrorBuffer) {
    WavReader reader;
    char error_text[256];
    EXPECT_FALSE(wav_reader_open(reader, scratch_path("absent.wav").c_str(), error_text, sizeof error_text));
    EXPECT_STREQ(error_text, "Unable to open input file.");

    char small[8];
    EXPECT_FALSE(wav_reader_open(reader, scratch_path("absent.wav").c_str(), small, sizeof small));
    EXPECT_STREQ(small, "Unable ");
}

struct OpenSuccessCase {
    const char* name;
    Bytes file;
    int32_t rf64;
    uint16_t container_bits;
    uint16_t valid_bits;
    uint16_t block_align;
    int64_t data_offset;
    uint64_t data_size;
    const char* depth_name;
    std::vector<int32_t> samples;
};

TEST(WavReaderOpen, AcceptsEachSupportedLayoutAndDeliversItsSamples) {
    Bytes ds64_body;
    put_le(ds64_body, 0, 8);   // RIFF size: unused
    put_le(ds64_body, 8, 8);   // data size
    put_le(ds64_body, 99, 8);  // sample count: unused
    put_le(ds64_body, 0, 4);   // table length
    Bytes ds64_long = ds64_body;
    ds64_long.push_back(0xEE);  // 29 bytes: one extra byte and a pad byte

    const Bytes three_frames = pcm16_data({-32768, 32767, 1, -1, 0x1234, -0x1234});
    const Bytes pcm24_bytes = {0x56, 0x34, 0x12, 0x00, 0x00, 0x80, 0xFF, 0xFF, 0x7F, 0xFF, 0xFF, 0xFF};
    const Bytes pcm20_bytes = {0x10, 0x00, 0x80, 0xF0, 0xFF, 0x7F, 0x1F, 0x00, 0x00, 0xFF, 0xFF, 0xFF};

    const std::vector<OpenSuccessCase> cases = {
        {"canonical PCM16", wave("RIFF", concat({pcm16_fmt(), chunk("data", three_frames)})), 0, 16, 16, 4, 44, 12, "PCM16",
         {-32768, 32767, 1, -1, 0x1234, -0x1234}},
        {"odd unknown chunk before fmt", wave("RIFF", concat({chunk("LIST", {1, 2, 3}), pcm16_fmt(), chunk("data", three_frames)})),
         0, 16, 16, 4, 56, 12, "PCM16", {-32768, 32767, 1, -1, 0x1234, -0x1234}},
        {"odd unknown chunks between fmt and data",
         wave("RIFF", concat({pcm16_fmt(), chunk("junk", {9}), chunk("fact", {1, 2, 3, 4, 5}), chunk("data", three_frames)})), 0,
         16, 16, 4, 68, 12, "PCM16", {-32768, 32767, 1, -1, 0x1234, -0x1234}},
        {"odd-sized fmt with its pad byte", wave("RIFF", concat({chunk("fmt ", concat({fmt_body(1, 2, 44100, 16), {7}})),
                                                               chunk("data", pcm16_data({5, 6}))})),
         0, 16, 16, 4, 46, 4, "PCM16", {5, 6}},
        {"fmt longer than 40 bytes", wave("RIFF", concat({chunk("fmt ", concat({fmt_body(1, 2, 44100, 16), Bytes(34, 0xAB)})),
                                                         chunk("data", pcm16_data({5, 6}))})),
         0, 16, 16, 4, 78, 4, "PCM16", {5, 6}},
        {"a later fmt replaces an earlier one",
         wave("RIFF", concat({chunk("fmt ", fmt_body(1, 1, 8000, 8)), pcm16_fmt(), chunk("data", pcm16_data({5, 6}))})), 0, 16,
         16, 4, 68, 4, "PCM16", {5, 6}},
        {"PCM24", wave("RIFF", concat({chunk("fmt ", fmt_body(1, 2, 44100, 24)), chunk("data", pcm24_bytes)})), 0, 24, 24, 6, 44,
         12, "PCM24", {0x123456, -8388608, 8388607, -1}},
        {"extensible PCM24", wave("RIFF", concat({chunk("fmt ", extensible_body(24, 24)), chunk("data", pcm24_bytes)})), 0, 24,
         24, 6, 68, 12, "PCM24", {0x123456, -8388608, 8388607, -1}},
        {"extensible PCM20 in 24", wave("RIFF", concat({chunk("fmt ", extensible_body(24, 20)), chunk("data", pcm20_bytes)})),
         0, 24, 20, 6, 68, 12, "PCM20-in-24", {-524287, 524287, 1, -1}},
        {"RF64 size from ds64",
         wave("RF64", concat({chunk("ds64", ds64_body), pcm16_fmt(), chunk("data", three_frames, 0xFFFFFFFF)})), 1, 16, 16, 4,
         80, 8, "PCM16", {-32768, 32767, 1, -1}},
        {"RF64 with a longer odd ds64",
         wave("RF64", concat({chunk("ds64", ds64_long), pcm16_fmt(), chunk("data", three_frames, 0xFFFFFFFF)})), 1, 16, 16, 4,
         82, 8, "PCM16", {-32768, 32767, 1, -1}},
        {"RF64 with a real 32-bit data size", wave("RF64", concat({pcm16_fmt(), chunk("data", three_frames, 4)})), 1, 16, 16, 4,
         44, 4, "PCM16", {-32768, 32767}},
        {"RF64 with ds64 but a real 32-bit data size",
         wave("RF64", concat({chunk("ds64", ds64_body), pcm16_fmt(), chunk("data", three_frames)})), 1, 16, 16, 4, 80, 12,
         "PCM16", {-32768, 32767, 1, -1, 0x1234, -0x1234}},
        {"RIFF ignores ds64 and keeps an all-ones size",
         wave("RIFF", concat({chunk("ds64", ds64_body), pcm16_fmt(), chunk("data", three_frames, 0xFFFFFFFF)})), 0, 16, 16, 4,
         80, 0xFFFFFFFF, "PCM16", {-32768, 32767, 1, -1, 0x1234, -0x1234}},
        {"data size larger than the file", wave("RIFF", concat({pcm16_fmt(), chunk("data", three_frames, 4000)})), 0, 16, 16, 4,
         44, 4000, "PCM16", {-32768, 32767, 1, -1, 0x1234, -0x1234}},
        {"file ends inside a frame", wave("RIFF", concat({pcm16_fmt(), chunk("data", concat({three_frames, {1, 0, 2}}), 4000, false)})),
         0, 16, 16, 4, 44, 4000, "PCM16", {-32768, 32767, 1, -1, 0x1234, -0x1234}},
        {"data size of 4n+2", wave("RIFF", concat({pcm16_fmt(), chunk("data", pcm16_data({7, 8, 9}))})), 0, 16, 16, 4, 44, 6,
         "PCM16", {7, 8}},
        {"block align 0", wave("RIFF", concat({chunk("fmt ", fmt_body(1, 2, 44100, 16, 0)), chunk("data", pcm16_data({5, 6}))})),
         0, 16, 16, 0, 44, 4, "PCM16", {5, 6}},
        {"empty data", wave("RIFF", concat({pcm16_fmt(), chunk("data", {})})), 0, 16, 16, 4, 44, 0, "PCM16", {}},
    };
    for (const OpenSuccessCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = scratch_path("good.wav");
        write_file(path, c.file);
        WavReader reader;
        char error_text[256] = "";
        ASSERT_TRUE(wav_reader_open(reader, path.c_str(), error_text, sizeof error_text)) << error_text;
        EXPECT_EQ(reader.rf64, c.rf64);
        EXPECT_EQ(reader.info.format_tag, 1);
        EXPECT_EQ(reader.info.channel_count, 2);
        EXPECT_EQ(reader.info.container_bits, c.container_bits);
        EXPECT_EQ(reader.info.valid_bits, c.valid_bits);
        EXPECT_EQ(reader.info.block_align, c.block_align);
        EXPECT_EQ(reader.info.data_offset, c.data_offset);
        EXPECT_EQ(reader.info.data_size, c.data_size);
        EXPECT_EQ(reader.bytes_consumed, 0u);
        EXPECT_STREQ(pcm_stream_info_depth_name(reader.info), c.depth_name);
        EXPECT_EQ(pcm_stream_info_expected_frames(reader.info), c.block_align == 0 ? 0 : c.data_size / c.block_align);
        EXPECT_EQ(read_all(reader, 16384), c.samples);
        int32_t block[4];
        EXPECT_EQ(wav_reader_read(reader, block, 2), 0u);  // and it stays at the end
        wav_reader_close(reader);
        EXPECT_EQ(reader.file, nullptr);
        remove(path.c_str());
    }
}

TEST(WavReaderRead, BlockSizeDoesNotChangeTheSamples) {
    // 1000 frames with an odd trailing byte, in both sample widths; the reader
    // must give the same sequence whatever the block size.
    struct Layout {
        const char* name;
        Bytes fmt;
        int bytes_per_sample;
    };
    const std::vector<Layout> layouts = {
        {"PCM16", chunk("fmt ", fmt_body(1, 2, 48000, 16)), 2},
        {"PCM24", chunk("fmt ", fmt_body(1, 2, 48000, 24)), 3},
        {"PCM20-in-24", chunk("fmt ", extensible_body(24, 20)), 3},
    };
    for (const Layout& layout : layouts) {
        SCOPED_TRACE(layout.name);
        Bytes data;
        uint32_t state = 12345;
        for (int i = 0; i < 2000 * layout.bytes_per_sample + 1; ++i) {
            state = state * 1103515245u + 12345u;
            data.push_back(static_cast<uint8_t>(state >> 16));
        }
        const std::string path = scratch_path("blocks.wav");
        write_file(path, wave("RIFF", concat({layout.fmt, chunk("data", data)})));
        char error_text[256];
        WavReader reader;
        ASSERT_TRUE(wav_reader_open(reader, path.c_str(), error_text, sizeof error_text)) << error_text;
        const std::vector<int32_t> whole = read_all(reader, 16384);
        ASSERT_EQ(whole.size(), 2000u);
        EXPECT_EQ(reader.bytes_consumed, 2000u * layout.bytes_per_sample);
        wav_reader_close(reader);
        for (uint32_t block : {1u, 3u, 7u, 999u, 1000u, 1001u}) {
            SCOPED_TRACE(block);
            ASSERT_TRUE(wav_reader_open(reader, path.c_str(), error_text, sizeof error_text));
            EXPECT_EQ(read_all(reader, block), whole);
            wav_reader_close(reader);
        }
        remove(path.c_str());
    }
}

TEST(WavReaderRead, ReadsAHeaderFromAPipe) {
    // Nothing in opening or reading needs to seek when no chunk must be skipped
    // by seeking, so a FIFO works as input.
    const std::string path = scratch_path("fifo.wav");
    remove(path.c_str());
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    const Bytes file = wave("RIFF", concat({chunk("LIST", {1, 2, 3}), pcm16_fmt(), chunk("data", pcm16_data({1, 2, 3, 4}))}));
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        FILE* out = fopen(path.c_str(), "wb");
        const bool ok = out != nullptr && fwrite(file.data(), 1, file.size(), out) == file.size() && fclose(out) == 0;
        _exit(ok ? 0 : 1);
    }
    WavReader reader;
    char error_text[256];
    ASSERT_TRUE(wav_reader_open(reader, path.c_str(), error_text, sizeof error_text)) << error_text;
    EXPECT_EQ(reader.info.data_offset, 56);
    EXPECT_EQ(read_all(reader, 16384), (std::vector<int32_t>{1, 2, 3, 4}));
    wav_reader_close(reader);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_EQ(status, 0);
    remove(path.c_str());
}

}  // namespace
