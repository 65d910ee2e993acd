// Helpers shared by the WAV reader, writer and peer tests: byte-level file
// building and per-test scratch files.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

namespace wav_test {

using Bytes = std::vector<uint8_t>;

inline void put_le(Bytes& out, uint64_t value, int width) {
    for (int i = 0; i < width; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

inline void put_text(Bytes& out, const char* four) {
    out.insert(out.end(), four, four + 4);
}

inline Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
    return out;
}

// A chunk with its header; the declared size defaults to the body length, and
// an odd body gets its pad byte unless told otherwise.
inline Bytes chunk(const char* id, const Bytes& body, int64_t declared = -1, bool pad = true) {
    Bytes out;
    put_text(out, id);
    put_le(out, declared < 0 ? body.size() : static_cast<uint64_t>(declared), 4);
    out.insert(out.end(), body.begin(), body.end());
    if (pad && body.size() % 2 == 1) out.push_back(0);
    return out;
}

inline Bytes fmt_body(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits, int32_t block_align = -1) {
    const uint16_t align = block_align < 0 ? static_cast<uint16_t>(channels * (bits / 8)) : static_cast<uint16_t>(block_align);
    Bytes out;
    put_le(out, tag, 2);
    put_le(out, channels, 2);
    put_le(out, rate, 4);
    put_le(out, static_cast<uint64_t>(rate) * align, 4);
    put_le(out, align, 2);
    put_le(out, bits, 2);
    return out;
}

// A 40-byte WAVE_FORMAT_EXTENSIBLE body; sub_format is the GUID's first byte
// (1 integer PCM, 3 float).
inline Bytes extensible_body(uint16_t bits, uint16_t valid_bits, uint8_t sub_format = 1) {
    Bytes out = fmt_body(0xFFFE, 2, 44100, bits);
    put_le(out, 22, 2);
    put_le(out, valid_bits, 2);
    put_le(out, 3, 4);  // channel mask: front left and right
    const uint8_t guid_tail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
    out.push_back(sub_format);
    out.push_back(0x00);
    out.insert(out.end(), guid_tail, guid_tail + 14);
    return out;
}

// "RIFF"/"RF64" + size + "WAVE" + the chunks.
inline Bytes wave(const char* form, const Bytes& chunks) {
    Bytes out;
    put_text(out, form);
    put_le(out, std::string(form) == "RF64" ? 0xFFFFFFFFu : chunks.size() + 4, 4);
    put_text(out, "WAVE");
    out.insert(out.end(), chunks.begin(), chunks.end());
    return out;
}

// A path unique to the running test (and process), in the test temp directory.
inline std::string scratch_path(const std::string& suffix) {
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "_" + info->name();
    for (char& c : name) {
        if (c == '/') c = '_';
    }
    return ::testing::TempDir() + "qv_" + std::to_string(static_cast<long>(getpid())) + "_" + name + "_" + suffix;
}

inline void write_file(const std::string& path, const Bytes& bytes) {
    FILE* file = fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr) << path;
    if (!bytes.empty()) {
        ASSERT_EQ(fwrite(bytes.data(), 1, bytes.size(), file), bytes.size());
    }
    ASSERT_EQ(fclose(file), 0);
}

inline Bytes read_file(const std::string& path) {
    Bytes bytes;
    FILE* file = fopen(path.c_str(), "rb");
    if (file == nullptr) return bytes;
    uint8_t buffer[65536];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, file)) > 0) bytes.insert(bytes.end(), buffer, buffer + got);
    fclose(file);
    return bytes;
}

}  // namespace wav_test
