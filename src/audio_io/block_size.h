#pragma once

#include <cstddef>
#include <cstdint>

// Every operation reads, processes and writes in blocks of this many stereo
// frames, through one buffer of interleaved signed 32-bit samples.
constexpr uint32_t BLOCK_FRAMES = 16384;
constexpr size_t BLOCK_SAMPLES = 2 * static_cast<size_t>(BLOCK_FRAMES);
