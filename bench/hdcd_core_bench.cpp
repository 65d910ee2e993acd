// Throughput of the HDCD decoder and scanner on 16384-frame blocks of a
// music-like signal whose LSBs carry type B packets, in frames per second
// (items_per_second).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "hdcd/hdcd_decoder.h"
#include "hdcd/hdcd_scanner.h"

namespace {

constexpr uint32_t BLOCK = 16384;
constexpr double TWO_PI = 6.283185307179586;
constexpr uint32_t RATE = 44100;
constexpr uint64_t FRAMES = 60ull * RATE;  // one minute, decoded block by block

// A minute of stereo PCM16: a few tones and noise peaking into the Peak
// Extend range now and then, with a packet every 2000 frames in each channel.
// The control byte keeps Peak Extend on and moves the gain code between 0 and
// 2 every few seconds, as HDCD releases do.
std::vector<int32_t> make_signal() {
    std::vector<int32_t> samples(2 * FRAMES);
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> noise(-1.0, 1.0);
    uint32_t history[2] = {0, 0};
    uint64_t packet = 0;
    for (uint64_t n = 0; n < FRAMES; ++n) {
        const double t = static_cast<double>(n) / RATE;
        const double envelope = 0.55 + 0.45 * std::sin(TWO_PI * 0.37 * t);
        const uint32_t offset = static_cast<uint32_t>(n % 2000);
        if (offset == 0) packet = n / 2000;
        const uint8_t control = static_cast<uint8_t>(0x10 | ((packet / 40) % 2 ? 0x02 : 0x00));
        uint32_t bit = 0;
        if (offset < 32) {
            bit = (0x7E0FA006u >> (31 - offset)) & 1u;
        } else if (offset < 40) {
            bit = (control >> (39 - offset)) & 1u;
        } else if (offset < 48) {
            bit = (~control >> (47 - offset)) & 1u;
        }
        for (int c = 0; c < 2; ++c) {
            const double value = envelope * (14000 * std::sin(TWO_PI * (220.0 + 110 * c) * t) +
                                             9000 * std::sin(TWO_PI * 1375.0 * t + c) + 4000 * noise(rng));
            int32_t v = static_cast<int32_t>(value);
            v = v < -32768 ? -32768 : (v > 32767 ? 32767 : v);
            const uint32_t scrambled = bit ^ ((history[c] >> 4) & 1u) ^ ((history[c] >> 22) & 1u);
            history[c] = (history[c] << 1) | scrambled;
            samples[2 * n + c] = static_cast<int32_t>((static_cast<uint32_t>(v) & ~1u) | scrambled);
        }
    }
    return samples;
}

const std::vector<int32_t>& signal16() {
    static const std::vector<int32_t> samples = make_signal();
    return samples;
}

const std::vector<int32_t>& signal24() {
    static const std::vector<int32_t> samples = [] {
        std::vector<int32_t> widened = signal16();
        std::mt19937 rng(3);
        for (int32_t& v : widened) v = v * 256 + static_cast<int32_t>(rng() & 0xFF);  // dither below the PCM16 bits
        return widened;
    }();
    return samples;
}

void BM_DecoderProcess(benchmark::State& state) {
    const std::vector<int32_t>& source = signal16();
    std::vector<int32_t> block(2 * BLOCK);
    HdcdDecoder decoder;
    hdcd_decoder_init(decoder, RATE);
    uint64_t position = 0;
    for (auto _ : state) {
        state.PauseTiming();
        std::copy(source.begin() + 2 * position, source.begin() + 2 * (position + BLOCK), block.begin());
        state.ResumeTiming();
        hdcd_decoder_process(decoder, block.data(), BLOCK);
        benchmark::DoNotOptimize(block.data());
        position += BLOCK;
        if (position + BLOCK > FRAMES) {
            position = 0;
            hdcd_decoder_init(decoder, RATE);
        }
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * BLOCK);
}

void scan(benchmark::State& state, const std::vector<int32_t>& source, uint32_t bits) {
    HdcdScanner scanner;
    hdcd_scanner_init(scanner, RATE, bits);
    uint64_t position = 0;
    for (auto _ : state) {
        hdcd_scanner_process(scanner, source.data() + 2 * position, BLOCK);
        benchmark::ClobberMemory();
        position += BLOCK;
        if (position + BLOCK > FRAMES) {
            position = 0;
            hdcd_scanner_init(scanner, RATE, bits);
        }
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * BLOCK);
}

void BM_ScannerProcess16(benchmark::State& state) {
    scan(state, signal16(), 16);
}

void BM_ScannerProcess24(benchmark::State& state) {
    scan(state, signal24(), 24);
}

}  // namespace

BENCHMARK(BM_DecoderProcess);
BENCHMARK(BM_ScannerProcess16);
BENCHMARK(BM_ScannerProcess24);
