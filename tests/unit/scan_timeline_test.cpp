#include <gtest/gtest.h>

#include <vector>

#include "batch/scan_timeline.h"

// A file that turns out longer than its header said (here: no length at all)
// keeps within the point limit, and its points still cover it evenly.
TEST(ScanTimeline, UnknownLengthHalvesTheResolution) {
    const uint64_t total = 4001ull * 4410 + 100;
    ScanTimeline timeline;
    TimelineBuilder builder;
    timeline_builder_start(builder, timeline, 44100, 0);
    std::vector<int32_t> block(2 * 16384);
    for (uint64_t done = 0; done < total;) {
        const uint32_t frames = static_cast<uint32_t>(total - done < 16384 ? total - done : 16384);
        std::fill(block.begin(), block.end(), 0);
        timeline_builder_feed(builder, block.data(), frames);
        done += frames;
    }
    timeline_builder_finish(builder);
    EXPECT_EQ(timeline.frames_per_point, 8820u);
    EXPECT_EQ(timeline.points.size(), 2001u);
    EXPECT_LT((timeline.points.size() - 1) * timeline.frames_per_point, total);
}
