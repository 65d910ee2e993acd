// Format of an opened WAV/RF64 input, and the names the console uses for it.
#pragma once

#include <cstdint>

struct PcmStreamInfo {
    uint16_t format_tag = 0;      // 1 once an extensible integer-PCM chunk was accepted
    uint16_t channel_count = 0;
    uint32_t sample_rate = 0;
    uint16_t container_bits = 0;  // width each sample occupies in the file: 16 or 24
    uint16_t valid_bits = 0;      // 16, 20 or 24
    uint16_t block_align = 0;     // as stored; not trusted for reading
    int64_t data_offset = 0;      // file position of the first sample byte
    uint64_t data_size = 0;       // bytes of sample data the header claims
};

// data size / block align, 0 when block align is 0: the total used for progress
// and handed to writers as their size estimate.
uint64_t pcm_stream_info_expected_frames(const PcmStreamInfo& info);

// "PCM16", "PCM20-in-24" or "PCM24" ("unsupported" for any other pair, which an
// opened reader never has).
const char* pcm_stream_info_depth_name(const PcmStreamInfo& info);

// True for the three pairs of container and valid bits that have a name above.
bool pcm_stream_info_depth_supported(const PcmStreamInfo& info);

// "RF64" for a non-zero RF64 flag (of a reader or a writer), else "WAV".
const char* wav_container_name(int32_t rf64_flag);
