// The benchmark audio must exercise what the decoder does on real HDCD
// releases, or the benchmark would time a cheaper path without anyone noticing.
#include <gtest/gtest.h>

#include "bench_signal.h"
#include "hdcd/hdcd_scanner.h"

// One loud and one quiet passage, and a little of the next; the widened copy
// is covered by the scanner tests.
TEST(BenchSignal, CarriesValidPacketsOfBothTypesPeakExtendAndGainChanges) {
    const uint64_t frames = BENCH_SIGNAL_PASSAGE_FRAMES + 5 * BENCH_SIGNAL_PACKET_INTERVAL;
    std::vector<int32_t> samples(2 * frames);
    BenchSignal signal;
    bench_signal_init(signal);
    bench_signal_fill(signal, samples.data(), static_cast<uint32_t>(frames));
    HdcdScanner scanner;
    hdcd_scanner_init(scanner, BENCH_SIGNAL_RATE, 16);
    hdcd_scanner_process(scanner, samples.data(), frames);
    HdcdSummary narrow;
    hdcd_scanner_summary(scanner, narrow);
    EXPECT_EQ(narrow.packet_errors, 0u);
    EXPECT_EQ(narrow.packet_type, HDCD_PACKET_TYPE_MIXED);
    EXPECT_EQ(narrow.peak_extend_mode, HDCD_PEAK_EXTEND_INTERMITTENT);
    const HdcdDetector& left = scanner.positions[0].left.detector;
    EXPECT_TRUE(left.gain_histogram[0] > 0 && left.gain_histogram[8] > 0);
}
