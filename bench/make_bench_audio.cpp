// Writes the benchmark's HDCD test audio: the music-like signal as a PCM16 WAV
// and, when a second path is given, the same samples widened to PCM24 by eight
// zero bits (where a scan finds the signalling at bit 8).
//
//   make_bench_audio [--signalling-only | --no-packets] SECONDS OUT16.wav [OUT24.wav]
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "audio_io/wav_writer.h"
#include "bench_signal.h"

namespace {

constexpr uint32_t BLOCK = 16384;

bool finish(WavWriter& writer, FILE* file, const char* path) {
    const bool finished = wav_writer_finish(writer);
    if (fclose(file) == 0 && finished) return true;
    fprintf(stderr, "make_bench_audio: cannot finish %s\n", path);
    remove(path);
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    uint32_t variant = BENCH_SIGNAL_HDCD;
    if (argc > 1 && strcmp(argv[1], "--signalling-only") == 0) variant = BENCH_SIGNAL_SIGNALLING_ONLY;
    if (argc > 1 && strcmp(argv[1], "--no-packets") == 0) variant = BENCH_SIGNAL_NO_PACKETS;
    if (variant != BENCH_SIGNAL_HDCD) {
        argv += 1;
        argc -= 1;
    }
    if (argc != 3 && argc != 4) {
        fprintf(stderr, "usage: make_bench_audio [--signalling-only | --no-packets] SECONDS OUT16.wav [OUT24.wav]\n");
        return 1;
    }
    char* end = nullptr;
    const unsigned long seconds = strtoul(argv[1], &end, 10);
    if (end == argv[1] || *end != '\0' || seconds == 0 || seconds > 86400) {
        fprintf(stderr, "make_bench_audio: bad duration %s\n", argv[1]);
        return 1;
    }
    const char* path16 = argv[2];
    const char* path24 = argc == 4 ? argv[3] : nullptr;
    const uint64_t total = static_cast<uint64_t>(seconds) * BENCH_SIGNAL_RATE;

    char error[256];
    WavWriter writer16;
    WavWriter writer24;
    FILE* file16 = fopen(path16, "w+b");
    FILE* file24 = path24 != nullptr ? fopen(path24, "w+b") : nullptr;
    if (!wav_writer_create_pcm16(writer16, file16, BENCH_SIGNAL_RATE, 2, total, error, sizeof error)) {
        fprintf(stderr, "make_bench_audio: %s: %s\n", path16, error);
        return 1;
    }
    if (path24 != nullptr &&
        !wav_writer_create_pcm24(writer24, file24, BENCH_SIGNAL_RATE, 2, total, error, sizeof error)) {
        fprintf(stderr, "make_bench_audio: %s: %s\n", path24, error);
        wav_writer_close_unfinished(writer16);
        remove(path16);
        return 1;
    }

    std::vector<int32_t> samples(2 * BLOCK);
    std::vector<int16_t> narrow(2 * BLOCK);
    std::vector<int32_t> wide(2 * BLOCK);
    BenchSignal signal;
    bench_signal_init(signal, variant);
    bool ok = true;
    for (uint64_t done = 0; ok && done < total;) {
        const uint32_t frames = total - done < BLOCK ? static_cast<uint32_t>(total - done) : BLOCK;
        bench_signal_fill(signal, samples.data(), frames);
        for (size_t i = 0; i < 2 * static_cast<size_t>(frames); ++i) {
            narrow[i] = static_cast<int16_t>(samples[i]);
            // The writer takes PCM24 in the upper three bytes of each word.
            wide[i] = static_cast<int32_t>(static_cast<uint32_t>(samples[i]) << 16);
        }
        ok = wav_writer_write_pcm16(writer16, narrow.data(), frames) == frames;
        if (ok && path24 != nullptr) ok = wav_writer_write_pcm24(writer24, wide.data(), frames) == frames;
        done += frames;
    }
    if (!ok) {
        fprintf(stderr, "make_bench_audio: write failed\n");
        wav_writer_close_unfinished(writer16);
        wav_writer_close_unfinished(writer24);
        remove(path16);
        if (path24 != nullptr) remove(path24);
        return 1;
    }
    bool finished = finish(writer16, file16, path16);
    if (path24 != nullptr) finished = finish(writer24, file24, path24) && finished;
    return finished ? 0 : 1;
}
