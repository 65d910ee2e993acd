// Reader for stereo integer PCM in RIFF or RF64 WAVE files: PCM16, PCM20 in a
// 24-bit container (WAVE_FORMAT_EXTENSIBLE) and PCM24.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "audio_io/pcm_stream_info.h"

struct WavReader {
    FILE* file = nullptr;               // null when closed or after a failed open
    PcmStreamInfo info = {};
    uint64_t bytes_consumed = 0;  // sample bytes delivered so far, whole samples only
    int32_t rf64 = 0;             // 1 when the file began with "RF64"
    int32_t read_error = 0;       // 1 once a read failed (as opposed to the file ending early)
    int32_t data_short = 0;       // 1 once the file ended before the data size the header declares
    uint64_t data_present = 0;    // data_short: the sample bytes the file holds
    std::vector<uint8_t> raw; // one block of file bytes, reused between reads
};

// Opens path and walks its chunks up to "data". On failure the record is left
// cleared and a one-line message is written to error_text (capacity bytes at most).
bool wav_reader_open(WavReader& reader, const char* path, char* error_text, size_t error_capacity);

// As wav_reader_open, but anything other than a regular file (or a link to one),
// such as a pipe or a device, is refused as a file that cannot be opened: for
// callers that read the input more than once.
bool wav_reader_open_file(WavReader& reader, const char* path, char* error_text, size_t error_capacity);

// Delivers up to max_frames frames as interleaved signed 32-bit samples,
// right-justified at the valid width, left channel first. Returns the number of
// whole frames; 0 at the end of the data, at the end of the file (which, before
// the end of the data, sets data_short) or after a read failure (which sets
// read_error), and on every call after that.
uint32_t wav_reader_read(WavReader& reader, int32_t* samples, uint32_t max_frames);

// Closes the stream if open and clears the record. Safe on a never-opened reader.
void wav_reader_close(WavReader& reader);
