#include "batch/file_scan.h"

#include <cstring>

#include "audio_io/input_source.h"
#include "audio_io/pcm_stream_info.h"
#include "console/cancellation.h"
#include "console/shared_messages.h"
#include "operations/input_scan.h"

namespace {

struct FileScanContext {
    BatchFile* file;
    ScanProgressCounters* counters;
    uint64_t expected_frames;
    uint64_t bytes_booked;
    bool timeline_wanted;
    TimelineBuilder timeline;
};

// Books the share of the file's bytes that the frames read so far stand for.
void book_bytes(FileScanContext& context, uint64_t bytes_now) {
    if (bytes_now > context.file->file_size) bytes_now = context.file->file_size;
    if (bytes_now <= context.bytes_booked) return;
    context.counters->bytes_done.fetch_add(bytes_now - context.bytes_booked, std::memory_order_relaxed);
    context.bytes_booked = bytes_now;
}

bool file_scan_after_block(void* opaque, int32_t* samples, uint32_t frames) {
    FileScanContext& context = *static_cast<FileScanContext*>(opaque);
    context.file->frames += frames;
    if (context.timeline_wanted) timeline_builder_feed(context.timeline, samples, frames);
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

int32_t status_from_summary(const HdcdSummary& summary) {
    if (!summary.hdcd_found) return BATCH_STATUS_NONE;
    if (summary.peak_extend_mode != HDCD_PEAK_EXTEND_NEVER || summary.max_gain_code != 0) return BATCH_STATUS_HDCD;
    return BATCH_STATUS_SIGNALLING_ONLY;
}

void no_summary(HdcdSummary& summary) {
    std::memset(&summary, 0, sizeof summary);
    summary.bit_position = -1;
}

}  // namespace

void file_scan_run(BatchFile& file, int32_t* block, ScanProgressCounters& counters) {
    file.frames = 0;
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
    if (context.timeline_wanted) {
        timeline_builder_start(context.timeline, file.timeline, source.sample_rate, source.expected_frames);
    }

    HdcdScanner scanner;
    const int32_t outcome = input_scan_run(source, block, scanner, {file_scan_after_block, &context});
    input_source_close(source);
    if (outcome == INPUT_SCAN_STOPPED) {
        file.timeline = ScanTimeline{};
        return;
    }
    book_bytes(context, file.file_size);
    file.scanned = true;
    if (outcome == INPUT_SCAN_FAILED) {
        file.status = BATCH_STATUS_ERROR;
        file.error = FLAC_DECODE_ERROR_TEXT;
        file.timeline = ScanTimeline{};
        return;
    }
    hdcd_scanner_summary(scanner, file.summary);
    file.status = status_from_summary(file.summary);
    file.first_packet_seconds = first_packet_seconds(scanner, file.summary);
    if (context.timeline_wanted && file.status != BATCH_STATUS_NONE) {
        timeline_builder_finish(context.timeline);
        file.timeline.points.shrink_to_fit();
    } else {
        file.timeline = ScanTimeline{};
    }
}
