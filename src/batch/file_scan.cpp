#include "batch/file_scan.h"

#include <cstring>
#include <memory>
#include <new>

#include "audio_io/block_size.h"
#include "audio_io/input_source.h"
#include "audio_io/pcm_stream_info.h"
#include "console/cancellation.h"
#include "console/shared_messages.h"
#include "operations/input_scan.h"
#include "platform/directory_listing.h"

namespace {

struct FileScanContext {
    BatchFile* file;
    ScanProgressCounters* counters;
    const HdcdScanner* scanner;
    const InputSource* source;
    ScanOutput* output;
    uint64_t expected_frames;
    uint64_t bytes_booked;
    bool timeline_wanted;   // PCM16: the decoder follows the file once it shows a packet
    bool timeline_started;
    TimelineBuilder timeline;
};

// Reads the first frames_before frames of the file once more, from a source of
// its own, handing each block to take (which may change it). False when the
// file cannot be read that far again or take refuses a block.
template <typename Take>
bool reread_start(const BatchFile& file, uint64_t frames_before, Take take) {
    char error_text[256] = "";
    InputSource again{};
    if (!input_source_open(again, file.path.c_str(), file.input_kind, error_text, sizeof error_text)) return false;
    std::unique_ptr<int32_t[]> block(new (std::nothrow) int32_t[BLOCK_SAMPLES]);
    uint64_t done = 0;
    while (block && done < frames_before) {
        const uint64_t left = frames_before - done;
        const uint32_t frames = input_source_read(again, block.get(), left < BLOCK_FRAMES ? static_cast<uint32_t>(left)
                                                                                          : BLOCK_FRAMES);
        if (frames == 0 || !take(block.get(), frames)) break;
        done += frames;
    }
    input_source_close(again);
    return done == frames_before;
}

// Until the scanner sees a valid packet the decoder has nothing to show, and
// most files never have one: the decoder starts only then, and catches up by
// reading the frames before the current block once more (rarely more than a
// block). False when that reading fails.
bool timeline_catch_up(FileScanContext& context, uint64_t frames_before) {
    const BatchFile& file = *context.file;
    uint64_t size = 0;
    if (platform_path_kind(file.path.c_str(), size) != PLATFORM_ENTRY_FILE) return false;  // a pipe reads once
    return reread_start(file, frames_before, [&](int32_t* samples, uint32_t frames) {
        timeline_builder_follow(context.timeline, samples, frames);
        return true;
    });
}

// The output starts after the first blocks went by: they are read once more,
// decoded by a decoder of their own (which ends where the timeline's is now),
// and written. False when that fails.
bool output_catch_up(FileScanContext& context, uint64_t frames_before) {
    const BatchFile& file = *context.file;
    ScanOutput& output = *context.output;
    HdcdDecoder decoder;
    hdcd_decoder_init(decoder, file.sample_rate);
    return reread_start(file, frames_before, [&](int32_t* samples, uint32_t frames) {
        hdcd_decoder_process(decoder, samples, frames);
        return output.write(output.context, samples, frames);
    });
}

void start_output(FileScanContext& context, uint64_t frames_before) {
    ScanOutput& output = *context.output;
    if (!output.open(output.context, *context.source)) {
        output.failed = true;
        return;
    }
    output.started = true;
    if (frames_before > 0 && !output_catch_up(context, frames_before)) output.failed = true;
}

bool packet_seen(const HdcdScanner& scanner) {
    const HdcdScanPosition& position = scanner.positions[0];
    const HdcdDetector& left = position.left.detector;
    const HdcdDetector& right = position.right.detector;
    return left.packets_a + left.packets_b + right.packets_a + right.packets_b != 0;
}

// Books the share of the file's bytes that the frames read so far stand for.
void book_bytes(FileScanContext& context, uint64_t bytes_now) {
    if (bytes_now > context.file->file_size) bytes_now = context.file->file_size;
    if (bytes_now <= context.bytes_booked) return;
    context.counters->bytes_done.fetch_add(bytes_now - context.bytes_booked, std::memory_order_relaxed);
    context.bytes_booked = bytes_now;
}

bool file_scan_after_block(void* opaque, int32_t* samples, uint32_t frames) {
    FileScanContext& context = *static_cast<FileScanContext*>(opaque);
    const uint64_t frames_before = context.file->frames;
    context.file->frames += frames;
    if (context.timeline_wanted && !context.timeline_started && packet_seen(*context.scanner)) {
        timeline_builder_start(context.timeline, context.file->timeline, context.file->sample_rate,
                               context.expected_frames);
        context.timeline_started = true;
        if (frames_before > 0 && !timeline_catch_up(context, frames_before)) context.timeline_wanted = false;
    }
    ScanOutput* output = context.output;
    const bool writing = output != nullptr && context.timeline_wanted && context.timeline_started && !output->failed;
    if (writing && !output->started && output->start_now(output->context, *context.scanner)) {
        start_output(context, frames_before);
    }
    if (context.timeline_wanted && context.timeline_started) {
        if (output != nullptr && output->started && !output->failed) {
            // Decodes the block in place: from here on it holds the output samples.
            timeline_builder_feed(context.timeline, samples, frames);
            if (!output->write(output->context, samples, frames)) output->failed = true;
        } else {
            timeline_builder_follow(context.timeline, samples, frames);
        }
    }
    if (context.expected_frames != 0) {
        const double share = static_cast<double>(context.file->frames) / static_cast<double>(context.expected_frames);
        book_bytes(context, static_cast<uint64_t>(share * static_cast<double>(context.file->file_size)));
    }
    return !cancel_is_requested();
}

// When the first valid packet ended, at the bit the summary reports.
double first_packet_seconds(const HdcdScanner& scanner, const HdcdSummary& summary) {
    if (!summary.hdcd_found || scanner.sample_rate == 0) return -1.0;
    for (uint32_t i = 0; i < scanner.position_count; ++i) {
        const HdcdScanPosition& position = scanner.positions[i];
        if (static_cast<int32_t>(position.bit_shift) != summary.bit_position) continue;
        const uint64_t left = position.left.detector.first_packet_bit;
        const uint64_t right = position.right.detector.first_packet_bit;
        const uint64_t first = left == 0 ? right : (right == 0 || left < right ? left : right);
        return static_cast<double>(first) / scanner.sample_rate;
    }
    return -1.0;
}

// A decoder's PCM24 output still carries the signalling, but either at the
// bit a decoder puts it or with lower bits set wherever a gain or Peak Extend
// acted; PCM16 widened by zero bits has it higher up, every bit below it zero.
bool decoder_output(const HdcdScanner& scanner, const HdcdSummary& summary, uint32_t valid_bits) {
    if (valid_bits <= 16) return false;
    return summary.bit_position == HDCD_DECODED_SIGNALLING_BIT ||
           hdcd_scanner_bits_below(scanner, summary.bit_position);
}

int32_t status_from_scan(const HdcdScanner& scanner, const HdcdSummary& summary, uint32_t valid_bits) {
    if (!summary.hdcd_found) return BATCH_STATUS_NONE;
    if (decoder_output(scanner, summary, valid_bits)) return BATCH_STATUS_DECODED;
    if (summary.peak_extend_mode != HDCD_PEAK_EXTEND_NEVER || summary.max_gain_code != 0) return BATCH_STATUS_HDCD;
    return BATCH_STATUS_SIGNALLING_ONLY;
}

void no_summary(HdcdSummary& summary) {
    std::memset(&summary, 0, sizeof summary);
    summary.bit_position = -1;
}

}  // namespace

void file_scan_run(BatchFile& file, int32_t* block, ScanProgressCounters& counters, ScanOutput* output) {
    file.frames = 0;
    file.truncated = false;
    file.first_packet_seconds = -1.0;
    file.timeline = ScanTimeline{};
    no_summary(file.summary);

    char error_text[256] = "";
    InputSource source{};
    if (!input_source_open(source, file.path.c_str(), file.input_kind, error_text, sizeof error_text)) {
        file.status = BATCH_STATUS_ERROR;
        file.error = error_text;
        file.scanned = true;
        counters.bytes_done.fetch_add(file.file_size, std::memory_order_relaxed);
        return;
    }
    file.container = source.kind == INPUT_KIND_FLAC ? "FLAC" : wav_container_name(source.rf64);
    file.sample_rate = source.sample_rate;
    file.bits = source.valid_bits;
    file.container_bits = source.container_bits;

    FileScanContext context{};
    context.file = &file;
    context.counters = &counters;
    context.expected_frames = source.expected_frames;
    context.timeline_wanted = source.valid_bits == 16 && source.container_bits == 16;
    context.source = &source;
    context.output = output;

    HdcdScanner scanner;
    context.scanner = &scanner;
    const int32_t outcome = input_scan_run(source, block, scanner, {file_scan_after_block, &context});
    // The output refers to the source's metadata: it ends before the source closes.
    struct EndOutput {
        ScanOutput* output;
        BatchFile& file;
        ~EndOutput() {
            if (output != nullptr && output->started) output->end(output->context, file);
        }
    };
    struct CloseSource {
        InputSource& source;
        ~CloseSource() { input_source_close(source); }
    } close_source{source};
    EndOutput end_output{output, file};
    if (outcome == INPUT_SCAN_STOPPED) {
        file.timeline = ScanTimeline{};
        return;
    }
    book_bytes(context, file.file_size);
    file.scanned = true;
    if (outcome == INPUT_SCAN_FAILED) {
        file.status = BATCH_STATUS_ERROR;
        file.error = input_source_failure_text(source);
        file.timeline = ScanTimeline{};
        return;
    }
    if (input_source_data_short(source)) {
        file.truncated = true;
        file.data_present = source.wav.data_present;
        file.data_declared = source.wav.info.data_size;
    }
    hdcd_scanner_summary(scanner, file.summary);
    file.status = status_from_scan(scanner, file.summary, file.bits);
    file.first_packet_seconds = first_packet_seconds(scanner, file.summary);
    if (context.timeline_wanted && context.timeline_started && file.status != BATCH_STATUS_NONE) {
        timeline_builder_finish(context.timeline);
        file.timeline.points.shrink_to_fit();
    } else {
        file.timeline = ScanTimeline{};
    }
}
