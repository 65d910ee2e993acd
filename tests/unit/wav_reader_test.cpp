#include "audio_io/wav_reader.h"
#include "wav_test_support.h"

using namespace io_test;

TEST(WavReader, RejectsEachBadInputWithItsMessage) {
    const Bytes fmt16 = chunk("fmt ", fmt_body(2, 16));
    const Bytes data = chunk("data", to_raw({1, 2}, 2));
    // name, file (empty: none at all), message
    const std::tuple<const char*, Bytes, const char*> cases[] = {
        {"missing file", {}, "Unable to open input file."},
        {"AVI form", concat({{'R', 'I', 'F', 'F', 4, 0, 0, 0, 'A', 'V', 'I', ' '}, fmt16, data}), "Input is not RIFF/RF64 WAVE."},
        {"data before fmt", wave("RIFF", concat({data, fmt16})), "Required WAVE chunks not found."},
        {"chunk running past the end", wave("RIFF", concat({chunk("LIST", {1, 2, 3, 4}, 1000), fmt16, data})),
         "Required WAVE chunks not found."},
        {"extensible float", wave("RIFF", concat({chunk("fmt ", fmt_body(2, 32, 32, -1, 3)), data})),
         "WAVE_FORMAT_EXTENSIBLE input is not PCM integer."},
        {"RF64 all-ones data size without ds64", wave("RF64", concat({fmt16, chunk("data", to_raw({1, 2}, 2), 0xFFFFFFFF)})),
         "RF64 data chunk requires a valid ds64 chunk."},
        {"mono", wave("RIFF", concat({chunk("fmt ", fmt_body(1, 16)), data})), "Requires stereo integer PCM WAVE."},
        {"8-bit", wave("RIFF", concat({chunk("fmt ", fmt_body(2, 8)), data})), "Supported depths: PCM16, PCM20-in-24, PCM24."},
    };
    TempDir dir;
    for (const auto& [name, file, message] : cases) {
        SCOPED_TRACE(name);
        const std::string path = dir.file(name);
        if (!file.empty()) write_file(path, file);
        WavReader reader;
        char error_text[256] = "";
        EXPECT_FALSE(wav_reader_open(reader, path.c_str(), error_text, sizeof error_text));
        EXPECT_STREQ(error_text, message);
        EXPECT_EQ(reader.file, nullptr);
        wav_reader_close(reader);
    }
}

TEST(WavReader, DeliversTheSamplesOfEachSupportedLayout) {
    const Bytes fmt16 = chunk("fmt ", fmt_body(2, 16));
    const std::vector<int32_t> three = {-32768, 32767, 1, -1, 0x1234, -0x1234};
    const Bytes three_frames = to_raw(three, 2);
    const Bytes pcm24 = {0x56, 0x34, 0x12, 0x00, 0x00, 0x80, 0xFF, 0xFF, 0x7F, 0xFF, 0xFF, 0xFF};
    const Bytes pcm20 = {0x10, 0x00, 0x80, 0xF0, 0xFF, 0x7F, 0x1F, 0x00, 0x00, 0xFF, 0xFF, 0xFF};
    const Bytes ds64 = le({{0, 8}, {8, 8}, {99, 8}, {0, 4}});  // RIFF size, data size: two frames, sample count, table
    const std::tuple<const char*, Bytes, int32_t, const char*, std::vector<int32_t>> cases[] = {
        {"odd-sized chunks with pad bytes",
         wave("RIFF", concat({chunk("LIST", {1, 2, 3}), chunk("fmt ", concat({fmt_body(2, 16), {7}})), chunk("junk", {9}),
                              chunk("data", three_frames)})),
         0, "PCM16", three},
        {"PCM24", wave("RIFF", concat({chunk("fmt ", fmt_body(2, 24)), chunk("data", pcm24)})), 0, "PCM24",
         {0x123456, -8388608, 8388607, -1}},
        {"extensible PCM20 in 24", wave("RIFF", concat({chunk("fmt ", fmt_body(2, 24, 20)), chunk("data", pcm20)})), 0,
         "PCM20-in-24", {-524287, 524287, 1, -1}},
        {"RF64 size from ds64", wave("RF64", concat({chunk("ds64", ds64), fmt16, chunk("data", three_frames, 0xFFFFFFFF)})), 1,
         "PCM16", {-32768, 32767, 1, -1}},
        {"RF64 without ds64", wave("RF64", concat({fmt16, chunk("data", three_frames, 4)})), 1, "PCM16", {-32768, 32767}},
        {"data size 4n+2", wave("RIFF", concat({fmt16, chunk("data", to_raw({7, 8, 9}, 2))})), 0, "PCM16", {7, 8}},
        {"block align 0", wave("RIFF", concat({chunk("fmt ", fmt_body(2, 16, 0, 0)), chunk("data", to_raw({5, 6}, 2))})), 0,
         "PCM16", {5, 6}},
        // A file that ends inside its data is cut short; one written to a pipe
        // (size all ones) is not, and both deliver what they hold.
        {"cut short", wave("RIFF", concat({fmt16, chunk("data", three_frames, 100)})), 0, "PCM16", three},
        {"size unknown", wave("RIFF", concat({fmt16, chunk("data", three_frames, 0xFFFFFFFF)})), 0, "PCM16", three},
    };
    TempDir dir;
    for (const auto& [name, file, rf64, depth, samples] : cases) {
        SCOPED_TRACE(name);
        write_file(dir.file("in.wav"), file);
        for (const uint32_t request : {1u, 16384u}) {
            WavReader reader;
            char error_text[256] = "";
            ASSERT_TRUE(wav_reader_open(reader, dir.file("in.wav").c_str(), error_text, sizeof error_text)) << error_text;
            EXPECT_EQ(reader.rf64, rf64);
            EXPECT_STREQ(pcm_stream_info_depth_name(reader.info), depth);
            EXPECT_EQ(read_all(reader, wav_reader_read, request), samples) << "request " << request;
            EXPECT_EQ(reader.data_short, std::string(name) == "cut short" ? 1 : 0);
            wav_reader_close(reader);
        }
    }
}
