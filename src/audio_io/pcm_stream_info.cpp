#include "audio_io/pcm_stream_info.h"

namespace {

const char DEPTH_UNSUPPORTED[] = "unsupported";

}  // namespace

uint64_t pcm_stream_info_expected_frames(const PcmStreamInfo& info) {
    return info.block_align == 0 ? 0 : info.data_size / info.block_align;
}

const char* pcm_stream_info_depth_name(const PcmStreamInfo& info) {
    if (info.container_bits == 16 && info.valid_bits == 16) return "PCM16";
    if (info.container_bits == 24 && info.valid_bits == 20) return "PCM20-in-24";
    if (info.container_bits == 24 && info.valid_bits == 24) return "PCM24";
    return DEPTH_UNSUPPORTED;
}

bool pcm_stream_info_depth_supported(const PcmStreamInfo& info) {
    return pcm_stream_info_depth_name(info) != DEPTH_UNSUPPORTED;
}

const char* wav_container_name(int32_t rf64_flag) {
    return rf64_flag != 0 ? "RF64" : "WAV";
}
