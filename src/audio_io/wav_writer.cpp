#include "audio_io/wav_writer.h"

#include <cstring>

#include "console/console.h"
#include "platform/file_position.h"

namespace {

const char MESSAGE_CREATE_FAILED[] = "Unable to create output file.";

const uint64_t MAX_32 = 0xFFFFFFFFull;
const size_t RIFF_HEADER_BYTES = 44;
const size_t RF64_HEADER_BYTES = 80;
// Samples converted and written per fwrite: one 16384-frame stereo block.
const size_t STAGING_SAMPLES = 32768;

void put16(uint8_t* p, uint32_t value) {
    p[0] = static_cast<uint8_t>(value);
    p[1] = static_cast<uint8_t>(value >> 8);
}

void put32(uint8_t* p, uint32_t value) {
    put16(p, value);
    put16(p + 2, value >> 16);
}

void put64(uint8_t* p, uint64_t value) {
    put32(p, static_cast<uint32_t>(value));
    put32(p + 4, static_cast<uint32_t>(value >> 32));
}

// The 16-byte integer PCM "fmt " chunk, identifier and size included (24 bytes).
void put_fmt_chunk(uint8_t* p, const WavWriter& writer) {
    const uint32_t block_align = writer.channel_count * (writer.bits_per_sample / 8u);
    std::memcpy(p, "fmt ", 4);
    put32(p + 4, 16);
    put16(p + 8, 1);
    put16(p + 10, writer.channel_count);
    put32(p + 12, writer.sample_rate);
    put32(p + 16, writer.sample_rate * block_align);  // low 32 bits of the byte rate
    put16(p + 20, block_align);
    put16(p + 22, writer.bits_per_sample);
}

void clear_writer(WavWriter& writer) {
    writer.file = nullptr;
    writer.channel_count = 0;
    writer.bits_per_sample = 0;
    writer.sample_rate = 0;
    writer.frames_written = 0;
    writer.rf64 = 0;
    writer.riff_size_position = 0;
    writer.data_size_position = 0;
    writer.ds64_riff_size_position = 0;
    writer.ds64_data_size_position = 0;
    writer.ds64_sample_count_position = 0;
}

bool write_at(FILE* file, int64_t position, const uint8_t* bytes, size_t count) {
    return platform_file_seek(file, position, SEEK_SET) && fwrite(bytes, 1, count, file) == count;
}

// Lets go of the stream (its owner closes it) and reports whether everything
// buffered reached the file.
bool release_stream(WavWriter& writer) {
    const bool flushed = fflush(writer.file) == 0;
    writer.file = nullptr;
    return flushed;
}

}  // namespace

bool wav_writer_create(WavWriter& writer, FILE* file, uint32_t sample_rate, uint16_t channel_count,
                       uint16_t bits_per_sample, uint64_t expected_frames, char* error_text, size_t error_capacity) {
    wav_writer_close_unfinished(writer);
    clear_writer(writer);
    if ((bits_per_sample != 16 && bits_per_sample != 24) || channel_count == 0) {
        format_to_buffer(error_text, error_capacity, "%s", MESSAGE_CREATE_FAILED);
        return false;
    }
    if (file == nullptr) {
        format_to_buffer(error_text, error_capacity, "%s", MESSAGE_CREATE_FAILED);
        return false;
    }
    writer.channel_count = channel_count;
    writer.bits_per_sample = bits_per_sample;
    writer.sample_rate = sample_rate;

    // The size a RIFF header would have to state for the estimate, in 64 bits; an
    // absurd estimate saturates instead of wrapping into a small one.
    const uint64_t block_align = static_cast<uint64_t>(channel_count) * (bits_per_sample / 8u);
    const uint64_t data_bytes = expected_frames > UINT64_MAX / block_align ? UINT64_MAX : expected_frames * block_align;
    writer.rf64 = data_bytes > MAX_32 - 36 ? 1 : 0;

    uint8_t header[RF64_HEADER_BYTES] = {};
    size_t header_bytes;
    if (writer.rf64 == 0) {
        std::memcpy(header, "RIFF", 4);
        std::memcpy(header + 8, "WAVE", 4);
        put_fmt_chunk(header + 12, writer);
        std::memcpy(header + 36, "data", 4);
        writer.riff_size_position = 4;
        writer.data_size_position = 40;
        header_bytes = RIFF_HEADER_BYTES;
    } else {
        std::memcpy(header, "RF64", 4);
        put32(header + 4, 0xFFFFFFFFu);
        std::memcpy(header + 8, "WAVE", 4);
        std::memcpy(header + 12, "ds64", 4);
        put32(header + 16, 28);
        // RIFF size, data size, sample count (20, 28, 36) and table length (44) stay 0.
        put_fmt_chunk(header + 48, writer);
        std::memcpy(header + 72, "data", 4);
        put32(header + 76, 0xFFFFFFFFu);
        writer.ds64_riff_size_position = 20;
        writer.ds64_data_size_position = 28;
        writer.ds64_sample_count_position = 36;
        writer.data_size_position = 76;
        header_bytes = RF64_HEADER_BYTES;
    }
    // Flushing here makes a full disk show up now rather than at the first block.
    if (fwrite(header, 1, header_bytes, file) != header_bytes || fflush(file) != 0) {
        clear_writer(writer);
        format_to_buffer(error_text, error_capacity, "%s", MESSAGE_CREATE_FAILED);
        return false;
    }
    writer.file = file;
    return true;
}

bool wav_writer_create_pcm16(WavWriter& writer, FILE* file, uint32_t sample_rate, uint16_t channel_count,
                             uint64_t expected_frames, char* error_text, size_t error_capacity) {
    return wav_writer_create(writer, file, sample_rate, channel_count, 16, expected_frames, error_text, error_capacity);
}

bool wav_writer_create_pcm24(WavWriter& writer, FILE* file, uint32_t sample_rate, uint16_t channel_count,
                             uint64_t expected_frames, char* error_text, size_t error_capacity) {
    return wav_writer_create(writer, file, sample_rate, channel_count, 24, expected_frames, error_text, error_capacity);
}

namespace {

// Bits 8-31 of each sample as three little-endian bytes. On little-endian hosts
// each sample is stored as four bytes, the fourth of which the next sample (or
// the spare byte at the end) takes over.
inline void narrow_24(const int32_t* in, uint8_t* out, size_t count) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    for (size_t i = 0; i < count; ++i, out += 3) {
        const uint32_t word = static_cast<uint32_t>(in[i]) >> 8;
        memcpy(out, &word, sizeof word);
    }
#else
    for (size_t i = 0; i < count; ++i, out += 3) {
        const uint32_t value = static_cast<uint32_t>(in[i]);
        out[0] = static_cast<uint8_t>(value >> 8);
        out[1] = static_cast<uint8_t>(value >> 16);
        out[2] = static_cast<uint8_t>(value >> 24);
    }
#endif
}

// 16-bit samples as two little-endian bytes each.
inline void narrow_16(const int16_t* in, uint8_t* out, size_t count) {
    for (size_t i = 0; i < count; ++i, out += 2) {
        const uint16_t value = static_cast<uint16_t>(in[i]);
        out[0] = static_cast<uint8_t>(value);
        out[1] = static_cast<uint8_t>(value >> 8);
    }
}

// Appends channel count x frames samples through the staging buffer, one fwrite
// per staged run, stopping at the first sample that cannot be written
// completely. Returns the whole frames written and counts them.
template <typename Sample, typename Narrow>
uint32_t write_staged(WavWriter& writer, const Sample* samples, uint32_t frames, uint16_t bits, Narrow narrow) {
    if (writer.file == nullptr || writer.bits_per_sample != bits) return 0;
    const size_t bytes = bits / 8u;
    const uint64_t total = static_cast<uint64_t>(frames) * writer.channel_count;
    uint64_t written = 0;
    while (written < total) {
        const size_t count = total - written < STAGING_SAMPLES ? static_cast<size_t>(total - written) : STAGING_SAMPLES;
        // One spare byte lets a 24-bit sample go out as a four-byte store.
        if (writer.staging.size() < count * bytes + 1) writer.staging.resize(STAGING_SAMPLES * bytes + 1);
        narrow(samples + written, writer.staging.data(), count);
        const size_t done = fwrite(writer.staging.data(), 1, count * bytes, writer.file);
        written += done / bytes;
        if (done != count * bytes) break;
    }
    const uint64_t whole = written / writer.channel_count;
    writer.frames_written += whole;
    return static_cast<uint32_t>(whole);
}

}  // namespace

uint32_t wav_writer_write_pcm16(WavWriter& writer, const int16_t* samples, uint32_t frames) {
    return write_staged(writer, samples, frames, 16, narrow_16);
}

uint32_t wav_writer_write_pcm24(WavWriter& writer, const int32_t* samples, uint32_t frames) {
    return write_staged(writer, samples, frames, 24, narrow_24);
}

bool wav_writer_finish(WavWriter& writer) {
    if (writer.file == nullptr) return true;
    FILE* file = writer.file;
    const uint64_t data_bytes = writer.frames_written * writer.channel_count * (writer.bits_per_sample / 8u);

    // Flush first so that a sample block the disk refused is noticed here, and
    // so that the end position is the real file length.
    bool ok = fflush(file) == 0 && platform_file_seek(file, 0, SEEK_END);
    const int64_t end = ok ? platform_file_tell(file) : -1;
    ok = ok && end >= 0;
    const uint64_t riff_size = end >= 8 ? static_cast<uint64_t>(end) - 8 : 0;

    if (ok && writer.rf64 == 0) {
        if (riff_size > MAX_32 || data_bytes > MAX_32) {
            ok = false;  // the header keeps its zero size fields
        } else {
            uint8_t field[4];
            put32(field, static_cast<uint32_t>(riff_size));
            ok = write_at(file, writer.riff_size_position, field, sizeof field);
            put32(field, static_cast<uint32_t>(data_bytes));
            ok = ok && write_at(file, writer.data_size_position, field, sizeof field);
        }
    } else if (ok) {
        // The three ds64 fields lie next to each other.
        uint8_t fields[24];
        put64(fields, riff_size);
        put64(fields + 8, data_bytes);
        put64(fields + 16, writer.frames_written);
        ok = writer.ds64_data_size_position == writer.ds64_riff_size_position + 8 &&
             writer.ds64_sample_count_position == writer.ds64_riff_size_position + 16 &&
             write_at(file, writer.ds64_riff_size_position, fields, sizeof fields);
    }
    const bool flushed = release_stream(writer);
    return ok && flushed;
}

void wav_writer_close_unfinished(WavWriter& writer) {
    writer.file = nullptr;
}
