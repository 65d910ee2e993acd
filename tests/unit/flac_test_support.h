// Helpers for the FLAC tests: sample generation, raw PCM files, and the Debian
// flac and metaflac commands as an independent maker and checker of FLAC files.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace flac_test {

// A fresh directory below the system's temporary directory, removed at the end.
class TempDir {
public:
    TempDir() {
        char pattern[] = "/tmp/qv-flac-test-XXXXXX";
        const char* made = mkdtemp(pattern);
        path_ = made != nullptr ? made : "";
    }
    ~TempDir() {
        if (!path_.empty()) std::system(("rm -rf '" + path_ + "'").c_str());
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Deterministic pseudo-random samples over the whole range of the given width.
inline std::vector<int32_t> make_samples(uint64_t frames, uint32_t channels, uint32_t bits, uint32_t seed) {
    std::vector<int32_t> samples(frames * channels);
    uint32_t state = seed * 2654435761u + 1;
    for (int32_t& sample : samples) {
        state = state * 1664525u + 1013904223u;
        sample = static_cast<int32_t>(state) >> (32 - bits);
    }
    return samples;
}

inline std::vector<uint8_t> read_file(const std::string& path) {
    std::vector<uint8_t> bytes;
    FILE* file = fopen(path.c_str(), "rb");
    if (file == nullptr) return bytes;
    fseek(file, 0, SEEK_END);
    bytes.resize(static_cast<size_t>(ftell(file)));
    fseek(file, 0, SEEK_SET);
    if (!bytes.empty() && fread(bytes.data(), bytes.size(), 1, file) != 1) bytes.clear();
    fclose(file);
    return bytes;
}

inline void write_file(const std::string& path, const std::vector<uint8_t>& bytes) {
    FILE* file = fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr) << path;
    const bool written = bytes.empty() || fwrite(bytes.data(), bytes.size(), 1, file) == 1;
    fclose(file);
    ASSERT_TRUE(written) << path;
}

// Little-endian signed PCM, (bits + 7) / 8 bytes per sample, as flac reads and
// writes raw audio.
inline std::vector<uint8_t> to_raw(const std::vector<int32_t>& samples, uint32_t bits) {
    const uint32_t width = (bits + 7) / 8;
    std::vector<uint8_t> bytes;
    bytes.reserve(samples.size() * width);
    for (int32_t sample : samples) {
        for (uint32_t b = 0; b < width; ++b) bytes.push_back(static_cast<uint8_t>(static_cast<uint32_t>(sample) >> (8 * b)));
    }
    return bytes;
}

inline std::string raw_format_options(uint32_t channels, uint32_t bits, uint32_t sample_rate) {
    return "--force-raw-format --endian=little --sign=signed --channels=" + std::to_string(channels) +
           " --bps=" + std::to_string(bits) + " --sample-rate=" + std::to_string(sample_rate);
}

inline int run(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()); }

// Runs a command and returns what it printed on stdout.
inline std::string capture(const std::string& command) {
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return output;
    char chunk[4096];
    size_t got;
    while ((got = fread(chunk, 1, sizeof chunk, pipe)) > 0) output.append(chunk, got);
    pclose(pipe);
    return output;
}

// Encodes samples with the flac command; extra carries further options.
inline void flac_encode(const TempDir& dir, const std::string& flac_path, const std::vector<int32_t>& samples,
                        uint32_t channels, uint32_t bits, uint32_t sample_rate, const std::string& extra = "") {
    const std::string raw = dir.file("encode-input.raw");
    write_file(raw, to_raw(samples, bits));
    ASSERT_EQ(run("flac -s -f " + raw_format_options(channels, bits, sample_rate) + " " + extra + " -o '" +
                  flac_path + "' '" + raw + "'"),
              0);
}

// The metadata block types of a FLAC file in file order, as metaflac lists them.
inline std::vector<int> block_types(const std::string& flac_path) {
    std::vector<int> types;
    const std::string listing = capture("metaflac --list '" + flac_path + "'");
    const std::string marker = "METADATA block #";
    for (size_t at = listing.find(marker); at != std::string::npos; at = listing.find(marker, at + 1)) {
        const size_t type = listing.find("type: ", at);
        if (type != std::string::npos) types.push_back(std::atoi(listing.c_str() + type + 6));
    }
    return types;
}

}  // namespace flac_test
