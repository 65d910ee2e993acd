// Helpers shared by the WAV and FLAC reader and writer tests; the flac and metaflac
// commands and python3-soundfile serve as independent makers and checkers of files.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include <sys/wait.h>

namespace io_test {

using Bytes = std::vector<uint8_t>;

inline void put_le(Bytes& out, uint64_t value, int width) {
    for (int i = 0; i < width; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

inline Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
    return out;
}

// Little-endian fields given as {value, width in bytes}.
inline Bytes le(std::initializer_list<std::pair<uint64_t, int>> fields) {
    Bytes out;
    for (const auto& [value, width] : fields) put_le(out, value, width);
    return out;
}

// A chunk declaring the body's length unless told otherwise; an odd body gets its pad byte.
inline Bytes chunk(const char* id, const Bytes& body, int64_t declared = -1) {
    return concat({Bytes(id, id + 4), le({{declared < 0 ? body.size() : static_cast<uint64_t>(declared), 4}}), body,
                   Bytes(body.size() % 2, 0)});
}

// A fmt body at 44100 Hz. With valid_bits set it is WAVE_FORMAT_EXTENSIBLE, whose
// sub-format GUID starts with sub_format (1 integer PCM, 3 float).
inline Bytes fmt_body(uint16_t channels, uint16_t bits, uint16_t valid_bits = 0, int align = -1, uint8_t sub_format = 1) {
    const uint64_t block_align = align < 0 ? channels * bits / 8 : align;
    const Bytes out = le({{valid_bits ? 0xFFFE : 1, 2}, {channels, 2}, {44100, 4}, {44100 * block_align, 4}, {block_align, 2}, {bits, 2}});
    if (valid_bits == 0) return out;
    return concat({out, le({{22, 2}, {valid_bits, 2}, {3, 4}}),  // channel mask: front left and right
                   {sub_format, 0, 0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71}});
}

inline Bytes wave(const char* form, const Bytes& chunks) {
    const bool rf64 = std::string(form) == "RF64";
    return concat({Bytes(form, form + 4), le({{rf64 ? 0xFFFFFFFFu : chunks.size() + 4, 4}}), {'W', 'A', 'V', 'E'}, chunks});
}

// Interleaved samples of the given width: both extremes first, then pseudo-random values.
inline std::vector<int32_t> test_signal(size_t count, int bits, uint32_t seed) {
    const int32_t high = (1 << (bits - 1)) - 1;
    std::vector<int32_t> samples = {-high - 1, high, high, -high - 1};
    for (uint32_t state = seed * 2654435761u + 1; samples.size() < count;) {
        state = state * 1664525u + 1013904223u;
        samples.push_back(static_cast<int32_t>(state) >> (32 - bits));
    }
    samples.resize(count);
    return samples;
}

// Everything a reader delivers, in requests of the given number of frames.
template <class Reader, class Count>
std::vector<int32_t> read_all(Reader& reader, Count (*read)(Reader&, int32_t*, Count), Count request) {
    std::vector<int32_t> all, block(2 * request);
    while (const Count frames = read(reader, block.data(), request)) all.insert(all.end(), block.begin(), block.begin() + 2 * frames);
    return all;
}

// A fresh directory, removed at the end.
struct TempDir {
    char path[32] = "/tmp/qv-io-test-XXXXXX";
    TempDir() { EXPECT_NE(mkdtemp(path), nullptr); }
    ~TempDir() { EXPECT_EQ(std::system((std::string("rm -rf '") + path + "'").c_str()), 0); }
    std::string file(const std::string& name) const { return std::string(path) + "/" + name; }
};

inline void write_file(const std::string& path, const Bytes& bytes) {
    FILE* file = fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr) << path;
    const bool written = bytes.empty() || fwrite(bytes.data(), bytes.size(), 1, file) == 1;
    ASSERT_TRUE(fclose(file) == 0 && written) << path;
}

// Little-endian signed samples of width bytes each.
inline Bytes to_raw(const std::vector<int32_t>& samples, int width) {
    Bytes bytes;
    for (int32_t sample : samples) put_le(bytes, static_cast<uint32_t>(sample), width);
    return bytes;
}

// Runs a command quietly and returns its exit status.
inline int run(const std::string& command) {
    const int status = std::system((command + " >/dev/null 2>&1").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Runs a command and returns what it printed on stdout.
inline std::string capture(const std::string& command) {
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return output;
    for (int c; (c = fgetc(pipe)) != EOF;) output.push_back(static_cast<char>(c));
    pclose(pipe);
    return output;
}

inline Bytes read_file(const std::string& path) {
    const std::string text = capture("cat '" + path + "'");
    return Bytes(text.begin(), text.end());
}

}  // namespace io_test
