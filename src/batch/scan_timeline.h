// What the decoder does over a PCM16 HDCD file, at ten points a second (fewer,
// evenly spaced, for a long file: never more than TIMELINE_MAX_POINTS). The
// decoder runs over every block.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "hdcd/hdcd_decoder.h"

constexpr uint32_t TIMELINE_POINTS_PER_SECOND = 10;
constexpr uint32_t TIMELINE_MAX_POINTS = 4000;

// The values are kept at the resolution the JSON report gives them, so that a
// timeline read back from a report is the one the scan made.
struct TimelinePoint {
    uint16_t gain_left;        // lowest applied gain in the interval, in hundredths of a dB below unity
    uint16_t gain_right;
    uint16_t peak_extend_share;  // of the interval's samples, those Peak Extend expanded, in 1/10000
    uint8_t transient_filter;  // 1 when Transient Filter was in force somewhere in the interval
    uint32_t packet_errors;
    uint32_t timer_lapses;
};

struct ScanTimeline {
    uint64_t frames_per_point;
    std::vector<TimelinePoint> points;
};

struct TimelineBuilder {
    HdcdDecoder decoder;
    ScanTimeline* timeline;
    uint64_t point_frames;     // frames already in the open point
    TimelinePoint open;
    uint16_t open_gain_left;   // the open point's lowest gains so far, in the decoder's 1/256 dB
    uint16_t open_gain_right;
    // The decoder's running counts when the open point began.
    uint64_t peak_expanded_before;
    uint64_t transient_filter_before;
    uint64_t packet_errors_before;
    uint64_t timer_lapses_before;
};

// Starts the decoder and an empty timeline; the spacing comes from the
// expected length (0 when unknown).
void timeline_builder_start(TimelineBuilder& builder, ScanTimeline& timeline, uint32_t sample_rate,
                            uint64_t expected_frames);

// Runs the decoder over a block (the samples are changed) and books it.
void timeline_builder_feed(TimelineBuilder& builder, int32_t* samples, uint32_t frames);

// The same when no decoded samples are wanted: the decoder follows the block
// without producing them, and the block stays as it was.
void timeline_builder_follow(TimelineBuilder& builder, const int32_t* samples, uint32_t frames);

// Closes the last, partly filled point.
void timeline_builder_finish(TimelineBuilder& builder);

// Start of a point in seconds, and a gain in dB (0 or negative); a share as a
// fraction (0 to 1).
double scan_timeline_point_seconds(const ScanTimeline& timeline, uint32_t sample_rate, size_t index);
double timeline_gain_db(uint16_t gain);
double timeline_share(uint16_t share);
