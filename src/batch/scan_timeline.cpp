#include "batch/scan_timeline.h"

#include <cmath>

namespace {

// The gain is read every this many frames of the file (and at the end of each
// point): the lowest gain of a point is the lowest seen at these frames, the
// same whatever blocks the file arrives in.
constexpr uint32_t GAIN_STEP_FRAMES = 64;

uint64_t channel_errors(const HdcdDecoder& d) {
    return static_cast<uint64_t>(d.left.detector.packet_errors) + static_cast<uint64_t>(d.right.detector.packet_errors);
}

uint64_t channel_lapses(const HdcdDecoder& d) {
    return static_cast<uint64_t>(d.left.detector.timer_expirations) +
           static_cast<uint64_t>(d.right.detector.timer_expirations);
}

uint64_t transient_filter_samples(const HdcdDecoder& d) {
    return d.left.active_transient_filter_samples + d.right.active_transient_filter_samples;
}

void open_point(TimelineBuilder& builder) {
    const HdcdDecoder& d = builder.decoder;
    builder.point_frames = 0;
    builder.open = TimelinePoint{};
    builder.open_gain_left = 0;
    builder.open_gain_right = 0;
    builder.peak_expanded_before = d.peak_expanded_samples;
    builder.transient_filter_before = transient_filter_samples(d);
    builder.packet_errors_before = channel_errors(d);
    builder.timer_lapses_before = channel_lapses(d);
}

// A decoder gain (1/256 dB) in hundredths of a dB, rounded as the report rounds.
uint16_t centi_db(uint16_t gain) {
    return static_cast<uint16_t>(std::round(static_cast<double>(gain) * 100.0 / 256.0));
}

uint32_t clamp32(uint64_t value) {
    return value > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(value);
}

// Halves the resolution: neighbours become one point of twice the length.
void halve_resolution(ScanTimeline& timeline) {
    const size_t count = timeline.points.size();
    for (size_t i = 0; i + 1 < count; i += 2) {
        const TimelinePoint& a = timeline.points[i];
        const TimelinePoint& b = timeline.points[i + 1];
        TimelinePoint merged;
        merged.gain_left = a.gain_left > b.gain_left ? a.gain_left : b.gain_left;
        merged.gain_right = a.gain_right > b.gain_right ? a.gain_right : b.gain_right;
        merged.peak_extend_share = static_cast<uint16_t>((a.peak_extend_share + b.peak_extend_share + 1) / 2);
        merged.transient_filter = a.transient_filter | b.transient_filter;
        merged.packet_errors = clamp32(static_cast<uint64_t>(a.packet_errors) + b.packet_errors);
        merged.timer_lapses = clamp32(static_cast<uint64_t>(a.timer_lapses) + b.timer_lapses);
        timeline.points[i / 2] = merged;
    }
    timeline.points.resize(count / 2);
    timeline.frames_per_point *= 2;
}

void read_gain(TimelineBuilder& builder) {
    const HdcdDecoder& d = builder.decoder;
    if (d.gain_left > builder.open_gain_left) builder.open_gain_left = static_cast<uint16_t>(d.gain_left);
    if (d.gain_right > builder.open_gain_right) builder.open_gain_right = static_cast<uint16_t>(d.gain_right);
}

void close_point(TimelineBuilder& builder, bool more_to_come) {
    ScanTimeline& timeline = *builder.timeline;
    // A file longer than its header said: the open point grows to the new
    // length instead of overflowing the bound.
    if (more_to_come && timeline.points.size() == TIMELINE_MAX_POINTS) {
        halve_resolution(timeline);
        return;
    }
    const HdcdDecoder& d = builder.decoder;
    TimelinePoint& point = builder.open;
    const uint64_t samples = 2 * builder.point_frames;
    const float share =
        samples == 0 ? 0.0f
                     : static_cast<float>(static_cast<double>(d.peak_expanded_samples - builder.peak_expanded_before) /
                                          static_cast<double>(samples));
    point.peak_extend_share = static_cast<uint16_t>(std::round(static_cast<double>(share) * 10000.0));
    point.gain_left = centi_db(builder.open_gain_left);
    point.gain_right = centi_db(builder.open_gain_right);
    point.transient_filter = transient_filter_samples(d) != builder.transient_filter_before ? 1 : 0;
    point.packet_errors = clamp32(channel_errors(d) - builder.packet_errors_before);
    point.timer_lapses = clamp32(channel_lapses(d) - builder.timer_lapses_before);
    timeline.points.push_back(point);
    open_point(builder);
}

// Books a block at the gain steps and point ends; run(decoder, samples, frames)
// takes the decoder over each piece.
template <typename Sample, typename Run>
void feed_pieces(TimelineBuilder& builder, Sample* samples, uint32_t frames, Run run) {
    HdcdDecoder& d = builder.decoder;
    while (frames > 0) {
        uint64_t step = GAIN_STEP_FRAMES - d.frames_processed % GAIN_STEP_FRAMES;
        const uint64_t point_left = builder.timeline->frames_per_point - builder.point_frames;
        if (step > point_left) step = point_left;
        if (step > frames) step = frames;
        run(d, samples, step);
        builder.point_frames += step;
        samples += 2 * step;
        frames -= static_cast<uint32_t>(step);
        const bool point_full = builder.point_frames >= builder.timeline->frames_per_point;
        if (point_full || d.frames_processed % GAIN_STEP_FRAMES == 0) read_gain(builder);
        if (point_full) close_point(builder, true);
    }
}

}  // namespace

void timeline_builder_start(TimelineBuilder& builder, ScanTimeline& timeline, uint32_t sample_rate,
                            uint64_t expected_frames) {
    hdcd_decoder_init(builder.decoder, sample_rate);
    builder.timeline = &timeline;
    timeline.points.clear();
    uint64_t spacing = sample_rate / TIMELINE_POINTS_PER_SECOND;
    if (spacing == 0) spacing = 1;
    const uint64_t spread = (expected_frames + TIMELINE_MAX_POINTS - 1) / TIMELINE_MAX_POINTS;
    timeline.frames_per_point = spread > spacing ? spread : spacing;
    open_point(builder);
}

void timeline_builder_feed(TimelineBuilder& builder, int32_t* samples, uint32_t frames) {
    feed_pieces(builder, samples, frames, hdcd_decoder_process);
}

void timeline_builder_follow(TimelineBuilder& builder, const int32_t* samples, uint32_t frames) {
    feed_pieces(builder, samples, frames, hdcd_decoder_follow);
}

void timeline_builder_finish(TimelineBuilder& builder) {
    if (builder.point_frames > 0) {
        read_gain(builder);
        // The last point may still find the timeline full; it then goes in at
        // half the resolution.
        if (builder.timeline->points.size() == TIMELINE_MAX_POINTS) halve_resolution(*builder.timeline);
        close_point(builder, false);
    }
}

double scan_timeline_point_seconds(const ScanTimeline& timeline, uint32_t sample_rate, size_t index) {
    if (sample_rate == 0) return 0.0;
    return static_cast<double>(timeline.frames_per_point) * static_cast<double>(index) / sample_rate;
}

double timeline_gain_db(uint16_t gain) {
    return gain == 0 ? 0.0 : -static_cast<double>(gain) / 100.0;
}

double timeline_share(uint16_t share) {
    return static_cast<double>(share) / 10000.0;
}
