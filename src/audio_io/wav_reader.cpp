#include "audio_io/wav_reader.h"

#include <cstring>

#include "console/console.h"
#include "platform/device_file.h"
#include "platform/file_position.h"

namespace {

const char MESSAGE_OPEN_FAILED[] = "Unable to open input file.";
const char MESSAGE_NOT_WAVE[] = "Input is not RIFF/RF64 WAVE.";
const char MESSAGE_EXTENSIBLE_NOT_INTEGER[] = "WAVE_FORMAT_EXTENSIBLE input is not PCM integer.";
const char MESSAGE_RF64_WITHOUT_DS64[] = "RF64 data chunk requires a valid ds64 chunk.";
const char MESSAGE_CHUNKS_MISSING[] = "Required WAVE chunks not found.";
const char MESSAGE_NOT_STEREO_PCM[] = "Requires stereo integer PCM WAVE.";
const char MESSAGE_DEPTH[] = "Supported depths: PCM16, PCM20-in-24, PCM24.";

const uint16_t FORMAT_PCM = 1;
const uint16_t FORMAT_EXTENSIBLE = 0xFFFE;
const uint32_t FMT_AREA_BYTES = 40;
const uint32_t DS64_BODY_BYTES = 28;
const uint32_t SIZE_FROM_DS64 = 0xFFFFFFFFu;

uint16_t le16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

uint32_t le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

uint64_t le64(const uint8_t* p) {
    return static_cast<uint64_t>(le32(p)) | (static_cast<uint64_t>(le32(p + 4)) << 32);
}

void clear_reader(WavReader& reader) {
    reader.file = nullptr;
    reader.info = PcmStreamInfo{};
    reader.bytes_consumed = 0;
    reader.rf64 = 0;
    reader.read_error = 0;
    reader.data_short = 0;
    reader.data_present = 0;
}

// Walks the stream front to back and counts the position itself, so that a
// header can also be read from a pipe.
struct ChunkWalk {
    FILE* file;
    int64_t position;
};

bool walk_read(ChunkWalk& walk, uint8_t* bytes, size_t count) {
    const size_t got = fread(bytes, 1, count, walk.file);
    walk.position += static_cast<int64_t>(got);
    return got == count;
}

// Skips count bytes forward. A seek past the end of the file is allowed: the next
// header read then fails, which is how a chunk running past the end is caught.
void walk_skip(ChunkWalk& walk, uint64_t count) {
    if (count == 0) return;
    if (platform_file_seek(walk.file, static_cast<int64_t>(count), SEEK_CUR)) {
        walk.position += static_cast<int64_t>(count);
        return;
    }
    // Not seekable: read the bytes and drop them.
    uint8_t scratch[4096];
    while (count > 0) {
        const size_t want = count < sizeof scratch ? static_cast<size_t>(count) : sizeof scratch;
        const size_t got = fread(scratch, 1, want, walk.file);
        walk.position += static_cast<int64_t>(got);
        count -= got;
        if (got < want) return;
    }
}

// Reads the walk up to the first data chunk and fills reader.info. Returns the
// failure message, or null on success.
const char* walk_chunks(WavReader& reader, ChunkWalk& walk) {
    uint8_t head[12];
    if (!walk_read(walk, head, sizeof head)) return MESSAGE_NOT_WAVE;
    if (std::memcmp(head + 8, "WAVE", 4) != 0) return MESSAGE_NOT_WAVE;
    if (std::memcmp(head, "RIFF", 4) == 0) {
        reader.rf64 = 0;
    } else if (std::memcmp(head, "RF64", 4) == 0) {
        reader.rf64 = 1;
    } else {
        return MESSAGE_NOT_WAVE;
    }

    PcmStreamInfo& info = reader.info;
    bool fmt_seen = false;
    bool ds64_seen = false;
    uint64_t ds64_data_size = 0;

    for (;;) {
        uint8_t header[8];
        if (!walk_read(walk, header, sizeof header)) return MESSAGE_CHUNKS_MISSING;
        const uint32_t size = le32(header + 4);

        if (std::memcmp(header, "data", 4) == 0) {
            if (!fmt_seen) return MESSAGE_CHUNKS_MISSING;
            info.data_offset = walk.position;
            if (reader.rf64 != 0 && size == SIZE_FROM_DS64) {
                if (!ds64_seen) return MESSAGE_RF64_WITHOUT_DS64;
                info.data_size = ds64_data_size;
            } else {
                info.data_size = size;
            }
            if (info.format_tag != FORMAT_PCM || info.channel_count != 2) return MESSAGE_NOT_STEREO_PCM;
            if (!pcm_stream_info_depth_supported(info)) return MESSAGE_DEPTH;
            return nullptr;  // the stream now stands at the first sample byte
        }

        if (std::memcmp(header, "ds64", 4) == 0) {
            if (size < DS64_BODY_BYTES) return MESSAGE_CHUNKS_MISSING;
            uint8_t body[DS64_BODY_BYTES];
            if (!walk_read(walk, body, sizeof body)) return MESSAGE_CHUNKS_MISSING;
            ds64_data_size = le64(body + 8);
            ds64_seen = true;
            walk_skip(walk, size - DS64_BODY_BYTES);
        } else if (std::memcmp(header, "fmt ", 4) == 0) {
            uint8_t body[FMT_AREA_BYTES] = {};
            const uint32_t stored = size < FMT_AREA_BYTES ? size : FMT_AREA_BYTES;
            if (!walk_read(walk, body, stored)) return MESSAGE_CHUNKS_MISSING;
            walk_skip(walk, size - stored);
            if (size < 16) return MESSAGE_CHUNKS_MISSING;
            info.format_tag = le16(body);
            info.channel_count = le16(body + 2);
            info.sample_rate = le32(body + 4);
            info.block_align = le16(body + 12);
            info.container_bits = le16(body + 14);
            info.valid_bits = info.container_bits;
            if (info.format_tag == FORMAT_EXTENSIBLE && size >= FMT_AREA_BYTES) {
                info.valid_bits = le16(body + 18);
                if (body[24] != 0x01 || body[25] != 0x00) return MESSAGE_EXTENSIBLE_NOT_INTEGER;
                info.format_tag = FORMAT_PCM;
            }
            fmt_seen = true;
        } else {
            walk_skip(walk, size);
        }
        if ((size & 1u) != 0) walk_skip(walk, 1);
    }
}

// Three little-endian bytes per sample, at the top of each word, shifted down by
// `shift`. On little-endian hosts each sample is one four-byte load whose
// fourth byte (the next sample's first, or the spare byte) is shifted out.
inline void widen_24(const uint8_t* in, int32_t* samples, size_t count, int shift) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    for (size_t i = 0; i < count; ++i, in += 3) {
        uint32_t word;
        memcpy(&word, in, sizeof word);
        samples[i] = static_cast<int32_t>(word << 8) >> shift;
    }
#else
    for (size_t i = 0; i < count; ++i, in += 3) {
        const uint32_t top = (static_cast<uint32_t>(in[0]) << 8) | (static_cast<uint32_t>(in[1]) << 16) |
                             (static_cast<uint32_t>(in[2]) << 24);
        samples[i] = static_cast<int32_t>(top) >> shift;
    }
#endif
}

}  // namespace

bool wav_reader_open_file(WavReader& reader, const char* path, char* error_text, size_t error_capacity) {
    if (!platform_is_device_file(path)) return wav_reader_open(reader, path, error_text, error_capacity);
    wav_reader_close(reader);
    format_to_buffer(error_text, error_capacity, "%s", MESSAGE_OPEN_FAILED);
    return false;
}

bool wav_reader_open(WavReader& reader, const char* path, char* error_text, size_t error_capacity) {
    wav_reader_close(reader);
    reader.file = fopen(path, "rb");
    if (reader.file == nullptr) {
        format_to_buffer(error_text, error_capacity, "%s", MESSAGE_OPEN_FAILED);
        return false;
    }
    ChunkWalk walk = {reader.file, 0};
    const char* failure = walk_chunks(reader, walk);
    if (failure != nullptr) {
        wav_reader_close(reader);
        format_to_buffer(error_text, error_capacity, "%s", failure);
        return false;
    }
    return true;
}

uint32_t wav_reader_read(WavReader& reader, int32_t* samples, uint32_t max_frames) {
    if (reader.file == nullptr || max_frames == 0) return 0;
    // After a short read the data has ended for good, whether by end of file or
    // by a read error.
    if (feof(reader.file) || ferror(reader.file)) return 0;

    const PcmStreamInfo& info = reader.info;
    const uint32_t bytes_per_sample = info.container_bits / 8u;
    if (bytes_per_sample != 2 && bytes_per_sample != 3) return 0;
    const uint64_t consumed = reader.bytes_consumed;
    const uint64_t samples_left = consumed < info.data_size ? (info.data_size - consumed) / bytes_per_sample : 0;
    uint64_t wanted = 2ull * max_frames;
    if (samples_left < wanted) wanted = samples_left & ~1ull;
    if (wanted == 0) return 0;

    const size_t byte_count = static_cast<size_t>(wanted) * bytes_per_sample;
    // One spare byte lets the 24-bit conversion load four bytes per sample.
    if (reader.raw.size() < byte_count + 1) reader.raw.resize(byte_count + 1);
    const size_t got = fread(reader.raw.data(), 1, byte_count, reader.file);
    if (got < byte_count && ferror(reader.file)) {
        reader.read_error = 1;
    } else if (got < byte_count && (reader.rf64 != 0 || info.data_size != SIZE_FROM_DS64)) {
        // A plain WAV written to a pipe carries the size "unknown" (all ones):
        // that data ends where the file does, and is not cut short.
        reader.data_short = 1;
        reader.data_present = consumed + got;
    }
    const size_t samples_read = got / bytes_per_sample;
    reader.bytes_consumed += static_cast<uint64_t>(samples_read) * bytes_per_sample;

    const size_t frames = samples_read / 2;
    const size_t count = frames * 2;
    const uint8_t* in = reader.raw.data();
    if (bytes_per_sample == 2) {
        for (size_t i = 0; i < count; ++i, in += 2) {
            samples[i] = static_cast<int16_t>(static_cast<uint16_t>(in[0] | (in[1] << 8)));
        }
    } else {
        // Place the 24 bits at the top of a 32-bit word and shift back down
        // arithmetically: that sign-extends and, for 20 valid bits, also drops the
        // four padding bits at the bottom.
        if (info.valid_bits == 20) {
            widen_24(in, samples, count, 12);
        } else {
            widen_24(in, samples, count, 8);
        }
    }
    return static_cast<uint32_t>(frames);
}

void wav_reader_close(WavReader& reader) {
    if (reader.file != nullptr) fclose(reader.file);
    clear_reader(reader);
}
