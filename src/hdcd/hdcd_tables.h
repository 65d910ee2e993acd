// The two constant transfer tables of the decoder.
#pragma once

#include <cstdint>

// Peak Extend curve at 32-bit full scale. Entry i belongs to the input
// magnitude 22913 + i; the last entry (magnitude 32768) is INT32_MIN and is
// only used for the input -32768.
constexpr int PEAK_EXTEND_TABLE_SIZE = 9856;
constexpr int32_t PEAK_EXTEND_THRESHOLD = 22913;
extern const int32_t PEAK_EXTEND_TABLE[PEAK_EXTEND_TABLE_SIZE];

// Low-Level Gain factors in Q23 (8388608 is unity). Entry j is the gain of
// -j/256 dB; index 1920 is -7.5 dB, the deepest a gain code can ask for.
constexpr int LOW_LEVEL_GAIN_TABLE_SIZE = 1921;
constexpr int32_t LOW_LEVEL_GAIN_MAX_INDEX = 1920;
extern const int32_t LOW_LEVEL_GAIN_TABLE[LOW_LEVEL_GAIN_TABLE_SIZE];
